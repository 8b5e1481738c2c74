// OK in the main dialog: what is stored, what is asked, and the restart or log-off that follows.
#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "RegistryFixture.h"
#include "TestProcess.h"
#include "dialog/MorvexDisablerDlg.h"

namespace
{
const WCHAR kAppName[] = L"Morvex Disabler by MorvexSoft";

// Scan codes as stored: prefix in the high byte.
const WORD kLeftWindows = 0xE05B, kRightWindows = 0xE05C, kCapsLock = 0x003A, kLeftCtrl = 0x001D;
const WORD kRightCtrl = 0xE01D, kRightAlt = 0xE038, kPause = 0xE11D;

// What the dialog asked of the system, and how things stood at that moment.
struct ExitRequest
{
    UINT uFlags;
    DWORD dwReason;
    bool bDialogVisible;
    bool bShutdownPrivilegeEnabled;

    bool operator==(const ExitRequest& other) const
    {
        return uFlags == other.uFlags && dwReason == other.dwReason && bDialogVisible == other.bDialogVisible &&
               bShutdownPrivilegeEnabled == other.bShutdownPrivilegeEnabled;
    }
};

void PrintTo(const ExitRequest& request, std::ostream* pStream)
{
    *pStream << "{flags " << request.uFlags << ", reason " << request.dwReason << (request.bDialogVisible ? ", dialog shown" : ", dialog hidden")
             << (request.bShutdownPrivilegeEnabled ? ", privilege on}" : ", privilege off}");
}

// InitiateSystemShutdownEx's restart, which takes no flags.
const UINT kRestartAtOnce = ~0u;

// Never lets a test end the prefix's session: records the request and answers as told. The dialog
// runs where its user sees it, as the signed-on user unless told otherwise.
class CFakeSessionControl : public CSessionControl
{
public:
    BOOL ExitWindowsEx(UINT uFlags, DWORD dwReason) override { return Record(uFlags, dwReason); }
    BOOL InitiateSystemShutdownEx(DWORD dwReason) override { return Record(kRestartAtOnce, dwReason); }
    BOOL IsOnInteractiveWindowStation() const override { return TRUE; }
    BOOL RunsAsSessionUser() const override { return m_bSessionUser; }

    HWND m_hWndDialog = nullptr;
    BOOL m_bAccept = TRUE;
    BOOL m_bSessionUser = TRUE;
    std::vector<ExitRequest> m_requests;

private:
    BOOL Record(UINT uFlags, DWORD dwReason)
    {
        m_requests.push_back({ uFlags, dwReason, ::IsWindowVisible(m_hWndDialog) != FALSE, PrivilegeEnabled(SE_SHUTDOWN_NAME) });
        return m_bAccept;
    }
};

// While it lives, no top-level window can be created on the thread it was made on, so a message
// box cannot be shown.
class CRefuseBoxes
{
public:
    CRefuseBoxes() { m_hHook = ::SetWindowsHookExW(WH_CBT, &CRefuseBoxes::Hook, nullptr, ::GetCurrentThreadId()); }
    ~CRefuseBoxes() { ::UnhookWindowsHookEx(m_hHook); }
    CRefuseBoxes(const CRefuseBoxes&) = delete;
    CRefuseBoxes& operator=(const CRefuseBoxes&) = delete;

    static inline int s_nRefused = 0;

private:
    static LRESULT CALLBACK Hook(int nCode, WPARAM wParam, LPARAM lParam)
    {
        if (nCode == HCBT_CREATEWND && (reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->style & WS_CHILD) == 0)
        {
            ++s_nRefused;
            return 1;
        }
        return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
    }

    HHOOK m_hHook = nullptr;
};

class ApplyChangesTest : public PerScopeTest
{
protected:
    void SetUp() override
    {
        PerScopeTest::SetUp();
        // Only the dialog may turn the privilege on, or finding it on would prove nothing.
        SetPrivilegeEnabled(SE_SHUTDOWN_NAME, false);
        ASSERT_FALSE(PrivilegeEnabled(SE_SHUTDOWN_NAME));
    }

    INT_PTR RunDialog(const std::function<void(CUser&, CMorvexDisablerDlg&)>& script)
    {
        CMorvexDisablerDlg dlg;
        dlg.m_pSessionControl = &m_session;
        return CDialogSession::Run(dlg, [&](CUser& user) {
            m_session.m_hWndDialog = user.Dialog();
            script(user, dlg);
        });
    }

    Scope OtherScope() const { return GetParam() == Scope::AllUsers ? Scope::CurrentUser : Scope::AllUsers; }
    bool AllUsers() const { return GetParam() == Scope::AllUsers; }

    const wchar_t* Question() const
    {
        return AllUsers() ? L"Do you Want to Restart the Computer Now for the Changes to be in Effect ?"
                          : L"Do you Want to Log Off from the Signed On Account Now for the Changes to be in Effect ?";
    }

    const wchar_t* RequestRefusedText() const
    {
        return AllUsers() ? L"Could Not Restart Computer.\n\nPlease Restart Computer for Changes Done to be in Effect."
                          : L"Could Not Log Off from Signed On Account.\n\nPlease Log Off & Log In Again for Changes Done to be in Effect.";
    }

    // The request a Yes makes: a restart of the computer for all users, whoever runs the dialog; a
    // log-off for the current one; with the dialog gone and the privilege on.
    // Logged by Windows as a planned reconfiguration, for the restart and the log-off alike.
    ExitRequest ExpectedRequest() const
    {
        return { AllUsers() ? kRestartAtOnce : UINT{ EWX_LOGOFF },
                 SHTDN_REASON_MAJOR_OPERATINGSYSTEM | SHTDN_REASON_MINOR_RECONFIG | SHTDN_REASON_FLAG_PLANNED, false, true };
    }

    static void ExpectBox(const MessageBoxView& box, HWND hWndDialog, const wchar_t* pszText, const std::vector<int>& buttons,
                          LPCWSTR pszIcon)
    {
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(hWndDialog, box.hWndOwner);
        EXPECT_EQ(kAppName, box.strCaption);
        EXPECT_EQ(pszText, box.strText);
        EXPECT_EQ(buttons, box.buttons);
        EXPECT_EQ(::LoadIconW(nullptr, pszIcon), box.hIcon);
    }

    CFakeSessionControl m_session;
};

INSTANTIATE_PER_SCOPE(ApplyChangesTest);

// ---- The answers to OK -----------------------------------------------------------------------------

struct OkCase
{
    const char* pszName;
    bool bTick;             // Left Windows ticked before OK
    bool bDenyWrites;       // the scope's key can be read but not written
    int nAnswer;            // to the restart or log-off question; 0 when none may be asked
    BOOL bRequestAccepted;  // the system's answer to the request a Yes makes
    INT_PTR nResult;
    // The dialog runs as another account than the signed-on user's, as an administrator's
    // credentials typed over a standard user's shoulder make it: a log-off would not reach the user.
    bool bAnotherAccount = false;
};

const OkCase kOkCases[] = {
    { "NothingPending", false, false, 0, TRUE, IDOK },
    // The dialog stays open; only the test's clean-up cancels it.
    { "SaveFails", true, true, 0, TRUE, IDCANCEL },
    { "YesAccepted", true, false, IDYES, TRUE, IDOK },
    { "YesRefused", true, false, IDYES, FALSE, IDOK },
    { "No", true, false, IDNO, TRUE, IDOK },
    { "YesAsAnotherAccount", true, false, IDYES, TRUE, IDOK, true },
};

TEST_P(ApplyChangesTest, OkStoresAsksAndRestartsOrLogsOffAsAnswered)
{
    const Bytes stored = ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightAlt } });
    const Bytes ticked = ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightAlt }, { 0, kLeftWindows } });
    for (const OkCase& okCase : kOkCases)
    {
        SCOPED_TRACE(okCase.pszName);
        StoreLayout(GetParam(), stored);
        m_session.m_requests.clear();
        m_session.m_bAccept = okCase.bRequestAccepted;
        m_session.m_bSessionUser = !okCase.bAnotherAccount;
        // What the signed-on user cannot be logged off for is said, and not asked.
        const bool bNoLogOff = okCase.bAnotherAccount && !AllUsers();
        std::optional<CDenyLayoutAccess> deny;
        if (okCase.bDenyWrites)
            deny.emplace(GetParam(), CDenyLayoutAccess::writes);

        const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
            SCOPED_TRACE(okCase.pszName);  // traces are the thread's own
            if (okCase.bTick)
                user.Click(IDC_LEFT_WINDOWS_KEY);
            user.Click(IDOK);

            if (okCase.bDenyWrites)
            {
                // The error box of the save, and no question after it.
                const MessageBoxView error = user.WaitForMessageBox();
                ASSERT_TRUE(error);
                EXPECT_EQ(0u, error.strText.find(L"Could Not Open Registry Database Key to Store Data."));
                user.Answer(error, IDOK);
                EXPECT_TRUE(user.NoMessageBox());
                EXPECT_TRUE(user.DialogStillOpen());
                EXPECT_TRUE(user.IsChecked(IDC_LEFT_WINDOWS_KEY));
                user.OnDialogThread([&] { EXPECT_TRUE(dlg.m_bChangesPending); });
                return;
            }
            if (okCase.nAnswer == 0)
            {
                EXPECT_FALSE(user.DialogStillOpen());
                EXPECT_TRUE(user.NoMessageBox());
                return;
            }
            if (bNoLogOff)
            {
                const MessageBoxView told = user.WaitForMessageBox();
                ExpectBox(told, user.Dialog(),
                          L"The Changes are Stored for the Account this Application Runs as, which is not the Signed On Account: "
                          L"Logging Off from Here would not Reach it.\n\nThe Changes will be in Effect the Next Time that Account "
                          L"Logs On.",
                          { IDOK }, IDI_ASTERISK);
                EXPECT_EQ(ticked, StoredLayout(GetParam())) << "stored before it is said";
                user.Answer(told, IDOK);
                EXPECT_FALSE(user.DialogStillOpen());
                EXPECT_TRUE(user.NoMessageBox());
                return;
            }

            const MessageBoxView question = user.WaitForMessageBox();
            ExpectBox(question, user.Dialog(), Question(), { IDYES, IDNO }, IDI_QUESTION);
            EXPECT_EQ(ticked, StoredLayout(GetParam())) << "stored before the question";
            user.Answer(question, okCase.nAnswer);

            if (okCase.nAnswer == IDYES && !okCase.bRequestAccepted)
            {
                const MessageBoxView refused = user.WaitForMessageBox();
                ExpectBox(refused, user.Dialog(), RequestRefusedText(), { IDOK }, IDI_HAND);
                EXPECT_FALSE(user.DialogStillOpen()) << "the dialog is gone before the request";
                user.Answer(refused, IDOK);
            }
            EXPECT_FALSE(user.DialogStillOpen());
            EXPECT_TRUE(user.NoMessageBox());
        });
        deny.reset();

        EXPECT_EQ(okCase.nResult, nResult);
        const bool bStored = okCase.bTick && !okCase.bDenyWrites;
        EXPECT_EQ(bStored ? ticked : stored, StoredLayout(GetParam()));
        EXPECT_EQ(std::nullopt, StoredLayout(OtherScope()));
        const bool bRequested = okCase.nAnswer == IDYES && !bNoLogOff;
        const std::vector<ExitRequest> expected = bRequested ? std::vector<ExitRequest>{ ExpectedRequest() } : std::vector<ExitRequest>{};
        EXPECT_EQ(expected, m_session.m_requests);
        EXPECT_EQ(bRequested, PrivilegeEnabled(SE_SHUTDOWN_NAME));
        SetPrivilegeEnabled(SE_SHUTDOWN_NAME, false);
    }
}

struct MeanwhileCase
{
    const char* pszName;
    Bytes stored;                   // when the dialog opens
    std::vector<int> clicks;
    std::optional<Bytes> meanwhile; // what another program stores before OK; nothing: it deletes the value
    std::optional<Bytes> expected;  // the same as meanwhile: OK writes nothing, and asks nothing
};

// OK changes only the keys whose box differs from the layout as read, in the value as it is stored
// at that moment. A box clicked back to where it started changes nothing.
TEST_P(ApplyChangesTest, OkAppliesTheChangedBoxesToWhatAnotherProgramStoredMeanwhile)
{
    const Bytes remapped = ScancodeMapValue({ { kLeftCtrl, kCapsLock } });
    const Bytes remappedAndMore = ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightAlt } });
    const MeanwhileCase cases[] = {
        // Another tool sends the key to another meanwhile: clearing the box again must not remove that.
        { "TickedAndClearedAgain", ScancodeMapValue({ { 0, kCapsLock } }), { IDC_RIGHT_WINDOWS_KEY, IDC_RIGHT_WINDOWS_KEY },
          ScancodeMapValue({ { 0, kCapsLock }, { kLeftCtrl, kRightWindows } }),
          ScancodeMapValue({ { 0, kCapsLock }, { kLeftCtrl, kRightWindows } }) },
        { "ClearedAndTickedAgain", ScancodeMapValue({ { 0, kCapsLock } }), { IDC_CAPS_LOCK_KEY, IDC_CAPS_LOCK_KEY }, remapped, remapped },
        { "RemapClickedTwice", remapped, { IDC_CAPS_LOCK_KEY, IDC_CAPS_LOCK_KEY }, remappedAndMore, remappedAndMore },
        { "RemapClickedTwiceBesideATick", remapped, { IDC_CAPS_LOCK_KEY, IDC_LEFT_WINDOWS_KEY, IDC_CAPS_LOCK_KEY }, remappedAndMore,
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, kRightAlt }, { 0, kLeftWindows } }) },
        { "Ticked", ScancodeMapValue({ { kLeftCtrl, kCapsLock } }), { IDC_LEFT_WINDOWS_KEY },
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, 0x0038 } }),
          ScancodeMapValue({ { kLeftCtrl, kCapsLock }, { 0, 0x0038 }, { 0, kLeftWindows } }) },
        { "Cleared", ScancodeMapValue({ { 0, kCapsLock }, { 0, kLeftWindows } }), { IDC_CAPS_LOCK_KEY },
          ScancodeMapValue({ { 0, kCapsLock }, { 0, kLeftWindows }, { 0, kRightCtrl } }),
          ScancodeMapValue({ { 0, kLeftWindows }, { 0, kRightCtrl } }) },
        { "TickedAfterADeletion", ScancodeMapValue({ { 0, kCapsLock } }), { IDC_LEFT_WINDOWS_KEY }, std::nullopt,
          ScancodeMapValue({ { 0, kLeftWindows } }) },
    };
    for (const MeanwhileCase& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        StoreLayout(GetParam(), tested.stored);
        const bool bWrites = tested.expected != tested.meanwhile;
        std::optional<ULONGLONG> writtenMeanwhile;
        const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
            for (int nID : tested.clicks)
                user.Click(nID);
            if (tested.meanwhile)
                StoreLayout(GetParam(), *tested.meanwhile);
            else
                RemoveStoredLayout(GetParam());
            writtenMeanwhile = LayoutKeyWriteTime(GetParam());
            user.Click(IDOK);
            if (!bWrites)
            {
                EXPECT_FALSE(user.DialogStillOpen());
                EXPECT_TRUE(user.NoMessageBox());
                return;
            }
            const MessageBoxView question = user.WaitForMessageBox();
            ExpectBox(question, user.Dialog(), Question(), { IDYES, IDNO }, IDI_QUESTION);
            user.Answer(question, IDNO);
        });
        EXPECT_EQ(IDOK, nResult);
        EXPECT_EQ(tested.expected, StoredLayout(GetParam()));
        if (!bWrites)
        {
            EXPECT_EQ(writtenMeanwhile, LayoutKeyWriteTime(GetParam())) << "written again";
        }
    }
    EXPECT_TRUE(m_session.m_requests.empty());
}

TEST_P(ApplyChangesTest, OkAfterAScopeClickWithNoTickSinceJustEnds)
{
    const Bytes stored = ScancodeMapValue({ { 0, kCapsLock } });
    const Bytes other = ScancodeMapValue({ { 0, kLeftCtrl } });
    StoreLayout(GetParam(), stored);
    StoreLayout(OtherScope(), other);
    const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.Click(IDC_LEFT_WINDOWS_KEY);
        user.Notify(IDC_ALL_USERS);  // the box is greyed and keeps its state: the same scope again
        EXPECT_FALSE(user.IsChecked(IDC_LEFT_WINDOWS_KEY));
        user.Click(IDOK);
        EXPECT_FALSE(user.DialogStillOpen());
        EXPECT_TRUE(user.NoMessageBox());
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(stored, StoredLayout(GetParam()));
    EXPECT_EQ(other, StoredLayout(OtherScope()));
    EXPECT_TRUE(m_session.m_requests.empty());
}

// ---- What OK stores --------------------------------------------------------------------------------

TEST_P(ApplyChangesTest, OkStoresTheEditsAndKeepsEveryOtherToolsMappingByteForByte)
{
    // Pause (E1 1D) beside the Left Ctrl to be ticked (00 1D), a remap of Right Alt onto Left Ctrl,
    // and a remap onto Caps Lock's source that clearing Caps Lock takes away. Not Right Ctrl: both
    // Ctrl keys switched off are refused.
    StoreLayout(GetParam(), ScancodeMapValue({ { 0, kPause }, { kLeftCtrl, kRightAlt }, { kLeftCtrl, kCapsLock }, { 0, 0x0046 } }));
    const Bytes other = ScancodeMapValue({ { 0, kRightWindows } });
    StoreLayout(OtherScope(), other);

    const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        ASSERT_TRUE(user.IsChecked(IDC_CAPS_LOCK_KEY));
        user.Click(IDC_LEFT_CTRL_KEY);
        user.Click(IDC_CAPS_LOCK_KEY);
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        user.Click(IDC_RIGHT_WINDOWS_KEY);
        user.Click(IDC_LEFT_WINDOWS_KEY);
        user.Click(IDOK);
        user.Answer(user.WaitForMessageBox(), IDNO);
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ(ScancodeMapValue({ { 0, kPause }, { kLeftCtrl, kRightAlt }, { 0, 0x0046 }, { 0, kLeftCtrl }, { 0, kLeftWindows } }),
              StoredLayout(GetParam()));
    EXPECT_EQ(other, StoredLayout(OtherScope()));
}

TEST_P(ApplyChangesTest, OkCreatesTheScopeKeyWhenMissing)
{
    const HKEY hRoot = AllUsers() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const LPCWSTR pszPath = AllUsers() ? L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout" : L"Keyboard Layout";
    ::RegDeleteTreeW(hRoot, pszPath);
    ::RegDeleteKeyW(hRoot, pszPath);
    ASSERT_FALSE(KeyExists(GetParam()));

    RunDialog([&](CUser& user, CMorvexDisablerDlg&) {
        user.Click(IDC_LEFT_CTRL_KEY);
        user.Click(IDOK);
        user.Answer(user.WaitForMessageBox(), IDNO);
    });
    EXPECT_EQ(ScancodeMapValue({ { 0, kLeftCtrl } }), StoredLayout(GetParam()));
}

// ---- A question that cannot be shown ---------------------------------------------------------------

TEST_P(ApplyChangesTest, AQuestionThatCannotBeShownLeavesTheDialogOpenWithTheChangeStored)
{
    const INT_PTR nResult = RunDialog([&](CUser& user, CMorvexDisablerDlg& dlg) {
        user.Click(IDC_CAPS_LOCK_KEY);
        std::unique_ptr<CRefuseBoxes> pRefuse;
        CRefuseBoxes::s_nRefused = 0;
        user.OnDialogThread([&] { pRefuse = std::make_unique<CRefuseBoxes>(); });
        user.Click(IDOK);
        user.OnDialogThread([&] { pRefuse.reset(); });

        EXPECT_GT(CRefuseBoxes::s_nRefused, 0) << "the question was not refused";
        EXPECT_TRUE(user.DialogStillOpen());
        EXPECT_TRUE(user.IsEnabled(IDOK));
        EXPECT_EQ(ScancodeMapValue({ { 0, kCapsLock } }), StoredLayout(GetParam()));
        user.OnDialogThread([&] { EXPECT_FALSE(dlg.m_bChangesPending); });

        // Stored already, so OK now just ends.
        user.Click(IDOK);
        EXPECT_FALSE(user.DialogStillOpen());
        EXPECT_TRUE(user.NoMessageBox());
    });
    EXPECT_EQ(IDOK, nResult);
    EXPECT_TRUE(m_session.m_requests.empty());
    EXPECT_FALSE(PrivilegeEnabled(SE_SHUTDOWN_NAME));
}
}  // namespace
