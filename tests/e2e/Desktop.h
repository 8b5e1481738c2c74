// What a user has of a running program from outside its process: its windows, its boxes, keys.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The text a control or window shows, with the '&' that marks a mnemonic taken out.
std::wstring ShownText(HWND hWnd);
std::wstring WindowText(HWND hWnd);

// The one owner of a handle of a type that pfnClose closes; null or INVALID_HANDLE_VALUE owns none.
template <typename THandle, BOOL(WINAPI* pfnClose)(THandle)>
class CScopedHandle
{
public:
    explicit CScopedHandle(THandle hHandle = nullptr) : m_hHandle(hHandle) {}
    ~CScopedHandle()
    {
        if (*this)
            pfnClose(m_hHandle);
    }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;

    explicit operator bool() const { return m_hHandle != nullptr && m_hHandle != reinterpret_cast<THandle>(INVALID_HANDLE_VALUE); }
    THandle Get() const { return m_hHandle; }

private:
    THandle m_hHandle;
};

// A window station of the test's own, with its desktop, that nobody sees: what a service or a
// deployment agent running as SYSTEM has. Programs started there can show a box that no one can
// answer.
class CHiddenStation
{
public:
    CHiddenStation();
    CHiddenStation(const CHiddenStation&) = delete;
    CHiddenStation& operator=(const CHiddenStation&) = delete;

    // As STARTUPINFO.lpDesktop names it, "station\\desktop"; empty when it could not be made.
    const std::wstring& Desktop() const { return m_strDesktop; }

private:
    CScopedHandle<HWINSTA, ::CloseWindowStation> m_station;
    CScopedHandle<HDESK, ::CloseDesktop> m_desktop;
    std::wstring m_strDesktop;
};

// A program started for a test; ended by its handle if it is still running when this goes.
class CProgram
{
public:
    CProgram() = default;
    ~CProgram();
    CProgram(const CProgram&) = delete;
    CProgram& operator=(const CProgram&) = delete;

    // The command line is quoted here; an empty result means it started. On the test's own desktop
    // unless pStation is given. hStdOutput, when given, is its standard output and error: it must
    // be inheritable, and the program then inherits the test's inheritable handles.
    std::wstring Start(const std::wstring& strPath, const std::vector<std::wstring>& args = {}, DWORD dwCreationFlags = 0,
                       const CHiddenStation* pStation = nullptr, HANDLE hStdOutput = nullptr);
    bool Running() const;
    // Waits for the process to end; true once it has.
    bool WaitForExit(DWORD dwTimeoutMs);
    DWORD Id() const { return m_info.dwProcessId; }
    HANDLE Handle() const { return m_info.hProcess; }

    // The program's visible top-level window with this caption that no other window owns.
    HWND WaitForMainWindow(const std::wstring& strCaption, DWORD dwTimeoutMs = 15000) const;
    // A visible dialog-class window of the program owned by hWndOwner; null when none comes.
    HWND WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs = 5000) const;

private:
    PROCESS_INFORMATION m_info = {};
};

// A message box or other small dialog as it reads on the screen.
struct BoxView
{
    HWND hWnd = nullptr;
    std::wstring strCaption;
    std::wstring strText;              // the message of a message box
    std::vector<std::wstring> buttons; // the visible push buttons' labels, in order
    std::vector<std::wstring> texts;   // every visible static text, in order

    explicit operator bool() const { return hWnd != nullptr; }
};
BoxView ReadBox(HWND hWnd);

// The child control whose shown text is this, or null.
HWND FindControl(HWND hWndParent, const std::wstring& strShownText);

// A click on a button by its label, as BM_CLICK makes it; fails the test when there is none.
void ClickButton(HWND hWndParent, const std::wstring& strLabel);
bool IsChecked(HWND hWndParent, const std::wstring& strLabel);
bool IsEnabledControl(HWND hWndParent, const std::wstring& strLabel);
// Clicks a check box and waits until it shows the other state.
void Toggle(HWND hWndParent, const std::wstring& strLabel);

// Keys typed on the keyboard, going to whichever window is active; the window is made active first.
void TypeKeys(HWND hWndActive, const std::vector<WORD>& keys, bool bAlt = false);

// True while any top-level window belongs to the process.
bool OwnsAnyWindow(DWORD dwProcessId);

// Polls a condition until it holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, DWORD dwTimeoutMs = 5000)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (condition())
            return true;
        if (::GetTickCount() - dwStart >= dwTimeoutMs)
            return false;
        ::Sleep(20);
    }
}

// Runs a console program without a console and waits for it; what it printed, errors included.
struct RunResult
{
    DWORD dwExitCode = static_cast<DWORD>(-1);
    std::wstring strOutput;
};
// Without bErrorsToo, the program is given no standard error, as a script that reads its output
// alone gives it none.
RunResult RunCaptured(const std::wstring& strPath, const std::vector<std::wstring>& args, DWORD dwTimeoutMs = 30000,
                      bool bErrorsToo = true);

// The system's text for an error code, as a program shows it, without the line break.
std::wstring SystemMessage(DWORD dwError);

// This test program's own folder, without a trailing backslash.
std::wstring OwnFolder();
// A command line argument quoted as the C run-time reads it back.
std::wstring QuoteArgument(const std::wstring& strArg);
