// The stored layouts and the program's profile, set up and inspected the way other tools see them.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "framework/afxreg.h"

using Bytes = std::vector<BYTE>;

enum class Scope
{
    AllUsers,
    CurrentUser
};

inline void PrintTo(Scope scope, std::ostream* pStream)
{
    *pStream << (scope == Scope::AllUsers ? "all users" : "current user");
}

// "Scancode Map" of a scope as it is stored now (and its type), or nothing.
std::optional<Bytes> StoredLayout(Scope scope, DWORD* pdwType = nullptr);
void StoreLayout(Scope scope, const Bytes& value, DWORD dwType = REG_BINARY);
// What `reg add` without /t stores: the text as a REG_SZ, its terminator included.
Bytes TextValue(const wchar_t* pszText);
void RemoveStoredLayout(Scope scope);
bool KeyExists(Scope scope);
// When the scope's key was last written, as Windows keeps it; nothing when there is no key.
std::optional<ULONGLONG> LayoutKeyWriteTime(Scope scope);

// The scope's key and all below it, as a fresh registry lacks it.
void DeleteLayoutKey(Scope scope);

// The program's volatile key that says a change it stored waits for the restart.
bool RestartPending();
void ForgetRestartPending();
// An ordinary key in place of the program's volatile one, as a reg import or a restored backup leaves it.
void MakeOrdinaryRestartPendingKey();
// Whether the key is there and volatile: Windows refuses such a key an ordinary child.
bool RestartPendingIsVolatile();
// The DACL of a key of the 64-bit view in the descriptor language; empty when it cannot be read.
std::wstring KeyDacl(HKEY hRoot, LPCWSTR pszPath);

// While it lives, the scope's key can be read but not opened for writing, as for a user who is no
// administrator, or the other way round; the key's own permissions come back afterwards.
class CDenyLayoutAccess
{
public:
    enum Denied
    {
        writes,
        reads,
    };
    CDenyLayoutAccess(Scope scope, Denied denied);
    ~CDenyLayoutAccess();

private:
    HKEY m_hKey = nullptr;
    std::vector<BYTE> m_savedDescriptor;
};

// While it lives, an object holds the name of the copies' turns at the layout.
class CHoldLayoutLock
{
public:
    enum Holder
    {
        copy,        // another copy, in the middle of its edit: the program's edits wait, then give up
        usersMutex,  // a mutex the Users own, not the administrators, who own every copy's: no copy's turn
        usersEvent,  // an event of the name, the Users' too: no turn can be taken at all
        systemOnly,  // a mutex of the administrators that only SYSTEM may use: no copy's, since copies let administrators in
        unreadable,  // another user's mutex that lets nobody else even read who owns it
    };
    explicit CHoldLayoutLock(Holder holder = copy);
    ~CHoldLayoutLock();
    CHoldLayoutLock(const CHoldLayoutLock&) = delete;
    CHoldLayoutLock& operator=(const CHoldLayoutLock&) = delete;

private:
    HANDLE m_hObject = nullptr;
    bool m_bMutex;
};

// The program's stored scope setting, or nothing.
std::optional<DWORD> StoredScopeSetting();
void StoreScopeSetting(DWORD dwValue);

// A well-formed value of (target, source) mappings.
Bytes ScancodeMapValue(std::initializer_list<std::pair<WORD, WORD>> mappings);

// Counts every open and close made through it, so a test can see that each key opened is closed.
// A failure can be set per operation for what Wine never refuses.
class CCountingRegistry : public CRegistryApi
{
public:
    LSTATUS CreateKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey, DWORD dwOptions,
                      LPSECURITY_ATTRIBUTES pSecurity) override;
    LSTATUS OpenKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey) override;
    LSTATUS QueryValue(HKEY hKey, LPCWSTR pszName, DWORD* pdwType, BYTE* pData, DWORD* pcbData) override;
    LSTATUS SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData) override;
    LSTATUS DeleteValue(HKEY hKey, LPCWSTR pszName) override;
    LSTATUS CloseKey(HKEY hKey) override;
    LSTATUS QueryLastWriteTime(HKEY hKey, FILETIME* pftLastWrite) override;

    LSTATUS m_queryValueResult = ERROR_SUCCESS;
    LSTATUS m_setValueResult = ERROR_SUCCESS;
    LSTATUS m_deleteValueResult = ERROR_SUCCESS;
    // A key's last write as answered instead of the real one, to date it before Windows started.
    std::optional<FILETIME> m_lastWriteTime;
    LSTATUS m_lastWriteTimeResult = ERROR_SUCCESS;

    int m_nOpens = 0;           // creates and opens, failed ones included
    int m_nCloses = 0;          // closes, of null handles too
    int m_nOpenHandles = 0;     // real handles not closed yet
};

// Clears both stored layouts and the program's profile before and after every test.
class StoredLayoutTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// The same for a test run once per scope; the program's setting selects the scope first.
class PerScopeTest : public StoredLayoutTest, public testing::WithParamInterface<Scope>
{
protected:
    void SetUp() override;
};

#define INSTANTIATE_PER_SCOPE(suite) \
    INSTANTIATE_TEST_SUITE_P(Scopes, suite, testing::Values(Scope::AllUsers, Scope::CurrentUser), \
                             [](const testing::TestParamInfo<Scope>& scope) { \
                                 return scope.param == Scope::AllUsers ? "AllUsers" : "CurrentUser"; \
                             })
