// The command line: what its arguments ask for, and carrying that out on the scope's stored layout.
#pragma once

#include "framework/afxreg.h"
#include "framework/afxwin.h"
#include "layout/LayoutStore.h"
#include "ui/CommandLineOutput.h"
#include "ui/SessionControl.h"

// One bit per row of CKeyTable.
typedef UINT KeySet;

// The exit codes installers use, so that deployment tools read them without being told.
enum CommandLineExit
{
    exitDone = 0,                // nothing needed changing; also /status and /?
    exitFailed = 1,              // the value could not be stored, the restart was refused after storing, or a log-off cannot be asked for from here
    exitAccessDenied = 5,        // the scope's key cannot be opened for writing
    exitBadArguments = 87,       // with the usage text
    exitRestartRequested = 1641, // stored, and the restart or log-off requested
    exitRestartNeeded = 3010,    // stored; it takes effect after a restart or log-off
};

class CMorvexCommandLineInfo : public CCommandLineInfo
{
public:
    void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) override;

    // Any argument at all means the command line runs instead of the dialog.
    BOOL HasArguments() const { return m_nArguments > 0; }

    // Reads a comma-separated list of key names or All, in any case; FALSE for an empty list or
    // item, or an unknown name, which then is in strBad.
    static BOOL ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad);

    // The first thing wrong with the arguments, empty when there is none.
    CString m_strError;
    KeySet m_disable = 0;
    KeySet m_enable = 0;
    BOOL m_bStatus = FALSE;
    BOOL m_bRestart = FALSE;
    BOOL m_bQuiet = FALSE;
    BOOL m_bUsage = FALSE;

private:
    void Fail(LPCWSTR pszFormat, LPCWSTR pszArgument = L"");
    void ParseSwitch(const WCHAR* pszName);
    void CheckCombination();

    int m_nArguments = 0;
    UINT m_nSwitchesSeen = 0;
    // The switch whose list of keys the next argument is, or 0.
    UINT m_nAwaitingKeys = 0;
};

class CCommandLine
{
public:
    // The dialog's edit for each key named: disabled ones map to nothing, enabled ones lose their
    // mapping. TRUE when the value the map stands for is now different.
    static BOOL Edit(CMapStringToString& map, KeySet disable, KeySet enable);

    // Each key as the dialog's check box would show it, the scope, and how many other mappings are
    // stored; the last line ends with '\n'.
    static CString StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers);
    static LPCWSTR UsageText();

    // Does what the arguments ask in the scope and says so; returns the exit code.
    static int Run(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session, BOOL bAllUsers,
                   CCommandLineOutput& output);
};
