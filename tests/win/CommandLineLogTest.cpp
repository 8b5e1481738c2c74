// The command line's log: lines appended whole, and the files a SYSTEM process must not write to.
#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ui/CommandLineLog.h"
#include "ui/TimeText.h"

#include <sddl.h>

namespace
{
std::string FileText(const std::wstring& strPath)
{
    std::string strText;
    if (FILE* pFile = _wfopen(strPath.c_str(), L"rb"))
    {
        char buffer[4096];
        for (size_t cb; (cb = fread(buffer, 1, sizeof(buffer), pFile)) > 0;)
            strText.append(buffer, cb);
        fclose(pFile);
    }
    return strText;
}

void WriteFileText(const std::wstring& strPath, const std::string& strText)
{
    FILE* pFile = _wfopen(strPath.c_str(), L"wb");
    ASSERT_NE(nullptr, pFile);
    fwrite(strText.data(), 1, strText.size(), pFile);
    fclose(pFile);
}

void SetBytes(CByteArray& value, const std::vector<BYTE>& bytes)
{
    value.SetSize(static_cast<INT_PTR>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), value.GetData());
}

std::string Ascii(const CString& str)
{
    std::string strAscii;
    for (int i = 0; i < str.GetLength(); ++i)
        strAscii += static_cast<char>(str.GetString()[i]);
    return strAscii;
}

// Wine 8 makes no reparse points (its CreateSymbolicLinkW does nothing) and follows a Unix symbolic
// link even with FILE_FLAG_OPEN_REPARSE_POINT: the attribute is added here, or the check fails.
class CFakeInfoLog : public CCommandLineLog
{
public:
    BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* pInfo) override
    {
        if (m_dwFailure != ERROR_SUCCESS)
        {
            ::SetLastError(m_dwFailure);
            return FALSE;
        }
        const BOOL bRead = CCommandLineLog::GetFileInformationByHandle(hFile, pInfo);
        pInfo->dwFileAttributes |= m_dwAddedAttributes;
        return bRead;
    }

    DWORD m_dwAddedAttributes = 0;
    DWORD m_dwFailure = ERROR_SUCCESS;
};

class CommandLineLogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WCHAR szTemp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, szTemp);
        m_strFolder = std::wstring(szTemp) + L"morvex-log-test\\";
        TearDown();
        ASSERT_TRUE(::CreateDirectoryW(m_strFolder.c_str(), nullptr));
    }

    void TearDown() override
    {
        for (const wchar_t* pszName : { L"log.txt", L"planted.txt" })
            ::DeleteFileW((m_strFolder + pszName).c_str());
        ::RemoveDirectoryW(m_strFolder.c_str());
    }

    std::wstring m_strFolder;
};

TEST_F(CommandLineLogTest, AppendsOneUtf8LinePerRunAfterTheEarlierOnes)
{
    const FILETIME ftTime = { 0x5A5A0000, 0x01DD0000 };
    const struct
    {
        const wchar_t* pszComputer;
        const wchar_t* pszArguments;
        std::optional<std::vector<BYTE>> before, after;
        int nExitCode;
        const char* pszLine;  // after the time
    } runs[] = {
        { L"PC01", L"/disable LWin /log C:\\Windows\\Temp\\morvex.log", std::nullopt,
          std::vector<BYTE>{ 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0x5B, 0xE0, 0, 0, 0, 0 }, 3010,
          "\tcomputer=PC01\taccount=CONTOSO\\deploy\targs=/disable LWin /log C:\\Windows\\Temp\\morvex.log"
          "\tbefore=none\tafter=00000000000000000200000000005BE000000000\texit=3010\r\n" },
        // An empty value is stored, not none; a line break or tab in a text cannot split the line.
        { L"B\u00dcRO-7", L"/enable All\r\nforged\tline", std::vector<BYTE>{}, std::nullopt, 0,
          "\tcomputer=B\xC3\x9CRO-7\taccount=CONTOSO\\deploy\targs=/enable All\xEF\xBF\xBD\xEF\xBF\xBD"
          "forged\xEF\xBF\xBDline\tbefore=\tafter=none\texit=0\r\n" },
    };
    // Every run's log is open before the first writes: each line lands at the end as it is then.
    const std::wstring strPath = m_strFolder + L"log.txt";
    CCommandLineLog logs[std::size(runs)];
    CString strReason;
    for (CCommandLineLog& log : logs)
        ASSERT_TRUE(log.Open(strPath.c_str(), strReason)) << testing::PrintToString(std::wstring(strReason));
    std::string strExpected;
    for (size_t i = 0; i < std::size(runs); ++i)
    {
        CCommandLineLogRecord record;
        record.ftTime = ftTime;
        record.strComputer = runs[i].pszComputer;
        record.strAccount = L"CONTOSO\\deploy";
        record.strArguments = runs[i].pszArguments;
        if ((record.bBefore = runs[i].before.has_value()))
            SetBytes(record.before, *runs[i].before);
        if ((record.bAfter = runs[i].after.has_value()))
            SetBytes(record.after, *runs[i].after);
        record.nExitCode = runs[i].nExitCode;
        ASSERT_TRUE(logs[i].Append(record, strReason)) << testing::PrintToString(std::wstring(strReason));
        strExpected += Ascii(IsoTimeText(ftTime)) + runs[i].pszLine;
    }
    EXPECT_EQ(strExpected, FileText(strPath));
}

TEST(CommandLineLogAccountTest, NamesTheAccountOrGivesItsSid)
{
    const struct
    {
        const wchar_t* pszSid;
        const wchar_t* pszExpected;
    } cases[] = {
        { L"S-1-5-18", L"NT AUTHORITY\\SYSTEM" },
        { L"S-1-1-0", L"Everyone" },
        // An account of a domain this computer does not know.
        { L"S-1-5-21-1111-2222-3333-1001", L"S-1-5-21-1111-2222-3333-1001" },
    };
    for (const auto& tested : cases)
    {
        PSID pSid = nullptr;
        ASSERT_TRUE(::ConvertStringSidToSidW(tested.pszSid, &pSid));
        EXPECT_EQ(tested.pszExpected, std::wstring(CCommandLineLog::AccountName(pSid)));
        ::LocalFree(pSid);
    }

    // Under Wine the process runs as the Unix user, an account of the computer itself.
    WCHAR szUser[256];
    DWORD cchUser = ARRAYSIZE(szUser);
    ASSERT_TRUE(::GetUserNameW(szUser, &cchUser));
    EXPECT_EQ(std::wstring(CCommandLineLog::ComputerName()) + L"\\" + szUser, std::wstring(CCommandLineLog::ProcessAccountName()));
}

// Each case leaves "planted.txt" as it was: the file a user may have linked the log to.
TEST_F(CommandLineLogTest, RefusesWhatCouldSendTheLinesElsewhereAndSaysWhy)
{
    const std::wstring strLog = m_strFolder + L"log.txt", strPlanted = m_strFolder + L"planted.txt";
    const struct
    {
        const char* pszName;
        std::wstring strPath;
        bool bHardLink;           // log.txt is made another name of planted.txt
        DWORD dwAddedAttributes;  // added to what the file's information says
        DWORD dwInfoFailure;
        const wchar_t* pszReason;
    } cases[] = {
        { "missing folder", m_strFolder + L"missing\\log.txt", false, 0, 0, L"cannot be opened (error 3: " },
        { "a folder", m_strFolder.substr(0, m_strFolder.size() - 1), false, 0, 0, L"cannot be opened (error 5: " },
        { "a hard link", strLog, true, 0, 0, L"has 2 names (hard links)" },
        { "the hard link's other name", strPlanted, true, 0, 0, L"has 2 names (hard links)" },
        { "a reparse point", strPlanted, false, FILE_ATTRIBUTE_REPARSE_POINT, 0, L"symbolic link, a junction or another reparse point" },
        { "information unreadable", strPlanted, false, 0, ERROR_INVALID_FUNCTION, L"cannot be checked (error 1: " },
    };
    for (const auto& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        ::DeleteFileW(strLog.c_str());
        WriteFileText(strPlanted, "not a log\r\n");
        if (tested.bHardLink)
        {
            ASSERT_TRUE(::CreateHardLinkW(strLog.c_str(), strPlanted.c_str(), nullptr));
        }

        CFakeInfoLog log;
        log.m_dwAddedAttributes = tested.dwAddedAttributes;
        log.m_dwFailure = tested.dwInfoFailure;
        CString strReason;
        EXPECT_FALSE(log.Open(tested.strPath.c_str(), strReason));
        const std::wstring strText = strReason.GetString();
        EXPECT_NE(std::wstring::npos, strText.find(L"\"" + tested.strPath + L"\"")) << testing::PrintToString(strText);
        EXPECT_NE(std::wstring::npos, strText.find(tested.pszReason)) << testing::PrintToString(strText);

        EXPECT_EQ("not a log\r\n", FileText(strPlanted));
        // No handle is left open: the file can be had for this process alone.
        const HANDLE hAlone = ::CreateFileW(strPlanted.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, hAlone);
        ::CloseHandle(hAlone);
    }
}

// Installers' runs may overlap: each line must land whole, after the others, never over them.
TEST_F(CommandLineLogTest, TwoWritersAtOnceLandEveryLineWhole)
{
    // Windows appends each write of an append-only handle in one piece. Wine 8 finds the end with
    // fstat and writes there with pwrite, so two writers at once tear and overwrite lines there.
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr)
        GTEST_SKIP() << "Wine 8 does not append atomically: this holds on Windows only";
    const std::wstring strPath = m_strFolder + L"log.txt";
    const int kLines = 400;
    std::vector<std::string> expected;
    const auto write = [&](const wchar_t* pszWriter) {
        CCommandLineLog log;
        CString strReason;
        EXPECT_TRUE(log.Open(strPath.c_str(), strReason));
        CCommandLineLogRecord record;
        for (int n = 0; n < kLines; ++n)
        {
            record.strArguments.Format(L"%s %d %s", pszWriter, n, std::wstring(200, L'x').c_str());
            EXPECT_TRUE(log.Append(record, strReason));
        }
    };
    for (const wchar_t* pszWriter : { L"first", L"second" })
    {
        CCommandLineLogRecord record;
        for (int n = 0; n < kLines; ++n)
        {
            record.strArguments.Format(L"%s %d %s", pszWriter, n, std::wstring(200, L'x').c_str());
            const std::string strLine = Ascii(CCommandLineLog::LineOf(record));
            expected.push_back(strLine.substr(0, strLine.size() - 2));
        }
    }
    std::thread first(write, L"first"), second(write, L"second");
    first.join();
    second.join();

    const std::string strText = FileText(strPath);
    std::vector<std::string> lines;
    for (size_t nStart = 0, nEnd; (nEnd = strText.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2)
        lines.push_back(strText.substr(nStart, nEnd - nStart));
    EXPECT_EQ(strText.size(), strText.rfind("\r\n") + 2);
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> wrong;
    std::set_symmetric_difference(lines.begin(), lines.end(), expected.begin(), expected.end(), std::back_inserter(wrong));
    EXPECT_EQ(expected.size(), lines.size());
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " lines missing or torn, the first: " << testing::PrintToString(wrong[0]);
}
}  // namespace
