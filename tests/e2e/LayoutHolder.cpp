// Keeps the keyboard layout's turn, as another copy of the program in the middle of its edit would, until its standard input closes.
#include <windows.h>

#include <sddl.h>
#include <stdio.h>

int wmain()
{
    // The copies' own name and security: the program waits for a turn held so, and does not
    // take the object for a user's trap.
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1, &pDescriptor,
                                                                nullptr))
        return 1;
    SECURITY_ATTRIBUTES access = { sizeof(access), pDescriptor, FALSE };
    const HANDLE hMutex = ::CreateMutexW(&access, TRUE, L"Global\\MorvexDisabler.KeyboardLayout");
    if (hMutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return 1;
    // The test starts the program only once the turn is held.
    fputs("held\n", stdout);
    fflush(stdout);
    char buffer[64];
    DWORD cbRead = 0;
    while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &cbRead, nullptr) && cbRead > 0)
    {
    }
    ::ReleaseMutex(hMutex);
    ::CloseHandle(hMutex);
    ::LocalFree(pDescriptor);
    return 0;
}
