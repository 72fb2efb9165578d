#include "screen.h"

namespace gui {

int CountPixels(HWND window, COLORREF colour)
{
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);

    // One copy of the area from the screen, then a scan of that copy: a
    // GetPixel per pixel would ask the display server once per pixel.
    const int width = client.right;
    const int height = client.bottom;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    int count = 0;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits);
        // A DIB pixel is 0x00RRGGBB, a COLORREF 0x00BBGGRR.
        const DWORD wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (int i = 0; i < width * height; ++i) {
            count += (pixels[i] & 0xFFFFFF) == wanted;
        }
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return count;
}

}  // namespace gui
