#include "ScancodeMap.h"

#include <string.h>

namespace
{
uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void WriteU16(uint8_t* p, uint16_t n)
{
    p[0] = static_cast<uint8_t>(n);
    p[1] = static_cast<uint8_t>(n >> 8);
}

void WriteU32(uint8_t* p, uint32_t n)
{
    WriteU16(p, static_cast<uint16_t>(n));
    WriteU16(p + 2, static_cast<uint16_t>(n >> 16));
}

const uint8_t* EntryAt(const uint8_t* pData, size_t k)
{
    return pData + CScancodeMap::kHeaderSize + k * CScancodeMap::kEntrySize;
}
}  // namespace

size_t CScancodeMap::CountMappings(const uint8_t* pData, size_t cbData)
{
    if (pData == nullptr || cbData < kHeaderSize)
        return 0;
    const uint32_t nCount = ReadU32(pData + 8);
    const size_t nPromised = nCount > 0 ? nCount - 1 : 0;
    const size_t nWhole = (cbData - kHeaderSize) / kEntrySize;
    if (nPromised <= nWhole)
        return nPromised;

    // The count overstates the data: its terminator, if it has one, is among the whole entries.
    for (size_t k = 0; k < nWhole; ++k)
    {
        if (ReadU32(EntryAt(pData, k)) == 0)
            return k;
    }
    return nWhole;
}

ScancodeMapping CScancodeMap::MappingAt(const uint8_t* pData, size_t k)
{
    const uint8_t* pEntry = EntryAt(pData, k);
    return ScancodeMapping{ ReadU16(pEntry), ReadU16(pEntry + 2) };
}

size_t CScancodeMap::EncodedSize(size_t nMappings)
{
    return kHeaderSize + (nMappings + 1) * kEntrySize;
}

void CScancodeMap::BeginEncoding(uint8_t* pOut, size_t nMappings)
{
    memset(pOut, 0, EncodedSize(nMappings));
    WriteU32(pOut + 8, static_cast<uint32_t>(nMappings + 1));
}

void CScancodeMap::PutMapping(uint8_t* pOut, size_t k, ScancodeMapping mapping)
{
    uint8_t* pEntry = pOut + kHeaderSize + k * kEntrySize;
    WriteU16(pEntry, mapping.nTarget);
    WriteU16(pEntry + 2, mapping.nSource);
}
