#include "src/tonecast/platform.h"

#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <system_error>
#include <type_traits>
#endif

namespace platform {

#ifdef _WIN32

namespace {

// An open handle that closes itself; INVALID_HANDLE_VALUE when the open failed.
class handle {
public:
    explicit handle(HANDLE h) : h_(h) {}
    ~handle() {
        if (ok()) CloseHandle(h_);
    }
    handle(const handle&) = delete;
    handle& operator=(const handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

}  // namespace

// std::filesystem of the MinGW toolchain rounds last-write times to whole seconds, which would
// make a conversion and an edit within one second look equally old; the file's own FILETIME
// keeps 100 ns ticks.
bool last_write_time(const char* path, file_time& out) {
    // Only a file that can be opened for reading counts (a folder cannot be opened this way).
    const handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.ok()) return false;
    FILETIME written;
    if (!GetFileTime(file.get(), nullptr, nullptr, &written)) return false;
    // 100 ns ticks since 1601, unsigned: the split below keeps both parts non-negative.
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime;
    out.seconds = static_cast<std::int64_t>(ticks / 10000000u);
    out.fraction = static_cast<std::int64_t>(ticks % 10000000u);
    return true;
}

// A file is the same when its volume and its file index are: this sees through another
// spelling of a path (case, "./", short names) and through hard and symbolic links.
bool same_file(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION info[2];
    const char* paths[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        // No access is needed to ask for the identity; backup semantics lets folders open.
        const handle file(CreateFileA(paths[i], 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file.ok() || !GetFileInformationByHandle(file.get(), &info[i])) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

namespace {

// Windows delivers Ctrl-C, Ctrl-Break and the closing of the console window to a handler that
// runs on a thread of its own while the conversion goes on. The lock keeps the handler and the
// end of an interrupt_cleanup apart.
SRWLOCK g_lock = SRWLOCK_INIT;
bool g_pending = false;  // an interrupt_cleanup lives, its output is not open yet
const char* g_output = nullptr;
std::FILE* g_stream = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    AcquireSRWLockExclusive(&g_lock);
    // Held back while the output is being created, so that the file cannot appear after the
    // interrupt and survive it: the main thread names it (or gives up) in a moment.
    while (g_pending && !g_output) {
        ReleaseSRWLockExclusive(&g_lock);
        Sleep(1);
        AcquireSRWLockExclusive(&g_lock);
    }
    if (!g_output) {
        ReleaseSRWLockExclusive(&g_lock);
        return FALSE;  // the default action: the process ends
    }
    // Taking the stream's own lock waits for a write in progress on the main thread and keeps
    // any later one waiting: the main thread never touches the stream again. The lock is
    // recursive, so fclose below takes it once more. When the main thread has just closed the
    // stream itself (the end of a conversion), fclose finds it closed and does nothing: the C
    // runtime keeps its stream objects, and the caller opens no other stream meanwhile.
    _lock_file(g_stream);
    std::fclose(g_stream);
    std::remove(g_output);
    // End as the default action does, with the status of a console program stopped by Ctrl-C,
    // but without exit-time code, which could wait for a lock the main thread holds.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;  // not reached
}

}  // namespace

interrupt_cleanup::interrupt_cleanup(const char* output) : output_(output) {
    AcquireSRWLockExclusive(&g_lock);
    g_pending = true;
    ReleaseSRWLockExclusive(&g_lock);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void interrupt_cleanup::arm(std::FILE* stream) {
    AcquireSRWLockExclusive(&g_lock);
    g_output = output_;
    g_stream = stream;
    ReleaseSRWLockExclusive(&g_lock);
    armed_ = true;
}

interrupt_cleanup::~interrupt_cleanup() {
    SetConsoleCtrlHandler(on_console_event, FALSE);
    // A handler already running holds the lock until the process ends.
    AcquireSRWLockExclusive(&g_lock);
    g_pending = false;
    g_output = nullptr;
    g_stream = nullptr;
    ReleaseSRWLockExclusive(&g_lock);
}

#else  // POSIX

bool last_write_time(const char* path, file_time& out) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    // Only a file that can be opened for reading counts, as the update check of the Windows
    // build has always required.
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::fclose(f);
    const auto time = std::filesystem::last_write_time(path, ec);
    if (ec) return false;
    const auto ticks = time.time_since_epoch();
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(ticks);
    out.seconds = whole.count();
    out.fraction = static_cast<std::int64_t>((ticks - whole).count());
    if (out.fraction < 0) {  // keep the fraction in [0, 1 s) for times before the epoch
        out.seconds -= 1;
        using tick = std::remove_const_t<decltype(ticks)>;
        out.fraction += static_cast<std::int64_t>(
            std::chrono::duration_cast<tick>(std::chrono::seconds(1)).count());
    }
    return true;
}

bool same_file(const char* a, const char* b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

namespace {

// The output to remove when an interrupt arrives; the handler reads it without locks.
std::atomic<const char*> g_output{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read from a signal handler");

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void on_interrupt(int sig) {
    const char* output = g_output.exchange(nullptr);
    if (output) unlink(output);  // async-signal-safe, unlike std::remove
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

using handler = void (*)(int);
handler g_previous[sizeof kSignals / sizeof kSignals[0]];
sigset_t g_held;  // the interrupts, held back until the output exists

}  // namespace

interrupt_cleanup::interrupt_cleanup(const char* output) : output_(output) {
    sigemptyset(&g_held);
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        sigaddset(&g_held, kSignals[i]);
        g_previous[i] = std::signal(kSignals[i], on_interrupt);
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (g_previous[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
    }
    pthread_sigmask(SIG_BLOCK, &g_held, nullptr);
}

void interrupt_cleanup::arm(std::FILE* stream) {
    static_cast<void>(stream);  // a POSIX system removes an open file
    g_output.store(output_);
    armed_ = true;
    // An interrupt held back while the output was being created arrives here and removes it.
    pthread_sigmask(SIG_UNBLOCK, &g_held, nullptr);
}

interrupt_cleanup::~interrupt_cleanup() {
    // Not armed: the output was never created, and a held interrupt takes its default effect.
    if (!armed_) pthread_sigmask(SIG_UNBLOCK, &g_held, nullptr);
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (g_previous[i] != SIG_ERR) std::signal(kSignals[i], g_previous[i]);
    }
    g_output.store(nullptr);
}

#endif  // POSIX

}  // namespace platform
