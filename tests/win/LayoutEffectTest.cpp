// Whether the stored layout is in effect: its key's last write against Windows' last start.
#include <gtest/gtest.h>

#include <stdio.h>

#include "RegistryFixture.h"
#include "layout/LayoutEffect.h"

namespace
{
const WORD kLeftWindows = 0xE05B;
const LONGLONG kMinute = 60 * 10000000LL;

LONGLONG Ticks(const FILETIME& ft)
{
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME Shifted(const FILETIME& ft, LONGLONG nTicks)
{
    const ULONGLONG n = static_cast<ULONGLONG>(Ticks(ft) + nTicks);
    return FILETIME{ static_cast<DWORD>(n), static_cast<DWORD>(n >> 32) };
}

FILETIME Now()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return ft;
}

TEST(LayoutEffectTest, StoredBeforeTheStartIsInEffectAfterItWaitsForARestartUnreadIsUnknown)
{
    const FILETIME ftStarted = { 0x89ABCDEF, 0x01DC1234 };
    const struct
    {
        const char* pszName;
        std::optional<LONGLONG> storedFromStart;  // in 100 ns steps; nothing when unreadable
        LayoutEffect expected;
    } cases[] = {
        { "a year before", -365 * 24 * 60 * kMinute, LayoutEffect::InEffect },
        { "just before", -1, LayoutEffect::InEffect },
        { "at the start", 0, LayoutEffect::AfterRestart },
        { "just after", 1, LayoutEffect::AfterRestart },
        { "unreadable", std::nullopt, LayoutEffect::Unknown },
    };
    for (const auto& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        const FILETIME ftStored = Shifted(ftStarted, tested.storedFromStart.value_or(0));
        EXPECT_EQ(tested.expected, CLayoutEffect::Decide(tested.storedFromStart ? &ftStored : nullptr, ftStarted));
        // Windows 7 and later never apply the per-user value, whatever the times say.
        EXPECT_EQ(tested.expected, CLayoutEffect::InScope(tested.expected, TRUE));
        EXPECT_EQ(LayoutEffect::NotApplied, CLayoutEffect::InScope(tested.expected, FALSE));
    }
}

class LayoutEffectReadTest : public PerScopeTest
{
};

INSTANTIATE_PER_SCOPE(LayoutEffectReadTest);

TEST_P(LayoutEffectReadTest, JudgesTheScopesKeyAndClosesIt)
{
    const BOOL bAllUsers = GetParam() == Scope::AllUsers;
    StoreLayout(GetParam(), ScancodeMapValue({ { 0, kLeftWindows } }));
    const FILETIME ftStarted = CLayoutEffect::WindowsStarted();
    const struct
    {
        const char* pszName;
        std::optional<LONGLONG> fakeFromStart;  // the key's time as the fake answers it
        LSTATUS queryResult;
        LayoutEffect expected;  // in the all-users scope
    } cases[] = {
        { "as written just now", std::nullopt, ERROR_SUCCESS, LayoutEffect::AfterRestart },
        { "dated an hour before the start", -60 * kMinute, ERROR_SUCCESS, LayoutEffect::InEffect },
        { "dated a minute after the start", kMinute, ERROR_SUCCESS, LayoutEffect::AfterRestart },
        { "time cannot be read", std::nullopt, ERROR_ACCESS_DENIED, LayoutEffect::Unknown },
    };
    for (const auto& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        CCountingRegistry registry;
        if (tested.fakeFromStart)
            registry.m_lastWriteTime = Shifted(ftStarted, *tested.fakeFromStart);
        registry.m_lastWriteTimeResult = tested.queryResult;

        const CLayoutEffect effect = CLayoutEffect::Read(registry, bAllUsers);
        EXPECT_EQ(bAllUsers ? tested.expected : LayoutEffect::NotApplied, effect.effect);
        EXPECT_EQ(tested.queryResult == ERROR_SUCCESS, !!effect.bStoredKnown);
        if (tested.fakeFromStart)
        {
            EXPECT_EQ(Ticks(*registry.m_lastWriteTime), Ticks(effect.ftStored));
        }
        EXPECT_LT(std::llabs(Ticks(effect.ftStarted) - Ticks(ftStarted)), kMinute / 60);
        EXPECT_EQ(1, registry.m_nOpens);
        EXPECT_EQ(0, registry.m_nOpenHandles);
    }
}

using LayoutEffectUnderWineTest = StoredLayoutTest;

// Wine keeps real last-write times, and its tick count is the host's uptime, so no fake is needed
// to see that a layout written or removed just now waits for the next start.
TEST_F(LayoutEffectUnderWineTest, ALayoutWrittenOrRemovedNowWaitsForTheNextStart)
{
    double dUptime = 0;
    FILE* pUptime = _wfopen(L"Z:\\proc\\uptime", L"r");
    ASSERT_NE(nullptr, pUptime) << "the host's uptime is not readable through Z:";
    const double dSinceStart = static_cast<double>(Ticks(Now()) - Ticks(CLayoutEffect::WindowsStarted())) / 1e7;
    EXPECT_EQ(1, fscanf(pUptime, "%lf", &dUptime));
    fclose(pUptime);
    EXPECT_NEAR(dUptime, dSinceStart, 2.0);

    CLayoutEffect previous;
    for (const bool bRemove : { false, true })
    {
        SCOPED_TRACE(bRemove ? "removed" : "written");
        if (bRemove)
        {
            ::Sleep(50);
            RemoveStoredLayout(Scope::AllUsers);
            ASSERT_FALSE(StoredLayout(Scope::AllUsers));
        }
        else
            StoreLayout(Scope::AllUsers, ScancodeMapValue({ { 0, kLeftWindows } }));

        const CLayoutEffect effect = CLayoutEffect::Read(CRegistryApi::Real(), TRUE);
        EXPECT_EQ(LayoutEffect::AfterRestart, effect.effect);
        ASSERT_TRUE(effect.bStoredKnown);
        EXPECT_LT(Ticks(Now()) - Ticks(effect.ftStored), kMinute / 60);
        EXPECT_LT(Ticks(effect.ftStarted), Ticks(effect.ftStored));
        // The removal is a write of its own: the key's time moves on.
        if (bRemove)
        {
            EXPECT_GT(Ticks(effect.ftStored), Ticks(previous.ftStored));
        }
        previous = effect;
    }
}
}  // namespace
