#include "tests/support/file_time.h"

#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace test {

#ifdef _WIN32

namespace {

using ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;  // FILETIME's 100 ns

HANDLE open_for_times(const std::string& path, DWORD access) {
    const HANDLE h = CreateFileW(std::filesystem::u8path(path).c_str(), access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return h;
}

}  // namespace

void set_write_time(const std::string& path, const std::string& reference,
                    std::chrono::nanoseconds offset) {
    const ticks step = std::chrono::duration_cast<ticks>(offset);
    if (step != offset) throw std::invalid_argument("not a multiple of 100 ns");
    FILETIME time;
    HANDLE h = open_for_times(reference, FILE_READ_ATTRIBUTES);
    const BOOL got = GetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
    if (!got) throw std::runtime_error("cannot query " + reference);
    const std::uint64_t value =
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) +
        static_cast<std::uint64_t>(step.count());  // wraps back for a negative offset
    time.dwLowDateTime = static_cast<DWORD>(value);
    time.dwHighDateTime = static_cast<DWORD>(value >> 32);
    h = open_for_times(path, FILE_WRITE_ATTRIBUTES);
    const BOOL set = SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
    if (!set) throw std::runtime_error("cannot set the time of " + path);
}

#else

void set_write_time(const std::string& path, const std::string& reference,
                    std::chrono::nanoseconds offset) {
    namespace fs = std::filesystem;
    fs::last_write_time(path, fs::last_write_time(reference) +
                                  std::chrono::duration_cast<fs::file_time_type::duration>(offset));
}

#endif

}  // namespace test
