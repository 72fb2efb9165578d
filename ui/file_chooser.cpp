#include "file_chooser.h"

#include <shlobj.h>

namespace {

// Whether the chooser has been opened in this run; written and read on the
// window thread only. After its first opening the system remembers the
// folder the user was in.
bool openedBefore = false;

// The user's Documents folder; empty when the system cannot tell it.
std::wstring DocumentsFolder()
{
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path)))
        folder = path;
    CoTaskMemFree(path);
    return folder;
}

}  // namespace

BOOL AFileDialog::OnInitDialog()
{
    CFileDialog::OnInitDialog();
    SetControlText(IDOK, L"Select");
    return TRUE;
}

std::wstring ChooseFile(const CWnd& owner, int forJoin)
{
    AFileDialog dialog(OFN_OVERWRITEPROMPT, forJoin ? L"Split Files(*.plit)|*.plit|" : nullptr);
    dialog.GetOFN().lpstrTitle = L"Select only one file and click on the Select button below";
    // The first opening starts among the user's files, not the program's own.
    const std::wstring documents = openedBefore ? std::wstring() : DocumentsFolder();
    if (!documents.empty())
        dialog.GetOFN().lpstrInitialDir = documents.c_str();
    openedBefore = true;
    const INT_PTR result = dialog.DoModal();
    std::wstring path = dialog.GetPathName();
    if (result != IDOK)
        owner.MessageBox(L"No File Selected!", nullptr, MB_OK);
    return path;
}
