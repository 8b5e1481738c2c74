#include "atlfile.h"

namespace
{
HRESULT LastErrorResult()
{
    const DWORD dwError = ::GetLastError();
    return dwError != ERROR_SUCCESS ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
}
}  // namespace

HRESULT CAtlFile::Create(LPCWSTR pszFilename, DWORD dwDesiredAccess, DWORD dwShareMode, DWORD dwCreationDisposition,
                         DWORD dwFlagsAndAttributes, LPSECURITY_ATTRIBUTES lpsa, HANDLE hTemplateFile)
{
    Close();
    const HANDLE hFile =
        ::CreateFileW(pszFilename, dwDesiredAccess, dwShareMode, lpsa, dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
    if (hFile == INVALID_HANDLE_VALUE)
        return LastErrorResult();
    m_h = hFile;
    return S_OK;
}

HRESULT CAtlFile::Write(LPCVOID pBuffer, DWORD nBufSize, DWORD* pnBytesWritten)
{
    DWORD nWritten = 0;
    const BOOL bWritten = ::WriteFile(m_h, pBuffer, nBufSize, &nWritten, nullptr);
    if (pnBytesWritten != nullptr)
        *pnBytesWritten = nWritten;
    return bWritten ? S_OK : LastErrorResult();
}

void CAtlFile::Close()
{
    if (m_h != nullptr)
        ::CloseHandle(m_h);
    m_h = nullptr;
}
