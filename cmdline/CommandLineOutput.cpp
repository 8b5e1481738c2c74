#include "cmdline/CommandLineOutput.h"

#include <string.h>

namespace
{
// A file, a pipe, or a character device that is no console (NUL): whoever started the program
// chose where its output goes, even if that is nowhere. A console is reached through its own API.
BOOL IsRedirected(HANDLE hStd)
{
    if (hStd == nullptr || hStd == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD dwMode = 0;
    switch (::GetFileType(hStd))
    {
    case FILE_TYPE_DISK:
    case FILE_TYPE_PIPE:
        return TRUE;
    case FILE_TYPE_CHAR:
        return !::GetConsoleMode(hStd, &dwMode);
    default:
        return FALSE;
    }
}

// As a console program writes to a file or pipe: one byte per character in the OEM code page (data
// for scripts in UTF-8), lines ending in CR LF. A character the code page lacks shows as '?', never as a look-alike: an
// argument quoted back in an error must not read as a valid one. UTF-8 lacks none, and takes no
// such flags.
void WriteLines(HANDLE hFile, LPCWSTR pszText, UINT uCodePage)
{
    const DWORD dwFlags = uCodePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const LPCSTR pszDefault = uCodePage == CP_UTF8 ? nullptr : "?";
    const int cb = ::WideCharToMultiByte(uCodePage, dwFlags, pszText, -1, nullptr, 0, pszDefault, nullptr);
    if (cb <= 0)
        return;
    CByteArray bytes;
    bytes.SetSize(cb);
    char* const pszBytes = reinterpret_cast<char*>(bytes.GetData());
    ::WideCharToMultiByte(uCodePage, dwFlags, pszText, -1, pszBytes, cb, pszDefault, nullptr);
    // Nobody may be reading: a closed pipe or a full disk is no reason to fail the program.
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

BOOL IsConsole(HANDLE hStd)
{
    DWORD dwMode = 0;
    return hStd != nullptr && hStd != INVALID_HANDLE_VALUE && ::GetConsoleMode(hStd, &dwMode);
}

// A console takes UTF-16 and shows every character its font has; each text ends its line.
void WriteConsoleText(HANDLE hConsole, LPCWSTR pszText)
{
    CString strText(pszText);
    if (strText.IsEmpty() || pszText[strText.GetLength() - 1] != L'\n')
        strText += L"\n";
    ::WriteConsoleW(hConsole, strText, static_cast<DWORD>(strText.GetLength()), nullptr, nullptr);
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
    if (m_program == consoleProgram)
    {
        // Started with neither (a deployment agent's detached process, say), it says nothing.
        m_hOut = IsRedirected(hOut) || IsConsole(hOut) ? hOut : nullptr;
        m_hErr = IsRedirected(hErr) || IsConsole(hErr) ? hErr : nullptr;
        m_sink = stdHandles;
        return;
    }
    if (IsRedirected(hOut) || IsRedirected(hErr))
    {
        // One stream redirected alone takes everything, the other goes nowhere anyone reads; but
        // nothing joins data on its way to a parser.
        m_hOut = IsRedirected(hOut) ? hOut : hErr;
        m_hErr = IsRedirected(hErr) ? hErr : m_bDataOnly ? nullptr : hOut;
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
    m_sink = m_bBoxAllowed ? messageBox : nowhere;
}

void CStdOutput::Write(LPCWSTR pszText, Kind kind)
{
    if (m_sink == notChosen)
        ChooseSink();
    switch (m_sink)
    {
    case stdHandles:
        if (HANDLE hFile = kind == error || kind == errorData ? m_hErr : m_hOut)
        {
            if (IsConsole(hFile))
                WriteConsoleText(hFile, pszText);
            else
                WriteLines(hFile, pszText, kind == data || kind == errorData ? CP_UTF8 : ::GetOEMCP());
        }
        break;
    case console:
        WriteConsoleText(m_hConsole, pszText);
        break;
    case messageBox:
        // Nobody reads a report of what went well; an error or the usage text asked for must be seen.
        if (kind == error || kind == usage)
            ::MessageBoxW(nullptr, pszText, AfxGetApp()->m_pszAppName, kind == error ? MB_ICONHAND : MB_ICONINFORMATION);
        break;
    default:
        break;
    }
}
