#pragma once
// The files the shell drops on a window that accepts them (WM_DROPFILES).

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

// The full paths of the files in `drop`, in the order the shell lists them.
// Releases the drop: call it once per WM_DROPFILES, whether the files are
// wanted or not.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);
