#include "vandrel_dlg.h"

#include "about_dlg.h"
#include "framework/dropped_files.h"
#include "framework/paint_dc.h"
#include "file_chooser.h"
#include "job_state.h"
#include "piece_names.h"
#include "piece_size.h"
#include "platform/text.h"
#include "resource.h"
#include "size_units.h"

namespace {
const wchar_t* const kNoFileText = L"No file has been selected !";
const wchar_t* const kNoFile = L"  ";
}  // namespace

const MessageMapEntry<CVandrelDlg> CVandrelDlg::messageMap[] = {
    MapMessage(WM_SYSCOMMAND, &CVandrelDlg::OnSysCommand),
    MapMessage(WM_PAINT, &CVandrelDlg::OnPaint),
    MapMessage(WM_QUERYDRAGICON, &CVandrelDlg::OnQueryDragIcon),
    MapCommand(IDC_SELECT_SPLIT, BN_CLICKED, &CVandrelDlg::OnSelectSplitFile),
    MapCommand(IDC_SELECT_JOIN, BN_CLICKED, &CVandrelDlg::OnSelectJoinFile),
    MapCommand(IDC_START_SPLIT, BN_CLICKED, &CVandrelDlg::OnStartSplit),
    MapCommand(IDC_START_JOIN, BN_CLICKED, &CVandrelDlg::OnStartJoin),
    MapMessage(WM_JOB_PROGRESS, &CVandrelDlg::OnJobProgress),
    MapMessage(WM_JOB_FINISHED, &CVandrelDlg::OnJobFinished),
    MapMessage(WM_DROPFILES, &CVandrelDlg::OnDropFiles),
    MapCommand(IDC_MORE, BN_CLICKED, &CVandrelDlg::OnMore),
};

CVandrelDlg::CVandrelDlg()
    : CDialog(IDD_VANDREL_DIALOG, nullptr),
      m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

void CVandrelDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_SELECT_SPLIT, m_selectSplitButton);
    DDX_Control(pDX, IDC_START_JOIN, m_startJoinButton);
    DDX_Control(pDX, IDC_PIECE_SIZE, m_sizeEdit);
    DDX_Control(pDX, IDC_UNIT, m_unitList);
    DDX_Control(pDX, IDC_START_SPLIT, m_startSplitButton);
    DDX_Control(pDX, IDC_SELECT_JOIN, m_selectJoinButton);
    DDX_Control(pDX, IDC_PROGRESS, m_progressBar);
    DDX_Control(pDX, IDC_MORE, m_moreButton);
}

MessageResult CVandrelDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(*this, messageMap, message, wParam, lParam);
}

BOOL CVandrelDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (HMENU systemMenu = GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t about[64] = {};
        if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, about, 64) > 0) {
            AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    jobState.busy = 0;
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_currentFileLabel.reset();
    ClearSelection();
    m_unitList.SetCurSel(static_cast<int>(kDefaultSizeUnitIndex));  // the list holds the units in order
    jobState.exitWhenDone = 0;
    DragAcceptFiles(m_hWnd, TRUE);
    return TRUE;
}

void CVandrelDlg::OnOK()
{
    if (!RefusedWhileBusy(RunningJobKind()))
        CDialog::OnOK();
}

void CVandrelDlg::OnCancel()
{
    if (!RefusedWhileBusy(RunningJobKind()))
        CDialog::OnCancel();
}

bool CVandrelDlg::RefusedWhileBusy(JobKind kind)
{
    if (!jobState.busy)
        return false;
    MessageBox(L"One action in progress please wait!", JobCaption(kind), MB_OK);
    return true;
}

MessageResult CVandrelDlg::OnSysCommand(WPARAM command, LPARAM)
{
    if ((command & 0xFFF0) != IDM_ABOUTBOX)
        return DefaultHandling;
    ShowAbout();
    return 0;
}

void CVandrelDlg::OnMore()
{
    ShowAbout();
}

void CVandrelDlg::ShowAbout()
{
    CAboutDlg about;
    about.DoModal();
}

// Minimised, the window shows its icon centred; otherwise the dialog paints itself.
MessageResult CVandrelDlg::OnPaint(WPARAM, LPARAM)
{
    if (!IsIconic())
        return DefaultHandling;
    CPaintDC paint(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.m_hDC), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(paint.m_hDC, x, y, m_hIcon);
    return 0;
}

MessageResult CVandrelDlg::OnQueryDragIcon(WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>(m_hIcon);
}

void CVandrelDlg::OnSelectSplitFile()
{
    SelectFile(JobKind::Split);
}

void CVandrelDlg::OnSelectJoinFile()
{
    SelectFile(JobKind::Join);
}

// A cancelled choice keeps the earlier selection.
void CVandrelDlg::SelectFile(JobKind kind)
{
    if (RefusedWhileBusy(kind))
        return;
    const std::wstring path = ChooseFile(*this, kind == JobKind::Join);
    if (!path.empty())
        SetCurrentFile(path);
}

// A file dropped from Explorer is chosen as the chooser would choose it; of
// several, the first. Refused, like every choice, while a job runs.
MessageResult CVandrelDlg::OnDropFiles(WPARAM drop, LPARAM)
{
    const std::vector<std::wstring> paths = TakeDroppedFiles(reinterpret_cast<HDROP>(drop));
    if (RefusedWhileBusy(RunningJobKind()) || paths.empty())
        return 0;
    SetCurrentFile(paths.front());
    return 0;
}

void CVandrelDlg::SetCurrentFile(const std::wstring& path)
{
    m_currentFile = path;
    SetCurrentFileLabel(m_currentFileLabel, m_currentFile, 0, *this);
}

// The window checks neither path nor size: the job judges both and says what is wrong.
void CVandrelDlg::OnStartSplit()
{
    if (RefusedWhileBusy(JobKind::Split))
        return;
    const std::int64_t number = DecimalToInt64(m_sizeEdit.GetWindowText());
    const std::string unit = ToNarrowPath(m_unitList.GetWindowText());
    Start(JobKind::Split, PieceSizeFromNumberAndUnit(number, unit));
}

// A join reads neither the size nor the unit.
void CVandrelDlg::OnStartJoin()
{
    if (RefusedWhileBusy(JobKind::Join))
        return;
    Start(JobKind::Join, 0);
}

void CVandrelDlg::Start(JobKind kind, std::int64_t partSize)
{
    m_progressBar.Restart();
    StartJob(kind, m_hWnd, m_currentFile, partSize);
}

MessageResult CVandrelDlg::OnJobProgress(WPARAM, LPARAM)
{
    m_progressBar.Advance();
    return 1;
}

MessageResult CVandrelDlg::OnJobFinished(WPARAM, LPARAM)
{
    ClearSelection();
    m_progressBar.Clear();
    return 1;
}

void CVandrelDlg::ClearSelection()
{
    SetCurrentFileLabel(m_currentFileLabel, kNoFileText, 1, *this);
    m_currentFile = kNoFile;
}
