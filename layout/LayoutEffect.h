// Whether the keyboard driver uses what a scope stores: it reads "Scancode Map" only as Windows starts.
#pragma once

#include "framework/afxreg.h"

enum class LayoutEffect
{
    Unknown,        // when the layout was stored cannot be read, or lies ahead of now, and no guess is made
    InEffect,       // stored before Windows last started, which read it then
    AfterRestart,   // stored or removed since: the keys stay as they were at the start until the next one
    NotApplied,     // stored for the current user, which Windows 7 and later never read
    NothingStored,  // the scope's key is missing: no layout is stored, so none waits for a restart
};

// What the times tell about a scope's stored layout, and the times themselves for the texts.
struct CLayoutEffect
{
    LayoutEffect effect = LayoutEffect::Unknown;
    FILETIME ftStarted = {};  // when Windows last started (UTC)
    BOOL bStoredKnown = FALSE;
    FILETIME ftStored = {};   // the last write of the scope's key (UTC), when known
    // The program changed the all-users value since Windows started, whatever the clocks say.
    BOOL bRestartPending = FALSE;

    // The stored time against the start and now: only Unknown, InEffect or AfterRestart. pftStored
    // is null when the time could not be read.
    static LayoutEffect Decide(const FILETIME* pftStored, const FILETIME& ftStarted, const FILETIME& ftNow);
    // What Windows 7 and later make of a scope's layout whose times say effect.
    static LayoutEffect InScope(LayoutEffect effect, BOOL bAllUsers);

    // Now less the time counted since the start. The count goes on through sleep, hibernation and
    // Fast Startup's hybrid shut-down, none of which reads the layout again.
    static FILETIME WindowsStarted();

    // Reads when the scope's key was last written and judges it against the last start, unless the
    // program's volatile key says that a change it made waits for the restart, or the key is missing.
    // A key of that name that is not volatile says nothing.
    static CLayoutEffect Read(CRegistryApi& registry, BOOL bAllUsers);

    // Makes the program's volatile key HKEY_LOCAL_MACHINE\SOFTWARE\MorvexSoft\MorvexDisabler\RestartPending
    // after the program wrote or deleted the all-users value: a clock set forward since (a time sync,
    // a virtual machine resumed from a saved state) cannot then pass the change off as in effect.
    // Windows drops the key at the next restart. An ordinary key of the name, which would never
    // go, is replaced.
    static LSTATUS MarkRestartPending(CRegistryApi& registry);
};
