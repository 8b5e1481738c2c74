// The shipped programs as the Windows loader sees them: mitigations, imports, DLL search guard, size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

#include "PeImage.h"

namespace
{
struct Program
{
    const char* arch;  // the folder under the dist and build roots
    const char* file;  // in the dist folder
    const char* map;   // its link map, in the build folder
    uint16_t subsystem;
    uint16_t machine;
    int relocationType;  // of an absolute address: HIGHLOW (3) or DIR64 (10)
    bool highEntropy;
    bool noSeh;  // x86 only: the image holds no SEH handler, so none inside it may be called
};

// Names the case in test lists instead of dumping its bytes.
void PrintTo(const Program& program, std::ostream* pStream)
{
    *pStream << program.arch << "/" << program.file;
}

constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsConsole = 3;
// The dialog program, and the console program beside it that prompts and scripts wait for.
const Program kPrograms[] = {
    { "x86", "MorvexDisabler.exe", "MorvexDisabler.map", kSubsystemWindowsGui, 0x014C, 3, false, true },
    { "x64", "MorvexDisabler.exe", "MorvexDisabler.map", kSubsystemWindowsGui, 0x8664, 10, true, false },
    { "x86", "MorvexDisabler.com", "MorvexDisablerConsole.map", kSubsystemWindowsConsole, 0x014C, 3, false, true },
    { "x64", "MorvexDisabler.com", "MorvexDisablerConsole.map", kSubsystemWindowsConsole, 0x8664, 10, true, false },
};

constexpr uint16_t kRelocsStripped = 0x0001;
constexpr uint16_t kHighEntropyVa = 0x0020;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr uint16_t kNxCompat = 0x0100;
constexpr uint16_t kNoSeh = 0x0400;
constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionWrite = 0x80000000;
constexpr uint16_t kTerminalServerAware = 0x8000;
// Windows 7: the programs import GetTickCount64, and an older version makes Windows treat them as
// programs from before Vista.
const std::pair<uint16_t, uint16_t> kWindows7 = { 6, 1 };

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class ProgramImage : public testing::TestWithParam<Program>
{
protected:
    void SetUp() override
    {
        const std::string path = std::string(MORVEX_DIST_ROOT) + "/" + GetParam().arch + "/" + GetParam().file;
        ASSERT_NO_THROW(m_image = std::make_unique<PeImage>(PeImage::Load(path))) << path;
    }

    // The link map the build leaves in the program's build folder.
    std::string LinkMap() const
    {
        const std::string path = std::string(MORVEX_BUILD_ROOT) + "/" + GetParam().arch + "/" + GetParam().map;
        std::ifstream file(path);
        EXPECT_TRUE(file) << "no link map at " << path;
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    const PeImage& Image() const { return *m_image; }

private:
    std::unique_ptr<PeImage> m_image;
};

// A console program is what cmd and PowerShell wait for, with a console of its own when started
// from Explorer; the dialog program must not open one.
TEST_P(ProgramImage, IsForItsSubsystemMachineAndWindows7)
{
    EXPECT_EQ(GetParam().machine, Image().Machine());
    EXPECT_EQ(GetParam().machine == 0x8664, Image().Is64());
    EXPECT_EQ(GetParam().subsystem, Image().Subsystem());
    EXPECT_EQ(kWindows7, Image().SubsystemVersion());
    EXPECT_EQ(kWindows7, Image().OsVersion());
    EXPECT_TRUE(Image().DllCharacteristics() & kTerminalServerAware);
}

TEST_P(ProgramImage, RequestsTheLoadersExploitMitigations)
{
    const uint16_t flags = Image().DllCharacteristics();
    EXPECT_TRUE(flags & kDynamicBase);
    EXPECT_TRUE(flags & kNxCompat);
    EXPECT_EQ(GetParam().highEntropy, (flags & kHighEntropyVa) != 0);
    EXPECT_EQ(GetParam().noSeh, (flags & kNoSeh) != 0);

    // A relocatable image needs its relocations: without them the loader cannot move it after all.
    EXPECT_FALSE(Image().Characteristics() & kRelocsStripped);
    EXPECT_NE(0u, Image().Directory(PeImage::kBaseRelocationDirectory).size);
    const std::vector<int> types = Image().RelocationTypes();
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), GetParam().relocationType));
    for (int type : types)
        EXPECT_TRUE(type == 0 || type == GetParam().relocationType) << "relocation type " << type;
}

TEST_P(ProgramImage, HasNoSectionBothWritableAndExecutable)
{
    for (const PeSection& section : Image().Sections())
    {
        EXPECT_FALSE((section.characteristics & kSectionWrite) && (section.characteristics & kSectionExecute))
            << section.name << " is writable and executable";
    }
}

// Everything else is linked in: a C++ or threads run-time DLL, or an api-ms-win-* set, would be
// missing on a clean machine, and could be planted beside the program.
TEST_P(ProgramImage, ImportsOnlyFromWindowsSystemDlls)
{
    static const std::set<std::string> s_allowed = { "kernel32.dll", "user32.dll",   "gdi32.dll", "advapi32.dll",
                                                     "shell32.dll",  "comctl32.dll", "msvcrt.dll" };
    const std::vector<std::string> dlls = Image().ImportedDlls();
    EXPECT_FALSE(dlls.empty());
    for (const std::string& dll : dlls)
        EXPECT_TRUE(s_allowed.count(Lower(dll)) != 0) << dll << " is not one of Windows' own DLLs";
    EXPECT_EQ(std::vector<std::string>(), Image().DelayImportedDlls());
}

TEST_P(ProgramImage, HeaderHoldsNoLinkTimeAndATrueChecksum)
{
    EXPECT_EQ(0u, Image().TimeDateStamp());
    if (Image().CheckSum() != 0)
    {
        EXPECT_EQ(Image().ComputeCheckSum(), Image().CheckSum());
    }
    // A debug directory would name the build folder and a time.
    EXPECT_EQ(0u, Image().Directory(PeImage::kDebugDirectory).size);
}

TEST_P(ProgramImage, FitsInItsSizeBudget)
{
    EXPECT_LE(Image().FileSize(), 150u * 1024);
}

// The loader calls TLS callbacks before the entry point; the guard must be the first of them.
TEST_P(ProgramImage, RunsTheDllSearchGuardBeforeAnythingElse)
{
    std::smatch match;
    const std::string map = LinkMap();
    ASSERT_TRUE(std::regex_search(map, match, std::regex(R"(\n\s+0x([0-9a-f]+)\s+MorvexTlsStartup(@12)?\n)")));
    const std::vector<uint64_t> callbacks = Image().TlsCallbacks();
    ASSERT_FALSE(callbacks.empty());
    EXPECT_EQ(std::stoull(match[1], nullptr, 16), callbacks.front());
}

// The product code is built without exceptions, RTTI and thread-safe statics: one throw, one
// std::thread, one dynamic_cast brings the C++ run-time's bulk back.
TEST_P(ProgramImage, SeedsItsOwnStackCanaryAndLinksNoCxxRuntimeMachinery)
{
    const std::string map = LinkMap();
    // The canary is the program's own, seeded before anything runs; libssp's start-up would seed
    // it through a cryptographic provider and three more DLLs.
    EXPECT_TRUE(std::regex_search(map, std::regex(R"(\n\s+0x[0-9a-f]+\s+_?_?__stack_chk_guard\n)")));
    EXPECT_EQ(std::string::npos, map.find("libssp.a(ssp.o)"));
    for (const char* member : { "libstdc++.a(eh_", "libstdc++.a(cp-demangle.o)", "libstdc++.a(tinfo.o)",
                                "libstdc++.a(new_op.o)", "libgcc_eh.a(", "libpthread.a(" })
        EXPECT_EQ(std::string::npos, map.find(member)) << member;
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramImage, testing::ValuesIn(kPrograms), [](const testing::TestParamInfo<Program>& param) {
    return std::string(param.param.arch) + (param.param.subsystem == kSubsystemWindowsConsole ? "Console" : "");
});
}  // namespace
