// What any stored "Scancode Map" must keep through the disabled-key map and back to bytes, for any map.
#pragma once

// Written once and run twice: natively by the fuzzer against its model of the map, and under Wine
// against the real CDisabledKeyMap over the committed seed corpus, so the model cannot drift.

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <array>
#include <bitset>
#include <string>
#include <vector>

#include "layout/KeyTable.h"
#include "layout/ScancodeMap.h"

namespace roundtrip
{
using Bytes = std::vector<uint8_t>;
// One mapping as it is stored: target word, then source word, both little-endian.
using Entry = std::array<uint8_t, 4>;
using Entries = std::vector<Entry>;

inline uint32_t ReadU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline uint16_t TargetOf(const Entry& entry)
{
    return static_cast<uint16_t>(entry[0] | entry[1] << 8);
}

inline uint16_t SourceOf(const Entry& entry)
{
    return static_cast<uint16_t>(entry[2] | entry[3] << 8);
}

inline std::string Hex(const Entries& entries)
{
    // Source>target in hex; a value of a thousand mappings is cut short to keep reports readable.
    std::string text = "[";
    char sz[16];
    for (size_t k = 0; k < entries.size() && k < 24; ++k)
    {
        snprintf(sz, sizeof sz, " %04X>%04X", static_cast<unsigned>(SourceOf(entries[k])), static_cast<unsigned>(TargetOf(entries[k])));
        text += sz;
    }
    return text + (entries.size() > 24 ? " ... " + std::to_string(entries.size()) + " in all ]" : " ]");
}

// The stored mappings of a value. Fails when the decoder would read past the value's end, or
// disagrees with the count rule: the count is believed while the data holds that many whole
// entries; past that, the whole entries up to the first all-zero one count.
inline std::string Decode(const uint8_t* pData, size_t cbData, Entries& entries)
{
    entries.clear();
    const size_t nMappings = CScancodeMap::CountMappings(pData, cbData);
    if (cbData < CScancodeMap::kHeaderSize)
        return nMappings == 0 ? std::string() : "mappings found in a value shorter than its header";

    const size_t nWhole = (cbData - CScancodeMap::kHeaderSize) / CScancodeMap::kEntrySize;
    if (nMappings > nWhole)
        return "decoding " + std::to_string(nMappings) + " mappings reads past the " + std::to_string(nWhole) + " whole entries";
    const uint32_t nCount = ReadU32(pData + 8);
    const bool bCountFits = nCount > 0 && nCount - 1 <= nWhole;
    if (nCount == 0 && nMappings != 0)
        return "count 0 decodes to mappings";
    if (bCountFits && nMappings != nCount - 1)
        return "count " + std::to_string(nCount) + " fits the data but decodes to " + std::to_string(nMappings) + " mappings";

    entries.reserve(nMappings);
    for (size_t k = 0; k < nMappings; ++k)
    {
        Entry entry;
        memcpy(entry.data(), pData + CScancodeMap::kHeaderSize + k * CScancodeMap::kEntrySize, entry.size());
        const ScancodeMapping mapping = CScancodeMap::MappingAt(pData, k);
        if (mapping.nTarget != TargetOf(entry) || mapping.nSource != SourceOf(entry))
            return "mapping " + std::to_string(k) + " is not decoded from its own bytes";
        if (!bCountFits && nCount > 0 && ReadU32(entry.data()) == 0)
            return "an overstated count reads past the terminator";
        entries.push_back(entry);
    }
    if (!bCountFits && nCount > 0 && nMappings < nWhole &&
        ReadU32(pData + CScancodeMap::kHeaderSize + nMappings * CScancodeMap::kEntrySize) != 0)
        return "an overstated count stops before the terminator or the last whole entry";
    return std::string();
}

// A save's value: zero version and flags, count N + 1, N mappings, an all-zero terminator, 16 + 4N
// bytes. Its mappings come back in entries.
inline std::string DecodeWellFormed(const Bytes& value, Entries& entries)
{
    entries.clear();
    const size_t cb = value.size();
    if (cb < 16 || (cb - 16) % 4 != 0)
        return "saved value of " + std::to_string(cb) + " bytes is not 16 + 4N";
    const size_t nMappings = (cb - 16) / 4;
    if (ReadU32(value.data()) != 0 || ReadU32(value.data() + 4) != 0)
        return "saved version or flags are not zero";
    if (ReadU32(value.data() + 8) != nMappings + 1)
        return "saved count is not the number of mappings + 1";
    if (ReadU32(value.data() + cb - 4) != 0)
        return "saved value has no zero terminator";
    const std::string error = Decode(value.data(), cb, entries);
    if (!error.empty())
        return "saved value: " + error;
    return entries.size() == nMappings ? std::string() : "saved value does not decode to its own count";
}

inline size_t CountOf(const Entries& entries, uint16_t nSource)
{
    size_t n = 0;
    for (const Entry& entry : entries)
        n += SourceOf(entry) == nSource ? 1 : 0;
    return n;
}

inline Entries Without(Entries entries, uint16_t nSource)
{
    Entries kept;
    kept.reserve(entries.size());
    for (const Entry& entry : entries)
    {
        if (SourceOf(entry) != nSource)
            kept.push_back(entry);
    }
    return kept;
}

// The map has one entry per source: a source stored twice keeps the place of its first mapping and
// the target of its last, as the keyboard driver, which reads the mappings in order, ends up with.
inline Entries Collapsed(const Entries& stored)
{
    Entries collapsed;
    collapsed.reserve(stored.size());
    std::bitset<0x10000> seen;  // spares the search for a source met the first time
    for (const Entry& entry : stored)
    {
        Entry* pSame = nullptr;
        for (size_t k = 0; seen[SourceOf(entry)] && pSame == nullptr && k < collapsed.size(); ++k)
        {
            if (SourceOf(collapsed[k]) == SourceOf(entry))
                pSame = &collapsed[k];
        }
        if (pSame != nullptr)
            *pSame = entry;
        else
            collapsed.push_back(entry);
        seen[SourceOf(entry)] = true;
    }
    return collapsed;
}

// One tick or clear of the key with this source, seen through the saved values before and after.
inline std::string CheckToggle(const Entries& before, const Entries& after, uint16_t nSource, bool bDisabled)
{
    if (Without(after, nSource) != Without(before, nSource))
        return "other mappings changed: " + Hex(before) + " became " + Hex(after);
    if (!bDisabled)
        return CountOf(after, nSource) == 0 ? std::string() : "a cleared key is still mapped";
    if (CountOf(after, nSource) != 1)
        return "a ticked key is not mapped exactly once";
    size_t nAt = 0;
    while (SourceOf(after[nAt]) != nSource)
        ++nAt;
    if (TargetOf(after[nAt]) != 0)
        return "a ticked key is still mapped to a key";
    size_t nWas = 0;
    while (nWas < before.size() && SourceOf(before[nWas]) != nSource)
        ++nWas;
    if (nWas < before.size() ? nAt != nWas : nAt + 1 != after.size())
        return "a ticked key is neither in its old place nor last: " + Hex(after);
    return std::string();
}

// Holds a map to every property for one stored value; the first one broken is described, else
// nothing. Ops gives: a default-constructible Map; Load(Map&, const uint8_t*, size_t);
// Encode(const Map&) returning Bytes; SetKeyDisabled(Map&, const DisableableKey&, bool).
template <class Ops>
std::string CheckStoredValue(const uint8_t* pData, size_t cbData)
{
    Entries stored;
    std::string error = Decode(pData, cbData, stored);
    if (!error.empty())
        return "stored value: " + error;
    const Entries loaded = Collapsed(stored);

    // Unchanged, every mapping is saved byte for byte and in order, and saving that again is a no-op.
    {
        typename Ops::Map map;
        Ops::Load(map, pData, cbData);
        const Bytes saved = Ops::Encode(map);
        Entries entries;
        error = DecodeWellFormed(saved, entries);
        if (!error.empty())
            return "unchanged: " + error;
        if (entries != loaded)
            return "unchanged: stored " + Hex(stored) + " saved as " + Hex(entries);

        typename Ops::Map reloaded;
        Ops::Load(reloaded, saved.data(), saved.size());
        if (Ops::Encode(reloaded) != saved)
            return "saving a saved value changes it";
    }

    // A key ticked and cleared, or cleared and ticked, changes nothing but its own entry.
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        const DisableableKey& key = CKeyTable::At(nRow);
        for (bool bTickFirst : { true, false })
        {
            typename Ops::Map map;
            Ops::Load(map, pData, cbData);
            Entries before = loaded;
            for (bool bDisabled : { bTickFirst, !bTickFirst })
            {
                Ops::SetKeyDisabled(map, key, bDisabled);
                Entries after;
                error = DecodeWellFormed(Ops::Encode(map), after);
                if (error.empty())
                    error = CheckToggle(before, after, key.Source(), bDisabled);
                if (!error.empty())
                    return "key " + std::to_string(nRow) + (bDisabled ? " ticked: " : " cleared: ") + error;
                before = after;
            }
            if (Without(before, key.Source()) != Without(loaded, key.Source()))
                return "key " + std::to_string(nRow) + " toggled twice changed other mappings";
        }
    }
    return std::string();
}
}  // namespace roundtrip
