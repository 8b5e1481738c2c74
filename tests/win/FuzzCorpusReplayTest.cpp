// The fuzzer's seed corpus replayed through the real disabled-key map, held to the fuzzer's properties.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "layout/LayoutStore.h"
#include "tests/fuzz/RoundTripProperties.h"

namespace
{
// The fuzzer runs natively against a model of this map; these calls are the ones the dialog makes.
struct RealMap
{
    using Map = CMapStringToString;

    static void Load(Map& map, const uint8_t* pData, size_t cbData) { CDisabledKeyMap::Load(map, pData, cbData); }

    static roundtrip::Bytes Encode(const Map& map)
    {
        CByteArray value;
        CDisabledKeyMap::Encode(map, value);
        return roundtrip::Bytes(value.GetData(), value.GetData() + value.GetSize());
    }

    static void SetKeyDisabled(Map& map, const DisableableKey& key, bool bDisabled)
    {
        CString strKeyText;
        CDisabledKeyMap::SetKeyDisabled(map, key, bDisabled ? TRUE : FALSE, strKeyText);
    }
};

// tests/fuzz/corpus as Wine sees it, from the build; the Win32 calls want backslashes.
std::wstring CorpusDirectory()
{
    std::wstring strDir = L"" MORVEX_FUZZ_CORPUS;
    for (wchar_t& ch : strDir)
    {
        if (ch == L'/')
            ch = L'\\';
    }
    return strDir;
}

std::vector<std::wstring> FilesIn(const std::wstring& strDir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE hFind = ::FindFirstFileW((strDir + L"\\*").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(found.cFileName);
    } while (::FindNextFileW(hFind, &found));
    ::FindClose(hFind);
    return names;
}

bool ReadSeed(const std::wstring& strPath, roundtrip::Bytes& bytes)
{
    FILE* pFile = _wfopen(strPath.c_str(), L"rb");
    if (pFile == nullptr)
        return false;
    bytes.clear();
    uint8_t buffer[4096];
    size_t cbRead;
    while ((cbRead = fread(buffer, 1, sizeof buffer, pFile)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + cbRead);
    fclose(pFile);
    return true;
}

TEST(FuzzCorpusReplay, EverySeedKeepsTheRoundTripPropertiesThroughTheRealMap)
{
    const std::wstring strDir = CorpusDirectory();
    const std::vector<std::wstring> names = FilesIn(strDir);
    // The corpus has a score of seeds; a handful would mean the wrong folder.
    ASSERT_GE(names.size(), 20u) << "too few seeds in the corpus folder";

    for (const std::wstring& strName : names)
    {
        SCOPED_TRACE(std::string(strName.begin(), strName.end()));
        roundtrip::Bytes value;
        ASSERT_TRUE(ReadSeed(strDir + L"\\" + strName, value));
        // An empty file stands for an empty value: hand the map no pointer into nothing.
        EXPECT_EQ("", roundtrip::CheckStoredValue<RealMap>(value.empty() ? nullptr : value.data(), value.size()));
    }
}
}  // namespace
