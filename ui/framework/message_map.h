#pragma once
// Message maps: each dialog class keeps one static table that routes window
// messages, and WM_COMMAND notifications by control id and code, to its member
// handlers. The dialog procedure looks a message up in the table of the dialog
// that receives it.

#include <windows.h>

#include <optional>

// A handler's answer: a result, or DefaultHandling to leave the message to
// the dialog manager's own handling.
using MessageResult = std::optional<LRESULT>;
inline constexpr std::nullopt_t DefaultHandling = std::nullopt;

template <class Dialog>
struct MessageMapEntry {
    UINT message;
    UINT controlId;    // WM_COMMAND rows only
    UINT notifyCode;   // WM_COMMAND rows only
    MessageResult (Dialog::*onMessage)(WPARAM, LPARAM);
    void (Dialog::*onCommand)();
};

// A row routing window message `message` to `handler(wParam, lParam)`.
template <class Dialog>
constexpr MessageMapEntry<Dialog> MapMessage(UINT message, MessageResult (Dialog::*handler)(WPARAM, LPARAM))
{
    return {message, 0, 0, handler, nullptr};
}

// A row routing WM_COMMAND with `notifyCode` from control `controlId` to `handler()`.
template <class Dialog>
constexpr MessageMapEntry<Dialog> MapCommand(UINT controlId, UINT notifyCode, void (Dialog::*handler)())
{
    return {WM_COMMAND, controlId, notifyCode, nullptr, handler};
}

// Looks `message` up in `map` and calls the first matching handler on
// `dialog`. Returns nothing when no row matches or the handler asked for the
// default handling.
template <class Dialog, std::size_t N>
MessageResult RouteMessage(Dialog& dialog, const MessageMapEntry<Dialog> (&map)[N], UINT message, WPARAM wParam,
                           LPARAM lParam)
{
    for (const MessageMapEntry<Dialog>& entry : map) {
        if (entry.message != message)
            continue;
        if (message != WM_COMMAND)
            return (dialog.*entry.onMessage)(wParam, lParam);
        if (entry.controlId == LOWORD(wParam) && entry.notifyCode == HIWORD(wParam)) {
            (dialog.*entry.onCommand)();
            return 0;
        }
    }
    return DefaultHandling;
}
