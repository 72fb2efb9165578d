#pragma once
// The program's open-file dialog, driven as a user drives it: type a full
// path into the file name box and press the open button, or cancel.

#include <windows.h>

#include <string>

#include "wait.h"

namespace gui {

inline const std::wstring kChooserTitle = L"Select only one file and click on the Select button below";

// The chooser of process `processId`, once it shows within `timeout`.
HWND WaitForChooser(DWORD processId, Milliseconds timeout = kDefaultTimeout);
// The text of the chooser's open button (IDOK).
std::wstring OpenButtonText(HWND chooser);
// Types `path` into the file name box and presses the open button; false when
// the chooser has no name box or does not close.
bool ChooseFile(HWND chooser, const std::wstring& path);
// Presses Cancel and waits until the chooser has gone.
bool CancelChooser(HWND chooser);

}  // namespace gui
