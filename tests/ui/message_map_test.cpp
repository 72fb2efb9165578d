// Routing of messages and control notifications through a dialog's message map.

#include <gtest/gtest.h>

#include <vector>

#include "framework/message_map.h"

namespace {

class Recorder {
public:
    MessageResult OnProgress(WPARAM wParam, LPARAM lParam)
    {
        calls.push_back(static_cast<int>(wParam + lParam));
        return 1;
    }
    MessageResult OnSysCommand(WPARAM, LPARAM) { return DefaultHandling; }
    void OnStart() { calls.push_back(-1); }
    void OnMore() { calls.push_back(-2); }

    std::vector<int> calls;
    static const MessageMapEntry<Recorder> messageMap[];
};

const MessageMapEntry<Recorder> Recorder::messageMap[] = {
    MapMessage(WM_USER + 1, &Recorder::OnProgress),
    MapMessage(WM_SYSCOMMAND, &Recorder::OnSysCommand),
    MapCommand(1002, BN_CLICKED, &Recorder::OnStart),
    MapCommand(1011, BN_CLICKED, &Recorder::OnMore),
};

MessageResult Route(Recorder& recorder, UINT message, WPARAM wParam, LPARAM lParam = 0)
{
    return RouteMessage(recorder, Recorder::messageMap, message, wParam, lParam);
}

}  // namespace

TEST(MessageMap, RoutesAWindowMessageToItsHandlerWithItsParameters)
{
    Recorder recorder;
    EXPECT_EQ(Route(recorder, WM_USER + 1, 2, 3), MessageResult(1));
    EXPECT_EQ(recorder.calls, std::vector<int>{5});
}

TEST(MessageMap, RoutesACommandByControlIdAndNotificationCode)
{
    Recorder recorder;
    EXPECT_EQ(Route(recorder, WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED)), MessageResult(0));
    EXPECT_EQ(Route(recorder, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED)), MessageResult(0));
    EXPECT_EQ(recorder.calls, (std::vector<int>{-2, -1}));

    // Another notification of a mapped control, or a control without a row, is left to the defaults.
    EXPECT_EQ(Route(recorder, WM_COMMAND, MAKEWPARAM(1002, BN_SETFOCUS)), DefaultHandling);
    EXPECT_EQ(Route(recorder, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)), DefaultHandling);
    EXPECT_EQ(recorder.calls.size(), 2u);
}

TEST(MessageMap, UnmappedMessagesAndHandlersAskingForTheDefaultGetTheDefaultHandling)
{
    Recorder recorder;
    EXPECT_EQ(Route(recorder, WM_PAINT, 0), DefaultHandling);
    EXPECT_EQ(Route(recorder, WM_SYSCOMMAND, SC_CLOSE), DefaultHandling);
    EXPECT_TRUE(recorder.calls.empty());
}
