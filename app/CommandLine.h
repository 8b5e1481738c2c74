// The command line: what its arguments ask for, and carrying that out on the scope's stored layout.
#pragma once

#include "framework/afxreg.h"
#include "framework/afxwin.h"
#include "layout/LayoutStore.h"
#include "ui/CommandLineLog.h"
#include "ui/CommandLineOutput.h"
#include "ui/CommandLineReport.h"
#include "ui/SessionControl.h"

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
    // One JSON object on the standard output instead of the lines, for scripts.
    BOOL m_bJson = FALSE;
    // The file a line about the run is appended to; empty for none.
    CString m_strLog;
    // Every argument, as the log shows them.
    CString m_strArguments;

private:
    void Fail(const CString& strError);
    void AddToArguments(const WCHAR* pszParam, BOOL bFlag);
    void ParseKeyList(UINT nSwitch, const WCHAR* pszList, BOOL bLast);
    void ParseSwitch(const WCHAR* pszName);
    void CheckCombination();

    int m_nArguments = 0;
    UINT m_nSwitchesSeen = 0;
    // The switch whose argument the next one is (a list of keys or a file), or 0.
    UINT m_nAwaitingArgument = 0;
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
    // The exit code of an edit or a read that failed.
    static int FailureExitCode(const LayoutEdit& edit);
    static LPCWSTR UsageText();

    // Does what the arguments ask in the scope and says so; returns the exit code.
    static int Run(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session, BOOL bAllUsers,
                   CCommandLineOutput& output);

private:
    // The run itself, told in the report; the log, the JSON object and the request are Run's. TRUE
    // when a change was stored and the restart or log-off is to be asked for, once the run is
    // recorded.
    static BOOL CarryOut(const CMorvexCommandLineInfo& info, CRegistryApi& registry, const CSessionControl& session,
                         CCommandLineOutput& output, CCommandLineReport& report, CCommandLineLogRecord& record);
};
