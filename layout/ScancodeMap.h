// The byte format of the "Scancode Map" registry value, free of Win32 so it builds and tests natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One remapping: the key that sends Source now sends Target. A source or target is a set-1 scan
// code with its prefix in the high byte (0xE05B is the Left Windows key); target 0 means "nothing".
struct ScancodeMapping
{
    uint16_t nTarget;
    uint16_t nSource;
};

// Layout: 4 bytes version, 4 bytes flags, 4 bytes entry count (mappings + 1), then one 4-byte entry
// per mapping (target word, source word; little-endian) and a terminating all-zero entry.
class CScancodeMap
{
public:
    static constexpr size_t kHeaderSize = 12;
    static constexpr size_t kEntrySize = 4;

    // How many mappings a stored value holds that can be read whole. The count field is believed
    // only as far as the data goes: a value that promises more mappings than it holds yields the
    // whole ones there are, up to its first all-zero (terminating) entry.
    static size_t CountMappings(const uint8_t* pData, size_t cbData);
    // Mapping k of a value; k must be below CountMappings.
    static ScancodeMapping MappingAt(const uint8_t* pData, size_t k);

    // Size of a well-formed value with this many mappings: header, mappings, terminator.
    static size_t EncodedSize(size_t nMappings);
    // Starts a well-formed value in a buffer of EncodedSize(nMappings) bytes: zero header and
    // terminator, count field nMappings + 1, every mapping zero until PutMapping fills it.
    static void BeginEncoding(uint8_t* pOut, size_t nMappings);
    static void PutMapping(uint8_t* pOut, size_t k, ScancodeMapping mapping);
};
