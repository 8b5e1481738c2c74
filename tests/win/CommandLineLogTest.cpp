// The command line's log: lines appended whole, and the files a SYSTEM process must not write to.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "cmdline/CommandLineLog.h"
#include "cmdline/TimeText.h"

#include <sddl.h>

namespace
{
std::string FileText(const std::wstring& strPath)
{
    std::string strText;
    if (FILE* pFile = _wfopen(strPath.c_str(), L"rb"))
    {
        for (int ch; (ch = fgetc(pFile)) != EOF;)
            strText += static_cast<char>(ch);
        fclose(pFile);
    }
    return strText;
}

std::string Ascii(const CString& str)
{
    return std::string(str.GetString(), str.GetString() + str.GetLength());
}

std::string Utf8(const CString& str)
{
    std::string strBytes(static_cast<size_t>(str.GetLength()) * 3, '\0');
    strBytes.resize(static_cast<size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, str, str.GetLength(), strBytes.data(), static_cast<int>(strBytes.size()), nullptr, nullptr)));
    return strBytes;
}

// Wine 8 makes no reparse points (its CreateSymbolicLinkW does nothing) and follows a Unix symbolic
// link even with FILE_FLAG_OPEN_REPARSE_POINT: the attribute is added here, or the call fails. Nor
// does it know opportunistic locks: the open that refuses to break one is refused here.
class CFakeInfoLog : public CCommandLineLog
{
public:
    HRESULT CreateOplockGuard(CAtlFile& guard, LPCWSTR pszPath, DWORD dwAccess, DWORD dwFlags) override
    {
        return FAILED(m_hrGuard) ? m_hrGuard : CCommandLineLog::CreateOplockGuard(guard, pszPath, dwAccess, dwFlags);
    }

    BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* pInfo) override
    {
        ::SetLastError(m_dwFailure);
        const BOOL bRead = m_dwFailure == ERROR_SUCCESS && CCommandLineLog::GetFileInformationByHandle(hFile, pInfo);
        pInfo->dwFileAttributes |= m_dwAddedAttributes;
        return bRead;
    }

    DWORD m_dwAddedAttributes = 0;
    DWORD m_dwFailure = ERROR_SUCCESS;
    HRESULT m_hrGuard = S_OK;
};

class CommandLineLogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WCHAR szTemp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, szTemp);
        m_strFolder = std::wstring(szTemp) + L"morvex-log-test\\";
        m_strLog = m_strFolder + L"log.txt";
        m_strPlanted = m_strFolder + L"planted.txt";
        TearDown();
        ASSERT_TRUE(::CreateDirectoryW(m_strFolder.c_str(), nullptr));
    }

    void TearDown() override
    {
        ::DeleteFileW(m_strLog.c_str());
        ::DeleteFileW(m_strPlanted.c_str());
        ::RemoveDirectoryW(m_strFolder.c_str());
    }

    std::wstring m_strFolder, m_strLog, m_strPlanted;
};

void StoreBytes(BOOL& bStored, CByteArray& value, const std::optional<std::vector<BYTE>>& bytes)
{
    bStored = bytes.has_value();
    value.SetSize(static_cast<INT_PTR>(bytes.value_or(std::vector<BYTE>{}).size()));
    if (bytes)
        std::copy(bytes->begin(), bytes->end(), value.GetData());
}

void Fill(CCommandLineLogRecord& record, LPCWSTR pszArguments, std::optional<std::vector<BYTE>> before = {},
          std::optional<std::vector<BYTE>> after = {}, int nExitCode = 0)
{
    record.ftTime = FILETIME{ 0x5A5A0000, 0x01DD0000 };
    record.strComputer = L"B\u00dcRO-7";
    record.strAccount = L"CONTOSO\\deploy";
    record.strArguments = pszArguments;
    record.bRead = TRUE;
    StoreBytes(record.bBefore, record.before, before);
    StoreBytes(record.bAfter, record.after, after);
    record.nExitCode = nExitCode;
}

// Every run's log is open before the first one writes: each line lands at the end as it is then.
TEST_F(CommandLineLogTest, AppendsOneUtf8LinePerRunAfterTheEarlierOnes)
{
    CCommandLineLogRecord runs[2];
    Fill(runs[0], L"/disable LWin", std::nullopt, std::vector<BYTE>{ 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0x5B, 0xE0, 0, 0, 0, 0 }, 3010);
    // An empty value is stored, not none; a line break or a tab in a text cannot split the line, nor
    // a right-to-left override show the rest of it reversed.
    Fill(runs[1], L"/enable All\r\nforged\tli\x202Ene", std::vector<BYTE>{});
    const char* const pszLines[] = {
        "\tcomputer=B\xC3\x9CRO-7\taccount=CONTOSO\\deploy\targs=/disable LWin"
        "\tbefore=none\tafter=00000000000000000200000000005BE000000000\texit=3010\r\n",
        "\tcomputer=B\xC3\x9CRO-7\taccount=CONTOSO\\deploy\targs=/enable All\xEF\xBF\xBD\xEF\xBF\xBD"
        "forged\xEF\xBF\xBDli\xEF\xBF\xBDne\tbefore=\tafter=none\texit=0\r\n",
    };
    CCommandLineLog logs[2];
    CString strReason;
    std::string strExpected;
    for (CCommandLineLog& log : logs)
        ASSERT_TRUE(log.Open(m_strLog.c_str(), strReason)) << testing::PrintToString(std::wstring(strReason));
    for (int i = 0; i < 2; ++i)
    {
        ASSERT_TRUE(logs[i].Append(runs[i], strReason)) << testing::PrintToString(std::wstring(strReason));
        strExpected += Ascii(IsoTimeText(runs[i].ftTime)) + pszLines[i];
    }
    EXPECT_EQ(strExpected, FileText(m_strLog));
}

// Each case leaves "planted.txt" as it was: the file a user may have linked the log to.
TEST_F(CommandLineLogTest, RefusesWhatCouldSendTheLinesElsewhereAndSaysWhy)
{
    const struct
    {
        const char* pszName;
        std::wstring strPath;
        bool bHardLink;           // log.txt is made another name of planted.txt
        DWORD dwAddedAttributes;  // added to what the file's information says
        DWORD dwInfoFailure;
        const wchar_t* pszReason;
        HRESULT hrGuard = S_OK;  // what opening the log without breaking another's lock met
    } cases[] = {
        { "missing folder", m_strFolder + L"missing\\log.txt", false, 0, 0, L"cannot be opened (error 3: " },
        { "a folder", m_strFolder.substr(0, m_strFolder.size() - 1), false, 0, 0, L"cannot be opened (error 5: " },
        { "a hard link", m_strLog, true, 0, 0, L"has 2 names (hard links)" },
        { "the hard link's other name", m_strPlanted, true, 0, 0, L"has 2 names (hard links)" },
        { "a reparse point", m_strPlanted, false, FILE_ATTRIBUTE_REPARSE_POINT, 0, L"a symbolic link, a junction or another reparse point" },
        { "information unreadable", m_strPlanted, false, 0, ERROR_INVALID_FUNCTION, L"cannot be checked (error 1: " },
        { "a pipe", L"\\\\.\\pipe\\morvex-log-test", false, 0, 0, L"not a file on a disk" },
        { "a device", L"NUL", false, 0, 0, L"not a file on a disk" },
        // A reader's opportunistic lock would keep the open waiting for as long as the reader likes.
        { "an opportunistic lock", m_strPlanted, false, 0, 0, L"another process holds an opportunistic lock on it",
          HRESULT_FROM_WIN32(CCommandLineLog::kErrorCannotBreakOplock) },
    };
    for (const auto& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        ::DeleteFileW(m_strLog.c_str());
        FILE* pPlanted = _wfopen(m_strPlanted.c_str(), L"wb");
        ASSERT_NE(nullptr, pPlanted);
        fputs("not a log\r\n", pPlanted);
        fclose(pPlanted);
        ASSERT_TRUE(!tested.bHardLink || ::CreateHardLinkW(m_strLog.c_str(), m_strPlanted.c_str(), nullptr));

        // A server that a user may have made of the log's name, to act as the program once it connects.
        const bool bPipe = tested.strPath.find(L"\\pipe\\") != std::wstring::npos;
        const HANDLE hServer =
            bPipe ? ::CreateNamedPipeW(tested.strPath.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr) : nullptr;
        ASSERT_NE(INVALID_HANDLE_VALUE, hServer);

        CFakeInfoLog log;
        log.m_dwAddedAttributes = tested.dwAddedAttributes;
        log.m_dwFailure = tested.dwInfoFailure;
        log.m_hrGuard = tested.hrGuard;
        CString strReason;
        EXPECT_FALSE(log.Open(tested.strPath.c_str(), strReason));
        const std::wstring strText = strReason.GetString();
        EXPECT_NE(std::wstring::npos, strText.find(L"\"" + tested.strPath + L"\"")) << testing::PrintToString(strText);
        EXPECT_NE(std::wstring::npos, strText.find(tested.pszReason)) << testing::PrintToString(strText);
        if (bPipe)
        {
            char chWritten = 0;
            DWORD cbWritten = 0;
            EXPECT_FALSE(::ReadFile(hServer, &chWritten, 1, &cbWritten, nullptr) && cbWritten > 0) << "written to the pipe";
            // Wine 8 lets a server impersonate at SecurityImpersonation whatever its client asked
            // for: only Windows shows the level the program allows.
            SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
            HANDLE hToken = nullptr;
            DWORD cbLevel = 0;
            if (::ImpersonateNamedPipeClient(hServer) && ::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &hToken))
                ::GetTokenInformation(hToken, TokenImpersonationLevel, &level, sizeof(level), &cbLevel);
            ::RevertToSelf();
            if (hToken != nullptr)
                ::CloseHandle(hToken);
            if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
            {
                EXPECT_LE(level, SecurityIdentification);
            }
            ::CloseHandle(hServer);
        }

        EXPECT_EQ("not a log\r\n", FileText(m_strPlanted));
        // No handle is left open: the file can be had for this process alone.
        const HANDLE hAlone = ::CreateFileW(m_strPlanted.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, hAlone);
        ::CloseHandle(hAlone);
    }
}

// Installers' runs may overlap: each line must land whole, after the others, never over them.
TEST_F(CommandLineLogTest, TwoWritersAtOnceLandEveryLineWhole)
{
    // Wine 8 finds the end with fstat and writes there with pwrite: without the turns the log takes,
    // two writers at once tear and overwrite lines there.
    const auto fill = [](CCommandLineLogRecord& record, int n) { Fill(record, std::to_wstring(n).append(200, L'x').c_str()); };
    const auto write = [&](int nFirst) {
        CCommandLineLog log;
        CCommandLineLogRecord record;
        CString strReason;
        EXPECT_TRUE(log.Open(m_strLog.c_str(), strReason));
        for (int n = nFirst; n < nFirst + 400; ++n)
        {
            fill(record, n);
            EXPECT_TRUE(log.Append(record, strReason));
        }
    };
    std::thread first(write, 0), second(write, 400);
    first.join();
    second.join();

    std::vector<std::string> expected, lines;
    for (int n = 0; n < 800; ++n)
    {
        CCommandLineLogRecord record;
        fill(record, n);
        expected.push_back(Utf8(CCommandLineLog::LineOf(record)));
    }
    const std::string strText = FileText(m_strLog);
    for (size_t nStart = 0, nEnd; (nEnd = strText.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2)
        lines.push_back(strText.substr(nStart, nEnd + 2 - nStart));
    std::sort(expected.begin(), expected.end());
    std::sort(lines.begin(), lines.end());
    EXPECT_TRUE(expected == lines) << lines.size() << " lines of 800, or some torn";
}

TEST(CommandLineLogAccountTest, NamesTheAccountOrGivesItsSid)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        { L"S-1-5-18", L"NT AUTHORITY\\SYSTEM" },
        { L"S-1-1-0", L"Everyone" },
        // An account of a domain this computer does not know.
        { L"S-1-5-21-1111-2222-3333-1001", L"S-1-5-21-1111-2222-3333-1001" },
    };
    for (const auto& [pszSid, pszExpected] : cases)
    {
        PSID pSid = nullptr;
        ASSERT_TRUE(::ConvertStringSidToSidW(pszSid, &pSid));
        EXPECT_EQ(pszExpected, std::wstring(CCommandLineLog::AccountName(pSid)));
        ::LocalFree(pSid);
    }
    // Under Wine the process runs as the Unix user, an account of the computer itself.
    WCHAR szUser[256];
    DWORD cchUser = ARRAYSIZE(szUser);
    ASSERT_TRUE(::GetUserNameW(szUser, &cchUser));
    EXPECT_EQ(std::wstring(CCommandLineLog::ComputerName()) + L"\\" + szUser, std::wstring(CCommandLineLog::ProcessAccountName()));
}
}  // namespace
