// Reads the title of a program's window the way a user sees it, for the tests
// that start a program through the shell or through a copy of itself and so
// have no handle on it: waits for a visible top-level window whose title
// starts with PREFIX, prints its whole title in brackets, and closes it, or
// clicks its button BUTTON_ID when one is given.
// Usage: window_caption.exe PREFIX [BUTTON_ID]
// Exit status: 0 when such a window showed, 1 otherwise.

#include <windows.h>

#include <cstdio>
#include <string>

#include "wait.h"
#include "window_query.h"

namespace {

struct Search {
    std::wstring prefix;
    HWND found = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<Search*>(parameter);
    if (IsWindowVisible(window) && gui::CaptionOf(window).rfind(search->prefix, 0) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: window_caption PREFIX [BUTTON_ID]\n");
        return 2;
    }
    Search search{argv[1]};
    const HWND window = gui::WaitFor(
        [&] {
            search.found = nullptr;
            EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
            return search.found;
        },
        gui::Milliseconds(60000));
    if (!window) {
        std::fprintf(stderr, "no window titled %ls...\n", search.prefix.c_str());
        return 1;
    }
    std::printf("[%ls]\n", gui::CaptionOf(window).c_str());
    if (argc == 3) {
        const int button = _wtoi(argv[2]);
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
    } else {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return 0;
}
