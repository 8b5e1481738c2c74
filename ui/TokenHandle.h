// CTokenHandle: owns an access token's handle for as long as it lives.
#pragma once

#include <windows.h>

class CTokenHandle
{
public:
    CTokenHandle() = default;
    ~CTokenHandle()
    {
        if (m_hToken != nullptr)
            ::CloseHandle(m_hToken);
    }
    CTokenHandle(const CTokenHandle&) = delete;
    CTokenHandle& operator=(const CTokenHandle&) = delete;

    HANDLE m_hToken = nullptr;
};
