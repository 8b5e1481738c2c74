#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace
{
const UINT WM_DRIVER_SYNC = WM_APP + 1;
const UINT WM_DRIVER_CALL = WM_APP + 2;
const UINT WM_DRIVER_START = WM_APP + 3;

const UINT_PTR kIdleTimer = 1;

LRESULT CALLBACK HelperProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRIVER_SYNC && wParam == kIdleTimer)
    {
        // A timer message comes only once nothing else waits, so the event is set after the
        // dialog's loop has found its queue empty in between.
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, lParam);
        ::SetTimer(hWnd, kIdleTimer, 20, nullptr);
        return 0;
    }
    if (message == WM_TIMER && wParam == kIdleTimer)
    {
        ::KillTimer(hWnd, kIdleTimer);
        ::SetEvent(reinterpret_cast<HANDLE>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA)));
        return 0;
    }
    if (message == WM_DRIVER_SYNC)
    {
        ::SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    }
    if (message == WM_DRIVER_CALL)
    {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 0;
    }
    if (message == WM_DRIVER_START)
    {
        std::unique_ptr<std::function<void()>> pFn(reinterpret_cast<std::function<void()>*>(lParam));
        (*pFn)();
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}

HWND CreateHelperWindow()
{
    static ATOM s_atom = 0;
    if (s_atom == 0)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = HelperProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"MorvexTestDriver";
        s_atom = ::RegisterClassW(&wc);
    }
    return ::CreateWindowExW(0, L"MorvexTestDriver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

std::wstring WindowText(HWND hWnd)
{
    WCHAR sz[2048] = {};
    ::GetWindowTextW(hWnd, sz, static_cast<int>(std::size(sz)));
    return sz;
}

// The key TypeKey waits for, and the event it sets once the dialog's thread has taken its release.
struct KeyWatch
{
    UINT vk;
    HANDLE hReleased;
};
std::atomic<KeyWatch*> s_pKeyWatch{ nullptr };

LRESULT CALLBACK KeyWatchProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    KeyWatch* pWatch = s_pKeyWatch.load();
    if (nCode == HC_ACTION && pWatch != nullptr && wParam == pWatch->vk && (lParam & 0x80000000) != 0)
        ::SetEvent(pWatch->hReleased);
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

bool IsDialogWindow(HWND hWnd)
{
    WCHAR szClass[16] = {};
    ::GetClassNameW(hWnd, szClass, static_cast<int>(std::size(szClass)));
    return wcscmp(szClass, L"#32770") == 0;
}

struct FindOwned
{
    HWND hWndOwner;
    HWND hWndFound;
};

BOOL CALLBACK FindOwnedProc(HWND hWnd, LPARAM lParam)
{
    auto* pFind = reinterpret_cast<FindOwned*>(lParam);
    if (::GetWindow(hWnd, GW_OWNER) == pFind->hWndOwner && IsDialogWindow(hWnd) && ::IsWindowVisible(hWnd))
    {
        pFind->hWndFound = hWnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

void CUser::Sync()
{
    ::ResetEvent(m_hSynced);
    ::PostMessageW(m_hWndHelper, WM_DRIVER_SYNC, 0, reinterpret_cast<LPARAM>(m_hSynced));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_hSynced, 10000)) << "the dialog's thread did not answer";
}

void CUser::OnDialogThread(const std::function<void()>& fn)
{
    ::SendMessageW(m_hWndHelper, WM_DRIVER_CALL, 0, reinterpret_cast<LPARAM>(&fn));
}

void CUser::StartOnDialogThread(std::function<void()> fn)
{
    ::PostMessageW(m_hWndHelper, WM_DRIVER_START, 0, reinterpret_cast<LPARAM>(new std::function<void()>(std::move(fn))));
    Sync();
}

void CUser::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    PostTo(m_hWndDialog, message, wParam, lParam);
}

void CUser::PostTo(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    ::PostMessageW(hWnd, message, wParam, lParam);
    Sync();
}

void CUser::Click(int nID)
{
    ClickIn(m_hWndDialog, nID);
}

void CUser::ClickIn(HWND hWndDialog, int nID)
{
    HWND hWndControl = ::GetDlgItem(hWndDialog, nID);
    ASSERT_NE(nullptr, hWndControl) << "no control " << nID;
    ::PostMessageW(hWndControl, BM_CLICK, 0, 0);
    Sync();
}

void CUser::Notify(int nID)
{
    Post(WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), reinterpret_cast<LPARAM>(Control(nID)));
}

void CUser::PressKey(UINT vk, bool bAlt)
{
    HWND hWndTarget = Focus() != nullptr ? Focus() : m_hWndDialog;
    const UINT nScan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    const LPARAM lDown = 1 | static_cast<LPARAM>(nScan) << 16 | (bAlt ? 1 << 29 : 0);
    const LPARAM lUp = lDown | static_cast<LPARAM>(0xC0000000u);
    ::PostMessageW(hWndTarget, bAlt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lDown);
    ::PostMessageW(hWndTarget, bAlt ? WM_SYSKEYUP : WM_KEYUP, vk, lUp);
    // Once for the keys, once more for the characters the keys were translated into.
    Sync();
    Sync();
}

void CUser::TypeKey(UINT vk)
{
    EXPECT_EQ(m_dwDialogThread, ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr)) << "the keyboard goes elsewhere";
    KeyWatch watch = { vk, ::CreateEventW(nullptr, TRUE, FALSE, nullptr) };
    s_pKeyWatch = &watch;
    HHOOK hHook = ::SetWindowsHookExW(WH_KEYBOARD, KeyWatchProc, nullptr, m_dwDialogThread);

    INPUT inputs[2] = {};
    for (INPUT& input : inputs)
    {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(vk);
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    EXPECT_EQ(2u, ::SendInput(2, inputs, sizeof(INPUT)));
    // Input comes after posted messages, so a Sync alone could overtake the key.
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(watch.hReleased, 10000)) << "the dialog's thread did not take the key";

    ::UnhookWindowsHookEx(hHook);
    s_pKeyWatch = nullptr;
    ::CloseHandle(watch.hReleased);
    // Once for what the key was turned into, once more for what that sends on.
    Sync();
    Sync();
}

void CUser::SysCommand(UINT nCommand)
{
    Post(WM_SYSCOMMAND, nCommand, 0);
}

bool CUser::IsChecked(int nID) const
{
    return ::SendMessageW(Control(nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool CUser::IsEnabled(int nID) const
{
    return ::IsWindowEnabled(Control(nID)) != FALSE;
}

HWND CUser::Focus() const
{
    GUITHREADINFO info = { sizeof(info) };
    ::GetGUIThreadInfo(m_dwDialogThread, &info);
    return info.hwndFocus;
}

HWND CUser::WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs)
{
    const DWORD dwStart = ::GetTickCount();
    do
    {
        FindOwned find = { hWndOwner, nullptr };
        ::EnumThreadWindows(m_dwDialogThread, FindOwnedProc, reinterpret_cast<LPARAM>(&find));
        if (find.hWndFound != nullptr)
            return find.hWndFound;
        ::Sleep(10);
    } while (::GetTickCount() - dwStart < dwTimeoutMs);
    return nullptr;
}

MessageBoxView CUser::WaitForMessageBox(HWND hWndOwner, DWORD dwTimeoutMs)
{
    MessageBoxView box;
    box.hWnd = WaitForOwnedDialog(hWndOwner != nullptr ? hWndOwner : m_hWndDialog, dwTimeoutMs);
    if (box.hWnd == nullptr)
        return box;
    box.hWndOwner = ::GetWindow(box.hWnd, GW_OWNER);
    box.strCaption = WindowText(box.hWnd);
    box.strText = WindowText(::GetDlgItem(box.hWnd, 0xFFFF));
    for (int nButton : { IDOK, IDCANCEL, IDYES, IDNO })
    {
        HWND hWndButton = ::GetDlgItem(box.hWnd, nButton);
        if (hWndButton != nullptr && ::IsWindowVisible(hWndButton))
            box.buttons.push_back(nButton);
    }
    // The icon is the one static control that shows an icon.
    for (HWND hWndChild = ::GetWindow(box.hWnd, GW_CHILD); hWndChild != nullptr; hWndChild = ::GetWindow(hWndChild, GW_HWNDNEXT))
    {
        if (HICON hIcon = reinterpret_cast<HICON>(::SendMessageW(hWndChild, STM_GETICON, 0, 0)))
            box.hIcon = hIcon;
    }
    return box;
}

bool CUser::NoMessageBox()
{
    Sync();
    return WaitForOwnedDialog(m_hWndDialog, 0) == nullptr;
}

void CUser::Answer(const MessageBoxView& box, int nButton)
{
    ClickIn(box.hWnd, nButton);
}

INT_PTR CDialogSession::Run(CDialog& dlg, const std::function<void(CUser&)>& script)
{
    CUser user;
    user.m_dwDialogThread = ::GetCurrentThreadId();
    user.m_hWndHelper = CreateHelperWindow();
    user.m_hSynced = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);

    struct Context
    {
        CDialog* pDlg;
        CUser* pUser;
        const std::function<void(CUser&)>* pScript;
    } context = { &dlg, &user, &script };

    HANDLE hThread = ::CreateThread(
        nullptr, 0,
        [](LPVOID pv) WINAPI -> DWORD {
            auto* pContext = static_cast<Context*>(pv);
            CUser& driver = *pContext->pUser;
            // The dialog is there once the framework has attached it and it shows.
            for (int i = 0; i < 1000 && !(pContext->pDlg->m_hWnd != nullptr && ::IsWindowVisible(pContext->pDlg->m_hWnd)); ++i)
                ::Sleep(5);
            driver.m_hWndDialog = pContext->pDlg->m_hWnd;
            if (driver.m_hWndDialog == nullptr)
            {
                ADD_FAILURE() << "the dialog did not open";
                return 0;
            }
            // The dialog manager shows the dialog again the first time its queue runs empty, which
            // would undo a minimise sent before: the script starts once that has passed.
            ::ResetEvent(driver.m_hSynced);
            ::PostMessageW(driver.m_hWndHelper, WM_DRIVER_SYNC, kIdleTimer, reinterpret_cast<LPARAM>(driver.m_hSynced));
            if (::WaitForSingleObject(driver.m_hSynced, 10000) != WAIT_OBJECT_0)
            {
                ADD_FAILURE() << "the dialog's thread did not answer";
                return 0;
            }
            (*pContext->pScript)(driver);

            // Whatever is still open is cancelled, boxes first, so a failed step cannot hang the run.
            for (int i = 0; i < 20; ++i)
            {
                if (MessageBoxView box = driver.WaitForMessageBox(nullptr, 0))
                {
                    for (int nButton : box.buttons)
                        ::PostMessageW(box.hWnd, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED), 0);
                }
                else if (driver.DialogStillOpen())
                {
                    ::PostMessageW(driver.m_hWndDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                }
                else
                {
                    break;
                }
                ::Sleep(50);
            }
            return 0;
        },
        &context, 0, nullptr);

    const INT_PTR nResult = dlg.DoModal();
    // Messages the script sent may still wait for this thread while the script winds down.
    while (::MsgWaitForMultipleObjects(1, &hThread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    ::CloseHandle(hThread);
    ::CloseHandle(user.m_hSynced);
    ::DestroyWindow(user.m_hWndHelper);
    return nResult;
}
