#include "message_box.h"

#include "user_input.h"
#include "window_query.h"

namespace gui {

namespace {

constexpr int kMessageTextId = 0xFFFF;
// The file name box of the open-file dialog, which also has an OK button.
constexpr int kFileNameBoxId = 0x047C;

HWND MessageTextOf(HWND dialog)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetDlgCtrlID(child) & 0xFFFF) == kMessageTextId && ClassOf(child) == L"Static") {
            return child;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<MessageBoxView> MessageBoxes(DWORD processId)
{
    std::vector<MessageBoxView> boxes;
    for (HWND window : TopLevelWindows(processId)) {
        const bool question = HasChild(window, IDYES, L"Button") && HasChild(window, IDNO, L"Button");
        if (ClassOf(window) != kDialogClass || !(question || HasChild(window, IDOK, L"Button")) ||
            Child(window, kFileNameBoxId)) {
            continue;
        }
        // A box being built has its text control before its text; every
        // box Vandrel shows has some.
        HWND text = MessageTextOf(window);
        std::wstring shown = text ? TextOf(text) : std::wstring();
        if (!shown.empty()) {
            boxes.push_back({window, CaptionOf(window), std::move(shown), question});
        }
    }
    return boxes;
}

std::optional<MessageBoxView> WaitForMessageBox(DWORD processId, Milliseconds timeout)
{
    return WaitFor(
        [&]() -> std::optional<MessageBoxView> {
            auto boxes = MessageBoxes(processId);
            if (boxes.empty()) {
                return std::nullopt;
            }
            return boxes.front();
        },
        timeout);
}

bool DismissMessageBox(const MessageBoxView& box)
{
    PressCommand(box.window, IDOK);
    return WaitUntilGone(box.window);
}

bool AnswerMessageBox(const MessageBoxView& box, int button)
{
    PressCommand(box.window, button);
    return WaitUntilGone(box.window);
}

}  // namespace gui
