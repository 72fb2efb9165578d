#include "file_chooser.h"

#include "user_input.h"
#include "window_query.h"

namespace gui {

namespace {

// The file name box: a combo box (cmb13) in the explorer-style dialog, an
// edit (edt1) in the old style; both carry this id.
constexpr int kFileNameBoxId = 0x047C;

}  // namespace

HWND WaitForChooser(DWORD processId, Milliseconds timeout)
{
    return WaitForTopLevel(processId, kChooserTitle, kDialogClass, timeout);
}

std::wstring OpenButtonText(HWND chooser)
{
    return TextOf(Child(chooser, IDOK));
}

bool ChooseFile(HWND chooser, const std::wstring& path)
{
    HWND nameBox = Child(chooser, kFileNameBoxId);
    if (!nameBox) {
        return false;
    }
    SetText(nameBox, path);
    ClickButton(chooser, IDOK);
    return WaitUntilGone(chooser);
}

bool CancelChooser(HWND chooser)
{
    ClickButton(chooser, IDCANCEL);
    return WaitUntilGone(chooser);
}

}  // namespace gui
