// Terrain queries on a 1025 x 1025 field (g = 9) of rolling random ground, at
// random points over the field and a margin around it. Items per second is
// queries per second on one core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "render/image_io.h"
#include "track/height_field.h"
#include "vfs/vfs.h"

namespace {

struct bench_field {
    std::string root;
    std::vector<float> xs, zs;
    bench_field() {
        char dir[] = "/tmp/qxtrack.XXXXXX";
        root = mkdtemp(dir);
        std::string track = root + "/tracks/b";
        std::filesystem::create_directories(track);
        setenv("XDG_DATA_HOME", (root + "/home").c_str(), 1);
        setenv("KV_HOME", root.c_str(), 1);
        vfs_shutdown();
        const int g = 9, n = (2 << g) + 1;
        std::mt19937 rng(7);
        std::vector<uint16_t> samples((size_t)n * n);
        for (int j = 0; j < n; j++)
            for (int i = 0; i < n; i++)
                samples[(size_t)i + (size_t)n * j] =
                    (uint16_t)(32768 + 12000 * std::sin(i * 0.05) * std::cos(j * 0.03) + (int)(rng() % 2000));
        auto put = [&](const char* name, const std::vector<uint8_t>& bytes) {
            FILE* f = fopen((track + "/" + name).c_str(), "wb");
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        };
        put("terrain.hf", encode_terrain_hf(g, 1.5f, -20.0f, 80.0f, samples.data()));
        std::vector<uint8_t> shading((size_t)n * n * 3, 128);
        put("shadingx2.ppm", encode_shading_x2(shading.data(), n));
        if (!load_height_field("tracks/b")) abort();
        std::uniform_real_distribution<float> pos(-10.0f, terrain.extent + 10.0f);
        xs.resize(1 << 20);
        zs.resize(1 << 20);
        for (size_t k = 0; k < xs.size(); k++) {
            xs[k] = pos(rng);
            zs[k] = pos(rng);
        }
    }
    ~bench_field() {
        free_height_field();
        std::filesystem::remove_all(root);
    }
};

bench_field& field() {
    static bench_field f;
    return f;
}

void bm_height_at(benchmark::State& state) {
    bench_field& f = field();
    size_t k = 0, mask = f.xs.size() - 1;
    for (auto _ : state) {
        for (int r = 0; r < 1024; r++, k = (k + 1) & mask) benchmark::DoNotOptimize(height_at(f.xs[k], f.zs[k]));
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(bm_height_at);

void bm_surface_normal_at(benchmark::State& state) {
    bench_field& f = field();
    size_t k = 0, mask = f.xs.size() - 1;
    for (auto _ : state) {
        for (int r = 0; r < 1024; r++, k = (k + 1) & mask)
            benchmark::DoNotOptimize(surface_normal_at(f.xs[k], f.zs[k]));
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(bm_surface_normal_at);

}  // namespace

BENCHMARK_MAIN();
