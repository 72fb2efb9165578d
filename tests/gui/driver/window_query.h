#pragma once
// Looking at another process's windows from outside: its top-level windows,
// their controls by id, and the class, text and state of each.

#include <windows.h>

#include <string>
#include <vector>

#include "wait.h"

namespace gui {

// The class name of every dialog, message boxes and file choosers included.
inline const std::wstring kDialogClass = L"#32770";

// The visible top-level windows of process `processId`, in z-order.
std::vector<HWND> TopLevelWindows(DWORD processId);

// The first visible top-level window of the process with this caption and
// class; nullptr when there is none.
HWND FindTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className);
// FindTopLevel, polled until the window shows or `timeout` passes.
HWND WaitForTopLevel(DWORD processId, const std::wstring& caption, const std::wstring& className,
                     Milliseconds timeout = kDefaultTimeout);
// Polls until `window` has been destroyed; false if it is still there.
bool WaitUntilGone(HWND window, Milliseconds timeout = kDefaultTimeout);

// The control with `id` among the direct children of `parent`; nullptr if none.
HWND Child(HWND parent, int id);
// Whether `parent` has a direct child with `id` of class `className`.
bool HasChild(HWND parent, int id, const std::wstring& className);

std::wstring ClassOf(HWND window);
// The window's text as its own process reports it (WM_GETTEXT), which for
// controls can differ from the caption the window manager keeps.
std::wstring TextOf(HWND window);
// The caption the window manager keeps (a window of another process gets no
// message for it).
std::wstring CaptionOf(HWND window);

// The window's rectangle in screen coordinates.
RECT ScreenRect(HWND window);
// The rectangle of `child` in the client coordinates of `parent`.
RECT RectInParent(HWND child, HWND parent);
// The first direct child of `parent` of class `className` with `text`; nullptr if none.
HWND ChildWithText(HWND parent, const std::wstring& className, const std::wstring& text);

// Sends `message` and waits at most a few seconds for the answer; the result
// is 0 when the program did not answer in time.
LRESULT SendBounded(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

}  // namespace gui
