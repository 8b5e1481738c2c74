// CMorvexDisablerDlg: the main dialog, which owns the layout state of a run.
#pragma once

#include "dialog/WebBrowserLauncher.h"
#include "framework/afxreg.h"
#include "framework/afxwin.h"
#include "layout/KeyTable.h"
#include "layout/LayoutStore.h"
#include "res/resource.h"
#include "system/SessionControl.h"

// The message that makes the dialog back the stored layout up and check its order.
#define WM_CHECK_STORED_LAYOUT (WM_USER + 1)

class CMorvexDisablerDlg : public CDialog
{
public:
    explicit CMorvexDisablerDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MORVEXDISABLER_DIALOG };

    // Layout state.
    CMapStringToString m_mapDisabledKeys;
    BOOL m_bChangesPending;
    // The keys whose box the user clicked since the stored layout was read, as the boxes show them
    // now: OK changes only these.
    LayoutChange m_changeClicked;
    CString m_strKeyText;
    HICON m_hIcon;
    BOOL m_bDisableLeftWindowsKey;
    BOOL m_bDisableRightWindowsKey;
    BOOL m_bDisableCapsLockKey;
    BOOL m_bApplyChangesForAllUsers;
    BOOL m_bDisableLeftCtrlKey;

    // What the dialog asks of the system; tests put fakes here.
    CRegistryApi* m_pRegistry;
    CSessionControl* m_pSessionControl;
    CWebBrowserLauncher* m_pWebBrowser;

    // The stored layout of the current scope, with the messages that say why a save failed. The
    // save reads the value afresh and changes only the keys the user clicked.
    void LoadLayoutFromRegistry();
    BOOL SaveLayoutToRegistry();
    BOOL CheckStoredLayout();

    // The scope the program's setting selects: nonzero for all users, bDefault when there is none.
    static BOOL StoredScope(BOOL bDefault = TRUE);

    // The member bound to a key's check box.
    BOOL& KeyMember(size_t nRow);
    // Offset that centres an extent within another, rounded toward zero as the painting needs.
    static int CenteredOffset(int nOuter, int nInner) { return (nOuter - nInner + 1) / 2; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    afx_msg void OnBnClickedWebLink();
    afx_msg void OnBnClickedOk();
    afx_msg void OnBnClickedLeftWindowsKey();
    afx_msg void OnBnClickedRightWindowsKey();
    afx_msg void OnBnClickedCapsLockKey();
    afx_msg void OnBnClickedAllUsers();
    afx_msg void OnBnClickedLeftCtrlKey();
    DECLARE_MESSAGE_MAP()

private:
    CLayoutStore Store() const;
    // The boxes show the map: a key's box is ticked for any mapping of the key.
    void ShowKeysOf(const CMapStringToString& map);
    // One step of every key check box: the change is pending and the map follows the box.
    void OnKeyClicked(size_t nRow);
    void OpenWebSite();
};
