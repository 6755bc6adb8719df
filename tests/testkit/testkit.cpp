#include "testkit/testkit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "vfs/vfs.h"

extern char** environ;

temp_dir::temp_dir() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qxtest.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back(0);
    char* made = mkdtemp(buf.data());
    path = made ? made : "";
}

temp_dir::~temp_dir() {
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

vfs_sandbox::vfs_sandbox() {
    setenv("XDG_DATA_HOME", home.path.c_str(), 1);
    setenv("KV_HOME", data.path.c_str(), 1);
    vfs_shutdown();
}

vfs_sandbox::~vfs_sandbox() {
    vfs_shutdown();
    unsetenv("KV_HOME");
}

void write_file(const std::string& path, const std::string& contents) {
    make_dirs(path.substr(0, path.rfind('/') + 1));
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(contents.data(), 1, contents.size(), f);
    fclose(f);
}

void write_file(const std::string& path, const std::vector<unsigned char>& contents) {
    write_file(path, std::string(contents.begin(), contents.end()));
}

std::string read_file(const std::string& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string out;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
    fclose(f);
    return out;
}

bool path_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void make_dirs(const std::string& path) {
    std::error_code ec;
    if (!path.empty()) std::filesystem::create_directories(path, ec);
}

run_result run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                       int timeout_seconds) {
    run_result result;
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        for (const std::string& e : env) {
            size_t eq = e.find('=');
            if (eq == std::string::npos)
                unsetenv(e.c_str());
            else
                setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back((char*)a.c_str());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_count = 2;
    while (open_count > 0) {
        int ms = (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                     .count();
        if (ms <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, ms) <= 0) continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char chunk[4096];
            ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_count--;
            } else {
                (i == 0 ? result.out : result.err).append(chunk, (size_t)n);
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return result;
}

namespace {
// Length of a "[h:mm:ss.cc] " prefix at p, or 0.
size_t log_prefix_length(const std::string& t, size_t p) {
    size_t i = p;
    if (i >= t.size() || t[i] != '[') return 0;
    i++;
    size_t digits = 0;
    while (i < t.size() && isdigit((unsigned char)t[i])) i++, digits++;
    if (!digits) return 0;
    for (char sep : {':', ':', '.'}) {
        if (i + 2 >= t.size() || t[i] != sep || !isdigit((unsigned char)t[i + 1]) || !isdigit((unsigned char)t[i + 2]))
            return 0;
        i += 3;
    }
    if (i + 1 >= t.size() || t[i] != ']' || t[i + 1] != ' ') return 0;
    return i + 2 - p;
}
}  // namespace

std::string strip_log_prefixes(const std::string& log) {
    std::string out;
    size_t p = 0;
    while (p < log.size()) {
        p += log_prefix_length(log, p);
        size_t end = log.find('\n', p);
        end = end == std::string::npos ? log.size() : end + 1;
        out.append(log, p, end - p);
        p = end;
    }
    return out;
}

bool starts_with_log_prefix(const std::string& text) { return log_prefix_length(text, 0) > 0; }

bool passes_under_memory_limit(const std::function<bool()>& body, size_t headroom) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // The address space in use now: the first field of statm, in pages.
        unsigned long long pages = 0;
        if (FILE* f = fopen("/proc/self/statm", "r")) {
            if (fscanf(f, "%llu", &pages) != 1) pages = 0;
            fclose(f);
        }
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)(pages * (unsigned long long)sysconf(_SC_PAGESIZE) + headroom);
        if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
        // Nothing may unwind out of the child: the test framework would carry
        // on in it as if it were the parent.
        int code = 2;
        try {
            code = body() ? 0 : 1;
        } catch (...) {
        }
        fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
