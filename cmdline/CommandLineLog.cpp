#include "cmdline/CommandLineLog.h"

#include <winioctl.h>

#include "cmdline/TimeText.h"
#include "framework/afxmt.h"
#include "framework/atlsecurity.h"
#include "system/ShownText.h"
#include "system/SystemErrorText.h"

namespace
{
// "error 3: The system cannot find the path specified." A Win32 error inside an HRESULT is told by
// its own code.
CString ErrorText(HRESULT hr)
{
    const DWORD dwError = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    CString strText;
    strText.Format(L"error %u: %s", dwError, SystemErrorText(dwError).GetString());
    return strText;
}

// The texts are made character by character in a buffer of their own: CString grows only by
// whole strings.
LPWSTR CharacterBuffer(CByteArray& buffer, INT_PTR nLength)
{
    buffer.SetSize((nLength + 1) * static_cast<INT_PTR>(sizeof(WCHAR)));
    return reinterpret_cast<LPWSTR>(buffer.GetData());
}

void AppendText(CString& strLine, const CString& strText)
{
    strLine += ShownText(strText);
}

// Waits up to CCommandLineLog::kTurnTimeoutMs for the log's turn: ERROR_SUCCESS once it is taken,
// ERROR_LOCK_VIOLATION when it was held all that time, or why it cannot be taken at all. A run keeps
// it only while it writes its line, but anyone who may open the log may hold the byte for ever, and
// a run as SYSTEM must not hang on that after it has changed the layout.
DWORD TakeTurn(HANDLE hFile, OVERLAPPED& turn)
{
    const ULONGLONG ullGiveUp = ::GetTickCount64() + CCommandLineLog::kTurnTimeoutMs;
    for (;;)
    {
        if (::LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn))
            return ERROR_SUCCESS;
        const DWORD dwError = ::GetLastError();
        if (dwError != ERROR_LOCK_VIOLATION || ::GetTickCount64() >= ullGiveUp)
            return dwError;
        ::Sleep(10);
    }
}

// The path as the file system names the folders it went through, without the volume: "\\logs\\run.log".
CString PathWithoutVolume(LPCWSTR pszPath)
{
    // The full name, with every folder's long name: the file exists by now.
    WCHAR szFull[MAX_PATH * 4], szLong[MAX_PATH * 4];
    const DWORD cchFull = ::GetFullPathNameW(pszPath, ARRAYSIZE(szFull), szFull, nullptr);
    if (cchFull == 0 || cchFull >= ARRAYSIZE(szFull))
        return CString();
    const DWORD cchLong = ::GetLongPathNameW(szFull, szLong, ARRAYSIZE(szLong));
    LPCWSTR psz = cchLong != 0 && cchLong < ARRAYSIZE(szLong) ? szLong : szFull;
    // The root: "C:", "\\?\C:", "\\server\share" or "\\?\UNC\server\share".
    if (wcsncmp(psz, L"\\\\?\\", 4) == 0)
        psz += 4;
    if (wcsncmp(psz, L"UNC\\", 4) == 0 || wcsncmp(psz, L"\\\\", 2) == 0)
    {
        psz += psz[0] == L'U' ? 4 : 2;
        for (int nSeparators = 0; *psz != L'\0' && (*psz != L'\\' || ++nSeparators < 2);)
            ++psz;
    }
    else if (psz[0] != L'\0' && psz[1] == L':')
        psz += 2;
    return psz;
}

// Where the handle's file really is, without the volume; empty when it cannot be read.
CString FinalPathWithoutVolume(HANDLE hFile)
{
    WCHAR szFinal[MAX_PATH * 4];
    const DWORD cch = ::GetFinalPathNameByHandleW(hFile, szFinal, ARRAYSIZE(szFinal), FILE_NAME_NORMALIZED | VOLUME_NAME_NONE);
    return cch != 0 && cch < ARRAYSIZE(szFinal) ? CString(szFinal) : CString();
}

// Asks for an opportunistic lock that caches reads only, as FILE_FLAG_OPEN_REQUIRING_OPLOCK wants
// before anything else is done with the handle: one that others' opens break without waiting, and
// that, while the guard is open, leaves no one the lock that would make the log's own open wait.
void RequestReadOplock(HANDLE hGuard, OVERLAPPED& request, REQUEST_OPLOCK_OUTPUT_BUFFER& output)
{
    REQUEST_OPLOCK_INPUT_BUFFER input = { REQUEST_OPLOCK_CURRENT_VERSION, sizeof(input), OPLOCK_LEVEL_CACHE_READ,
                                          REQUEST_OPLOCK_INPUT_FLAG_REQUEST };
    if (::DeviceIoControl(hGuard, FSCTL_REQUEST_OPLOCK, &input, sizeof(input), &output, sizeof(output), nullptr, &request) ||
        ::GetLastError() != ERROR_IO_PENDING)
        request.hEvent = nullptr;  // granted or not, nothing is pending
}

// Lets the guard go: the lock's request is cancelled and waited for, since it writes to request.
void ReleaseGuard(CAtlFile& guard, OVERLAPPED& request)
{
    if (request.hEvent != nullptr)
    {
        DWORD cb = 0;
        ::CancelIoEx(guard, &request);
        ::GetOverlappedResult(guard, &request, &cb, TRUE);
    }
    guard.Close();
}

void AppendValue(CString& strLine, BOOL bRead, BOOL bStored, const CByteArray& value)
{
    if (!bRead || !bStored)
    {
        strLine += bRead ? L"none" : L"unknown";
        return;
    }
    static const WCHAR s_szDigits[] = L"0123456789ABCDEF";
    CByteArray buffer;
    LPWSTR pszHex = CharacterBuffer(buffer, value.GetSize() * 2);
    for (INT_PTR i = 0; i < value.GetSize(); ++i)
    {
        pszHex[2 * i] = s_szDigits[value.GetData()[i] >> 4];
        pszHex[2 * i + 1] = s_szDigits[value.GetData()[i] & 0x0F];
    }
    strLine += pszHex;
}
}  // namespace

BOOL CCommandLineLog::GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* pInfo)
{
    return ::GetFileInformationByHandle(hFile, pInfo);
}

HRESULT CCommandLineLog::CreateOplockGuard(CAtlFile& guard, LPCWSTR pszPath, DWORD dwAccess, DWORD dwFlags)
{
    return guard.Create(pszPath, dwAccess, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_ALWAYS,
                        dwFlags | kFlagOpenRequiringOplock | FILE_FLAG_OVERLAPPED);
}

BOOL CCommandLineLog::Open(LPCWSTR pszPath, CString& strReason)
{
    m_strPath = pszPath;
    strReason.Empty();

    // An empty removable drive must answer "not ready", not raise the system's "no disk" box.
    DWORD dwOldMode = 0;
    ::SetThreadErrorMode(::GetThreadErrorMode() | SEM_FAILCRITICALERRORS, &dwOldMode);
    // Without FILE_WRITE_DATA every write is appended at the end of the file in one piece, whatever
    // other writers do; FILE_READ_ATTRIBUTES is for the checks below, FILE_READ_DATA for the turns
    // that Append takes, which a log the account may only append to goes without. A link as the
    // last name is opened itself, not followed, so that the checks see it. A pipe's server learns
    // who connected, but cannot act as this process (SYSTEM's, under an agent) before the pipe is
    // refused below.
    const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;
    DWORD dwAccess = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES;
    // Anyone who may read the log may hold an opportunistic lock on it, and an open that breaks it
    // waits until its holder lets go: for as long as the holder likes, and a SYSTEM run must never
    // hang on a user. The guard's open is refused instead; held open, it keeps such a lock away
    // until the log's own handle is open. Windows before 7 knows no such open: it goes without.
    CAtlFile guard;
    HRESULT hr = CreateOplockGuard(guard, pszPath, dwAccess, dwFlags);
    if (hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED))
    {
        dwAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
        hr = CreateOplockGuard(guard, pszPath, dwAccess, dwFlags);
    }
    const HRESULT hrGuard = hr;
    CEvent requestDone(FALSE, TRUE);
    OVERLAPPED request = {};
    request.hEvent = guard.m_h != nullptr ? requestDone.m_hObject : nullptr;
    REQUEST_OPLOCK_OUTPUT_BUFFER output = { REQUEST_OPLOCK_CURRENT_VERSION, sizeof(output) };
    if (request.hEvent != nullptr)
        RequestReadOplock(guard, request, output);
    // A pipe's one instance, or a device, is the guard's now, and is refused below as it is.
    const BOOL bOnDisk = guard.m_h == nullptr || ::GetFileType(guard) == FILE_TYPE_DISK;
    if ((SUCCEEDED(hrGuard) && bOnDisk) || hrGuard == HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER))
        hr = m_file.Create(pszPath, dwAccess, dwShare, OPEN_ALWAYS, dwFlags);
    ReleaseGuard(guard, request);
    ::SetThreadErrorMode(dwOldMode, nullptr);
    if (hrGuard == HRESULT_FROM_WIN32(kErrorCannotBreakOplock))
    {
        strReason.Format(L"The log \"%s\" is not used: another process holds an opportunistic lock on it, which would keep "
                         L"this run waiting for as long as that process likes.",
                         pszPath);
        return FALSE;
    }
    if (FAILED(hr))
    {
        strReason.Format(L"The log \"%s\" cannot be opened (%s).", pszPath, ErrorText(hr).GetString());
        return FALSE;
    }

    // The checks are made on the handle opened, so that no name can be swapped in between.
    BY_HANDLE_FILE_INFORMATION info;
    if (!bOnDisk || ::GetFileType(m_file) != FILE_TYPE_DISK)
        strReason.Format(L"The log \"%s\" is not used: it is not a file on a disk, but a pipe or a device.", pszPath);
    else if (!GetFileInformationByHandle(m_file, &info))
        strReason.Format(L"The log \"%s\" cannot be checked (%s).", pszPath,
                         ErrorText(HRESULT_FROM_WIN32(::GetLastError())).GetString());
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        strReason.Format(L"The log \"%s\" is not used: it is a symbolic link, a junction or another reparse point, "
                         L"so the lines could land in another file.",
                         pszPath);
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        strReason.Format(L"The log \"%s\" is not used: it is a folder.", pszPath);
    else if (info.nNumberOfLinks > 1)
        strReason.Format(L"The log \"%s\" is not used: the file has %u names (hard links), so it may be another file, one "
                         L"the lines must not reach, given this name as well.",
                         pszPath, static_cast<unsigned>(info.nNumberOfLinks));
    else if (!FolderLeadsWhereNamed(pszPath))
        strReason.Format(L"The log \"%s\" is not used: its folders lead to \"%s\", not where its name says (a junction or "
                         L"a link on the way), so the lines could land in another file.",
                         pszPath, FinalPathWithoutVolume(m_file).GetString());
    else
        return TRUE;
    m_file.Close();
    return FALSE;
}

BOOL CCommandLineLog::FolderLeadsWhereNamed(LPCWSTR pszPath) const
{
    // Both without the volume, which a drive letter, a mapped share or a mount point names in ways
    // that differ for the same folder.
    const CString strFinal = FinalPathWithoutVolume(m_file);
    const CString strNamed = PathWithoutVolume(pszPath);
    return !strFinal.IsEmpty() && ::CompareStringOrdinal(strFinal, -1, strNamed, -1, TRUE) == CSTR_EQUAL;
}

BOOL CCommandLineLog::Append(const CCommandLineLogRecord& record, CString& strReason)
{
    strReason.Empty();
    const CString strLine = LineOf(record);
    CByteArray utf8;
    const int cbLine = ::WideCharToMultiByte(CP_UTF8, 0, strLine, strLine.GetLength(), nullptr, 0, nullptr, nullptr);
    utf8.SetSize(cbLine);
    ::WideCharToMultiByte(CP_UTF8, 0, strLine, strLine.GetLength(), reinterpret_cast<LPSTR>(utf8.GetData()), cbLine, nullptr,
                          nullptr);

    // Runs that log at once take turns. An append-only write lands whole on Windows' own disks, but
    // not on every file system and share, nor under Wine. The turn is a byte far beyond any end of
    // the file, so that whoever reads the log is never kept waiting. Where no turns can be taken
    // (a file system without byte-range locks, a log this account may only append to), the line is
    // written without one, as on Windows' own disks it may be.
    OVERLAPPED turn = {};
    turn.Offset = 0xFFFFFFFE;
    turn.OffsetHigh = 0x7FFFFFFF;
    const DWORD dwTurn = TakeTurn(m_file, turn);
    DWORD cbWritten = 0;
    HRESULT hr = m_file.Write(utf8.GetData(), static_cast<DWORD>(cbLine), &cbWritten);
    if (dwTurn == ERROR_SUCCESS)
        ::UnlockFileEx(m_file, 0, 1, 0, &turn);
    if (SUCCEEDED(hr) && cbWritten == static_cast<DWORD>(cbLine))
    {
        if (dwTurn == ERROR_LOCK_VIOLATION)
            strReason.Format(L"The line was appended to the log \"%s\" without its turn: another process kept the turn for more "
                             L"than %lu seconds.",
                             m_strPath.GetString(), kTurnTimeoutMs / 1000);
        return TRUE;
    }
    if (SUCCEEDED(hr))
        hr = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    strReason.Format(L"The log \"%s\" cannot be written (%s).", m_strPath.GetString(), ErrorText(hr).GetString());
    return FALSE;
}

CString CCommandLineLog::LineOf(const CCommandLineLogRecord& record)
{
    CString strLine = IsoTimeText(record.ftTime);
    strLine += L"\tcomputer=";
    AppendText(strLine, record.strComputer);
    strLine += L"\taccount=";
    AppendText(strLine, record.strAccount);
    strLine += L"\targs=";
    AppendText(strLine, record.strArguments);
    strLine += L"\tbefore=";
    AppendValue(strLine, record.bRead, record.bBefore, record.before);
    strLine += L"\tafter=";
    AppendValue(strLine, record.bRead, record.bAfter, record.after);
    CString strExit;
    strExit.Format(L"\texit=%d\r\n", record.nExitCode);
    strLine += strExit;
    return strLine;
}

CString CCommandLineLog::ComputerName()
{
    WCHAR szName[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD cchName = ARRAYSIZE(szName);
    return ::GetComputerNameW(szName, &cchName) ? CString(szName) : CString();
}

CString CCommandLineLog::AccountName(PSID pSid)
{
    return CSid(pSid).AccountName();
}

CString CCommandLineLog::ProcessAccountName()
{
    CSid user;
    return CAccessToken::GetProcessUser(&user) ? user.AccountName() : CString();
}
