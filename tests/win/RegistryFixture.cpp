#include "RegistryFixture.h"

#include <sddl.h>

namespace
{
struct ScopeKey
{
    HKEY hRoot;
    LPCWSTR pszPath;
};

ScopeKey KeyOf(Scope scope)
{
    return scope == Scope::AllUsers ? ScopeKey{ HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layout" }
                                    : ScopeKey{ HKEY_CURRENT_USER, L"Keyboard Layout" };
}

const WCHAR s_szProfileKey[] = L"Software\\MorvexSoft\\Morvex Disabler by MorvexSoft\\Settings";
const WCHAR s_szProfileRoot[] = L"Software\\MorvexSoft";
// In the 64-bit view, which the x86 program and tests see too.
const WCHAR s_szRestartPending[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler\\RestartPending";
}  // namespace

std::optional<Bytes> StoredLayout(Scope scope, DWORD* pdwType)
{
    const ScopeKey key = KeyOf(scope);
    DWORD cb = 0;
    if (::RegGetValueW(key.hRoot, key.pszPath, L"Scancode Map", RRF_RT_ANY, nullptr, nullptr, &cb) != ERROR_SUCCESS)
        return std::nullopt;
    Bytes value(cb);
    if (::RegGetValueW(key.hRoot, key.pszPath, L"Scancode Map", RRF_RT_ANY | RRF_NOEXPAND, pdwType, value.data(), &cb) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(cb);
    return value;
}

void StoreLayout(Scope scope, const Bytes& value, DWORD dwType)
{
    const ScopeKey key = KeyOf(scope);
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(key.hRoot, key.pszPath, L"Scancode Map", dwType, value.data(),
                                               static_cast<DWORD>(value.size())));
}

Bytes TextValue(const wchar_t* pszText)
{
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(pszText);
    return Bytes(pBytes, pBytes + (wcslen(pszText) + 1) * sizeof(wchar_t));
}

void RemoveStoredLayout(Scope scope)
{
    const ScopeKey key = KeyOf(scope);
    ::RegDeleteKeyValueW(key.hRoot, key.pszPath, L"Scancode Map");
}

bool KeyExists(Scope scope)
{
    const ScopeKey key = KeyOf(scope);
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(key.hRoot, key.pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

std::optional<ULONGLONG> LayoutKeyWriteTime(Scope scope)
{
    const ScopeKey key = KeyOf(scope);
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(key.hRoot, key.pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return std::nullopt;
    FILETIME ft = {};
    const LSTATUS status = ::RegQueryInfoKeyW(hKey, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, &ft);
    ::RegCloseKey(hKey);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return ULARGE_INTEGER{ { ft.dwLowDateTime, ft.dwHighDateTime } }.QuadPart;
}

void DeleteLayoutKey(Scope scope)
{
    const ScopeKey key = KeyOf(scope);
    ::RegDeleteTreeW(key.hRoot, key.pszPath);
    ::RegDeleteKeyW(key.hRoot, key.pszPath);
}

bool RestartPending()
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_szRestartPending, 0, KEY_READ | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

void ForgetRestartPending()
{
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, s_szRestartPending, KEY_WOW64_64KEY, 0);
}

void MakeOrdinaryRestartPendingKey()
{
    HKEY hKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, s_szRestartPending, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                               KEY_READ | KEY_WOW64_64KEY, nullptr, &hKey, nullptr));
    ::RegCloseKey(hKey);
}

std::wstring KeyDacl(HKEY hRoot, LPCWSTR pszPath)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hRoot, pszPath, 0, READ_CONTROL | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return L"";
    BYTE descriptor[4096];
    DWORD cb = sizeof(descriptor);
    LPWSTR pszSddl = nullptr;
    std::wstring strDacl;
    if (::RegGetKeySecurity(hKey, DACL_SECURITY_INFORMATION, descriptor, &cb) == ERROR_SUCCESS &&
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &pszSddl,
                                                               nullptr))
    {
        strDacl = pszSddl;
        ::LocalFree(pszSddl);
    }
    ::RegCloseKey(hKey);
    return strDacl;
}

bool RestartPendingIsVolatile()
{
    HKEY hKey = nullptr, hChild = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_szRestartPending, 0, KEY_CREATE_SUB_KEY | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return false;
    const LSTATUS status = ::RegCreateKeyExW(hKey, L"Child", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, &hChild, nullptr);
    if (status == ERROR_SUCCESS)
    {
        ::RegCloseKey(hChild);
        ::RegDeleteKeyW(hKey, L"Child");
    }
    ::RegCloseKey(hKey);
    return status == ERROR_CHILD_MUST_BE_VOLATILE;
}

CDenyLayoutAccess::CDenyLayoutAccess(Scope scope, Denied denied)
{
    const ScopeKey key = KeyOf(scope);
    EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(key.hRoot, key.pszPath, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, &m_hKey, nullptr));
    DWORD cb = 0;
    ::RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, nullptr, &cb);
    m_savedDescriptor.resize(cb);
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_savedDescriptor.data(), &cb));

    // Everyone may read the key, or write it, and change its permissions back, and nothing else.
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(denied == writes ? L"D:P(A;;KRWD;;;WD)" : L"D:P(A;;KWRCWD;;;WD)",
                                                                       SDDL_REVISION_1, &pDescriptor, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, pDescriptor));
    ::LocalFree(pDescriptor);
}

CDenyLayoutAccess::~CDenyLayoutAccess()
{
    EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(m_hKey, DACL_SECURITY_INFORMATION, m_savedDescriptor.data()));
    ::RegCloseKey(m_hKey);
}

CHoldLayoutLock::CHoldLayoutLock(Holder holder) : m_bMutex(holder != usersEvent)
{
    // The name other tools and scripts can take the layout's turn by too.
    const WCHAR szName[] = L"Global\\MorvexDisabler.KeyboardLayout";
    // Wine gives an object no owner unless its descriptor names one, and lets any owner be named
    // (Windows would let a test name only its own user, or the administrators when elevated).
    const WCHAR* pszSddl = holder == copy         ? L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"
                           : holder == systemOnly ? L"O:BAD:P(A;;GA;;;SY)"
                           : holder == unreadable ? L"O:S-1-5-21-1-2-3-4000D:P"
                                                  : L"O:BUD:P(A;;GA;;;WD)";
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(pszSddl, SDDL_REVISION_1, &pDescriptor, nullptr));
    SECURITY_ATTRIBUTES access = { sizeof(access), pDescriptor, FALSE };
    m_hObject = m_bMutex ? ::CreateMutexW(&access, TRUE, szName) : ::CreateEventW(&access, FALSE, FALSE, szName);
    EXPECT_NE(nullptr, m_hObject);
    EXPECT_NE(static_cast<DWORD>(ERROR_ALREADY_EXISTS), ::GetLastError()) << "the layout is held already";
    ::LocalFree(pDescriptor);
}

CHoldLayoutLock::~CHoldLayoutLock()
{
    if (m_bMutex)
        ::ReleaseMutex(m_hObject);
    ::CloseHandle(m_hObject);
}

std::optional<DWORD> StoredScopeSetting()
{
    DWORD dwValue = 0, cb = sizeof(dwValue);
    if (::RegGetValueW(HKEY_CURRENT_USER, s_szProfileKey, L"m_bApplyChangesForAllUsers", RRF_RT_REG_DWORD, nullptr, &dwValue, &cb) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return dwValue;
}

void StoreScopeSetting(DWORD dwValue)
{
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CURRENT_USER, s_szProfileKey, L"m_bApplyChangesForAllUsers", REG_DWORD,
                                               &dwValue, sizeof(dwValue)));
}

Bytes ScancodeMapValue(std::initializer_list<std::pair<WORD, WORD>> mappings)
{
    Bytes value(12, 0);
    value[8] = static_cast<BYTE>(mappings.size() + 1);
    for (const auto& [wTarget, wSource] : mappings)
    {
        for (WORD w : { wTarget, wSource })
        {
            value.push_back(LOBYTE(w));
            value.push_back(HIBYTE(w));
        }
    }
    value.insert(value.end(), 4, 0);
    return value;
}

LSTATUS CCountingRegistry::CreateKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey, DWORD dwOptions,
                                     LPSECURITY_ATTRIBUTES pSecurity)
{
    ++m_nOpens;
    const LSTATUS status = CRegistryApi::CreateKey(hRoot, pszPath, samDesired, phKey, dwOptions, pSecurity);
    m_nOpenHandles += status == ERROR_SUCCESS;
    return status;
}

LSTATUS CCountingRegistry::OpenKey(HKEY hRoot, LPCWSTR pszPath, REGSAM samDesired, HKEY* phKey)
{
    ++m_nOpens;
    const LSTATUS status = CRegistryApi::OpenKey(hRoot, pszPath, samDesired, phKey);
    m_nOpenHandles += status == ERROR_SUCCESS;
    return status;
}

LSTATUS CCountingRegistry::QueryValue(HKEY hKey, LPCWSTR pszName, DWORD* pdwType, BYTE* pData, DWORD* pcbData)
{
    if (m_queryValueResult != ERROR_SUCCESS)
        return m_queryValueResult;
    return CRegistryApi::QueryValue(hKey, pszName, pdwType, pData, pcbData);
}

LSTATUS CCountingRegistry::SetValue(HKEY hKey, LPCWSTR pszName, DWORD dwType, const BYTE* pData, DWORD cbData)
{
    if (m_setValueResult != ERROR_SUCCESS)
        return m_setValueResult;
    return CRegistryApi::SetValue(hKey, pszName, dwType, pData, cbData);
}

LSTATUS CCountingRegistry::DeleteValue(HKEY hKey, LPCWSTR pszName)
{
    if (m_deleteValueResult != ERROR_SUCCESS)
        return m_deleteValueResult;
    return CRegistryApi::DeleteValue(hKey, pszName);
}

LSTATUS CCountingRegistry::CloseKey(HKEY hKey)
{
    ++m_nCloses;
    const LSTATUS status = CRegistryApi::CloseKey(hKey);
    m_nOpenHandles -= hKey != nullptr && status == ERROR_SUCCESS;
    return status;
}

LSTATUS CCountingRegistry::QueryLastWriteTime(HKEY hKey, FILETIME* pftLastWrite)
{
    if (m_lastWriteTimeResult != ERROR_SUCCESS)
        return m_lastWriteTimeResult;
    if (m_lastWriteTime)
    {
        *pftLastWrite = *m_lastWriteTime;
        return ERROR_SUCCESS;
    }
    return CRegistryApi::QueryLastWriteTime(hKey, pftLastWrite);
}

void StoredLayoutTest::SetUp()
{
    RemoveStoredLayout(Scope::AllUsers);
    RemoveStoredLayout(Scope::CurrentUser);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, s_szProfileRoot);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, s_szProfileRoot);
    ForgetRestartPending();
}

void StoredLayoutTest::TearDown()
{
    SetUp();
}

void PerScopeTest::SetUp()
{
    StoredLayoutTest::SetUp();
    if (GetParam() == Scope::CurrentUser)
        StoreScopeSetting(0);
}
