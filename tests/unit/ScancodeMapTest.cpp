// The "Scancode Map" byte format: what a stored value decodes to, and what a save writes.
#include <gtest/gtest.h>

#include <vector>

#include "layout/ScancodeMap.h"

namespace
{
using Bytes = std::vector<uint8_t>;
using Mappings = std::vector<std::pair<uint16_t, uint16_t>>;  // (target, source)

Bytes Value(uint32_t nCount, const Bytes& entries, uint32_t nVersion = 0, uint32_t nFlags = 0)
{
    Bytes bytes;
    for (uint32_t n : { nVersion, nFlags, nCount })
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(n >> shift));
    bytes.insert(bytes.end(), entries.begin(), entries.end());
    return bytes;
}

Mappings Decode(const Bytes& value)
{
    Mappings mappings;
    const size_t n = CScancodeMap::CountMappings(value.data(), value.size());
    for (size_t k = 0; k < n; ++k)
    {
        const ScancodeMapping m = CScancodeMap::MappingAt(value.data(), k);
        mappings.emplace_back(m.nTarget, m.nSource);
    }
    return mappings;
}

Bytes Encode(const Mappings& mappings)
{
    Bytes value(CScancodeMap::EncodedSize(mappings.size()), 0xCC);
    CScancodeMap::BeginEncoding(value.data(), mappings.size());
    for (size_t k = 0; k < mappings.size(); ++k)
        CScancodeMap::PutMapping(value.data(), k, ScancodeMapping{ mappings[k].first, mappings[k].second });
    return value;
}

// Left Windows and Caps Lock switched off, as a save writes them.
const Bytes kTwoKeys = Value(3, { 0, 0, 0x5B, 0xE0, 0, 0, 0x3A, 0x00, 0, 0, 0, 0 });

struct DecodeCase
{
    const char* pszName;
    Bytes value;
    Mappings expected;
};

void PrintTo(const DecodeCase& decodeCase, std::ostream* pStream)
{
    *pStream << decodeCase.pszName;
}

class ScancodeMapDecode : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(ScancodeMapDecode, YieldsTheWholeMappingsThatAreThere)
{
    EXPECT_EQ(GetParam().expected, Decode(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, ScancodeMapDecode,
    testing::Values(
        DecodeCase{ "Empty", {}, {} },
        DecodeCase{ "ShorterThanHeader", Bytes(11, 0xFF), {} },
        DecodeCase{ "CountZero", Value(0, { 0, 0, 0x3A, 0, 0, 0, 0, 0 }), {} },
        DecodeCase{ "CountOne", Value(1, { 0, 0, 0, 0 }), {} },
        DecodeCase{ "TwoKeys", kTwoKeys, { { 0, 0xE05B }, { 0, 0x003A } } },
        DecodeCase{ "HeaderIgnored", Value(2, { 0, 0, 0x1D, 0, 0, 0, 0, 0 }, 7, 9), { { 0, 0x001D } } },
        DecodeCase{ "RemapKeepsTarget", Value(2, { 0x1D, 0, 0x3A, 0, 0, 0, 0, 0 }), { { 0x001D, 0x003A } } },
        DecodeCase{ "NoTerminatorStillReadsCount", Value(2, { 0, 0, 0x3A, 0 }), { { 0, 0x003A } } },
        DecodeCase{ "CountBelowEntriesIsBelieved", Value(2, { 0, 0, 0x3A, 0, 0, 0, 0x1D, 0, 0, 0, 0, 0 }), { { 0, 0x003A } } },
        DecodeCase{ "CountAboveDataStopsAtTerminator", Value(50, { 0, 0, 0x3A, 0, 0, 0, 0, 0, 0, 0, 0x1D, 0 }), { { 0, 0x003A } } },
        DecodeCase{ "CountAboveDataStopsAtLastWholeEntry", Value(50, { 0, 0, 0x3A, 0, 0, 0, 0x1D, 0, 0, 0 }),
                    { { 0, 0x003A }, { 0, 0x001D } } },
        DecodeCase{ "HugeCount", Value(0xFFFFFFFF, { 0, 0, 0x5C, 0xE0 }), { { 0, 0xE05C } } },
        DecodeCase{ "HeaderOnlyWithCount", Value(3, {}), {} }),
    [](const testing::TestParamInfo<DecodeCase>& testInfo) { return std::string(testInfo.param.pszName); });

TEST(ScancodeMapEncode, WritesAWellFormedValue)
{
    EXPECT_EQ(kTwoKeys, Encode({ { 0, 0xE05B }, { 0, 0x003A } }));
    EXPECT_EQ(Value(1, { 0, 0, 0, 0 }), Encode({}));

    const Bytes four = Encode({ { 0, 0xE05B }, { 0, 0xE05C }, { 0, 0x003A }, { 0, 0x001D } });
    ASSERT_EQ(32u, four.size());
    EXPECT_EQ(5, four[8]);
}

TEST(ScancodeMapEncode, RoundTripsTargetsSourcesAndOrder)
{
    const Mappings mappings = { { 0x001D, 0x003A }, { 0, 0xE01D }, { 0xE038, 0x0038 }, { 0, 0xE15B }, { 0, 0x001D } };
    EXPECT_EQ(mappings, Decode(Encode(mappings)));
}

TEST(ScancodeMapEncode, LargeValuesRoundTrip)
{
    Mappings mappings;
    for (uint32_t n = 1; n <= 600; ++n)
        mappings.emplace_back(static_cast<uint16_t>(n * 7), static_cast<uint16_t>(n));
    const Bytes value = Encode(mappings);
    EXPECT_EQ(16u + 4u * 600u, value.size());
    EXPECT_EQ(mappings, Decode(value));
}
}  // namespace
