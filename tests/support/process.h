#pragma once
// Runs a built program as a separate process and collects what it printed.

#include <string>
#include <vector>

namespace test {

struct ProcessResult {
    int exit_code = -1;  // -1 when the process ended by a signal
    int signal = 0;      // the signal that ended it, or 0
    std::string out;     // standard output
    std::string err;     // standard error
};

struct ProcessOptions {
    std::string cwd;                 // run in this folder when not empty
    long long file_size_limit = -1;  // bytes (RLIMIT_FSIZE), with SIGXFSZ ignored; -1: none
};

// A running process; its standard streams go to files until wait() collects them.
class Process {
public:
    Process(const std::vector<std::string>& args, const ProcessOptions& options = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    void send_signal(int sig);
    ProcessResult wait();

private:
    int pid_ = -1;
    std::string out_path_;
    std::string err_path_;
    bool waited_ = false;
};

ProcessResult run_program(const std::vector<std::string>& args, const ProcessOptions& options = {});

// The built converter.
inline std::string tonecast_exe() { return TONECAST_EXE; }
// A file in the committed test data.
inline std::string data_file(const std::string& name) {
    return std::string(TONECAST_TEST_DATA) + "/" + name;
}

}  // namespace test
