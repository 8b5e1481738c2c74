// The main dialog's system menu, its About box, and the two ways to the web site (F1 and the link).
#include <gtest/gtest.h>

#include <cstdlib>

#include <fstream>

#include "DialogDriver.h"
#include "DialogState.h"
#include "RegistryFixture.h"
#include "TestProcess.h"
#include "dialog/MorvexDisablerDlg.h"

namespace
{
const WORD kCapsLock = 0x003A, kRightAlt = 0xE038;

std::wstring TextOf(HWND hWnd)
{
    WCHAR sz[256] = {};
    ::GetWindowTextW(hWnd, sz, 256);
    return sz;
}

bool HasChildWithText(HWND hWnd, const wchar_t* pszText)
{
    for (HWND hWndChild = ::GetWindow(hWnd, GW_CHILD); hWndChild != nullptr; hWndChild = ::GetWindow(hWndChild, GW_HWNDNEXT))
    {
        if (TextOf(hWndChild) == pszText)
            return true;
    }
    return false;
}

// One start of the stand-in browser: the address, the show command it was given, and the program
// that started it.
struct BrowserStart
{
    std::string strAddress;
    int nShow;
    std::string strStarter;

    bool operator==(const BrowserStart& other) const
    {
        return strAddress == other.strAddress && nShow == other.nShow && strStarter == other.strStarter;
    }
};

void PrintTo(const BrowserStart& start, std::ostream* pStream)
{
    *pStream << start.strAddress << " shown " << start.nShow << " by " << start.strStarter;
}

// While it lives, the prefix opens http addresses with url_recorder.exe instead of its browser.
// Wine 8 takes the command from HKEY_CLASSES_ROOT only (the machine's classes); the current
// user's classes are not consulted, so the machine's command is replaced and put back afterwards.
class CRecordedBrowser
{
public:
    CRecordedBrowser() : m_strLog(ModuleFolder() + L"\\url_recorder.log")
    {
        ::DeleteFileW(m_strLog.c_str());
        DWORD cb = 0;
        if (::RegGetValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &m_dwSavedType, nullptr, &cb) == ERROR_SUCCESS)
        {
            m_saved.emplace(cb);
            ::RegGetValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &m_dwSavedType, m_saved->data(), &cb);
        }
        const std::wstring strCommand = L"\"" + ModuleFolder() + L"\\url_recorder.exe\" \"" + m_strLog + L"\" \"%1\"";
        EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr, REG_SZ, strCommand.c_str(),
                                                   static_cast<DWORD>((strCommand.size() + 1) * sizeof(WCHAR))));
    }

    ~CRecordedBrowser()
    {
        if (m_saved)
            ::RegSetKeyValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr, m_dwSavedType, m_saved->data(), static_cast<DWORD>(m_saved->size()));
        else
            ::RegDeleteKeyValueW(HKEY_CLASSES_ROOT, kCommandKey, nullptr);
        ::DeleteFileW(m_strLog.c_str());
    }

    CRecordedBrowser(const CRecordedBrowser&) = delete;
    CRecordedBrowser& operator=(const CRecordedBrowser&) = delete;

    // Every start so far. Waits up to the time for the first one, then a little longer for any
    // that follow it.
    std::vector<BrowserStart> Starts(DWORD dwFirstWaitMs = 10000) const
    {
        for (DWORD dwWaited = 0; dwWaited < dwFirstWaitMs && Read().empty(); dwWaited += 100)
            ::Sleep(100);
        ::Sleep(500);
        return Read();
    }

private:
    static constexpr WCHAR kCommandKey[] = L"http\\shell\\open\\command";

    std::vector<BrowserStart> Read() const
    {
        std::vector<BrowserStart> starts;
        std::ifstream log(m_strLog.c_str());
        std::string strLine;
        while (std::getline(log, strLine))
        {
            const size_t nTab = strLine.find('\t'), nSecondTab = strLine.find('\t', nTab + 1);
            if (nSecondTab != std::string::npos)
                starts.push_back({ strLine.substr(0, nTab), std::stoi(strLine.substr(nTab + 1)), strLine.substr(nSecondTab + 1) });
        }
        return starts;
    }

    std::wstring m_strLog;
    std::optional<Bytes> m_saved;
    DWORD m_dwSavedType = REG_SZ;
};

class AboutAndWebTest : public StoredLayoutTest
{
protected:
    INT_PTR RunDialog(const std::function<void(CUser&, CMorvexDisablerDlg&)>& script)
    {
        CMorvexDisablerDlg dlg;
        // As the application does: the dialog is its main window, so the About box belongs to it.
        AfxGetApp()->m_pMainWnd = &dlg;
        const INT_PTR nResult = CDialogSession::Run(dlg, [&](CUser& user) { script(user, dlg); });
        AfxGetApp()->m_pMainWnd = nullptr;
        return nResult;
    }

    const Bytes m_stored = ScancodeMapValue({ { 0, kCapsLock }, { 0x001D, kRightAlt } });
};

// ---- System menu and About box ---------------------------------------------------------------------

TEST_F(AboutAndWebTest, SystemMenuEndsWithASeparatorAndTheAboutItem)
{
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        const HMENU hMenu = ::GetSystemMenu(user.Dialog(), FALSE);
        ASSERT_NE(nullptr, hMenu);
        const int nCount = ::GetMenuItemCount(hMenu);
        ASSERT_GE(nCount, 2);
        EXPECT_NE(0u, ::GetMenuState(hMenu, static_cast<UINT>(nCount - 2), MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(0x0010u, ::GetMenuItemID(hMenu, nCount - 1));
        WCHAR szText[64] = {};
        ::GetMenuStringW(hMenu, static_cast<UINT>(nCount - 1), szText, 64, MF_BYPOSITION);
        EXPECT_STREQ(L"&About Morvex Disabler...", szText);
    });
}

TEST_F(AboutAndWebTest, AboutOpensCentredOverTheDialog)
{
    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.SysCommand(IDM_ABOUTBOX);
        const HWND hWndAbout = user.WaitForOwnedDialog(user.Dialog());
        ASSERT_NE(nullptr, hWndAbout) << "no About box";
        RECT rcMain, rcAbout;
        ::GetWindowRect(user.Dialog(), &rcMain);
        ::GetWindowRect(hWndAbout, &rcAbout);
        EXPECT_LE(std::abs((rcAbout.left - rcMain.left) - (rcMain.right - rcAbout.right)), 1);
        EXPECT_LE(std::abs((rcAbout.top - rcMain.top) - (rcMain.bottom - rcAbout.bottom)), 1);
        user.ClickIn(hWndAbout, IDOK);
    });
}

struct AboutClosing
{
    const char* pszName;
    std::function<void(CUser&, HWND)> close;
};

TEST_F(AboutAndWebTest, AboutOpensOverTheDisabledDialogAndLeavesItAsItWas)
{
    const AboutClosing closings[] = {
        { "OkButton", [](CUser& user, HWND hWndAbout) { user.ClickIn(hWndAbout, IDOK); } },
        { "Escape", [](CUser& user, HWND) { user.PressKey(VK_ESCAPE); } },
        { "CloseCommand", [](CUser& user, HWND hWndAbout) { user.PostTo(hWndAbout, WM_SYSCOMMAND, SC_CLOSE, 0); } },
    };
    // The low four bits of a system command are the system's own; they do not make another command.
    for (UINT nCommand : { 0x0010u, 0x001Fu })
    {
        for (const AboutClosing& closing : closings)
        {
            SCOPED_TRACE(testing::Message() << closing.pszName << " after command " << nCommand);
            StoreLayout(Scope::AllUsers, m_stored);
            RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
                SCOPED_TRACE(testing::Message() << closing.pszName << " after command " << nCommand);
                user.Click(IDC_LEFT_WINDOWS_KEY);
                user.Click(IDC_CAPS_LOCK_KEY);
                const DialogState before = StateOf(user, dlg);

                user.SysCommand(nCommand);
                const HWND hWndAbout = user.WaitForOwnedDialog(user.Dialog());
                ASSERT_NE(nullptr, hWndAbout) << "no About box";
                EXPECT_EQ(L"About Morvex Disabler", TextOf(hWndAbout));
                EXPECT_TRUE(HasChildWithText(hWndAbout, L"Morvex Disabler, Version 2.0"));
                EXPECT_FALSE(::IsWindowEnabled(user.Dialog()));

                closing.close(user, hWndAbout);
                user.Sync();  // Close comes back as a posted Cancel
                EXPECT_FALSE(::IsWindow(hWndAbout));
                EXPECT_TRUE(::IsWindowEnabled(user.Dialog()));
                EXPECT_TRUE(user.DialogStillOpen());
                EXPECT_TRUE(user.NoMessageBox());
                EXPECT_EQ(before, StateOf(user, dlg));
            });
            EXPECT_EQ(m_stored, StoredLayout(Scope::AllUsers));
        }
    }
}

TEST_F(AboutAndWebTest, OtherSystemCommandsGetTheDefaultProcessing)
{
    StoreLayout(Scope::AllUsers, m_stored);
    const INT_PTR nMinimised = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.SysCommand(SC_MINIMIZE);
        EXPECT_TRUE(::IsIconic(user.Dialog()));
        EXPECT_TRUE(user.NoMessageBox());
        user.SysCommand(SC_RESTORE);
        EXPECT_FALSE(::IsIconic(user.Dialog()));
        EXPECT_TRUE(user.DialogStillOpen());
    });
    EXPECT_EQ(IDCANCEL, nMinimised) << "only the test's clean-up ended it";

    const INT_PTR nClosed = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.Click(IDC_LEFT_WINDOWS_KEY);
        user.SysCommand(SC_CLOSE);
        user.Sync();  // Close comes back as a posted Cancel
        EXPECT_FALSE(user.DialogStillOpen());
        EXPECT_TRUE(user.NoMessageBox());
    });
    EXPECT_EQ(IDCANCEL, nClosed);
    EXPECT_EQ(m_stored, StoredLayout(Scope::AllUsers));
}

// ---- The web site ----------------------------------------------------------------------------------

struct WebRequest
{
    const char* pszName;
    std::function<void(CUser&)> ask;
};

// The token's elevation as a route says; the desktop's shell is Wine's own, or gone.
class CWebBrowserAs : public CWebBrowserLauncher
{
public:
    CWebBrowserAs(BOOL bElevated, BOOL bDesktopShell) : m_bElevated(bElevated), m_bDesktopShell(bDesktopShell) {}

    BOOL IsElevated() override { return m_bElevated; }
    BOOL OpenThroughDesktopShell(LPCWSTR pszAddress) override
    {
        return m_bDesktopShell && CWebBrowserLauncher::OpenThroughDesktopShell(pszAddress);
    }

private:
    BOOL m_bElevated;
    BOOL m_bDesktopShell;
};

struct WebRoute
{
    const char* pszName;
    BOOL bElevated;
    BOOL bDesktopShell;
    const char* pszStarter;  // the program that starts the browser; null: no browser may start
};

// Wine gives every process an elevated token, and its explorer answers for the desktop: the
// program itself takes the second route there, as the end-to-end web test shows.
TEST_F(AboutAndWebTest, HelpAndTheWebLinkOpenTheWebSiteMaximisedWithoutTheElevatedTokenAndChangeNothing)
{
    const WebRequest requests[] = {
        { "WebLink", [](CUser& user) { user.Click(IDC_WEB_LINK); } },
        { "F1", [](CUser& user) { user.TypeKey(VK_F1); } },
    };
    const WebRoute routes[] = {
        { "NotElevated", FALSE, TRUE, "win_tests.exe" },
        { "ElevatedWithADesktopShell", TRUE, TRUE, "explorer.exe" },
        { "ElevatedWithoutADesktopShell", TRUE, FALSE, nullptr },
    };
    for (const WebRoute& route : routes)
    {
        for (const WebRequest& request : requests)
        {
            SCOPED_TRACE(testing::Message() << request.pszName << " " << route.pszName);
            StoreLayout(Scope::AllUsers, m_stored);
            CRecordedBrowser browser;
            CWebBrowserAs launcher(route.bElevated, route.bDesktopShell);
            RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
                SCOPED_TRACE(testing::Message() << request.pszName << " " << route.pszName);
                dlg.m_pWebBrowser = &launcher;
                user.Click(IDC_RIGHT_WINDOWS_KEY);
                const DialogState before = StateOf(user, dlg);

                request.ask(user);
                if (route.pszStarter != nullptr)
                {
                    const std::vector<BrowserStart> expected = { { "http://www.morvexsoft.com/", SW_SHOWMAXIMIZED, route.pszStarter } };
                    EXPECT_EQ(expected, browser.Starts());
                    EXPECT_TRUE(user.NoMessageBox());
                }
                else
                {
                    // The user is told where to go instead.
                    const MessageBoxView box = user.WaitForMessageBox();
                    ASSERT_TRUE(box) << "no message box";
                    EXPECT_EQ(user.Dialog(), box.hWndOwner);
                    EXPECT_EQ(L"Morvex Disabler by MorvexSoft", box.strCaption);
                    EXPECT_EQ(L"Open this address in your web browser:\n\nhttp://www.morvexsoft.com/", box.strText);
                    EXPECT_EQ(std::vector<int>{ IDOK }, box.buttons);
                    EXPECT_EQ(::LoadIconW(nullptr, IDI_ASTERISK), box.hIcon);
                    user.Answer(box, IDOK);
                    EXPECT_TRUE(user.NoMessageBox());
                    EXPECT_EQ(std::vector<BrowserStart>(), browser.Starts(1000));
                }
                EXPECT_TRUE(user.DialogStillOpen());
                EXPECT_EQ(before, StateOf(user, dlg));
            });
            EXPECT_EQ(m_stored, StoredLayout(Scope::AllUsers));
            EXPECT_EQ(std::nullopt, StoredLayout(Scope::CurrentUser));
        }
    }
}
}  // namespace
