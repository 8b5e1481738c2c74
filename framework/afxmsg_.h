// Message-map macros. Each entry names its handler through a member pointer of the exact signature
// its message needs, so a handler of another shape does not compile; nothing is cast.
#pragma once

// Declares the class's message map: the override of CWnd::OnWndMsg that BEGIN_MESSAGE_MAP defines.
#define DECLARE_MESSAGE_MAP() \
protected: \
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

// Entries are tried in order; a message no entry takes goes on to the base class's map.
#define BEGIN_MESSAGE_MAP(theClass, baseClass) \
    BOOL theClass::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) \
    { \
        using ThisClass [[maybe_unused]] = theClass; \
        using TheBaseClass = baseClass;

#define END_MESSAGE_MAP() \
        return TheBaseClass::OnWndMsg(message, wParam, lParam, pResult); \
    }

#define AFX_MSG_ENTRY(condition, signature, memberFxn, call) \
        if (condition) \
        { \
            signature = memberFxn; \
            call; \
            return TRUE; \
        }

// WM_COMMAND from a menu, an accelerator or a button (code 0, which is also BN_CLICKED).
#define ON_COMMAND(id, memberFxn) \
    AFX_MSG_ENTRY(message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == 0, \
        void (ThisClass::*pfn)(), memberFxn, ((this->*pfn)(), *pResult = 0))

#define ON_BN_CLICKED(id, memberFxn) \
    AFX_MSG_ENTRY(message == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == BN_CLICKED, \
        void (ThisClass::*pfn)(), memberFxn, ((this->*pfn)(), *pResult = 0))

#define ON_WM_PAINT() \
    AFX_MSG_ENTRY(message == WM_PAINT, \
        void (ThisClass::*pfn)(), &ThisClass::OnPaint, ((this->*pfn)(), *pResult = 0))

#define ON_WM_SYSCOMMAND() \
    AFX_MSG_ENTRY(message == WM_SYSCOMMAND, \
        void (ThisClass::*pfn)(UINT, LPARAM), &ThisClass::OnSysCommand, \
        ((this->*pfn)(static_cast<UINT>(wParam), lParam), *pResult = 0))

#define ON_WM_QUERYDRAGICON() \
    AFX_MSG_ENTRY(message == WM_QUERYDRAGICON, \
        HCURSOR (ThisClass::*pfn)(), &ThisClass::OnQueryDragIcon, \
        *pResult = reinterpret_cast<LRESULT>((this->*pfn)()))

#define ON_WM_HELPINFO() \
    AFX_MSG_ENTRY(message == WM_HELP, \
        BOOL (ThisClass::*pfn)(HELPINFO*), &ThisClass::OnHelpInfo, \
        *pResult = (this->*pfn)(reinterpret_cast<HELPINFO*>(lParam)))
