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
    // The keys whose box the user clicked since the stored layout was read, in the order of their
    // last clicks, which is the order OK adds new mappings in.
    LayoutChange m_changeClicked;
    // The ticked boxes as the stored layout was read: OK changes only the keys whose box differs.
    KeySet m_keysShown;
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
    // save reads the value afresh and changes only the keys whose box differs from the layout as read.
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
    // One step of every key check box: the map follows the box, and a change is pending while any
    // box differs from the layout as read.
    void OnKeyClicked(size_t nRow);
    // The boxes that differ from the layout as read, in click order. A box clicked back to where it
    // started is left out, so that a remap it showed, or another tool's mapping of its key stored
    // since, stays.
    LayoutChange ChangeMade();
    void OpenWebSite();
};
