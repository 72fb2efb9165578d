// Identifiers shared by the resource script and the windows.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_VANDREL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_PROGRESS 131

#define IDC_SELECT_SPLIT 1000
#define IDC_SELECT_JOIN 1001
#define IDC_START_SPLIT 1002
#define IDC_UNIT 1006
#define IDC_PIECE_SIZE 1007
#define IDC_START_JOIN 1008
#define IDC_PROGRESS 1010
#define IDC_MORE 1011
#define IDC_CURRENT_FILE 2000

// The main window's margin, in dialog units: its frames start this far from
// its left edge, and the current-file label ends this far from its right.
#define VANDREL_DIALOG_MARGIN 7

// The system menu command that opens the About window.
#define IDM_ABOUTBOX 0x0010
