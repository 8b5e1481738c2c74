// Takes the web browser's place in the prefix while a test runs: writes down what it was asked to open.
//
//   e2e_browser.exe <log file> <address>
//
// Appends "<address>\t<show command>\n" to the log, the show command being the one its starter
// asked for or -1 for none. A windowless GUI program, so that starting it brings up no console.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3)
        return 2;

    STARTUPINFOW startup = { sizeof(startup) };
    ::GetStartupInfoW(&startup);
    const int nShow = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1;
    const std::wstring strLine = std::wstring(argv[2]) + L"\t" + std::to_wstring(nShow) + L"\n";
    const std::string strAscii(strLine.begin(), strLine.end());

    HANDLE hLog = ::CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ::LocalFree(argv);
    if (hLog == INVALID_HANDLE_VALUE)
        return 1;
    DWORD cbWritten = 0;
    const BOOL bWritten = ::WriteFile(hLog, strAscii.data(), static_cast<DWORD>(strAscii.size()), &cbWritten, nullptr);
    ::CloseHandle(hLog);
    return bWritten ? 0 : 1;
}
