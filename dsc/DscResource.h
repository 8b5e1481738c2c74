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
        given,     // bytes holds the input, at most kMaxBytes of it
        none,      // no input: none was piped, or the standard input is a console nobody types an instance at
        tooLarge,  // more than kMaxBytes
        failed,    // the read failed with dwError
    };
    // An instance takes a few dozen bytes; more is no instance, whatever it holds.
    static constexpr DWORD kMaxBytes = 64 * 1024;

    virtual ~CDscInput() = default;
    // Reads a piped or redirected standard input to its end, never a console's.
    virtual Result Read(CByteArray& bytes, DWORD& dwError);

    static CDscInput& Real();
};

class CDscResource
{
public:
    // Carries out info's /dsc operation on the all-users value, the only one Windows applies,
    // whatever the program's scope setting says. The standard output gets the instance, one JSON
    // line, and nothing else; the standard error gets one JSON object a line, {"error": ...},
    // {"warn": ...} or {"info": ...}, as DSC's trace reads them. Returns the exit code: 0 done,
    // 87 bad arguments or input, 5 access denied, 1618 the layout busy, 1 any other failure.
    static int Run(const CMorvexCommandLineInfo& info, CDscInput& input, CRegistryApi& registry, CCommandLineOutput& output);

    // The instance's JSON Schema, on one line, as the schema operation prints it.
    static CString Schema();
};
