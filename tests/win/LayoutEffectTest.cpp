// Whether the stored layout is in effect: its key's last write against Windows' last start.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include "RegistryFixture.h"
#include "layout/LayoutEffect.h"

namespace
{
const LONGLONG kSecond = 10000000, kMinute = 60 * kSecond;

LONGLONG Ticks(const FILETIME& ft)
{
    return static_cast<LONGLONG>((ULONGLONG{ ft.dwHighDateTime } << 32) | ft.dwLowDateTime);
}

FILETIME FileTime(LONGLONG nTicks)
{
    return FILETIME{ static_cast<DWORD>(nTicks), static_cast<DWORD>(static_cast<ULONGLONG>(nTicks) >> 32) };
}

LONGLONG Now()
{
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return Ticks(ft);
}

TEST(LayoutEffectTest, StoredBeforeTheStartIsInEffectAfterItWaitsForARestartUnreadOrAheadOfNowIsUnknown)
{
    const FILETIME ftStarted = FileTime(0x01DC123489ABCDEF), ftNow = FileTime(Ticks(ftStarted) + kMinute);
    const struct
    {
        std::optional<LONGLONG> storedFromStart;  // nothing when unreadable
        LayoutEffect expected;
    } cases[] = {
        { -1, LayoutEffect::InEffect },
        { 0, LayoutEffect::AfterRestart },
        { kMinute, LayoutEffect::AfterRestart },
        { kMinute + 1, LayoutEffect::Unknown },
        { std::nullopt, LayoutEffect::Unknown },
    };
    for (const auto& tested : cases)
    {
        const FILETIME ftStored = FileTime(Ticks(ftStarted) + tested.storedFromStart.value_or(0));
        EXPECT_EQ(tested.expected, CLayoutEffect::Decide(tested.storedFromStart ? &ftStored : nullptr, ftStarted, ftNow))
            << testing::PrintToString(tested.storedFromStart);
    }
}

class LayoutEffectReadTest : public PerScopeTest
{
};

INSTANTIATE_PER_SCOPE(LayoutEffectReadTest);

// Windows 7 and later never apply the per-user value, whatever its times say.
TEST_P(LayoutEffectReadTest, JudgesTheScopesKeyAndClosesIt)
{
    StoreLayout(GetParam(), ScancodeMapValue({ { 0, 0xE05B } }));
    const LONGLONG nStarted = Ticks(CLayoutEffect::WindowsStarted());
    enum PendingKey
    {
        noPendingKey,
        volatileKey,  // the program changed the value since the start, whatever the times say
        ordinaryKey,  // restored or imported: it outlived a restart, and says nothing
    };
    const struct
    {
        const char* pszName;
        std::optional<LONGLONG> fakeFromStart;  // the key's time as the fake answers it
        LSTATUS queryResult;
        LayoutEffect expected;  // in the all-users scope
        PendingKey pending = noPendingKey;
    } cases[] = {
        { "as written just now", std::nullopt, ERROR_SUCCESS, LayoutEffect::AfterRestart },
        { "dated an hour before the start", -60 * kMinute, ERROR_SUCCESS, LayoutEffect::InEffect },
        { "dated a minute after the start", kMinute, ERROR_SUCCESS, LayoutEffect::AfterRestart },
        { "time cannot be read", std::nullopt, ERROR_ACCESS_DENIED, LayoutEffect::Unknown },
        { "before the start, changed since", -60 * kMinute, ERROR_SUCCESS, LayoutEffect::AfterRestart, volatileKey },
        { "before the start, an ordinary pending key", -60 * kMinute, ERROR_SUCCESS, LayoutEffect::InEffect, ordinaryKey },
    };
    for (const auto& tested : cases)
    {
        SCOPED_TRACE(tested.pszName);
        CCountingRegistry registry;
        if (tested.fakeFromStart)
            registry.m_lastWriteTime = FileTime(nStarted + *tested.fakeFromStart);
        registry.m_lastWriteTimeResult = tested.queryResult;
        ForgetRestartPending();
        if (tested.pending == volatileKey)
        {
            ASSERT_EQ(ERROR_SUCCESS, CLayoutEffect::MarkRestartPending(CRegistryApi::Real()));
        }
        if (tested.pending == ordinaryKey)
            MakeOrdinaryRestartPendingKey();

        const CLayoutEffect effect = CLayoutEffect::Read(registry, GetParam() == Scope::AllUsers);
        EXPECT_EQ(GetParam() == Scope::AllUsers ? tested.expected : LayoutEffect::NotApplied, effect.effect);
        EXPECT_EQ(tested.queryResult == ERROR_SUCCESS, !!effect.bStoredKnown);
        EXPECT_EQ(Ticks(registry.m_lastWriteTime.value_or(effect.ftStored)), Ticks(effect.ftStored));
        EXPECT_LT(std::llabs(nStarted - Ticks(effect.ftStarted)), kSecond);
        EXPECT_EQ(0, registry.m_nOpenHandles);
        // Reading leaves the key as it found it.
        EXPECT_EQ(tested.pending != noPendingKey, RestartPending());
        EXPECT_EQ(tested.pending == volatileKey, RestartPendingIsVolatile());
    }
    ForgetRestartPending();
}

// The key that outweighs the clocks is volatile whatever stood in its place, under a parent that
// only SYSTEM and the administrators may use when the program makes it.
TEST(LayoutEffectPendingTest, MarkingMakesAVolatileKeyUnderAParentOfTheAdministrators)
{
    const WCHAR szParent[] = L"SOFTWARE\\MorvexSoft\\MorvexDisabler";
    for (const bool bOrdinaryBefore : { false, true })
    {
        SCOPED_TRACE(bOrdinaryBefore ? "an ordinary key in its place" : "no parent");
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MorvexSoft");
        if (bOrdinaryBefore)
            MakeOrdinaryRestartPendingKey();
        CCountingRegistry registry;
        EXPECT_EQ(ERROR_SUCCESS, CLayoutEffect::MarkRestartPending(registry));
        EXPECT_EQ(0, registry.m_nOpenHandles);
        EXPECT_TRUE(RestartPendingIsVolatile());
        EXPECT_EQ(ERROR_SUCCESS, CLayoutEffect::MarkRestartPending(registry)) << "again, over its own key";
        EXPECT_TRUE(RestartPendingIsVolatile());
        // Wine 8 makes every key with its default security, whatever it is given: only Windows
        // shows the parent's.
        if (!bOrdinaryBefore && ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr)
        {
            EXPECT_EQ(L"D:P(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)", KeyDacl(HKEY_LOCAL_MACHINE, szParent));
        }
    }
    ForgetRestartPending();
}

using LayoutEffectUnderWineTest = StoredLayoutTest;

// Wine keeps real last-write times and counts its ticks from the host's start (a host that slept
// since counts more uptime than ticks), so no fake is needed to see a layout written or removed
// just now wait for the next start.
TEST_F(LayoutEffectUnderWineTest, ALayoutWrittenOrRemovedNowWaitsForTheNextStart)
{
    double dUptime = 0;
    FILE* pUptime = _wfopen(L"Z:\\proc\\uptime", L"r");
    ASSERT_NE(nullptr, pUptime) << "the host's uptime is not readable through Z:";
    const LONGLONG nSinceStart = Now() - Ticks(CLayoutEffect::WindowsStarted());
    EXPECT_EQ(1, fscanf(pUptime, "%lf", &dUptime));
    fclose(pUptime);
    EXPECT_NEAR(dUptime, static_cast<double>(nSinceStart / kSecond), 2.0);

    LONGLONG nWritten = 0;
    for (const bool bRemove : { false, true })
    {
        SCOPED_TRACE(bRemove ? "removed" : "written");
        ::Sleep(50);
        if (bRemove)
            RemoveStoredLayout(Scope::AllUsers);
        else
            StoreLayout(Scope::AllUsers, ScancodeMapValue({ { 0, 0xE05B } }));

        const CLayoutEffect effect = CLayoutEffect::Read(CRegistryApi::Real(), TRUE);
        EXPECT_EQ(LayoutEffect::AfterRestart, effect.effect);
        EXPECT_LT(Now() - Ticks(effect.ftStored), kSecond);
        // A removal moves the key's time on, as a write does.
        EXPECT_GT(Ticks(effect.ftStored), nWritten);
        nWritten = Ticks(effect.ftStored);
    }
    EXPECT_FALSE(StoredLayout(Scope::AllUsers));
}
}  // namespace
