// libFuzzer target: any bytes as a stored "Scancode Map", through the disabled-key map and back to bytes.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <bitset>

#include "tests/fuzz/RoundTripProperties.h"

namespace
{
// CDisabledKeyMap keeps its entries in a CMapStringToString, which needs Win32; this is the same map
// natively: one entry per full source word in the order first added, a source set again keeps its
// place. tests/win/FuzzCorpusReplayTest.cpp holds the real map to the same properties.
struct ModelMap
{
    struct Map
    {
        std::vector<ScancodeMapping> entries;
        std::bitset<0x10000> everSet;  // spares the search for a source never set: values run to 1000 mappings
    };

    static void Set(Map& map, uint16_t nSource, uint16_t nTarget)
    {
        for (size_t k = 0; map.everSet[nSource] && k < map.entries.size(); ++k)
        {
            if (map.entries[k].nSource == nSource)
            {
                map.entries[k].nTarget = nTarget;
                return;
            }
        }
        map.entries.push_back(ScancodeMapping{ nTarget, nSource });
        map.everSet[nSource] = true;
    }

    static void Load(Map& map, const uint8_t* pData, size_t cbData)
    {
        const size_t nMappings = CScancodeMap::CountMappings(pData, cbData);
        map.entries.reserve(nMappings);
        for (size_t k = 0; k < nMappings; ++k)
        {
            const ScancodeMapping mapping = CScancodeMap::MappingAt(pData, k);
            Set(map, mapping.nSource, mapping.nTarget);
        }
    }

    static roundtrip::Bytes Encode(const Map& map)
    {
        const size_t nMappings = map.entries.size();
        roundtrip::Bytes value(CScancodeMap::EncodedSize(nMappings), 0xCC);
        CScancodeMap::BeginEncoding(value.data(), nMappings);
        for (size_t k = 0; k < nMappings; ++k)
            CScancodeMap::PutMapping(value.data(), k, map.entries[k]);
        return value;
    }

    static void SetKeyDisabled(Map& map, const DisableableKey& key, bool bDisabled)
    {
        if (bDisabled)
            Set(map, key.Source(), 0);
        else
            map.entries.erase(std::remove_if(map.entries.begin(), map.entries.end(),
                                             [&](const ScancodeMapping& mapping) { return mapping.nSource == key.Source(); }),
                              map.entries.end());
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t cbData)
{
    const std::string error = roundtrip::CheckStoredValue<ModelMap>(pData, cbData);
    if (!error.empty())
    {
        fprintf(stderr, "Scancode Map property broken: %s\n", error.c_str());
        abort();
    }
    return 0;
}
