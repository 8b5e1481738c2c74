// What a command-line run found and did, told as lines for people or as one JSON object for scripts.
#pragma once

#include "layout/LayoutEffect.h"
#include "layout/LayoutStore.h"

// The exit codes installers use, so that deployment tools read them without being told.
enum CommandLineExit
{
    exitDone = 0,                // nothing needed changing, and what is stored is in effect; also /status and /?
    exitFailed = 1,              // the value could not be read or stored, the restart was refused after storing, or a change in the current user's scope was refused
    exitAccessDenied = 5,        // the scope's key or value refused the access needed
    exitBadArguments = 87,       // with the usage text
    exitAlreadyRunning = 1618,   // another copy kept the layout too long; deployment tools try again later
    exitLogFailed = 1622,        // the log cannot be opened; nothing was changed
    exitRestartRequested = 1641, // stored, and the restart or log-off requested
    exitRestartNeeded = 3010,    // stored, or stored already but not in effect yet: it takes effect after a restart
};

class CCommandLineReport
{
public:
    explicit CCommandLineReport(BOOL bAllUsers) : m_bAllUsers(bAllUsers) {}
    CCommandLineReport(const CCommandLineReport&) = delete;
    CCommandLineReport& operator=(const CCommandLineReport&) = delete;

    // Done, stored, or the restart requested; anything else is a failure.
    BOOL Succeeded() const;

    // The keys, the scope and, unless the run just wrote it, whether what is stored is in effect;
    // then the closing words. The last line ends with '\n'. The keys only where the value was read.
    CString Lines() const;
    // One line of JSON, the same facts under names that scripts may rely on.
    CString Json() const;

    // The dialog's four keys, and every other key of the table that is not enabled, as disabled,
    // enabled or remapped (and to which key); the scope, and how many other mappings are stored.
    static CString StatusText(const CMapStringToString& map, StoredLayoutType type, BOOL bAllUsers);
    // Whether the keyboard driver uses what is stored, with the times that tell.
    static CString EffectText(const CLayoutEffect& effect, StoredLayoutType type);
    // What a change did to keys that another tool had sent to other keys; empty when none was.
    static CString RemapText(const CMapStringToString& before, const LayoutChange& change);
    // Why an edit or a read failed, naming the key, the step and the system's reason.
    static CString FailureText(const LayoutEdit& edit, BOOL bAllUsers);
    // A key's state and a remap's target as scripts read them: "disabled", "enabled" or "remapped";
    // the key a remap sends to by its name in KEYS where it is a key of the table ("LCtrl"), else
    // its scan code ("0xE038").
    static LPCWSTR StateName(KeyState state);
    static CString TargetName(uint16_t nTarget);
    // Why a change in the current user's scope is refused, and the line that /status there ends with:
    // Windows 7 and later never apply that value, so no restart or log-off would bring a change into
    // effect. Both name the setting that selects the scope, where it is and how to leave it.
    static CString CurrentUserRefusalText();
    static CString CurrentUserStatusText();
    // "HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Keyboard Layout" and the like.
    static CString KeyPath(BOOL bAllUsers);

    BOOL m_bAllUsers;
    int m_nExitCode = exitDone;
    // The closing words of a change, or what went wrong; empty for a status.
    CString m_strMessage;
    // The stored layout was read: the members below hold.
    BOOL m_bRead = FALSE;
    StoredLayoutType m_type = StoredLayoutType::None;
    CMapStringToString m_map;
    CString m_strRemaps;
    BOOL m_bWritten = FALSE;
    CLayoutEffect m_effect;
};
