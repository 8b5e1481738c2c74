// The command line's log: one line per run appended to a file, as installers keep one.
#pragma once

#include "framework/afxcoll.h"
#include "framework/atlfile.h"

// What one run did, as its line in the log tells it.
struct CCommandLineLogRecord
{
    FILETIME ftTime = {};   // UTC; the line shows it as local time with its offset
    CString strComputer;
    CString strAccount;
    CString strArguments;   // all of them, as one string
    BOOL bRead = FALSE;     // the run read the stored value: otherwise before and after are unknown
    BOOL bBefore = FALSE;   // a value was stored before the run, and before holds it
    CByteArray before;
    BOOL bAfter = FALSE;    // a value is stored after the run, and after holds it
    CByteArray after;
    int nExitCode = 0;
};

// Deployment agents run the command line as SYSTEM, and their logs often lie in folders every user
// may write to: the log is refused when its name could send the lines into another file.
class CCommandLineLog
{
public:
    virtual ~CCommandLineLog() = default;
    // What the checks read of the opened file. Tests put a reparse point in here: Wine makes none.
    virtual BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* pInfo);
    // Opens the log with FILE_FLAG_OPEN_REQUIRING_OPLOCK, which the file system refuses with
    // ERROR_CANNOT_BREAK_OPLOCK rather than wait on another process's opportunistic lock, and
    // overlapped, for the lock it then asks for. Tests refuse it here: Wine 8 has no such locks.
    virtual HRESULT CreateOplockGuard(CAtlFile& guard, LPCWSTR pszPath, DWORD dwAccess, DWORD dwFlags);

    // ERROR_CANNOT_BREAK_OPLOCK and FILE_FLAG_OPEN_REQUIRING_OPLOCK, which Windows 7 knows; the
    // headers name them only for Windows 8 and later, which the program does not require.
    static constexpr DWORD kErrorCannotBreakOplock = 802;
    static constexpr DWORD kFlagOpenRequiringOplock = 0x00040000;

    // How long Append waits for the turn that runs logging at once take.
    static constexpr DWORD kTurnTimeoutMs = 2000;

    // Opens the log for appending, making it when it is missing, before the run changes anything.
    // FALSE, with a sentence saying why in strReason, when it cannot be opened, or is a pipe or a
    // device, a folder, a link or another reparse point, or one of several hard links of a file;
    // when its folders lead somewhere else than its name says (a junction or a link on the way); or
    // when another process holds an opportunistic lock on it, which would keep the run waiting.
    BOOL Open(LPCWSTR pszPath, CString& strReason);
    // Appends the record's line with one write, which lands whole after whatever other runs logging
    // at the same time appended. FALSE, with the reason, when it was not written whole; TRUE with a
    // sentence in strReason when it was written without its turn, which another process kept.
    BOOL Append(const CCommandLineLogRecord& record, CString& strReason);

    // The time (ISO 8601), then tab-separated fields with labels, CRLF at the end:
    // 2026-12-07T19:30:05+01:00<TAB>computer=PC01<TAB>account=NT AUTHORITY\SYSTEM<TAB>args=/disable LWin
    // <TAB>before=none<TAB>after=00000000000000000200000000005BE000000000<TAB>exit=3010
    // Values are upper-case hex without spaces, "none" when nothing is stored, "unknown" when the
    // run did not read it. A control character in
    // a text (a tab or a line break in an argument) shows as U+FFFD, so that every run is one line,
    // and so does a bidirectional override, which could show the rest of the line reversed.
    static CString LineOf(const CCommandLineLogRecord& record);

    // This computer's NetBIOS name.
    static CString ComputerName();
    // DOMAIN\name of the account, or the SID as text when it has no name here.
    static CString AccountName(PSID pSid);
    // The account the process runs as, the user of its token.
    static CString ProcessAccountName();

private:
    BOOL FolderLeadsWhereNamed(LPCWSTR pszPath) const;

    CAtlFile m_file;
    CString m_strPath;
};
