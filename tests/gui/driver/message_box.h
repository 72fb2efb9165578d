#pragma once
// The program's message boxes, as a user sees them: caption, text, and an OK
// button, or Yes and No for a question.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "wait.h"

namespace gui {

struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    // Yes and No buttons in place of OK.
    bool question = false;
};

// Every message box the process shows now: a dialog with the message text in
// a static control of id 0xFFFF and an OK button, or Yes and No, which sets it
// apart from the program's own dialogs.
std::vector<MessageBoxView> MessageBoxes(DWORD processId);
// The first message box of the process, once one shows within `timeout`.
std::optional<MessageBoxView> WaitForMessageBox(DWORD processId, Milliseconds timeout = kDefaultTimeout);
// Presses OK and waits until the box has been destroyed; false if it stays.
bool DismissMessageBox(const MessageBoxView& box);
// Presses `button` (IDYES or IDNO) of a question and waits until the box has
// been destroyed; false if it stays.
bool AnswerMessageBox(const MessageBoxView& box, int button);

}  // namespace gui
