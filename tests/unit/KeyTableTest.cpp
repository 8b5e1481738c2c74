// The four keys as the scan-code map stores their sources.
#include <gtest/gtest.h>

#include "layout/KeyTable.h"
#include "res/resource.h"

TEST(KeyTable, SourcesCarryThePrefixInTheHighByte)
{
    const struct { int nControlId; uint16_t nSource; } expected[] = {
        { IDC_LEFT_WINDOWS_KEY, 0xE05B },
        { IDC_RIGHT_WINDOWS_KEY, 0xE05C },
        { IDC_CAPS_LOCK_KEY, 0x003A },
        { IDC_LEFT_CTRL_KEY, 0x001D },
    };
    ASSERT_EQ(CKeyTable::kCount, std::size(expected));
    for (size_t nRow = 0; nRow < CKeyTable::kCount; ++nRow)
    {
        SCOPED_TRACE(nRow);
        EXPECT_EQ(expected[nRow].nControlId, CKeyTable::At(nRow).nControlId);
        EXPECT_EQ(expected[nRow].nSource, CKeyTable::At(nRow).Source());
    }
}
