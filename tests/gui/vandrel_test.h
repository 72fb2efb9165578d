#pragma once
// The fixture of every GUI test: a fresh directory for the test's files and
// one run of Vandrel.exe, killed at the end if it is still alive.

#include <gtest/gtest.h>

#include <string>

#include "app_process.h"
#include "message_box.h"
#include "test_files.h"
#include "wait.h"
#include "window_query.h"

inline std::wstring VandrelExe()
{
    return gui::FromUnixPath(VANDREL_EXE);
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
