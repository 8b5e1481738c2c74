// Stands in for the web browser in the tests: notes every address it is asked to open, and how.
//
//   url_recorder.exe <log file> <address>
//   url_recorder.exe
//
// Appends one line per start to the log, "<address>\t<show command>\t<starter>" in UTF-8, the show
// command being the one its starter asked for, or -1 when there was none, and the starter the file
// name of the program that started it, in lower case ("?" when it is gone). The line is written at
// once, so a reader sees whole lines only. Started without arguments, as it is when it stands in for
// the dialog program, it appends "-" as the address to started.log beside itself.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>

namespace
{
std::wstring StarterName()
{
    std::wstring strName = L"?";
    HANDLE hSnapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return strName;
    DWORD dwStarter = 0;
    PROCESSENTRY32W entry = { sizeof(entry) };
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore; bMore = ::Process32NextW(hSnapshot, &entry))
    {
        if (entry.th32ProcessID == ::GetCurrentProcessId())
            dwStarter = entry.th32ParentProcessID;
    }
    for (BOOL bMore = ::Process32FirstW(hSnapshot, &entry); bMore; bMore = ::Process32NextW(hSnapshot, &entry))
    {
        if (dwStarter != 0 && entry.th32ProcessID == dwStarter)
            strName = entry.szExeFile;
    }
    ::CloseHandle(hSnapshot);
    std::transform(strName.begin(), strName.end(), strName.begin(), [](wchar_t c) { return static_cast<wchar_t>(::towlower(c)); });
    return strName;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || (argc != 3 && argc != 1))
        return 2;
    std::wstring strLogPath, strAddress = L"-";
    if (argc == 3)
    {
        strLogPath = argv[1];
        strAddress = argv[2];
    }
    else
    {
        WCHAR szPath[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
        strLogPath = szPath;
        strLogPath = strLogPath.substr(0, strLogPath.find_last_of(L'\\') + 1) + L"started.log";
    }

    STARTUPINFOW startup = { sizeof(startup) };
    ::GetStartupInfoW(&startup);
    const int nShow = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    const std::wstring strLine = strAddress + L"\t" + std::to_wstring(nShow) + L"\t" + StarterName() + L"\n";

    const int cb = ::WideCharToMultiByte(CP_UTF8, 0, strLine.c_str(), static_cast<int>(strLine.size()), nullptr, 0, nullptr, nullptr);
    std::string strUtf8(static_cast<size_t>(cb), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, strLine.c_str(), static_cast<int>(strLine.size()), strUtf8.data(), cb, nullptr, nullptr);

    HANDLE hLog = ::CreateFileW(strLogPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hLog == INVALID_HANDLE_VALUE)
        return 1;
    DWORD cbWritten = 0;
    const BOOL bWritten = ::WriteFile(hLog, strUtf8.data(), static_cast<DWORD>(cb), &cbWritten, nullptr);
    ::CloseHandle(hLog);
    ::LocalFree(argv);
    return bWritten ? 0 : 1;
}
