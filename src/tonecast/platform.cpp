#include "src/tonecast/platform.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <type_traits>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace platform {

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

#ifdef _WIN32
const int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
#else
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

extern "C" void on_interrupt(int sig) {
    const char* output = g_output.exchange(nullptr);
#ifdef _WIN32
    if (output) std::remove(output);
#else
    if (output) unlink(output);  // async-signal-safe, unlike std::remove
#endif
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

using handler = void (*)(int);
handler g_previous[sizeof kSignals / sizeof kSignals[0]];

}  // namespace

interrupt_cleanup::interrupt_cleanup(const char* output) {
    g_output.store(output);
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        g_previous[i] = std::signal(kSignals[i], on_interrupt);
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        if (g_previous[i] == SIG_IGN) std::signal(kSignals[i], SIG_IGN);
    }
}

interrupt_cleanup::~interrupt_cleanup() {
    for (std::size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (g_previous[i] != SIG_ERR) std::signal(kSignals[i], g_previous[i]);
    }
    g_output.store(nullptr);
}

}  // namespace platform
