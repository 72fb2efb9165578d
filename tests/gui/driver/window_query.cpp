#include "window_query.h"

namespace gui {

namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

struct EnumContext {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    auto* context = reinterpret_cast<EnumContext*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == context->processId && IsWindowVisible(window)) {
        context->windows.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    EnumContext context{processId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&context));
    return context.windows;
}

HWND FindTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className)
{
    for (HWND window : TopLevelWindows(processId)) {
        if (ClassOf(window) == className && CaptionOf(window) == caption) {
            return window;
        }
    }
    return nullptr;
}

HWND WaitForTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className,
                     Milliseconds timeout)
{
    return WaitFor([&] { return FindTopLevel(processId, caption, className); }, timeout);
}

bool WaitUntilGone(HWND window, Milliseconds timeout)
{
    return WaitFor([&] { return !IsWindow(window); }, timeout);
}

HWND Child(HWND parent, int id)
{
    return GetDlgItem(parent, id);
}

bool HasChild(HWND parent, int id, const std::wstring& className)
{
    // GetDlgItem finds only the first child with the id; dialogs give -1 to
    // many static texts, so every child is looked at.
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == id && ClassOf(child) == className) {
            return true;
        }
    }
    return false;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

std::wstring TextOf(HWND window)
{
    const LRESULT length = SendBounded(window, WM_GETTEXTLENGTH);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring CaptionOf(HWND window)
{
    wchar_t caption[512] = {};
    const int length = GetWindowTextW(window, caption, 512);
    return std::wstring(caption, length > 0 ? length : 0);
}

RECT ScreenRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

RECT RectInParent(HWND child, HWND parent)
{
    RECT rect = ScreenRect(child);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

HWND ChildWithText(HWND parent, const std::wstring& className, const std::wstring& text)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == className && TextOf(child) == text) {
            return child;
        }
    }
    return nullptr;
}

LRESULT SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                             &result)) {
        return 0;
    }
    return static_cast<LRESULT>(result);
}

}  // namespace gui
