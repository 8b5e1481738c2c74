// The built program used as a user and an administrator would: its window, its boxes, keys, reg.exe.
#include <fstream>

#include "ProgramTest.h"
#include "RegistryFixture.h"

namespace
{
const WCHAR s_szBrowserCommand[] = L"HKCR\\http\\shell\\open\\command";
// What Wine puts there, for when an earlier run died before it could put the old command back.
const WCHAR s_szWineBrowser[] = L"\"C:\\windows\\system32\\winebrowser.exe\" \"%1\"";
const char s_szWebAddress[] = "http://www.morvexsoft.com/";

// While it lives, the prefix opens http addresses with e2e_browser.exe. Wine 8 takes the command
// from the machine's classes only, so that one is replaced and put back afterwards.
class CStandInBrowser
{
public:
    CStandInBrowser() : m_strLog(OwnFolder() + L"\\e2e_browser.log")
    {
        ::DeleteFileW(m_strLog.c_str());
        m_strSaved = QueryDefaultValue(s_szBrowserCommand).value_or(s_szWineBrowser);
        if (m_strSaved.find(L"e2e_browser") != std::wstring::npos || m_strSaved.find(L"url_recorder") != std::wstring::npos)
            m_strSaved = s_szWineBrowser;
        AddDefaultString(s_szBrowserCommand, L"\"" + OwnFolder() + L"\\e2e_browser.exe\" \"" + m_strLog + L"\" \"%1\"");
    }
    ~CStandInBrowser()
    {
        AddDefaultString(s_szBrowserCommand, m_strSaved);
        ::DeleteFileW(m_strLog.c_str());
    }
    CStandInBrowser(const CStandInBrowser&) = delete;
    CStandInBrowser& operator=(const CStandInBrowser&) = delete;

    // Each start so far as "<address>\t<show command>"; waits for a first one, then a little more
    // for any that follow.
    std::vector<std::string> Starts() const
    {
        WaitUntil([&] { return !Read().empty(); }, 10000);
        ::Sleep(500);
        return Read();
    }

private:
    std::vector<std::string> Read() const
    {
        std::vector<std::string> lines;
        std::ifstream log(m_strLog.c_str());
        std::string strLine;
        while (std::getline(log, strLine))
            lines.push_back(strLine);
        return lines;
    }

    std::wstring m_strLog;
    std::wstring m_strSaved;
};

struct Ticking
{
    const char* pszName;
    std::vector<const WCHAR*> clicks;  // check boxes in the order they are clicked
    const WCHAR* pszStored;            // the all-users value afterwards
};

void PrintTo(const Ticking& ticking, std::ostream* pStream)
{
    *pStream << ticking.pszName;
}
}  // namespace

class UserFlowTest : public ProgramTest
{
};

// Starting from nothing stored: each click adds or removes its key, ticked keys are stored in the
// order they were ticked, and the question is answered No.
class FirstRunTest : public UserFlowTest, public testing::WithParamInterface<Ticking>
{
};

TEST_P(FirstRunTest, StoresTheTickedKeysInTheOrderTicked)
{
    ASSERT_TRUE(Open());
    for (const WCHAR* pszKey : { g_szLeftWindows, g_szRightWindows, g_szCapsLock, g_szLeftCtrl })
        EXPECT_FALSE(IsChecked(m_hWndMain, pszKey)) << testing::PrintToString(std::wstring(pszKey));
    EXPECT_TRUE(IsChecked(m_hWndMain, g_szAllUsers));

    for (const WCHAR* pszKey : GetParam().clicks)
        Toggle(m_hWndMain, pszKey);
    ClickButton(m_hWndMain, L"OK");

    const BoxView box = WaitForBox();
    ASSERT_TRUE(box) << "no question after OK";
    EXPECT_EQ(g_szMainCaption, box.strCaption);
    EXPECT_EQ(g_szRestartQuestion, box.strText);
    EXPECT_EQ((std::vector<std::wstring>{ L"Yes", L"No" }), box.buttons);
    ClickButton(box.hWnd, L"No");
    ExpectProgramEnds();

    EXPECT_EQ(Hex(GetParam().pszStored), QueryValue(g_szMachineLayout, g_szScancodeMap));
    EXPECT_EQ(std::nullopt, QueryValue(g_szUserLayout, g_szScancodeMap));
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, FirstRunTest,
    testing::Values(
        Ticking{ "LeftWindowsThenCapsLock", { g_szLeftWindows, g_szCapsLock },
                 L"00000000 00000000 03000000 00005BE0 00003A00 00000000" },
        Ticking{ "CapsLockThenLeftWindows", { g_szCapsLock, g_szLeftWindows },
                 L"00000000 00000000 03000000 00003A00 00005BE0 00000000" },
        Ticking{ "AllFour", { g_szLeftWindows, g_szRightWindows, g_szCapsLock, g_szLeftCtrl },
                 L"00000000 00000000 05000000 00005BE0 00005CE0 00003A00 00001D00 00000000" },
        Ticking{ "OneTickedAgainLeavesTheOther", { g_szLeftWindows, g_szCapsLock, g_szLeftWindows },
                 L"00000000 00000000 02000000 00003A00 00000000" }),
    [](const testing::TestParamInfo<Ticking>& tested) { return std::string(tested.param.pszName); });

// OK with other writers of the value about: Left Windows is ticked and OK pressed; Left Windows
// joins whatever is stored at that moment, or, where the value cannot be had, nothing is written.
struct OkWithOthers
{
    const char* pszName;
    const WCHAR* pszStored;    // when the program starts
    const WCHAR* pszMeanwhile; // what another program stores while the dialog is open; null: nothing
    enum Obstacle
    {
        none,
        readsDenied,  // the key's permissions let it be written only
        lockHeld,     // another copy is in the middle of its edit
        lockSquatted, // a user made the copies' mutex first
    } obstacle;
    const WCHAR* pszError;     // the start of the error box OK shows, the first time; null: none
    const WCHAR* pszExpected;  // the all-users value at the end
};

void PrintTo(const OkWithOthers& tested, std::ostream* pStream)
{
    *pStream << tested.pszName;
}

class OkWithOthersTest : public UserFlowTest, public testing::WithParamInterface<OkWithOthers>
{
};

TEST_P(OkWithOthersTest, AddsTheTickedKeyToWhatIsStoredAtOk)
{
    const OkWithOthers& tested = GetParam();
    AddBinary(g_szMachineLayout, g_szScancodeMap, tested.pszStored);
    std::optional<CDenyLayoutAccess> deny;
    if (tested.obstacle == OkWithOthers::readsDenied)
        deny.emplace(Scope::AllUsers, CDenyLayoutAccess::reads);
    ASSERT_TRUE(Open());
    // A mapped key counts as switched off, whatever it was mapped to.
    EXPECT_EQ(tested.obstacle != OkWithOthers::readsDenied, IsChecked(m_hWndMain, g_szCapsLock));
    EXPECT_FALSE(IsChecked(m_hWndMain, g_szLeftWindows));

    Toggle(m_hWndMain, g_szLeftWindows);
    if (tested.pszMeanwhile != nullptr)
        AddBinary(g_szMachineLayout, g_szScancodeMap, tested.pszMeanwhile);
    std::optional<CHoldLayoutLock> lock;
    if (tested.obstacle == OkWithOthers::lockHeld || tested.obstacle == OkWithOthers::lockSquatted)
        lock.emplace(tested.obstacle == OkWithOthers::lockSquatted ? CHoldLayoutLock::usersMutex : CHoldLayoutLock::copy);
    ClickButton(m_hWndMain, L"OK");
    if (tested.pszError != nullptr)
    {
        // The edit waits for another copy a moment.
        const BoxView error = WaitForBox(10000);
        ASSERT_TRUE(error) << "no error box";
        EXPECT_EQ(0u, error.strText.find(tested.pszError)) << testing::PrintToString(error.strText);
        EXPECT_EQ(std::vector<std::wstring>{ L"OK" }, error.buttons);
        ClickButton(error.hWnd, L"OK");
        EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(error.hWnd); }));
        EXPECT_TRUE(Program().Running());
        EXPECT_TRUE(IsChecked(m_hWndMain, g_szLeftWindows));
        // Once the obstacle is gone, OK goes through.
        deny.reset();
        lock.reset();
        ClickButton(m_hWndMain, L"OK");
    }
    const BoxView question = WaitForBox();
    ASSERT_TRUE(question) << "no question after OK";
    EXPECT_EQ(g_szRestartQuestion, question.strText);
    ClickButton(question.hWnd, L"No");
    ExpectProgramEnds();

    EXPECT_EQ(Hex(tested.pszExpected), QueryValue(g_szMachineLayout, g_szScancodeMap));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OkWithOthersTest,
    testing::Values(
        // Caps Lock made a Ctrl key, and Right Alt made Right Ctrl (both extended): kept byte for byte.
        OkWithOthers{ "KeepsAnotherToolsMappings", L"00000000 00000000 03000000 1D003A00 1DE038E0 00000000", nullptr,
                      OkWithOthers::none, nullptr, L"00000000 00000000 04000000 1D003A00 1DE038E0 00005BE0 00000000" },
        // Left Alt switched off while the dialog is open.
        OkWithOthers{ "KeepsWhatAnotherProgramStoredWhileOpen", L"00000000 00000000 02000000 1D003A00 00000000",
                      L"00000000 00000000 03000000 1D003A00 00003800 00000000", OkWithOthers::none, nullptr,
                      L"00000000 00000000 04000000 1D003A00 00003800 00005BE0 00000000" },
        OkWithOthers{ "WritesNothingOverAValueItCannotRead", L"00000000 00000000 02000000 1D003A00 00000000", nullptr,
                      OkWithOthers::readsDenied,
                      L"Could Not Read Keyboard Layout from Registry Database, so Nothing was Changed.\n\n",
                      L"00000000 00000000 03000000 1D003A00 00005BE0 00000000" },
        OkWithOthers{ "WaitsForAnotherCopysEdit", L"00000000 00000000 02000000 1D003A00 00000000", nullptr, OkWithOthers::lockHeld,
                      L"Another Copy of this Application is Changing the Keyboard Layout, so Nothing was Changed.",
                      L"00000000 00000000 03000000 1D003A00 00005BE0 00000000" },
        OkWithOthers{ "SaysWhoSquatsTheTurn", L"00000000 00000000 02000000 1D003A00 00000000", nullptr, OkWithOthers::lockSquatted,
                      L"Could Not Take Turns at the Keyboard Layout, so Nothing was Changed.\n\n"
                      L"The name Global\\MorvexDisabler.KeyboardLayout is held by an object that ",
                      L"00000000 00000000 03000000 1D003A00 00005BE0 00000000" }),
    [](const testing::TestParamInfo<OkWithOthers>& tested) { return std::string(tested.param.pszName); });

TEST_F(UserFlowTest, StoredSettingForTheCurrentUserUsesTheUsersOwnLayout)
{
    AddDword(g_szProgramSettings, g_szScopeSetting, 0);
    AddBinary(g_szMachineLayout, g_szScancodeMap, L"00000000 00000000 02000000 00005BE0 00000000");
    ASSERT_TRUE(Open());
    EXPECT_FALSE(IsChecked(m_hWndMain, g_szAllUsers));
    // The machine's Left Windows entry is not this user's.
    EXPECT_FALSE(IsChecked(m_hWndMain, g_szLeftWindows));

    Toggle(m_hWndMain, g_szRightWindows);
    ClickButton(m_hWndMain, L"OK");
    const BoxView box = WaitForBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(g_szLogOffQuestion, box.strText);
    EXPECT_EQ((std::vector<std::wstring>{ L"Yes", L"No" }), box.buttons);
    ClickButton(box.hWnd, L"No");
    ExpectProgramEnds();

    EXPECT_EQ(Hex(L"00000000 00000000 02000000 00005CE0 00000000"), QueryValue(g_szUserLayout, g_szScancodeMap));
    EXPECT_EQ(Hex(L"00000000 00000000 02000000 00005BE0 00000000"), QueryValue(g_szMachineLayout, g_szScancodeMap));
    EXPECT_EQ(L"0x0", QueryValue(g_szProgramSettings, g_szScopeSetting));
}

// Every way of leaving that does not confirm a change ends the program at once and stores nothing.
struct WayOut
{
    const char* pszName;
    bool bTickFirst;
    void (*leave)(HWND hWndMain);
};

void PrintTo(const WayOut& way, std::ostream* pStream)
{
    *pStream << way.pszName;
}

class LeavingTest : public UserFlowTest, public testing::WithParamInterface<WayOut>
{
};

TEST_P(LeavingTest, EndsTheProgramAndStoresNothing)
{
    ASSERT_TRUE(Open());
    if (GetParam().bTickFirst)
    {
        Toggle(m_hWndMain, g_szLeftWindows);
        Toggle(m_hWndMain, g_szCapsLock);
    }
    GetParam().leave(m_hWndMain);
    ExpectProgramEnds();

    EXPECT_EQ(std::nullopt, QueryValue(g_szMachineLayout, g_szScancodeMap));
    EXPECT_EQ(std::nullopt, QueryValue(g_szUserLayout, g_szScancodeMap));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeavingTest,
    testing::Values(WayOut{ "CancelAfterTicking", true, [](HWND hWnd) { ClickButton(hWnd, L"Cancel"); } },
                    WayOut{ "EscapeAfterTicking", true, [](HWND hWnd) { TypeKeys(hWnd, { VK_ESCAPE }); } },
                    WayOut{ "CloseAfterTicking", true, [](HWND hWnd) { ::PostMessageW(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); } },
                    WayOut{ "OkWithNothingTicked", false, [](HWND hWnd) { ClickButton(hWnd, L"OK"); } }),
    [](const testing::TestParamInfo<WayOut>& tested) { return std::string(tested.param.pszName); });

// A way to open something from the main window: the About box, the web site.
struct OpeningWay
{
    const char* pszName;
    void (*open)(HWND hWndMain);
};

void PrintTo(const OpeningWay& way, std::ostream* pStream)
{
    *pStream << way.pszName;
}

// The About box, reached through the system menu's command, and left with OK.

class AboutBoxTest : public UserFlowTest, public testing::WithParamInterface<OpeningWay>
{
};

TEST_P(AboutBoxTest, ShowsTheVersionAndClosesWithOk)
{
    ASSERT_TRUE(Open());
    GetParam().open(m_hWndMain);

    const BoxView about = WaitForBox();
    ASSERT_TRUE(about) << "no About box";
    EXPECT_EQ(L"About Morvex Disabler", about.strCaption);
    EXPECT_EQ((std::vector<std::wstring>{ L"Morvex Disabler, Version 2.0", L"Contact : support@morvexsoft.com" }), about.texts);
    EXPECT_EQ((std::vector<std::wstring>{ L"OK" }), about.buttons);
    EXPECT_FALSE(::IsWindowEnabled(m_hWndMain)) << "the main window takes clicks while the About box is open";

    ClickButton(about.hWnd, L"OK");
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(about.hWnd); })) << "the About box stays open";
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(m_hWndMain) != FALSE; }));
    EXPECT_TRUE(Program().Running());

    ClickButton(m_hWndMain, L"Cancel");
    ExpectProgramEnds();
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutBoxTest,
    testing::Values(OpeningWay{ "SystemCommand", [](HWND hWnd) { ::PostMessageW(hWnd, WM_SYSCOMMAND, 0x0010, 0); } },
                    // Alt+Space opens the system menu on its first item; Up goes round to the
                    // last, "About Morvex Disabler...". (Its A is taken by Wine's own About item.)
                    OpeningWay{ "SystemMenuByKeyboard", [](HWND hWnd) {
                                 TypeKeys(hWnd, { VK_SPACE }, true);
                                 ASSERT_TRUE(WaitUntil([] { return ::IsWindowVisible(::FindWindowW(L"#32768", nullptr)) != FALSE; }))
                                     << "the system menu did not open";
                                 TypeKeys(hWnd, { VK_UP, VK_RETURN });
                             } }),
    [](const testing::TestParamInfo<OpeningWay>& tested) { return std::string(tested.param.pszName); });

// F1 and the MorvexSoft button both open the web site, maximised, and leave the dialog as it was.
// The program runs elevated, so the browser is started by the desktop's shell and not by it.

class WebSiteTest : public UserFlowTest, public testing::WithParamInterface<OpeningWay>
{
};

TEST_P(WebSiteTest, OpensTheSiteMaximised)
{
    CStandInBrowser browser;
    ASSERT_TRUE(Open());
    Toggle(m_hWndMain, g_szCapsLock);
    GetParam().open(m_hWndMain);

    const std::string strExpected = s_szWebAddress + std::string("\t") + std::to_string(SW_SHOWMAXIMIZED) + "\texplorer.exe";
    EXPECT_EQ(std::vector<std::string>{ strExpected }, browser.Starts());
    EXPECT_TRUE(Program().Running());
    EXPECT_TRUE(IsChecked(m_hWndMain, g_szCapsLock));
    EXPECT_FALSE(WaitForBox(0));

    ClickButton(m_hWndMain, L"Cancel");
    ExpectProgramEnds();
    EXPECT_EQ(std::nullopt, QueryValue(g_szMachineLayout, g_szScancodeMap));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, WebSiteTest,
    testing::Values(OpeningWay{ "F1", [](HWND hWnd) { TypeKeys(hWnd, { VK_F1 }); } },
                    OpeningWay{ "MorvexSoftButton", [](HWND hWnd) { ClickButton(hWnd, L"MorvexSoft"); } }),
    [](const testing::TestParamInfo<OpeningWay>& tested) { return std::string(tested.param.pszName); });
