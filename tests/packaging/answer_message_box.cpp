// Plays the user who reads a program's message box and presses OK, for the
// tests that start a program the way the shell does and so have no handle
// on it: finds the process by its executable's name, waits for its box,
// prints the box's caption and text and dismisses it.
// Usage: answer_message_box.exe EXE_NAME CAPTION TEXT
// Exit status: 0 when the box showed with that caption and text, 1 otherwise.

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "message_box.h"

namespace {

// The id of a running process whose executable is `exeName`, or 0.
DWORD ProcessNamed(const std::wstring& exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD id = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && id == 0; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0) {
            id = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return id;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: answer_message_box EXE_NAME CAPTION TEXT\n");
        return 2;
    }
    const std::wstring exeName = argv[1], caption = argv[2], text = argv[3];
    constexpr gui::Milliseconds kPatience{60000};

    const DWORD processId = gui::WaitFor([&] { return ProcessNamed(exeName); }, kPatience);
    if (processId == 0) {
        std::fprintf(stderr, "no process %ls\n", exeName.c_str());
        return 1;
    }
    const auto box = gui::WaitForMessageBox(processId, kPatience);
    if (!box) {
        std::fprintf(stderr, "%ls showed no message box\n", exeName.c_str());
        return 1;
    }
    std::printf("%ls: %ls\n", box->caption.c_str(), box->text.c_str());
    const bool dismissed = gui::DismissMessageBox(*box);
    return dismissed && box->caption == caption && box->text == text ? 0 : 1;
}
