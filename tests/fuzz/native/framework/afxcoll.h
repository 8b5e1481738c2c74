// CByteArray for the native fuzz targets.
#pragma once

#include <vector>

#include "framework/afxstr.h"

class CByteArray
{
public:
    void SetSize(INT_PTR nNewSize) { m_bytes.resize(static_cast<size_t>(nNewSize)); }
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_bytes.size()); }
    BYTE* GetData() { return m_bytes.data(); }
    const BYTE* GetData() const { return m_bytes.data(); }

private:
    std::vector<BYTE> m_bytes;
};
