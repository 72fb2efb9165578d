#pragma once
// CAboutDlg: names the program and its version.

#include "framework/dialog.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}
};
