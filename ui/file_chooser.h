#pragma once
// The file chooser of the main window: the open-file dialog with Vandrel's
// title and a "Select" button.

#include <string>

#include "framework/file_dialog.h"
#include "framework/wnd.h"

class AFileDialog : public CFileDialog {
public:
    using CFileDialog::CFileDialog;

protected:
    BOOL OnInitDialog() override;
};

// Lets the user choose one file, listing only piece files when `forJoin` is
// not 0; the first time in the user's Documents folder. Returns its full path, or an empty path after "No File Selected!"
// (owned by `owner`) when the user chose none.
std::wstring ChooseFile(const CWnd& owner, int forJoin);
