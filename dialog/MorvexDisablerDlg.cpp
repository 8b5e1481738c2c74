#include "dialog/MorvexDisablerDlg.h"

#include "dialog/AboutDlg.h"
#include "dialog/Messages.h"
#include "layout/LayoutStore.h"
#include "system/ScopeSetting.h"
#include "system/ScopeTexts.h"

namespace
{
const WCHAR s_szWebAddress[] = L"http://www.morvexsoft.com/";

const WCHAR s_szBackupFile[] = L"D:\\RegistryData.reg";

// How long OK waits for another copy's edit of the layout, which takes a moment at most. The window
// does not answer meanwhile, and Windows shows a window that has not answered for five seconds as
// hung.
const DWORD s_dwLayoutWaitMs = 2000;

// Which check box shows which row of the key table, and the member bound to it.
struct KeyBox
{
    int nControlId;
    BOOL CMorvexDisablerDlg::*pMember;
};
const KeyBox s_keyBoxes[CKeyTable::kDialogCount] = {
    { IDC_LEFT_WINDOWS_KEY, &CMorvexDisablerDlg::m_bDisableLeftWindowsKey },
    { IDC_RIGHT_WINDOWS_KEY, &CMorvexDisablerDlg::m_bDisableRightWindowsKey },
    { IDC_CAPS_LOCK_KEY, &CMorvexDisablerDlg::m_bDisableCapsLockKey },
    { IDC_LEFT_CTRL_KEY, &CMorvexDisablerDlg::m_bDisableLeftCtrlKey },
};
}  // namespace

CMorvexDisablerDlg::CMorvexDisablerDlg(CWnd* pParent)
    : CDialog(IDD_MORVEXDISABLER_DIALOG, pParent),
      m_mapDisabledKeys(10),
      m_bChangesPending(FALSE),
      m_keysShown(0),
      m_hIcon(::LoadIconW(AfxFindResourceHandle(MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */),
                          MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bDisableLeftWindowsKey(FALSE),
      m_bDisableRightWindowsKey(FALSE),
      m_bDisableCapsLockKey(FALSE),
      m_bApplyChangesForAllUsers(TRUE),
      m_bDisableLeftCtrlKey(FALSE),
      m_pRegistry(&CRegistryApi::Real()),
      m_pSessionControl(&CSessionControl::Real()),
      m_pWebBrowser(&CWebBrowserLauncher::Real())
{
}

void CMorvexDisablerDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    for (const KeyBox& box : s_keyBoxes)
        DDX_Check(pDX, box.nControlId, this->*box.pMember);
    DDX_Check(pDX, IDC_ALL_USERS, m_bApplyChangesForAllUsers);
}

BEGIN_MESSAGE_MAP(CMorvexDisablerDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_HELPINFO()
    ON_BN_CLICKED(IDC_WEB_LINK, &CMorvexDisablerDlg::OnBnClickedWebLink)
    ON_BN_CLICKED(IDOK, &CMorvexDisablerDlg::OnBnClickedOk)
    ON_BN_CLICKED(IDC_LEFT_WINDOWS_KEY, &CMorvexDisablerDlg::OnBnClickedLeftWindowsKey)
    ON_BN_CLICKED(IDC_RIGHT_WINDOWS_KEY, &CMorvexDisablerDlg::OnBnClickedRightWindowsKey)
    ON_BN_CLICKED(IDC_CAPS_LOCK_KEY, &CMorvexDisablerDlg::OnBnClickedCapsLockKey)
    ON_BN_CLICKED(IDC_ALL_USERS, &CMorvexDisablerDlg::OnBnClickedAllUsers)
    ON_BN_CLICKED(IDC_LEFT_CTRL_KEY, &CMorvexDisablerDlg::OnBnClickedLeftCtrlKey)
END_MESSAGE_MAP()

BOOL& CMorvexDisablerDlg::KeyMember(size_t nRow)
{
    return this->*s_keyBoxes[nRow].pMember;
}

BOOL CMorvexDisablerDlg::StoredScope(BOOL bDefault)
{
    return StoredScopeSetting(bDefault);
}

CLayoutStore CMorvexDisablerDlg::Store() const
{
    return CLayoutStore(*m_pRegistry, m_bApplyChangesForAllUsers);
}

void CMorvexDisablerDlg::ShowKeysOf(const CMapStringToString& map)
{
    m_keysShown = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kDialogCount; ++nRow)
    {
        KeyMember(nRow) = CDisabledKeyMap::Contains(map, CKeyTable::At(nRow).Source());
        if (KeyMember(nRow))
            m_keysShown |= CKeyTable::Bit(nRow);
    }
    UpdateData(FALSE);
}

void CMorvexDisablerDlg::LoadLayoutFromRegistry()
{
    m_bChangesPending = FALSE;
    m_changeClicked = LayoutChange();
    // A value that cannot be read shows no key switched off; the save reads it again before it
    // writes anything, so nothing is lost by it.
    Store().Load(m_mapDisabledKeys);
    ShowKeysOf(m_mapDisabledKeys);
}

BOOL CMorvexDisablerDlg::SaveLayoutToRegistry()
{
    LayoutEdit edit;
    if (Store().Edit(ChangeMade(), edit, s_dwLayoutWaitMs) != LayoutEdit::done)
    {
        MessageBox(EditFailureText(edit), nullptr, MB_ICONHAND);
        return FALSE;
    }

    // The dialog holds what is stored now, other programs' changes included.
    m_bChangesPending = FALSE;
    m_changeClicked = LayoutChange();
    m_mapDisabledKeys.RemoveAll();
    if (edit.typeAfter == StoredLayoutType::Binary)
        CDisabledKeyMap::Load(m_mapDisabledKeys, edit.after.GetData(), static_cast<size_t>(edit.after.GetSize()));
    ShowKeysOf(m_mapDisabledKeys);
    return TRUE;
}

BOOL CMorvexDisablerDlg::CheckStoredLayout()
{
    // Toggles made before the check stay pending: the boxes still show them, so OK must store them.
    return Store().CheckStoredLayout(s_szBackupFile);
}

BOOL CMorvexDisablerDlg::OnInitDialog()
{
    // The scope comes first, so that the base initialisation already shows it.
    m_bApplyChangesForAllUsers = StoredScope(m_bApplyChangesForAllUsers);
    CDialog::OnInitDialog();

    if (CMenu* pSysMenu = GetSystemMenu(FALSE))
    {
        CString strAboutMenu;
        strAboutMenu.LoadString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty())
        {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SetWindowText(AfxGetApp()->m_pszAppName);

    LoadLayoutFromRegistry();
    return TRUE;
}

LRESULT CMorvexDisablerDlg::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CHECK_STORED_LAYOUT)
    {
        const BOOL bEnable = CheckStoredLayout();
        static const int s_checkedControls[] = { IDC_LEFT_WINDOWS_KEY, IDC_RIGHT_WINDOWS_KEY, IDC_CAPS_LOCK_KEY, IDOK };
        for (int nID : s_checkedControls)
            GetDlgItem(nID)->EnableWindow(bEnable);
    }
    return CDialog::DefWindowProc(message, wParam, lParam);
}

void CMorvexDisablerDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    }
    else
    {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CMorvexDisablerDlg::OnPaint()
{
    if (IsIconic())
    {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        RECT rect;
        GetClientRect(&rect);
        const int x = CenteredOffset(rect.right - rect.left, ::GetSystemMetrics(SM_CXICON));
        const int y = CenteredOffset(rect.bottom - rect.top, ::GetSystemMetrics(SM_CYICON));
        dc.DrawIcon(x, y, m_hIcon);
    }
    else
    {
        CDialog::OnPaint();
    }
}

HCURSOR CMorvexDisablerDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

BOOL CMorvexDisablerDlg::OnHelpInfo(HELPINFO*)
{
    OpenWebSite();
    return TRUE;
}

void CMorvexDisablerDlg::OnBnClickedWebLink()
{
    OpenWebSite();
}

void CMorvexDisablerDlg::OpenWebSite()
{
    if (OpenWithUsersToken(*m_pWebBrowser, s_szWebAddress))
        return;
    // Nothing may start with this program's token: the user opens the address.
    CString strText(L"Open this address in your web browser:\n\n");
    strText += s_szWebAddress;
    MessageBox(strText, nullptr, MB_ICONINFORMATION);
}

void CMorvexDisablerDlg::OnBnClickedOk()
{
    UpdateData(TRUE);
    if (m_bChangesPending != TRUE)
    {
        OnOK();
        return;
    }
    if (!SaveLayoutToRegistry())
        return;

    const ScopeTexts& texts = ScopeTexts::For(m_bApplyChangesForAllUsers);
    if (!m_pSessionControl->CanRequest(m_bApplyChangesForAllUsers))
    {
        // No log-off is offered that would end another account's session and leave the user's.
        MessageBox(texts.pszCannotRequest, nullptr, MB_ICONINFORMATION);
        OnOK();
        return;
    }
    switch (MessageBox(texts.pszQuestion, nullptr, MB_YESNO | MB_ICONQUESTION))
    {
    case IDYES:
        OnOK();
        if (!m_pSessionControl->RequestRestartOrLogOff(m_bApplyChangesForAllUsers))
            MessageBox(texts.pszRequestFailed, nullptr, MB_ICONHAND);
        break;
    case IDNO:
        OnOK();
        break;
    default:
        // No answer could be had: the change is stored, so the next OK just ends the dialog.
        break;
    }
}

void CMorvexDisablerDlg::OnKeyClicked(size_t nRow)
{
    UpdateData(TRUE);
    CDisabledKeyMap::SetKeyDisabled(m_mapDisabledKeys, CKeyTable::At(nRow), KeyMember(nRow), m_strKeyText);
    m_changeClicked.Set(nRow, KeyMember(nRow));
    const LayoutChange change = ChangeMade();
    m_bChangesPending = (change.disable | change.enable) != 0;
}

LayoutChange CMorvexDisablerDlg::ChangeMade()
{
    LayoutChange change = m_changeClicked;
    change.disable = 0;
    change.enable = 0;
    for (size_t nRow = 0; nRow < CKeyTable::kDialogCount; ++nRow)
    {
        const KeySet bit = CKeyTable::Bit(nRow);
        if (KeyMember(nRow) && (m_keysShown & bit) == 0)
            change.disable |= bit;
        else if (!KeyMember(nRow) && (m_keysShown & bit) != 0)
            change.enable |= bit;
    }
    return change;
}

void CMorvexDisablerDlg::OnBnClickedLeftWindowsKey() { OnKeyClicked(0); }
void CMorvexDisablerDlg::OnBnClickedRightWindowsKey() { OnKeyClicked(1); }
void CMorvexDisablerDlg::OnBnClickedCapsLockKey() { OnKeyClicked(2); }
void CMorvexDisablerDlg::OnBnClickedLeftCtrlKey() { OnKeyClicked(3); }

void CMorvexDisablerDlg::OnBnClickedAllUsers()
{
    UpdateData(TRUE);
    StoreScopeSetting(m_bApplyChangesForAllUsers);
    // Toggles not yet stored belong to the scope being left; they are dropped.
    LoadLayoutFromRegistry();
}
