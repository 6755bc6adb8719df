// Helpers shared by the test suites.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// A fresh empty folder under the system's temporary folder, removed when the
// object goes away.
struct temp_dir {
    std::string path;  // ends without "/"
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Points the file system's roots at fresh folders: root 0 (home) and the
// KV_HOME root; the index is rebuilt on next use.
struct vfs_sandbox {
    temp_dir home;  // XDG_DATA_HOME; root 0 is home/Quarnix/
    temp_dir data;  // KV_HOME
    vfs_sandbox();
    ~vfs_sandbox();
    std::string root0() const { return home.path + "/Quarnix/"; }
    std::string root1() const { return data.path + "/"; }
};

void write_file(const std::string& path, const std::string& contents);
void write_file(const std::string& path, const std::vector<unsigned char>& contents);
std::string read_file(const std::string& path);
bool path_exists(const std::string& path);
void make_dirs(const std::string& path);

// Runs a program (argv[0] is the path) with extra environment entries
// ("NAME=value"); returns its exit status and what it wrote.
struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};
run_result run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                       int timeout_seconds = 60);

// Log text without the "[h:mm:ss.cc] " time prefix of each line.
std::string strip_log_prefixes(const std::string& log);
// Whether the text begins with a well-formed "[h:mm:ss.cc] " prefix.
bool starts_with_log_prefix(const std::string& text);

// Runs `body` in a child process whose address space may grow by at most
// `headroom` bytes beyond what it holds when the child starts (setrlimit on
// RLIMIT_AS). True when the child returned true and exited normally; a child
// that dies of an allocation failure, or returns false, gives false.
bool passes_under_memory_limit(const std::function<bool()>& body, size_t headroom = (size_t)256 << 20);
