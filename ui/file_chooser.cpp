#include "file_chooser.h"

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
    const INT_PTR result = dialog.DoModal();
    std::wstring path = dialog.GetPathName();
    if (result != IDOK)
        owner.MessageBox(L"No File Selected!", nullptr, MB_OK);
    return path;
}
