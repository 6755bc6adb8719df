#include "core/parallel.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// One helper thread, started on first use and kept for the process's life.
struct helper_pool {
    std::mutex lock;
    std::condition_variable wake, done;
    std::thread thread;
    const std::function<void(int)>* job = nullptr;
    int count = 0;
    std::atomic<int> next{0};
    int finished = 0;      // indices run in the current round
    unsigned round = 0;    // bumped for every parallel_for
    bool helper_busy = false;
    bool quit = false;

    ~helper_pool() {
        if (!thread.joinable()) return;
        {
            std::lock_guard<std::mutex> g(lock);
            quit = true;
        }
        wake.notify_all();
        thread.join();
    }

    // Takes indices until none are left; returns how many it ran.
    int drain(const std::function<void(int)>& f, int n) {
        int ran = 0;
        for (int i = next.fetch_add(1); i < n; i = next.fetch_add(1)) {
            f(i);
            ran++;
        }
        return ran;
    }

    void serve() {
        unsigned seen = 0;
        std::unique_lock<std::mutex> g(lock);
        for (;;) {
            wake.wait(g, [&] { return quit || round != seen; });
            if (quit) return;
            seen = round;
            // Woken after the caller already ran every index and left.
            if (!job) continue;
            const std::function<void(int)>* f = job;
            int n = count;
            helper_busy = true;
            g.unlock();
            int ran = drain(*f, n);
            g.lock();
            finished += ran;
            helper_busy = false;
            done.notify_all();
        }
    }
};

helper_pool& pool() {
    static helper_pool p;
    return p;
}

thread_local bool t_inside_job = false;
std::atomic<bool> g_enabled{std::thread::hardware_concurrency() > 1};
std::mutex g_start_lock;

}  // namespace

bool parallel_enabled() { return g_enabled.load(); }

void set_parallel_enabled(bool enabled) { g_enabled = enabled && std::thread::hardware_concurrency() > 1; }

void parallel_for(int count, const std::function<void(int)>& job) {
    if (count < 2 || t_inside_job || !g_enabled.load()) {
        for (int i = 0; i < count; i++) job(i);
        return;
    }
    // One caller at a time owns the helper; a second caller runs alone.
    std::unique_lock<std::mutex> owner(g_start_lock, std::try_to_lock);
    if (!owner.owns_lock()) {
        for (int i = 0; i < count; i++) job(i);
        return;
    }
    helper_pool& p = pool();
    {
        std::lock_guard<std::mutex> g(p.lock);
        if (!p.thread.joinable()) p.thread = std::thread([&p] {
            t_inside_job = true;
            p.serve();
        });
        p.job = &job;
        p.count = count;
        p.next = 0;
        p.finished = 0;
        p.round++;
    }
    p.wake.notify_one();
    t_inside_job = true;
    int ran = p.drain(job, count);
    t_inside_job = false;
    std::unique_lock<std::mutex> g(p.lock);
    p.finished += ran;
    // Every index taken has finished once the count is full; the helper may
    // still be between rounds, which is harmless: it takes nothing more.
    p.done.wait(g, [&] { return p.finished >= count && !p.helper_busy; });
    p.job = nullptr;
}
