// Drives a modal dialog from a second thread the way a user would: clicks, keys, message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/afxwin.h"

// A message box as the user sees it.
struct MessageBoxView
{
    HWND hWnd = nullptr;
    HWND hWndOwner = nullptr;
    std::wstring strCaption;
    std::wstring strText;
    std::vector<int> buttons;  // the visible ones, among IDOK, IDCANCEL, IDYES, IDNO
    HICON hIcon = nullptr;

    explicit operator bool() const { return hWnd != nullptr; }
};

class CUser
{
public:
    HWND Dialog() const { return m_hWndDialog; }
    HWND Control(int nID) const { return ::GetDlgItem(m_hWndDialog, nID); }

    // Each action waits until the dialog's thread has handled it, or has opened a modal box
    // while handling it.
    void Click(int nID);
    void ClickIn(HWND hWndDialog, int nID);
    // A BN_CLICKED notification sent as the control would, also when the control is disabled.
    void Notify(int nID);
    // Key down and up on the control that has the focus (Alt held for a system key).
    void PressKey(UINT vk, bool bAlt = false);
    // Key down and up through the system's keyboard input, as a keyboard sends them: the system
    // turns some keys into messages of their own (F1 into WM_HELP), which posted keys never become.
    // A window of the dialog's thread must be the foreground window.
    void TypeKey(UINT vk);
    void SysCommand(UINT nCommand);
    void Post(UINT message, WPARAM wParam, LPARAM lParam);
    // The same to another window of the dialog's thread, such as a box it opened.
    void PostTo(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    bool IsChecked(int nID) const;
    bool IsEnabled(int nID) const;
    HWND Focus() const;

    // The topmost dialog of the thread other than the main one, owned by hWndOwner (by default the
    // main dialog); empty when none appears within the time.
    MessageBoxView WaitForMessageBox(HWND hWndOwner = nullptr, DWORD dwTimeoutMs = 5000);
    HWND WaitForOwnedDialog(HWND hWndOwner, DWORD dwTimeoutMs = 5000);
    // No box is open now.
    bool NoMessageBox();
    void Answer(const MessageBoxView& box, int nButton);

    // Runs a function on the dialog's thread, between two of its messages, and waits for it.
    void OnDialogThread(const std::function<void()>& fn);
    // The same without waiting for it to return: for a call that opens a modal box. Returns once
    // the call has returned or its box is open.
    void StartOnDialogThread(std::function<void()> fn);
    // Lets the dialog's thread handle what is queued for it so far.
    void Sync();

    bool DialogStillOpen() const { return ::IsWindow(m_hWndDialog) && ::IsWindowVisible(m_hWndDialog); }

private:
    friend class CDialogSession;
    HWND m_hWndDialog = nullptr;
    HWND m_hWndHelper = nullptr;
    DWORD m_dwDialogThread = 0;
    HANDLE m_hSynced = nullptr;
};

class CDialogSession
{
public:
    // Runs dlg.DoModal() on this thread while the script acts on it from another; whatever the
    // script leaves open is cancelled when it returns. The result is DoModal's.
    static INT_PTR Run(CDialog& dlg, const std::function<void(CUser&)>& script);
};
