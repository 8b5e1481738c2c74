// The command line: what its arguments ask for, and carrying that out on the scope's stored layout.
#pragma once

#include "framework/afxreg.h"
#include "framework/afxwin.h"
#include "layout/LayoutStore.h"
#include "ui/CommandLineOutput.h"
#include "ui/SessionControl.h"

// The exit codes installers use, so that deployment tools read them without being told.
enum CommandLineExit
{
    exitDone = 0,                // nothing needed changing; also /status and /?
    exitFailed = 1,              // the value could not be read or stored, the restart was refused after storing, or a log-off cannot be asked for from here
    exitAccessDenied = 5,        // the scope's key or value refused the access needed
    exitBadArguments = 87,       // with the usage text
    exitAlreadyRunning = 1618,   // another copy kept the layout too long; deployment tools try again later
    exitRestartRequested = 1641, // stored, and the restart or log-off requested
    exitRestartNeeded = 3010,    // stored; it takes effect after a restart or log-off
};

class CMorvexCommandLineInfo : public CCommandLineInfo
{
public:
    void ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast) override;

    // Any argument at all means the command line runs instead of the dialog.
    BOOL HasArguments() const { return m_nArguments > 0; }

    enum KeysParsed
    {
        keysGood,
        keysEmptyList,
        keysEmptyName,  // between two commas, or before the first or after the last
        keysUnknown,    // the name is in strBad
    };
    // Reads a comma-separated list of key names or All, in any case.
    static KeysParsed ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad);

    // The first thing wrong with the arguments, empty when there is none.
    CString m_strError;
    KeySet m_disable = 0;
    KeySet m_enable = 0;
    BOOL m_bStatus = FALSE;
    BOOL m_bRestart = FALSE;
    BOOL m_bQuiet = FALSE;
    BOOL m_bUsage = FALSE;

private:
    void Fail(const CString& strError);
    void ParseKeyList(UINT nSwitch, const WCHAR* pszList, BOOL bLast);
    void ParseSwitch(const WCHAR* pszName);
    void CheckCombination();

    int m_nArguments = 0;
    UINT m_nSwitchesSeen = 0;
    // The switch whose list of keys the next argument is, or 0.
    UINT m_nAwaitingKeys = 0;
    // The switch and list of the argument before, when it was a list: a stray argument after it is
    // most likely the rest of a list that held a space and was not quoted.
    UINT m_nListBefore = 0;
    CString m_strListBefore;
    BOOL m_bListEndsInComma = FALSE;
};

class CCommandLine
{
public:
    // The change the arguments ask for. Enabling leaves another tool's remap of a key as it is: it
    // is no key this program switched off.
    static LayoutChange ChangeOf(const CMorvexCommandLineInfo& info);

    // Each key as disabled, enabled or remapped (and to which key), the scope, and how many other
    // mappings are stored; the last line ends with '\n'.
    static CString StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers);
    // What the change did to keys that another tool had sent to other keys; empty when none was.
    static CString RemapText(const CMapStringToString& before, const LayoutChange& change);
    // Why an edit or a read failed, naming the key and the step, and the exit code that goes with it.
    static CString FailureText(const LayoutEdit& edit, BOOL bAllUsers);
    static int FailureExitCode(const LayoutEdit& edit);
    static LPCWSTR UsageText();

    // Does what the arguments ask in the scope and says so; returns the exit code.
    static int Run(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session, BOOL bAllUsers,
                   CCommandLineOutput& output);
};
