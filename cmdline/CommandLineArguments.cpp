#include "cmdline/CommandLineArguments.h"

#include <string.h>
#include <wchar.h>

#include "system/ShownText.h"

namespace
{
enum Switch
{
    swDisable = 1,
    swEnable = 2,
    swStatus = 4,
    swRestart = 8,
    swQuiet = 16,
    swUsage = 32,
    swJson = 64,
    swLog = 128,
    swDsc = 256,
};
struct SwitchName
{
    LPCWSTR pszName;
    UINT nSwitch;
};
const SwitchName s_switches[] = {
    { L"disable", swDisable }, { L"enable", swEnable }, { L"status", swStatus },
    { L"restart", swRestart }, { L"quiet", swQuiet },   { L"?", swUsage },
    { L"json", swJson },       { L"log", swLog },       { L"dsc", swDsc },
};
struct DscOperationName
{
    LPCWSTR pszName;
    DscOperation operation;
};
const DscOperationName s_dscOperations[] = {
    { L"get", DscOperation::get },          { L"set", DscOperation::set },       { L"test", DscOperation::test },
    { L"export", DscOperation::exportAll }, { L"schema", DscOperation::schema },
};

LPCWSTR SwitchText(UINT nSwitch)
{
    return nSwitch == swDisable ? L"/disable" : nSwitch == swEnable ? L"/enable" : L"/log";
}

// What a switch that takes an argument says when it has none.
CString MissingArgumentText(UINT nSwitch)
{
    if (nSwitch == swLog)
        return L"/log needs the name of the file to append its line to.";
    if (nSwitch == swDsc)
        return L"/dsc needs an operation: get, set, test, export or schema.";
    return CString(SwitchText(nSwitch)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.";
}

BOOL IsWord(const WCHAR* pszItem, size_t nLength, LPCWSTR pszWord)
{
    return wcslen(pszWord) == nLength && _wcsnicmp(pszItem, pszWord, nLength) == 0;
}

CString KeyList(KeySet keys)
{
    CString strList;
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        if ((keys & CKeyTable::Bit(nRow)) == 0)
            continue;
        if (!strList.IsEmpty())
            strList += L", ";
        strList += CKeyTable::At(nRow).pszName;
    }
    return strList;
}
}  // namespace

void CMorvexCommandLineInfo::ParseParam(const WCHAR* pszParam, BOOL bFlag, BOOL bLast)
{
    ++m_nArguments;
    AddToArguments(pszParam, bFlag);
    const UINT nArgumentFor = m_nAwaitingArgument;
    const UINT nListBefore = m_nListBefore;
    const BOOL bListBeforeEndedInComma = m_bListEndsInComma;
    m_nAwaitingArgument = 0;
    m_nListBefore = 0;
    m_bListEndsInComma = FALSE;
    if (bListBeforeEndedInComma && bFlag)
        Fail(L"An empty name in the list " + QuotedText(m_strListBefore) + L": separate the keys with one comma each.");
    if (nArgumentFor == swLog && !bFlag && *pszParam != L'\0')
        m_strLog = pszParam;
    else if (nArgumentFor == swDsc && !bFlag)
        ParseDscOperation(pszParam);
    else if ((nArgumentFor == swDisable || nArgumentFor == swEnable) && !bFlag)
        ParseKeyList(nArgumentFor, pszParam, bLast);
    else
    {
        if (nArgumentFor != 0)
            Fail(MissingArgumentText(nArgumentFor));
        if (bFlag)
            ParseSwitch(pszParam);
        else if (nListBefore != 0)
        {
            // "/disable LWin, RWin": the shell made two arguments of a list with a space in it.
            CString strError;
            strError.Format(L"Unexpected argument %s after the list of %s: separate the keys with commas, and quote a list "
                            L"that holds spaces, as in %s \"%s %s\".",
                            QuotedText(pszParam).GetString(), SwitchText(nListBefore), SwitchText(nListBefore),
                            ShortText(m_strListBefore).GetString(), ShortText(pszParam).GetString());
            Fail(strError);
        }
        else if (nArgumentFor == 0)
            Fail(L"Unexpected argument " + QuotedText(pszParam) + L".");
    }

    if (bLast)
    {
        if (m_nAwaitingArgument != 0)
            Fail(MissingArgumentText(m_nAwaitingArgument));
        CheckCombination();
    }
}

void CMorvexCommandLineInfo::AddToArguments(const WCHAR* pszParam, BOOL bFlag)
{
    // As the log shows them: a switch with its slash, an argument with spaces in quotes.
    if (!m_strArguments.IsEmpty())
        m_strArguments += L" ";
    const BOOL bQuote = !bFlag && (*pszParam == L'\0' || wcschr(pszParam, L' ') != nullptr);
    m_strArguments += bFlag ? L"/" : bQuote ? L"\"" : L"";
    m_strArguments += pszParam;
    if (bQuote)
        m_strArguments += L"\"";
}

void CMorvexCommandLineInfo::ParseKeyList(UINT nSwitch, const WCHAR* pszList, BOOL bLast)
{
    m_nListBefore = nSwitch;
    m_strListBefore = pszList;
    KeySet keys = 0;
    CString strBad;
    BOOL bDisabled = FALSE;
    const KeysParsed parsed = ParseKeys(pszList, keys, strBad, &bDisabled);
    // "LWin," may go on in the next argument: what is wrong shows only there.
    const size_t nLength = wcslen(pszList);
    if (parsed == keysEmptyName && !bLast && nLength > 0 && pszList[nLength - 1] == L',')
    {
        m_bListEndsInComma = TRUE;
        return;
    }
    switch (parsed)
    {
    case keysGood:
        (nSwitch == swDisable ? m_disable : m_enable) |= keys;
        if (bDisabled && nSwitch == swDisable)
            Fail(L"/disable Disabled switches off nothing: Disabled names the keys switched off already, for /enable.");
        else
            m_bEnableDisabled |= bDisabled;
        break;
    case keysEmptyList:
        Fail(CString(SwitchText(nSwitch)) + L" needs a list of keys: LWin, RWin, CapsLock, LCtrl or All.");
        break;
    case keysEmptyName:
        Fail(L"An empty name in the list " + QuotedText(pszList) + L": separate the keys with one comma each.");
        break;
    case keysUnknown:
        Fail(L"Unknown key " + QuotedText(strBad) +
             L": the keys are LWin, RWin, CapsLock, LCtrl and All, and the others that /? and README.txt list.");
        break;
    }
}

void CMorvexCommandLineInfo::ParseSwitch(const WCHAR* pszName)
{
    for (const SwitchName& name : s_switches)
    {
        if (_wcsicmp(pszName, name.pszName) != 0)
            continue;
        if ((m_nSwitchesSeen & name.nSwitch) != 0)
            Fail(CString(L"The switch /") + name.pszName + L" is given twice.");
        m_nSwitchesSeen |= name.nSwitch;
        switch (name.nSwitch)
        {
        case swDsc:
            m_bDsc = TRUE;
            m_nAwaitingArgument = name.nSwitch;
            break;
        case swDisable:
        case swEnable:
        case swLog:
            m_nAwaitingArgument = name.nSwitch;
            break;
        case swJson:
            m_bJson = TRUE;
            break;
        case swStatus:
            m_bStatus = TRUE;
            break;
        case swRestart:
            m_bRestart = TRUE;
            break;
        case swQuiet:
            m_bQuiet = TRUE;
            break;
        default:
            m_bUsage = TRUE;
            break;
        }
        return;
    }
    CString strSwitch(L"/");
    strSwitch += pszName;
    Fail(L"Unknown switch " + QuotedText(strSwitch) + L".");
}

void CMorvexCommandLineInfo::ParseDscOperation(const WCHAR* pszName)
{
    for (const DscOperationName& name : s_dscOperations)
    {
        if (_wcsicmp(pszName, name.pszName) == 0)
        {
            m_dsc = name.operation;
            return;
        }
    }
    Fail(*pszName == L'\0' ? MissingArgumentText(swDsc)
                           : L"Unknown operation " + QuotedText(pszName) + L" of /dsc: the operations are get, set, test, export and schema.");
}

void CMorvexCommandLineInfo::CheckCombination()
{
    // DSC runs the resource with the arguments of its manifest and nothing else: whatever joins
    // them is a mistake, and the instance comes on the standard input.
    if (m_bDsc && m_nSwitchesSeen != swDsc)
        Fail(L"/dsc goes alone: DSC gives the instance on the standard input, not as switches.");
    if ((m_disable & m_enable) != 0)
        Fail(L"Named in both /disable and /enable: " + KeyList(m_disable & m_enable) + L".");
    const BOOL bChange = (m_nSwitchesSeen & (swDisable | swEnable)) != 0;
    // A stray /? in a script's command must not pass for the change having been made.
    if (m_bUsage && m_nArguments > 1)
        Fail(L"/? goes alone: it shows this text and does nothing else.");
    if (m_bStatus && (bChange || m_bRestart))
        Fail(L"/status changes nothing, so it goes without /disable, /enable and /restart.");
    if (m_bRestart && !bChange)
        Fail(L"/restart goes with /disable or /enable.");
    if (!bChange && !m_bStatus && !m_bUsage && !m_bDsc)
        Fail(L"Nothing to do: give /disable, /enable, /status or /?.");
}

void CMorvexCommandLineInfo::Fail(const CString& strError)
{
    // The first fault is the one to fix; the ones after it may only follow from it.
    if (m_strError.IsEmpty())
        m_strError = strError;
}

CMorvexCommandLineInfo::KeysParsed CMorvexCommandLineInfo::ParseKeys(LPCWSTR pszList, KeySet& keys, CString& strBad, BOOL* pbDisabled)
{
    keys = 0;
    strBad.Empty();
    if (pbDisabled != nullptr)
        *pbDisabled = FALSE;
    const WCHAR* pszItem = pszList;
    for (;;)
    {
        const WCHAR* pszEnd = wcschr(pszItem, L',');
        if (pszEnd == nullptr)
            pszEnd = pszItem + wcslen(pszItem);
        // Spaces around a name are a quoted list's, not the name's.
        const WCHAR* pszFirst = pszItem;
        const WCHAR* pszLast = pszEnd;
        while (pszFirst < pszLast && (*pszFirst == L' ' || *pszFirst == L'\t'))
            ++pszFirst;
        while (pszLast > pszFirst && (pszLast[-1] == L' ' || pszLast[-1] == L'\t'))
            --pszLast;
        const size_t nLength = static_cast<size_t>(pszLast - pszFirst);
        if (nLength == 0)
            return pszItem == pszList && *pszEnd == L'\0' ? keysEmptyList : keysEmptyName;

        const size_t nRow = CKeyTable::Find(pszFirst, nLength);
        if (IsWord(pszFirst, nLength, L"All"))
            keys |= CKeyTable::kDialogKeys;
        else if (nRow < CKeyTable::kCount)
            keys |= CKeyTable::Bit(nRow);
        else if (pbDisabled != nullptr && IsWord(pszFirst, nLength, L"Disabled"))
            *pbDisabled = TRUE;
        else
        {
            strBad.Format(L"%.*s", static_cast<int>(nLength), pszFirst);
            return keysUnknown;
        }

        if (*pszEnd == L'\0')
            return keysGood;
        pszItem = pszEnd + 1;
    }
}
