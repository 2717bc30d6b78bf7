#include "tests/support/process.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace test {

namespace {

std::string slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

#ifdef _WIN32

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) throw std::runtime_error("not UTF-8: " + utf8);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), n);
    return wide;
}

std::wstring make_temp_path() {
    wchar_t dir[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH || GetTempFileNameW(dir, L"tcp", 0, path) == 0) {
        throw std::runtime_error("GetTempFileName failed");
    }
    return path;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// blanks or quotes (or is empty), with the backslashes before a quote doubled. An argument
// without blanks stays unquoted, so that wildcards in it reach the program's expansion.
std::wstring quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q.push_back(c);
    }
    q.append(2 * backslashes, L'\\');
    q.push_back(L'"');
    return q;
}

// An inheritable handle for one of the child's standard streams.
HANDLE open_inheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE h =
        CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a standard stream");
    return h;
}

std::string narrow(const std::wstring& wide) { return std::filesystem::path(wide).u8string(); }

}  // namespace

Process::Process(const std::vector<std::string>& args, const ProcessOptions& options) {
    if (options.file_size_limit >= 0) {
        throw std::logic_error("Windows has no file size limit for a process");
    }
    const std::wstring out_path = make_temp_path();
    const std::wstring err_path = make_temp_path();
    out_path_ = narrow(out_path);
    err_path_ = narrow(err_path);
    std::wstring command_line;
    for (const std::string& a : args) {
        if (!command_line.empty()) command_line += L' ';
        command_line += quote(widen(a));
    }
    const HANDLE in = open_inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = open_inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = open_inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const std::wstring cwd = widen(options.cwd);
    const BOOL started =
        CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       cwd.empty() ? nullptr : cwd.c_str(), &startup, &info);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        DeleteFileW(out_path.c_str());
        DeleteFileW(err_path.c_str());
        throw std::runtime_error("cannot start " + args.at(0));
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
}

Process::~Process() {
    if (!waited_ && process_) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
    }
    if (process_) CloseHandle(process_);
    DeleteFileW(widen(out_path_).c_str());
    DeleteFileW(widen(err_path_).c_str());
}

void Process::send_signal(int sig) {
    if (sig != SIGINT && sig != SIGBREAK) {
        throw std::logic_error("Windows delivers no signal but Ctrl-C and Ctrl-Break");
    }
    // The console itself starts kernelbase's CtrlRoutine in the target process, which calls
    // the process's handlers and ends it by default. GenerateConsoleCtrlEvent would do the
    // same but needs a console shared with the target (there is none under a test runner).
    // The system DLLs sit at the same address in every process of a session.
    const HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
    const FARPROC routine = kernelbase ? GetProcAddress(kernelbase, "CtrlRoutine") : nullptr;
    if (!routine) throw std::runtime_error("kernelbase.dll has no CtrlRoutine");
    LPTHREAD_START_ROUTINE start;
    static_assert(sizeof start == sizeof routine, "function pointers of one size");
    std::memcpy(&start, &routine, sizeof start);
    const DWORD event = sig == SIGINT ? CTRL_C_EVENT : CTRL_BREAK_EVENT;
    const HANDLE thread =
        CreateRemoteThread(process_, nullptr, 0, start,
                           reinterpret_cast<void*>(static_cast<std::uintptr_t>(event)), 0, nullptr);
    if (!thread) throw std::runtime_error("CreateRemoteThread failed");
    CloseHandle(thread);
    sent_signal_ = sig;
}

namespace {

// Text as a text-mode reader sees it: the Windows program writes each newline as CR LF.
std::string text(std::string raw) {
    std::string::size_type at = 0;
    while ((at = raw.find("\r\n", at)) != std::string::npos) raw.erase(at, 1);
    return raw;
}

}  // namespace

ProcessResult Process::wait() {
    ProcessResult result;
    if (WaitForSingleObject(process_, INFINITE) != WAIT_OBJECT_0) {
        throw std::runtime_error("WaitForSingleObject failed");
    }
    waited_ = true;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) throw std::runtime_error("GetExitCodeProcess failed");
    result.exit_code = static_cast<int>(code);
    if (code == static_cast<DWORD>(STATUS_CONTROL_C_EXIT)) result.signal = sent_signal_;
    result.out = text(slurp(widen(out_path_)));
    result.err = text(slurp(widen(err_path_)));
    return result;
}

#else  // POSIX

namespace {

std::string make_temp_path(const char* tag) {
    std::string pattern = "/tmp/tonecast-proc-" + std::string(tag) + "-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

}  // namespace

Process::Process(const std::vector<std::string>& args, const ProcessOptions& options)
    : out_path_(make_temp_path("out")), err_path_(make_temp_path("err")) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        const int out = open(out_path_.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_path_.c_str(), O_WRONLY | O_TRUNC);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
        if (options.file_size_limit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                               static_cast<rlim_t>(options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Process::~Process() {
    if (!waited_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::remove(out_path_.c_str());
    std::remove(err_path_.c_str());
}

void Process::send_signal(int sig) { kill(pid_, sig); }

ProcessResult Process::wait() {
    ProcessResult result;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    waited_ = true;
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = slurp(out_path_);
    result.err = slurp(err_path_);
    return result;
}

#endif  // POSIX

std::string Process::output_so_far() const {
#ifdef _WIN32
    return slurp(widen(out_path_));
#else
    return slurp(out_path_);
#endif
}

ProcessResult run_program(const std::vector<std::string>& args, const ProcessOptions& options) {
    Process process(args, options);
    return process.wait();
}

std::string find_tool(const std::string& name) {
#ifdef _WIN32
    (void)name;
    return "";
#else
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(dir) / name;
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate.string();
    }
    return "";
#endif
}

}  // namespace test
