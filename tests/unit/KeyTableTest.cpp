// The four keys as the scan-code map stores their sources.
#include <gtest/gtest.h>

#include "layout/KeyTable.h"

TEST(KeyTable, SourcesCarryThePrefixInTheHighByte)
{
    const uint16_t expected[] = { 0xE05B, 0xE05C, 0x003A, 0x001D };
    ASSERT_EQ(CKeyTable::kCount, std::size(expected));
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        SCOPED_TRACE(nRow);
        EXPECT_EQ(expected[nRow], CKeyTable::At(nRow).Source());
    }
}
