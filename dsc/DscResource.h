// The DSC v3 resource MorvexSoft/KeyboardKeys: its operations on the all-users stored layout, as the manifest beside the program calls them.
#pragma once

#include "cmdline/CommandLineArguments.h"
#include "cmdline/CommandLineOutput.h"
#include "framework/afxcoll.h"
#include "framework/afxreg.h"

// The instance DSC hands over on the standard input, behind one seam, so that tests can hand one over in-process.
class CDscInput
{
public:
    enum Result
    {
        given,       // bytes holds the input, at most kMaxBytes of it
        none,        // no input: none was piped, or the standard input is a console nobody types an instance at
        tooLarge,    // more than kMaxBytes, read to its end all the same
        failed,      // the read failed with dwError
        unfinished,  // the input did not end within the wait; bytes holds what came of it, perhaps nothing
    };
    // An instance takes a few dozen bytes; more is no instance, whatever it holds.
    static constexpr DWORD kMaxBytes = 64 * 1024;

    virtual ~CDscInput() = default;
    // Reads a piped or redirected standard input to its end, never a console's, waiting for that end
    // no longer than dwWaitMs: a caller may leave the pipe open and send nothing. Whatever comes
    // after kMaxBytes is read and dropped, so that the writer is never cut off mid-write.
    virtual Result Read(CByteArray& bytes, DWORD& dwError, DWORD dwWaitMs);

    static CDscInput& Real();
};

class CDscResource
{
public:
    // How long an operation waits for the end of its input. get and export need none and take an
    // instance only to check it; DSC writes one at once when it has one.
    static constexpr DWORD kOptionalInputWaitMs = 2000;
    static constexpr DWORD kInstanceWaitMs = 10000;

    // Carries out info's /dsc operation on the all-users value, the only one Windows applies,
    // whatever the program's scope setting says. The standard output gets the instance, one JSON
    // line, and nothing else, but for set, whose second line lists the properties it changed; the
    // standard error gets one JSON object a line, {"error": ...}, {"warn": ...} or {"info": ...},
    // as DSC's trace reads them. Returns the exit code: 0 done, 87 bad arguments or input, 5 access
    // denied, 1618 the layout busy, 1 any other failure.
    static int Run(const CMorvexCommandLineInfo& info, CDscInput& input, CRegistryApi& registry, CCommandLineOutput& output);

    // The instance's JSON Schema, on one line, as the schema operation prints it.
    static CString Schema();
};
