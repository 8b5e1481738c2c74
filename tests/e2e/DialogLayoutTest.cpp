// The two dialogs as laid out on a screen of 96 and of 144 DPI: every control where its template
// puts it, inside the window, clear of the others, and every line of text whole on its line.
//
// The system DPI is read once when a process starts, so a test that finds its process at another
// DPI stores the one it needs (LogPixels) and runs itself again in a new process.
#include <gtest/gtest.h>

#include <sstream>

#include "Desktop.h"
#include "RegTool.h"
#include "dialog/AboutDlg.h"
#include "dialog/MorvexDisablerDlg.h"

namespace
{
const WCHAR s_szDesktopKey[] = L"HKCU\\Control Panel\\Desktop";
const WCHAR s_szRerun[] = L"MORVEX_LAYOUT_RERUN";

// A control as the compiled template describes it.
struct TemplateItem
{
    RECT rcDlu;
    DWORD dwStyle;
};

// Reads the items of an extended dialog template (the only kind the resource script has).
std::vector<TemplateItem> TemplateItems(UINT nIDTemplate)
{
    HMODULE hModule = ::GetModuleHandleW(nullptr);
    HRSRC hResource = ::FindResourceW(hModule, MAKEINTRESOURCEW(nIDTemplate), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    const BYTE* p = hResource != nullptr ? static_cast<const BYTE*>(::LockResource(::LoadResource(hModule, hResource))) : nullptr;
    std::vector<TemplateItem> items;
    if (p == nullptr || *reinterpret_cast<const WORD*>(p + 2) != 0xFFFF)
    {
        ADD_FAILURE() << "no extended template " << nIDTemplate;
        return items;
    }
    auto word = [&](size_t nOffset) { return *reinterpret_cast<const WORD*>(p + nOffset); };
    auto skipSzOrOrd = [&](size_t nOffset) {
        if (word(nOffset) == 0xFFFF)
            return nOffset + 4;
        while (word(nOffset) != 0)
            nOffset += 2;
        return nOffset + 2;
    };
    const DWORD dwStyle = *reinterpret_cast<const DWORD*>(p + 12);
    const WORD nItems = word(16);
    size_t nOffset = skipSzOrOrd(skipSzOrOrd(26));  // menu, class
    nOffset = skipSzOrOrd(nOffset);                  // title
    if (dwStyle & DS_SETFONT)
        nOffset = skipSzOrOrd(nOffset + 6);          // point size, weight, italic, charset; face
    for (WORD i = 0; i < nItems; ++i)
    {
        nOffset = (nOffset + 3) & ~size_t(3);
        TemplateItem item;
        item.dwStyle = *reinterpret_cast<const DWORD*>(p + nOffset + 8);
        const short* pCoords = reinterpret_cast<const short*>(p + nOffset + 12);
        item.rcDlu = { pCoords[0], pCoords[1], pCoords[0] + pCoords[2], pCoords[1] + pCoords[3] };
        nOffset = skipSzOrOrd(skipSzOrOrd(nOffset + 24));  // class, title
        nOffset += 2 + word(nOffset);                      // creation data
        items.push_back(item);
    }
    return items;
}

// A control as it is on the screen, in the dialog's client coordinates.
struct LiveControl
{
    std::wstring strText;
    std::wstring strClass;
    DWORD dwStyle;
    RECT rcLive;
    RECT rcFromTemplate;  // its template rectangle through the dialog's own MapDialogRect
    SIZE iconSize;        // for an icon static, the icon's own size
    SIZE textSize;        // its text on one line, in its own font
};

struct LiveDialog
{
    UINT nDpi = 0;
    RECT rcClient = {};
    std::vector<LiveControl> controls;
};

LiveDialog Measure(HWND hDlg, const std::vector<TemplateItem>& items)
{
    LiveDialog dialog;
    HDC hDC = ::GetDC(hDlg);
    dialog.nDpi = static_cast<UINT>(::GetDeviceCaps(hDC, LOGPIXELSY));
    ::ReleaseDC(hDlg, hDC);
    ::GetClientRect(hDlg, &dialog.rcClient);
    size_t nIndex = 0;
    for (HWND hWnd = ::GetWindow(hDlg, GW_CHILD); hWnd != nullptr; hWnd = ::GetWindow(hWnd, GW_HWNDNEXT), ++nIndex)
    {
        LiveControl control = {};
        control.strText = ShownText(hWnd);
        WCHAR szClass[64] = {};
        ::GetClassNameW(hWnd, szClass, 64);
        control.strClass = szClass;
        control.dwStyle = static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_STYLE));
        ::GetWindowRect(hWnd, &control.rcLive);
        ::MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&control.rcLive), 2);
        if (nIndex < items.size())
        {
            // The dialog manager converts the origin and the size each on its own, so the far
            // edges can differ by a pixel from a conversion of the template's far edges.
            const RECT& rcDlu = items[nIndex].rcDlu;
            RECT rcOriginAndSize = { rcDlu.left, rcDlu.top, rcDlu.right - rcDlu.left, rcDlu.bottom - rcDlu.top };
            ::MapDialogRect(hDlg, &rcOriginAndSize);
            control.rcFromTemplate = { rcOriginAndSize.left, rcOriginAndSize.top, rcOriginAndSize.left + rcOriginAndSize.right,
                                       rcOriginAndSize.top + rcOriginAndSize.bottom };
        }
        HDC hTextDC = ::GetDC(hWnd);
        HGDIOBJ hOldFont = ::SelectObject(hTextDC, reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)));
        ::GetTextExtentPoint32W(hTextDC, control.strText.c_str(), static_cast<int>(control.strText.size()), &control.textSize);
        ::SelectObject(hTextDC, hOldFont);
        ::ReleaseDC(hWnd, hTextDC);
        ICONINFO info = {};
        HICON hIcon = reinterpret_cast<HICON>(::SendMessageW(hWnd, STM_GETICON, 0, 0));
        if (hIcon != nullptr && ::GetIconInfo(hIcon, &info))
        {
            BITMAP bitmap = {};
            ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
            control.iconSize = { bitmap.bmWidth, info.hbmColor != nullptr ? bitmap.bmHeight : bitmap.bmHeight / 2 };
            ::DeleteObject(info.hbmColor);
            ::DeleteObject(info.hbmMask);
        }
        dialog.controls.push_back(control);
    }
    return dialog;
}

// Opens the dialog as the program does, measures it once it shows, and closes it.
LiveDialog OpenAndMeasure(CDialog& dlg, const std::vector<TemplateItem>& items)
{
    struct Context
    {
        CDialog* pDlg;
        const std::vector<TemplateItem>* pItems;
        LiveDialog measured;
    } context = { &dlg, &items, {} };

    HANDLE hThread = ::CreateThread(
        nullptr, 0,
        [](LPVOID pv) WINAPI -> DWORD {
            auto* pContext = static_cast<Context*>(pv);
            if (WaitUntil([&] { return pContext->pDlg->m_hWnd != nullptr && ::IsWindowVisible(pContext->pDlg->m_hWnd); }, 10000))
            {
                pContext->measured = Measure(pContext->pDlg->m_hWnd, *pContext->pItems);
                ::PostMessageW(pContext->pDlg->m_hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            }
            return 0;
        },
        &context, 0, nullptr);
    dlg.DoModal();
    ::WaitForSingleObject(hThread, 10000);
    ::CloseHandle(hThread);
    return context.measured;
}

std::string Describe(const LiveControl& control)
{
    std::ostringstream text;
    text << testing::PrintToString(control.strText) << " (" << testing::PrintToString(control.strClass) << ")";
    return text.str();
}

std::string Describe(const RECT& rc)
{
    std::ostringstream text;
    text << "(" << rc.left << "," << rc.top << ")-(" << rc.right << "," << rc.bottom << ")";
    return text.str();
}

bool Contains(const RECT& rcOuter, const RECT& rcInner)
{
    return rcInner.left >= rcOuter.left && rcInner.top >= rcOuter.top && rcInner.right <= rcOuter.right && rcInner.bottom <= rcOuter.bottom;
}

bool IsGroupBox(const LiveControl& control)
{
    return control.strClass == L"Button" && (control.dwStyle & 0x0F) == BS_GROUPBOX;
}

bool IsCheckBox(const LiveControl& control)
{
    return control.strClass == L"Button" && (control.dwStyle & 0x0F) == BS_AUTOCHECKBOX;
}

bool IsIcon(const LiveControl& control)
{
    return control.strClass == L"Static" && (control.dwStyle & SS_TYPEMASK) == SS_ICON;
}

bool IsText(const LiveControl& control)
{
    return control.strClass == L"Static" && (control.dwStyle & SS_TYPEMASK) == SS_LEFT;
}

enum class Which
{
    Main,
    About
};

struct Screen
{
    Which which;
    UINT nDpi;
};

void PrintTo(const Screen& screen, std::ostream* pStream)
{
    *pStream << (screen.which == Which::Main ? "main" : "about") << "@" << screen.nDpi;
}

UINT SystemDpi()
{
    HDC hDC = ::GetDC(nullptr);
    const int nDpi = ::GetDeviceCaps(hDC, LOGPIXELSY);
    ::ReleaseDC(nullptr, hDC);
    return static_cast<UINT>(nDpi);
}

// Puts the process at the DPI asked for: true when it is there already; otherwise the current
// test runs again in a process started after storing that DPI, and its verdict is this one's.
bool AtDpi(UINT nDpi)
{
    if (SystemDpi() == nDpi)
        return true;
    if (::GetEnvironmentVariableW(s_szRerun, nullptr, 0) != 0)
    {
        ADD_FAILURE() << "LogPixels " << nDpi << " is stored, yet the system DPI is " << SystemDpi();
        return false;
    }
    AddDword(s_szDesktopKey, L"LogPixels", nDpi);

    const testing::TestInfo* pTest = testing::UnitTest::GetInstance()->current_test_info();
    const std::string strFilter = std::string("--gtest_filter=") + pTest->test_suite_name() + "." + pTest->name();
    WCHAR szSelf[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szSelf, MAX_PATH);
    ::SetEnvironmentVariableW(s_szRerun, L"1");
    const RunResult result = RunCaptured(szSelf, { std::wstring(strFilter.begin(), strFilter.end()) }, 60000);
    ::SetEnvironmentVariableW(s_szRerun, nullptr);
    EXPECT_EQ(0u, result.dwExitCode) << "at " << nDpi << " DPI:\n" << std::string(result.strOutput.begin(), result.strOutput.end());
    return false;
}
}  // namespace

class DialogLayoutTest : public testing::TestWithParam<Screen>
{
};

TEST_P(DialogLayoutTest, ControlsSitWhereTheTemplatePutsThemAndDoNotOverlap)
{
    if (!AtDpi(GetParam().nDpi))
        return;

    CMorvexDisablerDlg mainDlg;
    CAboutDlg aboutDlg;
    const bool bMain = GetParam().which == Which::Main;
    const std::vector<TemplateItem> items = TemplateItems(bMain ? IDD_MORVEXDISABLER_DIALOG : IDD_ABOUTBOX);
    const LiveDialog dialog = OpenAndMeasure(bMain ? static_cast<CDialog&>(mainDlg) : aboutDlg, items);
    ASSERT_EQ(GetParam().nDpi, dialog.nDpi);
    ASSERT_EQ(items.size(), dialog.controls.size());

    for (const LiveControl& control : dialog.controls)
    {
        SCOPED_TRACE(Describe(control));
        EXPECT_TRUE(Contains(dialog.rcClient, control.rcLive)) << Describe(control.rcLive) << " leaves the client area " << Describe(dialog.rcClient);
        if (IsIcon(control))
        {
            // An icon static takes the icon's size, from where the template puts it.
            EXPECT_EQ(control.rcFromTemplate.left, control.rcLive.left);
            EXPECT_EQ(control.rcFromTemplate.top, control.rcLive.top);
            EXPECT_EQ(control.iconSize.cx, control.rcLive.right - control.rcLive.left);
            EXPECT_EQ(control.iconSize.cy, control.rcLive.bottom - control.rcLive.top);
        }
        else
        {
            EXPECT_TRUE(::EqualRect(&control.rcFromTemplate, &control.rcLive))
                << "at " << Describe(control.rcLive) << ", the template says " << Describe(control.rcFromTemplate);
        }
        // A line of text that does not fit wraps, and its end falls below the control, unseen.
        if (IsText(control))
        {
            EXPECT_LE(control.textSize.cx, control.rcLive.right - control.rcLive.left) << "the text does not fit on one line";
        }
    }

    for (size_t i = 0; i < dialog.controls.size(); ++i)
    {
        for (size_t j = i + 1; j < dialog.controls.size(); ++j)
        {
            const LiveControl& a = dialog.controls[i];
            const LiveControl& b = dialog.controls[j];
            RECT rcCommon;
            if (!::IntersectRect(&rcCommon, &a.rcLive, &b.rcLive))
                continue;
            const bool bFramed = (IsGroupBox(a) && Contains(a.rcLive, b.rcLive)) || (IsGroupBox(b) && Contains(b.rcLive, a.rcLive));
            EXPECT_TRUE(bFramed) << Describe(a) << " at " << Describe(a.rcLive) << " overlaps " << Describe(b) << " at " << Describe(b.rcLive);
        }
    }

    // Every check box sits in a group box; the main dialog has all five in its one frame.
    size_t nFramed = 0;
    for (const LiveControl& box : dialog.controls)
    {
        if (!IsCheckBox(box))
            continue;
        bool bInFrame = false;
        for (const LiveControl& frame : dialog.controls)
            bInFrame = bInFrame || (IsGroupBox(frame) && Contains(frame.rcLive, box.rcLive));
        EXPECT_TRUE(bInFrame) << Describe(box) << " is in no group box";
        nFramed += bInFrame;
    }
    EXPECT_EQ(bMain ? 5u : 0u, nFramed);
}

INSTANTIATE_TEST_SUITE_P(Screens, DialogLayoutTest,
                         testing::Values(Screen{ Which::Main, 96 }, Screen{ Which::Main, 144 }, Screen{ Which::About, 96 },
                                         Screen{ Which::About, 144 }),
                         [](const testing::TestParamInfo<Screen>& tested) {
                             return std::string(tested.param.which == Which::Main ? "Main" : "About") + std::to_string(tested.param.nDpi) + "Dpi";
                         });
