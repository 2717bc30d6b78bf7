#pragma once
// Runs a built program as a separate process and collects what it printed.

#include <string>
#include <vector>

namespace test {

struct ProcessResult {
    int exit_code = -1;  // -1 when the process ended by a signal; on Windows the exit code as
                         // a signed value (0xC000013A, a Ctrl-C exit, is negative)
    int signal = 0;      // the signal that ended it, or 0; on Windows the one send_signal sent
                         // when the process then ended with the Ctrl-C exit status
    std::string out;     // standard output, read as text (CR LF as LF on Windows)
    std::string err;     // standard error, likewise
};

struct ProcessOptions {
    std::string cwd;                 // run in this folder when not empty
    long long file_size_limit = -1;  // bytes (RLIMIT_FSIZE), with SIGXFSZ ignored; -1: none.
                                     // POSIX only: Windows has no such limit (throws there)
};

// A running process; its standard streams go to files until wait() collects them. Arguments
// and paths are UTF-8 on both systems; args[0] is the program's path.
class Process {
public:
    Process(const std::vector<std::string>& args, const ProcessOptions& options = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // On Windows only SIGINT and SIGBREAK, delivered as the console delivers Ctrl-C and
    // Ctrl-Break: a thread started in the process at the system's control routine.
    void send_signal(int sig);
    // What the process has written to standard output so far, as it was written.
    std::string output_so_far() const;
    ProcessResult wait();

private:
#ifdef _WIN32
    void* process_ = nullptr;  // the process HANDLE
    int sent_signal_ = 0;
#else
    int pid_ = -1;
#endif
    std::string out_path_;
    std::string err_path_;
    bool waited_ = false;
};

ProcessResult run_program(const std::vector<std::string>& args, const ProcessOptions& options = {});

// The absolute path of a tool on PATH, or "" when it is not installed (always "" on Windows,
// where the tests run under wine without the Debian tools).
std::string find_tool(const std::string& name);

// The built converter.
inline std::string tonecast_exe() { return TONECAST_EXE; }
// A file in the committed test data.
inline std::string data_file(const std::string& name) {
    return std::string(TONECAST_TEST_DATA) + "/" + name;
}

}  // namespace test
