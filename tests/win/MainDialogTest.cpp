// The main dialog as a user meets it: what it shows at start, keys and clicks, and ways out.
#include <gtest/gtest.h>

#include <algorithm>

#include "DialogDriver.h"
#include "RegistryFixture.h"
#include "dialog/MorvexDisablerDlg.h"

namespace
{
const WCHAR kAppName[] = L"Morvex Disabler by MorvexSoft";

class MainDialogTest : public StoredLayoutTest
{
protected:
    INT_PTR RunDialog(const std::function<void(CUser&, CMorvexDisablerDlg&)>& script)
    {
        CMorvexDisablerDlg dlg;
        return CDialogSession::Run(dlg, [&](CUser& user) { script(user, dlg); });
    }
};

std::wstring TextOf(HWND hWnd)
{
    WCHAR sz[256] = {};
    ::GetWindowTextW(hWnd, sz, 256);
    return sz;
}

TEST_F(MainDialogTest, FirstRunShowsTheMachineWideLayoutWithTheScopeFixed)
{
    StoreLayout(Scope::AllUsers, ScancodeMapValue({ { 0, 0x003A } }));
    StoreLayout(Scope::CurrentUser, ScancodeMapValue({ { 0, 0xE05B } }));
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        EXPECT_EQ(kAppName, TextOf(user.Dialog()));
        EXPECT_TRUE(user.IsChecked(IDC_ALL_USERS));
        EXPECT_FALSE(user.IsEnabled(IDC_ALL_USERS));
        EXPECT_TRUE(user.IsChecked(IDC_CAPS_LOCK_KEY));
        EXPECT_FALSE(user.IsChecked(IDC_LEFT_WINDOWS_KEY));
        // The dialog manager gives the focus to the first tab stop.
        EXPECT_EQ(user.Control(IDC_LEFT_WINDOWS_KEY), user.Focus());
    });
    EXPECT_EQ(std::nullopt, StoredScopeSetting()) << "only a scope click writes the setting";
}

TEST_F(MainDialogTest, StoredScopeSettingSelectsTheCurrentUsersLayout)
{
    StoreScopeSetting(0);
    StoreLayout(Scope::AllUsers, ScancodeMapValue({ { 0, 0x003A } }));
    StoreLayout(Scope::CurrentUser, ScancodeMapValue({ { 0, 0xE05B } }));
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        EXPECT_FALSE(user.IsChecked(IDC_ALL_USERS));
        EXPECT_FALSE(user.IsEnabled(IDC_ALL_USERS));
        EXPECT_TRUE(user.IsChecked(IDC_LEFT_WINDOWS_KEY));
        EXPECT_FALSE(user.IsChecked(IDC_CAPS_LOCK_KEY));
    });
    EXPECT_EQ(0u, StoredScopeSetting());
}

TEST_F(MainDialogTest, OpensCentredOnTheScreen)
{
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        RECT rcWindow;
        ::GetWindowRect(user.Dialog(), &rcWindow);
        MONITORINFO mi = { sizeof(mi) };
        ::GetMonitorInfoW(::MonitorFromWindow(user.Dialog(), MONITOR_DEFAULTTOPRIMARY), &mi);
        const RECT& rcWork = mi.rcWork;
        EXPECT_LE(std::abs((rcWindow.left - rcWork.left) - (rcWork.right - rcWindow.right)), 1);
        EXPECT_LE(std::abs((rcWindow.top - rcWork.top) - (rcWork.bottom - rcWindow.bottom)), 1);
        EXPECT_GT(rcWindow.left, rcWork.left);
    });
}

TEST_F(MainDialogTest, ShowsTheApplicationIconInTheCaption)
{
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        EXPECT_NE(nullptr, dlg.m_hIcon);
        EXPECT_EQ(dlg.m_hIcon, reinterpret_cast<HICON>(::SendMessageW(user.Dialog(), WM_GETICON, ICON_BIG, 0)));
        EXPECT_EQ(dlg.m_hIcon, reinterpret_cast<HICON>(::SendMessageW(user.Dialog(), WM_GETICON, ICON_SMALL, 0)));
        EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.m_hIcon), ::SendMessageW(user.Dialog(), WM_QUERYDRAGICON, 0, 0));
    });
}

// Every way out but OK ends the dialog with IDCANCEL and leaves the registry as it was.
struct WayOut
{
    const char* pszName;
    std::function<void(CUser&)> leave;
};

TEST_F(MainDialogTest, CancelEscapeAndCloseStoreNothing)
{
    const WayOut waysOut[] = {
        { "Cancel", [](CUser& user) { user.Click(IDCANCEL); } },
        { "Escape", [](CUser& user) { user.PressKey(VK_ESCAPE); } },
        { "CloseCommand", [](CUser& user) { user.SysCommand(SC_CLOSE); } },
        { "CloseMessage", [](CUser& user) { user.Post(WM_CLOSE, 0, 0); } },
    };
    const Bytes stored = ScancodeMapValue({ { 0x001D, 0x003A } });
    for (const WayOut& wayOut : waysOut)
    {
        SCOPED_TRACE(wayOut.pszName);
        StoreLayout(Scope::AllUsers, stored);
        const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
            user.Click(IDC_LEFT_WINDOWS_KEY);
            user.Click(IDC_CAPS_LOCK_KEY);
            wayOut.leave(user);
            user.Sync();  // Close comes back as a posted Cancel
            EXPECT_FALSE(user.DialogStillOpen());
            EXPECT_TRUE(user.NoMessageBox());
        });
        EXPECT_EQ(IDCANCEL, nResult);
        EXPECT_EQ(stored, StoredLayout(Scope::AllUsers));
        EXPECT_EQ(std::nullopt, StoredLayout(Scope::CurrentUser));
        EXPECT_EQ(std::nullopt, StoredScopeSetting());
    }
}

TEST_F(MainDialogTest, KeyboardWorksTheCheckBoxesAndButtons)
{
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.PressKey(VK_SPACE);  // the focused Left Windows box
        EXPECT_TRUE(user.IsChecked(IDC_LEFT_WINDOWS_KEY));
        user.OnDialogThread([&] {
            EXPECT_TRUE(dlg.m_bChangesPending);
            EXPECT_TRUE(dlg.m_bDisableLeftWindowsKey);
        });

        // Tab from the web link skips the greyed scope box.
        ::SendMessageW(user.Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(user.Control(IDC_WEB_LINK)), TRUE);
        user.Sync();
        user.PressKey(VK_TAB);
        EXPECT_EQ(IDC_LEFT_CTRL_KEY, ::GetDlgCtrlID(user.Focus()));
        // Back to the first tab stop, so the mnemonic below starts from there.
        user.PressKey(VK_TAB);
        EXPECT_EQ(IDC_LEFT_WINDOWS_KEY, ::GetDlgCtrlID(user.Focus()));

        // Alt+C, the mnemonic Caps Lock shares with Left Ctrl, reaches Caps Lock first.
        user.PressKey('C', true);
        EXPECT_EQ(IDC_CAPS_LOCK_KEY, ::GetDlgCtrlID(user.Focus()));
    });
}

TEST_F(MainDialogTest, EnterWithNothingPendingEndsTheDialogAsOk)
{
    const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.PressKey(VK_RETURN);
        EXPECT_FALSE(user.DialogStillOpen());
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(std::nullopt, StoredLayout(Scope::AllUsers));
}

TEST_F(MainDialogTest, ScopeClickStoresTheScopeAndShowsTheOtherLayoutWithNothingPending)
{
    StoreLayout(Scope::AllUsers, ScancodeMapValue({ { 0, 0x003A } }));
    StoreLayout(Scope::CurrentUser, ScancodeMapValue({ { 0, 0xE05C } }));
    RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.Click(IDC_LEFT_CTRL_KEY);
        // The box is greyed, so a user cannot click it; its notification still reaches the dialog.
        ::SendMessageW(user.Control(IDC_ALL_USERS), BM_SETCHECK, BST_UNCHECKED, 0);
        user.Notify(IDC_ALL_USERS);

        EXPECT_EQ(0u, StoredScopeSetting());
        EXPECT_TRUE(user.IsChecked(IDC_RIGHT_WINDOWS_KEY));
        EXPECT_FALSE(user.IsChecked(IDC_CAPS_LOCK_KEY));
        EXPECT_FALSE(user.IsChecked(IDC_LEFT_CTRL_KEY));
        user.OnDialogThread([&] {
            EXPECT_FALSE(dlg.m_bChangesPending);
            EXPECT_FALSE(dlg.m_bApplyChangesForAllUsers);
            EXPECT_EQ(1, dlg.m_mapDisabledKeys.GetCount());
        });

        ::SendMessageW(user.Control(IDC_ALL_USERS), BM_SETCHECK, BST_CHECKED, 0);
        user.Notify(IDC_ALL_USERS);
        EXPECT_EQ(1u, StoredScopeSetting());
        EXPECT_TRUE(user.IsChecked(IDC_CAPS_LOCK_KEY));
        EXPECT_FALSE(user.IsChecked(IDC_RIGHT_WINDOWS_KEY));
    });
    // The dropped tick was never stored anywhere.
    EXPECT_EQ(ScancodeMapValue({ { 0, 0x003A } }), StoredLayout(Scope::AllUsers));
    EXPECT_EQ(ScancodeMapValue({ { 0, 0xE05C } }), StoredLayout(Scope::CurrentUser));
}

TEST_F(MainDialogTest, MinimisedIconIsCentredWithOffsetsRoundedTowardZero)
{
    const struct { int nOuter, nInner, nOffset; } cases[] = {
        { 37, 32, 3 }, { 32, 32, 0 }, { 0, 32, -15 }, { 1, 32, -15 }, { 2, 32, -14 }, { 160, 32, 64 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nOffset, CMorvexDisablerDlg::CenteredOffset(c.nOuter, c.nInner)) << c.nOuter << " around " << c.nInner;
}

}  // namespace
