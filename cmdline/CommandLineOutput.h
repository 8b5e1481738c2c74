// The command line's output: what it reports, and where that goes without a dialog to show it.
#pragma once

#include "framework/afxwin.h"

// Where the command line's texts go. Only usage texts and errors may need someone to read them
// when no script does.
class CCommandLineOutput
{
public:
    enum Kind
    {
        info,
        usage,
        error,
        data,       // for scripts: to the standard output in UTF-8, whatever the code page
        errorData,  // for tools that read the standard error as data (DSC's JSON lines): there, in UTF-8
    };

    virtual ~CCommandLineOutput() = default;
    // Lines separated by '\n'; a last '\n' ends the last line.
    virtual void Write(LPCWSTR pszText, Kind kind) = 0;
};

// To the standard output and error the program was given when a script or agent redirected them
// to a file, a pipe or NUL; else to the console of the program that started it, when it has one;
// else usage texts and errors go to a message box, unless the command line said /quiet or nobody
// can see the box: off a user's desktop (on a window station that is not the interactive one, or in
// session 0), a box would keep a deployment agent or a startup script waiting for its time-out.
// The console program's standard handles are its console or what its starter gave it: each goes
// where it leads, and it never borrows a console or shows a box.
class CStdOutput : public CCommandLineOutput
{
public:
    enum Program
    {
        windowed,
        consoleProgram,
    };
    // bDataOnly: the standard output is for data alone, which a script parses; other texts go to it
    // only where it is a console, for people.
    CStdOutput(BOOL bQuiet, BOOL bUsersDesktop, BOOL bDataOnly = FALSE, Program program = windowed)
        : m_bBoxAllowed(!bQuiet && bUsersDesktop && program == windowed), m_bDataOnly(bDataOnly), m_program(program)
    {
    }
    ~CStdOutput() override;
    CStdOutput(const CStdOutput&) = delete;
    CStdOutput& operator=(const CStdOutput&) = delete;

    void Write(LPCWSTR pszText, Kind kind) override;

private:
    enum Sink
    {
        notChosen,
        stdHandles,
        console,
        messageBox,
        nowhere,
    };
    void ChooseSink();

    BOOL m_bBoxAllowed;
    BOOL m_bDataOnly;
    Program m_program;
    Sink m_sink = notChosen;
    HANDLE m_hOut = nullptr;      // a redirected standard output or error, or the console program's console
    HANDLE m_hErr = nullptr;
    HANDLE m_hConsole = nullptr;  // the parent's console screen, ours while attached
};
