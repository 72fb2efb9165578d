#pragma once
// The fixture of every GUI test: a fresh directory for the test's files and
// one run of Vandrel.exe, killed at the end if it is still alive.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "app_process.h"
#include "message_box.h"
#include "test_files.h"
#include "wait.h"
#include "window_query.h"

inline std::wstring VandrelExe()
{
    return gui::FromUnixPath(VANDREL_EXE);
}

// Copies Vandrel.exe and the libraries it loads (the DLLs beside it) into
// `folder`; returns the names copied, the program's first.
inline std::vector<std::wstring> CopyProgramTo(const std::wstring& folder)
{
    const std::wstring exe = VandrelExe();
    const std::wstring from = exe.substr(0, exe.find_last_of(L"\\/") + 1);
    std::vector<std::wstring> names{L"Vandrel.exe"};
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((from + L"*.dll").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
        names.push_back(found.cFileName);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    for (const std::wstring& name : names)
        EXPECT_TRUE(CopyFileW((from + (name == names.front() ? exe.substr(from.size()) : name)).c_str(),
                              (folder + L"\\" + name).c_str(), FALSE))
            << "cannot copy " << std::string(name.begin(), name.end());
    return names;
}

class VandrelTest : public ::testing::Test {
protected:
    // Runs `exe` (Vandrel.exe unless given) with `arguments`.
    void Start(const std::wstring& arguments, const std::wstring& workingDirectory = L"",
               const std::wstring& exe = VandrelExe())
    {
        ASSERT_TRUE(app.Start(exe, arguments, workingDirectory)) << "cannot start " << exe;
    }

    // Waits for the next message box, checks its caption and text, and dismisses it.
    void ExpectMessage(const std::wstring& caption, const std::wstring& text,
                       gui::Milliseconds timeout = gui::kDefaultTimeout)
    {
        const auto box = gui::WaitForMessageBox(app.Id(), timeout);
        ASSERT_TRUE(box) << "no message box; expected: " << text;
        EXPECT_EQ(box->caption, caption);
        EXPECT_EQ(box->text, text);
        ASSERT_TRUE(gui::DismissMessageBox(*box));
    }

    // Declared in this order so that the process ends before its files go.
    gui::TempDir dir;
    gui::AppProcess app;
};
