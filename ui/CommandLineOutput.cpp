#include "ui/CommandLineOutput.h"

#include <string.h>

namespace
{
// A file or a pipe: someone collects what goes there. A character device is a console or NUL.
BOOL IsRedirected(HANDLE hStd)
{
    if (hStd == nullptr || hStd == INVALID_HANDLE_VALUE)
        return FALSE;
    const DWORD dwType = ::GetFileType(hStd);
    return dwType == FILE_TYPE_DISK || dwType == FILE_TYPE_PIPE;
}

// As a console program writes to a file or pipe: one byte per character in the OEM code page
// (the texts are plain ASCII), lines ending in CR LF.
void WriteLines(HANDLE hFile, LPCWSTR pszText)
{
    const int cb = ::WideCharToMultiByte(CP_OEMCP, 0, pszText, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 0)
        return;
    CByteArray bytes;
    bytes.SetSize(cb);
    char* const pszBytes = reinterpret_cast<char*>(bytes.GetData());
    ::WideCharToMultiByte(CP_OEMCP, 0, pszText, -1, pszBytes, cb, nullptr, nullptr);
    DWORD cbWritten = 0;
    for (const char* pszLine = pszBytes;;)
    {
        const char* pszEnd = strchr(pszLine, '\n');
        const DWORD cbLine = static_cast<DWORD>(pszEnd != nullptr ? pszEnd - pszLine : static_cast<ptrdiff_t>(strlen(pszLine)));
        ::WriteFile(hFile, pszLine, cbLine, &cbWritten, nullptr);
        ::WriteFile(hFile, "\r\n", 2, &cbWritten, nullptr);
        if (pszEnd == nullptr || pszEnd[1] == '\0')
            return;
        pszLine = pszEnd + 1;
    }
}
}  // namespace

CStdOutput::~CStdOutput()
{
    if (m_sink == console)
    {
        ::CloseHandle(m_hConsole);
        ::FreeConsole();
    }
}

void CStdOutput::ChooseSink()
{
    const HANDLE hOut = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE hErr = ::GetStdHandle(STD_ERROR_HANDLE);
    if (IsRedirected(hOut) || IsRedirected(hErr))
    {
        // One stream redirected alone takes everything: the other goes nowhere anyone reads.
        m_hOut = IsRedirected(hOut) ? hOut : hErr;
        m_hErr = IsRedirected(hErr) ? hErr : hOut;
        m_sink = stdHandles;
        return;
    }
    if (::AttachConsole(ATTACH_PARENT_PROCESS))
    {
        m_hConsole = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (m_hConsole != INVALID_HANDLE_VALUE)
        {
            m_sink = console;
            // cmd shows its prompt again at once, since it does not wait for a windowed program:
            // the first line must not run on after it.
            CONSOLE_SCREEN_BUFFER_INFO screen;
            if (::GetConsoleScreenBufferInfo(m_hConsole, &screen) && screen.dwCursorPosition.X != 0)
                ::WriteConsoleW(m_hConsole, L"\n", 1, nullptr, nullptr);
            return;
        }
        ::FreeConsole();
    }
    m_sink = messageBox;
}

void CStdOutput::Write(LPCWSTR pszText, Kind kind)
{
    if (m_sink == notChosen)
        ChooseSink();
    switch (m_sink)
    {
    case stdHandles:
        WriteLines(kind == error ? m_hErr : m_hOut, pszText);
        break;
    case console:
    {
        CString strText(pszText);
        if (strText.IsEmpty() || pszText[strText.GetLength() - 1] != L'\n')
            strText += L"\n";
        ::WriteConsoleW(m_hConsole, strText, static_cast<DWORD>(strText.GetLength()), nullptr, nullptr);
        break;
    }
    default:
        // Nobody reads a report of what went well; an error or the usage text asked for must be seen.
        if (kind != info && !m_bQuiet)
            ::MessageBoxW(nullptr, pszText, AfxGetApp()->m_pszAppName, kind == error ? MB_ICONHAND : MB_ICONINFORMATION);
        break;
    }
}
