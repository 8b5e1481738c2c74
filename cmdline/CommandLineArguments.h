// The command line's grammar: its switches and lists of keys, and the first fault in them.
#pragma once

#include "framework/afxwin.h"
#include "layout/KeyTable.h"

// The operations of the DSC resource, /dsc OPERATION.
enum class DscOperation
{
    none,
    get,
    set,
    test,
    exportAll,  // "export", a word C++ keeps for itself
    schema,
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
    // Reads a comma-separated list of key names, All (the dialog's four) or Disabled, in any case.
    // Disabled, every key of the table that is switched off, depends on what is stored: it sets
    // *pbDisabled and no key; where pbDisabled is null it is an unknown name.
    static KeysParsed ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad, BOOL* pbDisabled = nullptr);

    // The first thing wrong with the arguments, empty when there is none.
    CString m_strError;
    KeySet m_disable = 0;
    KeySet m_enable = 0;
    // /enable Disabled: every key of the table that the stored value sends to nothing.
    BOOL m_bEnableDisabled = FALSE;
    BOOL m_bStatus = FALSE;
    BOOL m_bRestart = FALSE;
    BOOL m_bQuiet = FALSE;
    BOOL m_bUsage = FALSE;
    // One JSON object on the standard output instead of the lines, for scripts.
    BOOL m_bJson = FALSE;
    // /dsc was given: the run is the DSC resource's, whose errors are JSON too. The operation is
    // none when it was missing or unknown, which m_strError then says.
    BOOL m_bDsc = FALSE;
    DscOperation m_dsc = DscOperation::none;
    // The file a line about the run is appended to; empty for none.
    CString m_strLog;
    // Every argument, as the log shows them.
    CString m_strArguments;

private:
    void Fail(const CString& strError);
    void AddToArguments(const WCHAR* pszParam, BOOL bFlag);
    void ParseKeyList(UINT nSwitch, const WCHAR* pszList, BOOL bLast);
    void ParseDscOperation(const WCHAR* pszName);
    void ParseSwitch(const WCHAR* pszName);
    void CheckCombination();

    int m_nArguments = 0;
    UINT m_nSwitchesSeen = 0;
    // The switch whose argument the next one is (a list of keys, a file or an operation), or 0.
    UINT m_nAwaitingArgument = 0;
    // The switch and list of the argument before, when it was a list: a stray argument after it is
    // most likely the rest of a list that held a space and was not quoted.
    UINT m_nListBefore = 0;
    CString m_strListBefore;
    BOOL m_bListEndsInComma = FALSE;
};
