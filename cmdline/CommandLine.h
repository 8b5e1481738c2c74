// The command line's run: carrying out what its arguments ask for on the scope's stored layout.
#pragma once

#include "cmdline/CommandLineArguments.h"
#include "cmdline/CommandLineLog.h"
#include "cmdline/CommandLineOutput.h"
#include "cmdline/CommandLineReport.h"
#include "framework/afxreg.h"
#include "framework/afxwin.h"
#include "layout/LayoutStore.h"
#include "system/SessionControl.h"

class CCommandLine
{
public:
    // The change the arguments ask for. Enabling leaves another tool's remap of a key as it is: it
    // is no key this program switched off.
    static LayoutChange ChangeOf(const CMorvexCommandLineInfo& info);
    // The exit code of an edit or a read that failed.
    static int FailureExitCode(const LayoutEdit& edit);
    static LPCWSTR UsageText();

    // Does what the arguments ask in the scope and says so; returns the exit code.
    static int Run(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CSessionControl& session, BOOL bAllUsers,
                   CCommandLineOutput& output);

private:
    // The run itself, told in the report; the log, the JSON object and the request are Run's. TRUE
    // when a change was stored and the restart is to be asked for, once the run is recorded.
    static BOOL CarryOut(const CMorvexCommandLineInfo& info, CRegistryApi& registry, CCommandLineOutput& output,
                         CCommandLineReport& report, CCommandLineLogRecord& record);
};
