// CAtlFile: the one owner of a file handle, opened with CreateFileW's own choices.
#pragma once

#include <windows.h>

class CAtlFile
{
public:
    CAtlFile() = default;
    ~CAtlFile() { Close(); }
    CAtlFile(const CAtlFile&) = delete;
    CAtlFile& operator=(const CAtlFile&) = delete;

    // CreateFileW's parameters; S_OK, or the failure as an HRESULT of its Win32 error. A file that
    // was open before is closed first, whatever the result.
    HRESULT Create(LPCWSTR pszFilename, DWORD dwDesiredAccess, DWORD dwShareMode, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes = FILE_ATTRIBUTE_NORMAL, LPSECURITY_ATTRIBUTES lpsa = nullptr,
                   HANDLE hTemplateFile = nullptr);
    // One WriteFile of the whole buffer.
    HRESULT Write(LPCVOID pBuffer, DWORD nBufSize, DWORD* pnBytesWritten = nullptr);
    void Close();

    operator HANDLE() const { return m_h; }

    HANDLE m_h = nullptr;  // null while no file is open, never INVALID_HANDLE_VALUE
};
