#pragma once
// The converter's portability layer: everything that differs between Windows and POSIX
// systems lives behind these few calls.

#include <cstdint>
#include <cstdio>

namespace platform {

// A last-write time at the file system's full resolution; only the order of two values counts.
struct file_time {
    std::int64_t seconds = 0;
    std::int64_t fraction = 0;  // below a second, in the system's own ticks
    friend bool operator<(const file_time& a, const file_time& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.fraction < b.fraction;
    }
    friend bool operator>(const file_time& a, const file_time& b) { return b < a; }
};

// The last-write time of a file that can be opened for reading; false when it cannot be
// opened or queried.
bool last_write_time(const char* path, file_time& out);

// True when both names reach one existing file (the same path, another spelling of it, a hard
// or a symbolic link).
bool same_file(const char* a, const char* b);

// While an object lives, an interrupt (SIGINT, SIGTERM, SIGHUP; Ctrl-C, Ctrl-Break and the
// closing of the console window on Windows) removes the named output and then takes its default
// effect, so that no partial output survives for the update check to take as current.
// Create the object before the output is opened: until arm() names the open stream, an interrupt
// is held back (on POSIX systems), so that none can fall between the creation of the file and
// the moment it would be removed. Windows refuses to remove an open file, so there the interrupt
// closes the stream first; the caller may close it while the object lives, but must open no
// other stream until the object is gone.
class interrupt_cleanup {
public:
    explicit interrupt_cleanup(const char* output);
    ~interrupt_cleanup();
    interrupt_cleanup(const interrupt_cleanup&) = delete;
    interrupt_cleanup& operator=(const interrupt_cleanup&) = delete;

    // The output is open: from now on an interrupt removes it.
    void arm(std::FILE* stream);

private:
    const char* output_;
    bool armed_ = false;
};

}  // namespace platform
