#include "screen.h"

#include <algorithm>

namespace gui {

namespace {

// A 32-bit top-down DIB section selected into a memory DC, for one capture.
class Surface {
public:
    Surface(int width, int height) : width_(width), height_(height)
    {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        ReleaseDC(nullptr, screen);
        if (bitmap_)
            previous_ = SelectObject(dc_, bitmap_);
    }
    ~Surface()
    {
        if (bitmap_) {
            SelectObject(dc_, previous_);
            DeleteObject(bitmap_);
        }
        DeleteDC(dc_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    HDC Dc() const { return bitmap_ ? dc_ : nullptr; }

    PixelMask Mask(COLORREF colour) const
    {
        PixelMask mask{width_, height_, std::vector<bool>(static_cast<std::size_t>(width_) * height_)};
        if (!bitmap_)
            return mask;
        GdiFlush();
        const auto* pixels = static_cast<const DWORD*>(bits_);
        // A DIB pixel is 0x00RRGGBB, a COLORREF 0x00BBGGRR.
        const DWORD wanted = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
        for (std::size_t i = 0; i < mask.set.size(); ++i)
            mask.set[i] = (pixels[i] & 0xFFFFFF) == wanted;
        return mask;
    }

private:
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

}  // namespace

int PixelMask::Count() const
{
    int count = 0;
    for (const bool pixel : set)
        count += pixel;
    return count;
}

std::pair<int, int> PixelMask::Columns() const
{
    std::pair<int, int> columns{-1, -1};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!set[static_cast<std::size_t>(y) * width + x])
                continue;
            if (columns.first < 0 || x < columns.first)
                columns.first = x;
            columns.second = std::max(columns.second, x);
        }
    }
    return columns;
}

PixelMask PixelsOf(HWND window, COLORREF colour)
{
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);

    // One copy of the area from the screen, then a scan of that copy: a
    // GetPixel per pixel would ask the display server once per pixel.
    Surface copy(client.right, client.bottom);
    HDC screen = GetDC(nullptr);
    if (copy.Dc())
        BitBlt(copy.Dc(), 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return copy.Mask(colour);
}

int CountPixels(HWND window, COLORREF colour)
{
    return PixelsOf(window, colour).Count();
}

PixelMask TextPixels(const std::wstring& text, HFONT font, COLORREF colour, int width, int height, RECT area,
                     UINT format, std::wstring* drawn)
{
    Surface surface(width, height);
    HDC dc = surface.Dc();
    if (!dc)
        return surface.Mask(colour);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    // DT_MODIFYSTRING may write up to four characters more than the text has.
    std::wstring buffer = text + std::wstring(5, L'\0');
    DrawTextW(dc, buffer.data(), static_cast<int>(text.size()), &area, format);
    if (drawn)
        *drawn = buffer.c_str();
    return surface.Mask(colour);
}

}  // namespace gui
