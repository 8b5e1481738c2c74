// The framework's strings and the insertion-ordered map the stored layout relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/afxwin.h"
#include "res/resource.h"

namespace
{
std::vector<std::wstring> KeysInOrder(const CMapStringToString& map)
{
    std::vector<std::wstring> keys;
    CString strKey, strValue;
    for (POSITION pos = map.GetStartPosition(); pos != nullptr;)
    {
        map.GetNextAssoc(pos, strKey, strValue);
        keys.emplace_back(strKey.GetString());
    }
    return keys;
}

TEST(CMapStringToString, VisitsEntriesInTheOrderTheyWereFirstAdded)
{
    CMapStringToString map(10);
    map[L"58"] = L"0";
    map[L"57435"] = L"0";
    map[L"29"] = L"0";
    map[L"58"] = L"29";  // replaced in place
    EXPECT_EQ((std::vector<std::wstring>{ L"58", L"57435", L"29" }), KeysInOrder(map));

    EXPECT_TRUE(map.RemoveKey(L"57435"));
    EXPECT_FALSE(map.RemoveKey(L"57435"));
    map[L"57435"] = L"0";  // back, now last
    EXPECT_EQ((std::vector<std::wstring>{ L"58", L"29", L"57435" }), KeysInOrder(map));

    CString strValue;
    ASSERT_TRUE(map.Lookup(L"58", strValue));
    EXPECT_EQ(L"29", std::wstring(strValue));
    EXPECT_FALSE(map.Lookup(L"5", strValue));
    EXPECT_EQ(3, map.GetCount());
}

TEST(CMapStringToString, KeepsOrderAndEntriesThroughGrowthAndRemovals)
{
    CMapStringToString map(10);
    std::vector<std::wstring> expected;
    for (int n = 0; n < 1000; ++n)
    {
        CString strKey;
        strKey.Format(L"%d", n * 7919 % 65536);
        map[strKey] = strKey;
        expected.emplace_back(strKey.GetString());
    }
    for (int n = 0; n < 1000; n += 3)
        EXPECT_TRUE(map.RemoveKey(expected[n].c_str()));
    std::vector<std::wstring> remaining;
    for (int n = 0; n < 1000; ++n)
        if (n % 3 != 0)
            remaining.push_back(expected[n]);
    EXPECT_EQ(remaining, KeysInOrder(map));
    EXPECT_EQ(static_cast<INT_PTR>(remaining.size()), map.GetCount());

    map.RemoveAll();
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_EQ(nullptr, map.GetStartPosition());
    map[L"1"] = L"2";
    EXPECT_EQ(std::vector<std::wstring>{ L"1" }, KeysInOrder(map));
}

TEST(CString, FormatsLoadsAndAppends)
{
    CString str;
    str.Format(L"%d|%u|%s", -15, 57435u, L"x");
    EXPECT_EQ(L"-15|57435|x", std::wstring(str));

    str.Format(L"%s", std::wstring(5000, L'a').c_str());
    EXPECT_EQ(5000, str.GetLength());

    EXPECT_TRUE(str.LoadString(IDS_ABOUTBOX));
    EXPECT_EQ(L"&About Morvex Disabler...", std::wstring(str));
    EXPECT_FALSE(str.LoadString(4242));
    EXPECT_TRUE(str.IsEmpty());

    CString strCopy(L"Morvex");
    strCopy += L" Disabler";
    CString strOther = strCopy;
    strCopy = L"";
    EXPECT_EQ(L"Morvex Disabler", std::wstring(strOther));
    EXPECT_TRUE(strCopy.IsEmpty());
}

TEST(CDialog, DoModalIsMinusOneWhenTheDialogCannotBeCreated)
{
    CDialog dlg(4242);
    EXPECT_EQ(-1, dlg.DoModal());
}

TEST(CWinApp, TakesItsNameFromTheTitleString)
{
    EXPECT_STREQ(L"Morvex Disabler by MorvexSoft", AfxGetApp()->m_pszAppName);
}
}  // namespace
