// Resource symbols shared by the resource script and the dialog code.
#pragma once

#define IDD_ABOUTBOX                    100
#define IDS_ABOUTBOX                    101
#define IDD_MORVEXDISABLER_DIALOG       102
#define IDR_MAINFRAME                   128
#define IDM_ABOUTBOX                    0x0010

#define IDC_WEB_LINK                    1000
#define IDC_LEFT_WINDOWS_KEY            1001
#define IDC_RIGHT_WINDOWS_KEY           1002
#define IDC_CAPS_LOCK_KEY               1003
#define IDC_ALL_USERS                   1004
#define IDC_LEFT_CTRL_KEY               1006

#ifndef IDC_STATIC
#define IDC_STATIC                      (-1)
#endif
