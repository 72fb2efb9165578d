#pragma once
// Dropping files on another process's window, as Explorer does: the drop's
// file list (a DROPFILES block) is written into that process, and the window
// gets WM_DROPFILES with it.

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// Drops `paths` on `window` of process `processId`, at a point inside its
// client area. False when the list cannot be placed in the process or the
// message cannot be posted.
bool DropFiles(DWORD processId, HWND window, const std::vector<std::wstring>& paths);

}  // namespace gui
