#include "Desktop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
// Under load, Wine now and then reports a program that died while it was being started, before
// any code of its own ran, as ERROR_INTERNAL_ERROR (1359); started again a moment later, it runs.
// Its cause lies in Wine, and no test is about it, so a start is tried up to three times.
BOOL StartProcess(const std::wstring& strPath, const std::vector<std::wstring>& args, BOOL bInheritHandles,
                  DWORD dwCreationFlags, STARTUPINFOW& startup, PROCESS_INFORMATION& info)
{
    std::wstring strCommand = QuoteArgument(strPath);
    for (const std::wstring& strArg : args)
        strCommand += L" " + QuoteArgument(strArg);
    for (int nTry = 1;; ++nTry)
    {
        std::wstring strCommandLine = strCommand;  // CreateProcessW may write into it
        if (::CreateProcessW(strPath.c_str(), strCommandLine.data(), nullptr, nullptr, bInheritHandles, dwCreationFlags, nullptr,
                             nullptr, &startup, &info))
            return TRUE;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || nTry == 3)
            return FALSE;
        ::Sleep(250);
    }
}

std::wstring ClassOf(HWND hWnd)
{
    WCHAR sz[64] = {};
    ::GetClassNameW(hWnd, sz, 64);
    return sz;
}

struct WindowQuery
{
    DWORD dwProcessId;
    HWND hWndOwner;            // for owned dialogs; null for the main window
    const std::wstring* pCaption;
    HWND hWndFound;
};

BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam)
{
    auto* pQuery = reinterpret_cast<WindowQuery*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId != pQuery->dwProcessId || !::IsWindowVisible(hWnd) || ::GetWindow(hWnd, GW_OWNER) != pQuery->hWndOwner)
        return TRUE;
    if (pQuery->pCaption != nullptr ? WindowText(hWnd) != *pQuery->pCaption : ClassOf(hWnd) != L"#32770")
        return TRUE;
    pQuery->hWndFound = hWnd;
    return FALSE;
}

HWND WaitForWindow(WindowQuery query, DWORD dwTimeoutMs)
{
    WaitUntil(
        [&] {
            ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
            return query.hWndFound != nullptr;
        },
        dwTimeoutMs);
    return query.hWndFound;
}

std::wstring HiddenStationName()
{
    return L"MorvexTest" + std::to_wstring(::GetCurrentProcessId());
}

// A desktop is made on the process's own station, so the test moves to hStation for that moment;
// it owns no window, which would keep it from moving.
HDESK DesktopOn(HWINSTA hStation)
{
    const HWINSTA hOwn = ::GetProcessWindowStation();
    if (hStation == nullptr || !::SetProcessWindowStation(hStation))
        return nullptr;
    const HDESK hDesktop = ::CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ::SetProcessWindowStation(hOwn);
    return hDesktop;
}

BOOL CALLBACK AnyWindowOf(HWND hWnd, LPARAM lParam)
{
    auto* pQuery = reinterpret_cast<std::pair<DWORD, bool>*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pQuery->first)
    {
        pQuery->second = true;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

std::wstring WindowText(HWND hWnd)
{
    WCHAR sz[1024] = {};
    // WM_GETTEXT rather than GetWindowText: the latter does not ask windows of other processes.
    ::SendMessageTimeoutW(hWnd, WM_GETTEXT, std::size(sz), reinterpret_cast<LPARAM>(sz), SMTO_ABORTIFHUNG, 5000, nullptr);
    return sz;
}

std::wstring ShownText(HWND hWnd)
{
    std::wstring strText = WindowText(hWnd);
    std::wstring strShown;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        // "&&" shows one ampersand; a single one only underlines the next letter.
        if (strText[i] == L'&' && i + 1 < strText.size())
            ++i;
        strShown += strText[i];
    }
    return strShown;
}

CProgram::~CProgram()
{
    if (m_info.hProcess == nullptr)
        return;
    if (Running())
    {
        ::TerminateProcess(m_info.hProcess, 1);
        ::WaitForSingleObject(m_info.hProcess, 5000);
    }
    ::CloseHandle(m_info.hThread);
    ::CloseHandle(m_info.hProcess);
}

CHiddenStation::CHiddenStation()
    : m_station(::CreateWindowStationW(HiddenStationName().c_str(), 0, WINSTA_ALL_ACCESS, nullptr)),
      m_desktop(DesktopOn(m_station.Get())),
      m_strDesktop(m_desktop ? HiddenStationName() + L"\\Default" : L"")
{
}

std::wstring CProgram::Start(const std::wstring& strPath, const std::vector<std::wstring>& args, DWORD dwCreationFlags,
                             const CHiddenStation* pStation, HANDLE hStdOutput)
{
    STARTUPINFOW startup = { sizeof(startup) };
    std::wstring strDesktop;
    if (pStation != nullptr)
    {
        strDesktop = pStation->Desktop();
        startup.lpDesktop = strDesktop.data();
    }
    if (hStdOutput != nullptr)
    {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = hStdOutput;
        startup.hStdError = hStdOutput;
    }
    if (!StartProcess(strPath, args, hStdOutput != nullptr, dwCreationFlags, startup, m_info))
        return L"could not start " + strPath + L": error " + std::to_wstring(::GetLastError());
    ::WaitForInputIdle(m_info.hProcess, 10000);
    return L"";
}

bool CProgram::Running() const
{
    return m_info.hProcess != nullptr && ::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT;
}

bool CProgram::WaitForExit(DWORD dwTimeoutMs)
{
    return ::WaitForSingleObject(m_info.hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
}

HWND CProgram::WaitForMainWindow(const std::wstring& strCaption, DWORD dwTimeoutMs) const
{
    return WaitForWindow({ m_info.dwProcessId, nullptr, &strCaption, nullptr }, dwTimeoutMs);
}

HWND CProgram::WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs) const
{
    return WaitForWindow({ m_info.dwProcessId, hWndOwner, nullptr, nullptr }, dwTimeoutMs);
}

BoxView ReadBox(HWND hWnd)
{
    BoxView box;
    if (hWnd == nullptr)
        return box;
    box.hWnd = hWnd;
    box.strCaption = WindowText(hWnd);
    for (HWND hWndChild = ::GetWindow(hWnd, GW_CHILD); hWndChild != nullptr; hWndChild = ::GetWindow(hWndChild, GW_HWNDNEXT))
    {
        if (!::IsWindowVisible(hWndChild))
            continue;
        const std::wstring strClass = ClassOf(hWndChild);
        const LONG lType = ::GetWindowLongW(hWndChild, GWL_STYLE) & 0x0F;
        if (strClass == L"Button" && (lType == BS_PUSHBUTTON || lType == BS_DEFPUSHBUTTON))
            box.buttons.push_back(ShownText(hWndChild));
        // An icon's static has the icon's resource number for its text, which nobody sees.
        else if (strClass == L"Static" && (::GetWindowLongW(hWndChild, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && !WindowText(hWndChild).empty())
            box.texts.push_back(ShownText(hWndChild));
    }
    // A message box's message is the static control with this identifier.
    if (HWND hWndMessage = ::GetDlgItem(hWnd, 0xFFFF))
        box.strText = WindowText(hWndMessage);
    return box;
}

HWND FindControl(HWND hWndParent, const std::wstring& strShownText)
{
    for (HWND hWndChild = ::GetWindow(hWndParent, GW_CHILD); hWndChild != nullptr; hWndChild = ::GetWindow(hWndChild, GW_HWNDNEXT))
    {
        if (ShownText(hWndChild) == strShownText)
            return hWndChild;
    }
    return nullptr;
}

void ClickButton(HWND hWndParent, const std::wstring& strLabel)
{
    HWND hWndButton = FindControl(hWndParent, strLabel);
    ASSERT_NE(nullptr, hWndButton) << "no button \"" << testing::PrintToString(strLabel) << "\"";
    ::PostMessageW(hWndButton, BM_CLICK, 0, 0);
}

bool IsChecked(HWND hWndParent, const std::wstring& strLabel)
{
    HWND hWndBox = FindControl(hWndParent, strLabel);
    EXPECT_NE(nullptr, hWndBox) << "no check box " << testing::PrintToString(strLabel);
    return ::SendMessageW(hWndBox, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabledControl(HWND hWndParent, const std::wstring& strLabel)
{
    HWND hWndControl = FindControl(hWndParent, strLabel);
    EXPECT_NE(nullptr, hWndControl) << "no control " << testing::PrintToString(strLabel);
    return ::IsWindowEnabled(hWndControl) != FALSE;
}

void Toggle(HWND hWndParent, const std::wstring& strLabel)
{
    const bool bWasChecked = IsChecked(hWndParent, strLabel);
    ClickButton(hWndParent, strLabel);
    EXPECT_TRUE(WaitUntil([&] { return IsChecked(hWndParent, strLabel) != bWasChecked; }))
        << testing::PrintToString(strLabel) << " did not change when clicked";
}

void TypeKeys(HWND hWndActive, const std::vector<WORD>& keys, bool bAlt)
{
    if (::GetForegroundWindow() != hWndActive)
        ::SetForegroundWindow(hWndActive);
    ASSERT_TRUE(WaitUntil([&] { return ::GetForegroundWindow() == hWndActive; })) << "the window did not become active";

    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, DWORD dwFlags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        input.ki.dwFlags = dwFlags;
        inputs.push_back(input);
    };
    if (bAlt)
        add(VK_MENU, 0);
    for (WORD vk : keys)
    {
        add(vk, 0);
        add(vk, KEYEVENTF_KEYUP);
    }
    if (bAlt)
        add(VK_MENU, KEYEVENTF_KEYUP);
    ASSERT_EQ(inputs.size(), ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)));
}

bool OwnsAnyWindow(DWORD dwProcessId)
{
    std::pair<DWORD, bool> query(dwProcessId, false);
    ::EnumWindows(AnyWindowOf, reinterpret_cast<LPARAM>(&query));
    return query.second;
}

std::wstring SystemMessage(DWORD dwError)
{
    WCHAR sz[512] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, sz, std::size(sz), nullptr);
    std::wstring strText = sz;
    while (!strText.empty() && (strText.back() == L'\n' || strText.back() == L'\r' || strText.back() == L' '))
        strText.pop_back();
    return strText;
}

std::wstring OwnFolder()
{
    WCHAR szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L'\\'));
}

std::wstring QuoteArgument(const std::wstring& strArg)
{
    if (!strArg.empty() && strArg.find_first_of(L" \t\"") == std::wstring::npos)
        return strArg;
    // Backslashes count only before a quote: there they are doubled, and the quote escaped.
    std::wstring strQuoted = L"\"";
    size_t nBackslashes = 0;
    for (WCHAR ch : strArg)
    {
        if (ch == L'\\')
        {
            ++nBackslashes;
            continue;
        }
        strQuoted.append(ch == L'"' ? nBackslashes * 2 + 1 : nBackslashes, L'\\');
        nBackslashes = 0;
        strQuoted += ch;
    }
    strQuoted.append(nBackslashes * 2, L'\\');
    return strQuoted + L"\"";
}

RunResult RunCaptured(const std::wstring& strPath, const std::vector<std::wstring>& args, DWORD dwTimeoutMs, bool bErrorsToo)
{
    RunResult result;
    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), nullptr, TRUE };
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &inherit, 0))
    {
        result.strOutput = L"no pipe";
        return result;
    }
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = { sizeof(startup) };
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = hWrite;
    startup.hStdError = bErrorsToo ? hWrite : nullptr;
    PROCESS_INFORMATION info = {};
    const BOOL bStarted = StartProcess(strPath, args, TRUE, CREATE_NO_WINDOW, startup, info);
    ::CloseHandle(hWrite);
    if (!bStarted)
    {
        ::CloseHandle(hRead);
        result.strOutput = L"could not start " + strPath + L": error " + std::to_wstring(::GetLastError());
        return result;
    }

    // Read while it runs, so a long answer cannot fill the pipe and stall it, and stop once it has
    // ended: a process it started (Wine's desktop, say) may hold the pipe open for much longer.
    std::string strBytes;
    char buffer[4096];
    const DWORD dwStart = ::GetTickCount();
    for (bool bEnded = false;;)
    {
        DWORD cbAvailable = 0, cbRead = 0;
        if (::PeekNamedPipe(hRead, nullptr, 0, nullptr, &cbAvailable, nullptr) && cbAvailable > 0 &&
            ::ReadFile(hRead, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead > 0)
        {
            strBytes.append(buffer, cbRead);
            continue;
        }
        // Whatever it wrote before it ended is in the pipe by now: one more pass takes it.
        if (bEnded || ::GetTickCount() - dwStart >= dwTimeoutMs)
            break;
        bEnded = ::WaitForSingleObject(info.hProcess, 10) == WAIT_OBJECT_0;
    }
    ::CloseHandle(hRead);
    if (::WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0)
        ::TerminateProcess(info.hProcess, static_cast<UINT>(-1));
    ::GetExitCodeProcess(info.hProcess, &result.dwExitCode);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);

    // Through a pipe, console programs write in the console's code page; what is read here is ASCII.
    result.strOutput.assign(strBytes.begin(), strBytes.end());
    return result;
}
