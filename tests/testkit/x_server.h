// A private X server (Xvfb) for tests that need one of their own: to start
// late, or to go away under a running program.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

struct x_server {
    pid_t pid = -1;
    int number = -1;

    static bool available() { return system("command -v Xvfb >/dev/null 2>&1") == 0; }

    // A display number nobody uses now (no socket, no lock file).
    static int free_number() {
        for (int n = 150 + (int)(getpid() % 100); n < 1000; n++) {
            struct stat st;
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            if (stat(socket.c_str(), &st) != 0 && stat(lock.c_str(), &st) != 0) return n;
        }
        return -1;
    }

    // Starts Xvfb on display `n` after `delay_ms`; -1 lets the server pick
    // a free number, which is read back before this returns.
    bool start(int n = -1, int delay_ms = 0) {
        int fds[2] = {-1, -1};
        if (n < 0 && pipe(fds) != 0) return false;
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            if (delay_ms > 0) usleep((useconds_t)delay_ms * 1000);
            std::string display = n < 0 ? std::string() : ":" + std::to_string(n);
            std::string fd = std::to_string(fds[1]);
            if (n < 0) close(fds[0]);
            // Quiet: the server's own notices are not the test's output.
            freopen("/dev/null", "w", stderr);
            if (n < 0)
                execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                       (char*)nullptr);
            else
                execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                       (char*)nullptr);
            _exit(127);
        }
        number = n;
        if (n >= 0) return true;
        close(fds[1]);
        char text[16] = {};
        size_t got = 0;
        while (got < sizeof text - 1) {
            ssize_t r = read(fds[0], text + got, 1);
            if (r <= 0 || text[got] == '\n') break;
            got++;
        }
        close(fds[0]);
        number = got ? atoi(text) : -1;
        return number >= 0;
    }
    std::string display() const { return ":" + std::to_string(number); }
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~x_server() { stop(); }
};
