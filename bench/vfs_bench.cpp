// File index build over 20,000 loose files plus a 20,000-member archive, and
// vfs_scanf against fscanf on a 10 MB numeric text file.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "vfs/saf.h"
#include "vfs/vfs.h"

namespace {

struct bench_tree {
    std::string root;
    bench_tree() {
        char dir[] = "/tmp/qxbench.XXXXXX";
        root = mkdtemp(dir);
        std::string data = root + "/data";
        for (int d = 0; d < 100; d++) {
            std::string sub = data + "/dir" + std::to_string(d);
            std::filesystem::create_directories(sub);
            for (int i = 0; i < 200; i++) {
                FILE* f = fopen((sub + "/file" + std::to_string(i) + ".txt").c_str(), "wb");
                fputs("x", f);
                fclose(f);
            }
        }
        std::vector<saf_member> members;
        for (int i = 0; i < 20000; i++)
            members.push_back({"archived/dir" + std::to_string(i % 97) + "/member" + std::to_string(i) + ".dat",
                               std::vector<uint8_t>(16, (uint8_t)i)});
        saf_write((data + "/zzzz.saf").c_str(), members);
        setenv("XDG_DATA_HOME", (root + "/home").c_str(), 1);
        setenv("KV_HOME", data.c_str(), 1);
        // Numbers for the scanner.
        FILE* f = fopen((root + "/numbers.txt").c_str(), "wb");
        long written = 0;
        unsigned seed = 1;
        while (written < 10 * 1000 * 1000) {
            seed = seed * 1103515245u + 12345u;
            written += fprintf(f, "%d %.4f\n", (int)(seed >> 8) % 100000, (double)(seed % 1000000) / 997.0);
        }
        fclose(f);
    }
    ~bench_tree() { std::filesystem::remove_all(root); }
};

bench_tree& tree() {
    static bench_tree t;
    return t;
}

void BM_build_file_index(benchmark::State& state) {
    tree();
    for (auto _ : state) {
        vfs_shutdown();
        const char* const* list = file_list();
        benchmark::DoNotOptimize(list);
    }
    state.counters["entries"] = file_index_size();
}
BENCHMARK(BM_build_file_index)->Unit(benchmark::kMillisecond);

void BM_vfs_scanf_numbers(benchmark::State& state) {
    std::string path = tree().root + "/numbers.txt";
    for (auto _ : state) {
        vfs_file* f = vfs_open(path.c_str(), "rb");
        int i;
        float x;
        long count = 0;
        while (vfs_scanf(f, "%d %f", &i, &x) == 2) count++;
        vfs_close(f);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * 10 * 1000 * 1000);
}
BENCHMARK(BM_vfs_scanf_numbers)->Unit(benchmark::kMillisecond);

void BM_fscanf_numbers(benchmark::State& state) {
    std::string path = tree().root + "/numbers.txt";
    for (auto _ : state) {
        FILE* f = fopen(path.c_str(), "rb");
        int i;
        float x;
        long count = 0;
        while (fscanf(f, "%d %f", &i, &x) == 2) count++;
        fclose(f);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * 10 * 1000 * 1000);
}
BENCHMARK(BM_fscanf_numbers)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
