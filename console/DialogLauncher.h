// Starting the dialog program beside the console program, behind one seam: Wine cannot be made to refuse a start.
#pragma once

#include "framework/afxwin.h"
#include "cmdline/CommandLineOutput.h"

class CDialogLauncher
{
public:
    virtual ~CDialogLauncher() = default;
    // This program's folder, fully qualified, without a trailing backslash; empty when unknown.
    virtual CString OwnFolder();
    // Asks the shell to open the program as a double-click does, so that Windows asks for the
    // elevation its manifest requires, and does not wait for it: ERROR_SUCCESS, or why it did not start.
    virtual DWORD Open(LPCWSTR pszPath);

    static CDialogLauncher& Real();
};

// Starts MorvexDisabler.exe from this program's own folder, never from the current folder or the
// PATH. The exit code: 0 once it started, 1 when it is missing, else the refusal's code (1223 when
// the user declined the elevation).
int StartDialogProgram(CDialogLauncher& launcher, CCommandLineOutput& output);
