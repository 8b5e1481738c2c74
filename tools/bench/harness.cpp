// Start-up bench: times programs from process creation to their dialog on screen, and reads their peak memory.
//
//   bench_harness.exe RUNS LABEL=PROGRAM.exe LABEL=PROGRAM.exe|ARGUMENTS ...
//
// A program given alone is timed until its dialog shows; one given with arguments (after a '|') is
// a command line that opens no window, timed until it has ended, its output going to a file as a
// deployment tool would take it.
// Each program is started once to warm the caches, then RUNS times, the programs taking turns, so a
// drift of the machine during the run falls on all of them alike. One line per start on stdout:
//   warmup|sample LABEL INDEX MILLISECONDS PEAK_WORKING_SET_BYTES PROCESS_ID
// The process id is written as Wine's debug channels write it, so a traced run can be matched up.
// The harness is a console program and owns no window, so every dialog it sees is a target's.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Longer than any start seen under Wine by two orders of magnitude: past it the target is stuck.
constexpr DWORD kDialogTimeoutMs = 60000;
constexpr DWORD kExitTimeoutMs = 15000;
// Lets the previous target's teardown finish before the next start, so it does not share the clock.
constexpr DWORD kSettleMs = 250;

struct Target {
    std::string label;
    std::wstring path;
    std::wstring arguments;  // empty for a dialog program
};

struct Sample {
    double milliseconds = 0;
    SIZE_T peakWorkingSet = 0;
    DWORD processId = 0;
};

struct DialogSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<DialogSearch*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    if (processId != search->processId || !::IsWindowVisible(hWnd))
        return TRUE;
    wchar_t className[16];
    if (::GetClassNameW(hWnd, className, 16) == 0 || std::wcscmp(className, L"#32770") != 0)
        return TRUE;
    search->found = hWnd;
    return FALSE;
}

double Elapsed(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& frequency)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Starts the command line with its output going to a file, and waits for it to end with 0.
std::string MeasureCommandLine(const Target& target, const LARGE_INTEGER& frequency, Sample& sample)
{
    std::wstring commandLine = L"\"" + target.path + L"\" " + target.arguments;
    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), nullptr, TRUE };
    wchar_t folder[MAX_PATH] = {}, file[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"mbo", 0, file);
    HANDLE output = ::CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return "no output file (error " + std::to_string(::GetLastError()) + ")";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process = {};

    LARGE_INTEGER start, ended;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(target.path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
        ::CloseHandle(output);
        return "could not start (error " + std::to_string(::GetLastError()) + ")";
    }
    sample.processId = process.dwProcessId;
    std::string error;
    if (::WaitForSingleObject(process.hProcess, kDialogTimeoutMs) != WAIT_OBJECT_0) {
        error = "did not end within " + std::to_string(kDialogTimeoutMs) + " ms";
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, kExitTimeoutMs);
    }
    ::QueryPerformanceCounter(&ended);
    sample.milliseconds = Elapsed(start, ended, frequency);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    if (error.empty() && exitCode != 0)
        error = "ended with exit code " + std::to_string(exitCode);
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (::GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)))
        sample.peakWorkingSet = counters.PeakWorkingSetSize;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(output);
    ::Sleep(kSettleMs);
    return error;
}

// Starts the program, waits for its dialog, reads its memory and closes it through the dialog's
// Cancel path. Returns an empty string on success, otherwise what went wrong.
std::string MeasureOnce(const Target& target, const LARGE_INTEGER& frequency, Sample& sample)
{
    if (!target.arguments.empty())
        return MeasureCommandLine(target, frequency, sample);
    std::wstring commandLine = L"\"" + target.path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};

    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(target.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process))
        return "could not start (error " + std::to_string(::GetLastError()) + ")";

    sample.processId = process.dwProcessId;

    // Polled each millisecond: the wait on the process both paces the poll and notices an early exit,
    // and a poll costs a few server calls, nothing that would slow a target on two cores.
    DialogSearch search = { process.dwProcessId, nullptr };
    LARGE_INTEGER shown;
    std::string error;
    for (;;) {
        ::EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        ::QueryPerformanceCounter(&shown);
        if (search.found != nullptr)
            break;
        if (::WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) {
            error = "exited before its dialog was shown";
            break;
        }
        if (Elapsed(start, shown, frequency) > kDialogTimeoutMs) {
            error = "showed no dialog within " + std::to_string(kDialogTimeoutMs) + " ms";
            break;
        }
    }

    if (error.empty()) {
        sample.milliseconds = Elapsed(start, shown, frequency);
        // The peak once the dialog has painted and waits for input: all that showing it cost.
        ::WaitForInputIdle(process.hProcess, 5000);
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof(counters);
        if (::GetProcessMemoryInfo(process.hProcess, &counters, sizeof(counters)))
            sample.peakWorkingSet = counters.PeakWorkingSetSize;
        else
            error = "no memory counters (error " + std::to_string(::GetLastError()) + ")";
        // Cancel: the program ends without writing anything.
        ::PostMessageW(search.found, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0 && error.empty())
            error = "did not end within " + std::to_string(kExitTimeoutMs) + " ms of being closed";
    }
    if (::WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
        ::WaitForSingleObject(process.hProcess, kExitTimeoutMs);
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    ::Sleep(kSettleMs);
    return error;
}

bool Report(const char* kind, const Target& target, int index, const LARGE_INTEGER& frequency)
{
    Sample sample;
    const std::string error = MeasureOnce(target, frequency, sample);
    if (!error.empty()) {
        std::fprintf(stderr, "%s %s %d: %s\n", kind, target.label.c_str(), index, error.c_str());
        return false;
    }
    std::printf("%s %s %d %.3f %llu %04lx\n", kind, target.label.c_str(), index, sample.milliseconds,
                static_cast<unsigned long long>(sample.peakWorkingSet), static_cast<unsigned long>(sample.processId));
    std::fflush(stdout);
    return true;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int runs = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 0;
    std::vector<Target> targets;
    for (int i = 2; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const size_t equals = argument.find(L'=');
        if (equals == std::wstring::npos || equals == 0) {
            targets.clear();
            break;
        }
        const std::wstring program = argument.substr(equals + 1);
        const size_t bar = program.find(L'|');
        targets.push_back({ Narrow(argument.substr(0, equals)), program.substr(0, bar),
                            bar == std::wstring::npos ? std::wstring() : program.substr(bar + 1) });
    }
    if (runs < 1 || targets.empty()) {
        std::fprintf(stderr, "usage: bench_harness RUNS LABEL=PROGRAM.exe[|ARGUMENTS] ...\n");
        return 2;
    }

    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    for (const Target& target : targets)
        if (!Report("warmup", target, 0, frequency))
            return 1;
    for (int run = 1; run <= runs; ++run)
        for (const Target& target : targets)
            if (!Report("sample", target, run, frequency))
                return 1;
    return 0;
}
