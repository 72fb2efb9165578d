#include "file_drop.h"

#include <shlobj.h>

#include <cstring>

namespace gui {

namespace {

// DROPFILES, then each path with its NUL, then one more NUL.
std::vector<unsigned char> DropBlock(const std::vector<std::wstring>& paths)
{
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.pt = {20, 20};
    header.fNC = FALSE;
    header.fWide = TRUE;
    std::wstring names;
    for (const std::wstring& path : paths) {
        names += path;
        names.push_back(L'\0');
    }
    names.push_back(L'\0');
    std::vector<unsigned char> block(sizeof header + names.size() * sizeof(wchar_t));
    std::memcpy(block.data(), &header, sizeof header);
    std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));
    return block;
}

}  // namespace

// The receiver reads the block through the shell's drop calls, which take a
// plain pointer to fixed memory as the handle. Its own DragFinish cannot free
// this memory, so the block stays until the process ends.
bool DropFiles(DWORD processId, HWND window, const std::vector<std::wstring>& paths)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) {
        return false;
    }
    const std::vector<unsigned char> block = DropBlock(paths);
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    const bool written =
        remote && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    CloseHandle(process);
    return written && PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

}  // namespace gui
