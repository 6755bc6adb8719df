// Terrain deformation: the stroke message, averaging wheel contacts into
// points and strokes, digging and depositing, and the paced queue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "track/erosion.h"
#include "track/tile_info.h"
#include "track_fixture.h"

namespace {

// A flat 129 x 129 field of 1 ft cells (extent 128) at height 5, one
// default tile type.
struct erosion_ground : track_sandbox {
    explicit erosion_ground(erode_params e = {}) {
        std::vector<uint16_t> flat((size_t)side(6) * side(6), 32768);
        write_field(6, 1.0f, 0.0f, 10.0f, &flat);
        EXPECT_TRUE(load());
        tile_info t;
        t.erode = e;
        set_tile_types({t});
        erode_reset(100 * 1024);
    }
    ~erosion_ground() {
        erode_reset(0);
        erode_network = {};
        free_tile_types();
    }
};

double total_height() {
    double sum = 0;
    size_t n = (size_t)terrain.samples_per_side * terrain.samples_per_side;
    for (size_t k = 0; k < n; k++) sum += terrain.heights[k];
    return sum;
}

// A wheel rolling over flat ground at 20 ft/s, the contact pushing 200 lbf
// along +x: well above every default threshold, so each tic counts.
erode_contact rolling(float x, float z) {
    erode_contact c;
    c.point[0] = x, c.point[1] = 5, c.point[2] = z;
    c.velocity[0] = 20;
    c.force[0] = 200, c.force[1] = 300;
    c.depth = 0.1f;
    return c;
}

erode_point point(float x, float z, float px, float pz, int weight) {
    erode_point p;
    p.x = x, p.z = z, p.push_x = px, p.push_z = pz, p.weight = weight;
    return p;
}

std::vector<uint8_t> message_of(const std::vector<erode_point>& points) {
    erode_stroke s;
    for (const erode_point& p : points) {
        if (s.point_count >= 1) {
            float dx = p.x - s.points[(size_t)s.point_count - 1].x, dz = p.z - s.points[(size_t)s.point_count - 1].z;
            if (s.point_count == 1) s.delta_min_x = s.delta_max_x = dx, s.delta_min_z = s.delta_max_z = dz;
            s.delta_min_x = std::min(s.delta_min_x, dx), s.delta_max_x = std::max(s.delta_max_x, dx);
            s.delta_min_z = std::min(s.delta_min_z, dz), s.delta_max_z = std::max(s.delta_max_z, dz);
        }
        s.points[(size_t)s.point_count++] = p;
    }
    return encode_stroke(s);
}

}  // namespace

TEST(erode_message, RandomStrokesRoundTripWithinTheirSteps) {
    erosion_ground ground;
    std::mt19937 rng(36);
    std::uniform_real_distribution<float> pos(0.0f, 128.0f), step(-1.5f, 1.5f), push(-1.0f, 1.0f);
    for (int trial = 0; trial < 300; trial++) {
        int count = 1 + (int)(rng() % 64);
        std::vector<erode_point> points;
        float x = pos(rng), z = pos(rng);
        for (int k = 0; k < count; k++) {
            points.push_back(point(x, z, push(rng), push(rng), 1 + (int)(rng() % 16)));
            x = std::clamp(x + step(rng), 0.0f, 128.0f), z = std::clamp(z + step(rng), 0.0f, 128.0f);
        }
        std::vector<uint8_t> m = message_of(points);
        ASSERT_EQ(m.size(), 17u + 4u * (size_t)(count - 1));
        std::vector<erode_point> back;
        ASSERT_TRUE(decode_stroke(m.data(), m.size(), back));
        ASSERT_EQ(back.size(), points.size());
        for (size_t k = 0; k < points.size(); k++) {
            // Positions: the difference step (a 3 ft range over 255) at worst,
            // never growing along the stroke.
            EXPECT_NEAR(back[k].x, points[k].x, 0.01f) << trial << " point " << k;
            EXPECT_NEAR(back[k].z, points[k].z, 0.01f) << trial << " point " << k;
            // Pushes: one 1/32 step below the value, never above it.
            for (auto [got, want] : {std::pair{back[k].push_x, points[k].push_x}, {back[k].push_z, points[k].push_z}}) {
                EXPECT_LE(got, want + 1e-6f);
                EXPECT_GT(got, want - 1.0f / 32 - 1e-6f);
            }
            // Four bits of weight: a full 16-tic point keeps the most they hold.
            EXPECT_EQ(back[k].weight, std::min(points[k].weight, erode_max_weight));
        }
    }
    // Three points make 25 bytes; the push byte of the ends of the range.
    std::vector<uint8_t> three = message_of({point(1, 1, 1, -1, 16), point(2, 1, 0, 0, 3), point(3, 1, 0, 0, 3)});
    EXPECT_EQ(three.size(), 25u);
    EXPECT_EQ(three[15], 252 | 3);  // push 1 at the top of its six bits, weight 15's low bits
    EXPECT_EQ(three[16], 0 | 3);
}

TEST(erode_message, MalformedMessagesAreRefused) {
    erosion_ground ground;
    std::vector<uint8_t> good = message_of({point(10, 10, 1, 0, 4), point(11, 10, 1, 0, 4)});
    struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"short", std::vector<uint8_t>(good.begin(), good.begin() + 16)},
        {"partial point", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"another kind", [&] { auto b = good; b[0] = 2; return b; }()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(receive_stroke(c.bytes.data(), c.bytes.size()), -1) << c.what;
        EXPECT_EQ(erode_queue_count(), 0) << c.what;
    }
    EXPECT_EQ(receive_stroke(good.data(), good.size()), 2);
    free_height_field();  // no ground: nothing to put the points on
    EXPECT_EQ(receive_stroke(good.data(), good.size()), -1);
}

TEST(erode_strokes, WheelsAverageIntoPointsAndStrokesGoAtSixtyFourPointsOrTimeOut) {
    erosion_ground ground;
    erode_stroke& s = erode_stroke_of(3, false);
    // 0.25 ft per tic: the fifth tic finishes a point of four and starts the next.
    for (int t = 0; t < 5; t++) erode_from_wheel(s, rolling(10 + 0.25f * (float)t, 20), false, 1000 + t);
    ASSERT_EQ(s.point_count, 1);
    EXPECT_EQ(s.points[0].weight, 4);
    EXPECT_FLOAT_EQ(s.points[0].x, 10.375f);
    EXPECT_NEAR(std::hypot(s.points[0].push_x, s.points[0].push_z), 1.0f, 1e-6f);
    EXPECT_GT(s.points[0].push_x, 0.99f);
    EXPECT_EQ(s.sample_count, 1);

    // One point per tic (a foot per tic): the 65th point sends the first 64.
    erode_reset(1024);
    erode_stroke& r = erode_stroke_of(3, false);
    int t = 2000;
    for (int k = 0; k <= 65; k++) erode_from_wheel(r, rolling(10 + (float)k, 64), false, t++);
    EXPECT_EQ(erode_queue_count(), 64);
    EXPECT_EQ(r.point_count, 1);
    // Off the ground: nothing for 64 tics, then the rest goes.
    erode_contact air;
    for (int k = 0; k < 64; k++) erode_from_wheel(r, air, false, t++);
    EXPECT_EQ(erode_queue_count(), 64);
    erode_from_wheel(r, air, false, t++);
    EXPECT_EQ(erode_queue_count(), 66);
    EXPECT_EQ(r.point_count, 0);
    EXPECT_NEAR(erode_queue_at(65).x, 75.0f, 0.05f);
    // Touching down again where it left starts afresh: the first point is
    // the average of where the wheel has been since.
    for (int k = 1; k <= 5; k++) erode_from_wheel(r, rolling(75 + 0.25f * (float)k, 64), false, t++);
    ASSERT_EQ(r.point_count, 1);
    EXPECT_FLOAT_EQ(r.points[0].x, 75.625f);

    // A wheel off the height field makes no point, and a point far from the
    // one before (a bike put back on the track) starts a stroke of its own:
    // every queued point lies on the ground where it was made.
    erode_reset(1024);
    erode_stroke& jump = erode_stroke_of(4, true);
    for (float x : {-30.0f, 10.0f, 10.5f, 11.0f, 11.5f, 5000.0f, 50.0f, 50.5f, 51.0f, 51.5f}) {
        erode_from_wheel(jump, rolling(x, 20), true, t);
        t += 16;
    }
    send_stroke(jump);
    ASSERT_GE(erode_queue_count(), 2);
    for (int k = 0; k < erode_queue_count(); k++) {
        EXPECT_TRUE(std::fabs(erode_queue_at(k).x - 10.75f) < 1 || std::fabs(erode_queue_at(k).x - 50.75f) < 1)
            << erode_queue_at(k).x;
        EXPECT_NEAR(erode_queue_at(k).z, 20.0f, 0.05f);
    }

    // With no rate, no bike makes strokes; a standing wheel never divides by
    // its zero speed.
    erode_reset(0);
    for (int k = 0; k < 40; k++) erode_from_wheels(0, rolling(10 + (float)k, 30), rolling(12 + (float)k, 30), t++);
    EXPECT_EQ(erode_stroke_of(0, true).sample_count + erode_stroke_of(0, true).point_count, 0);
    erode_reset(1024);
    erode_contact still = rolling(40, 40);
    still.velocity[0] = 0;
    erode_from_wheel(erode_stroke_of(1, true), still, true, t++);
    EXPECT_EQ(erode_stroke_of(1, true).sample_count, 0);  // no speed, no push
}

TEST(erode_ground, DigAndDepositKeepTheVolumeAndSlopesLimitThem) {
    erosion_ground ground;
    double before = total_height();
    double dug = erode_dig(40.3f, 50.7f, 4, 0.5f);
    EXPECT_LT(dug, -1.0);
    EXPECT_NEAR(total_height() - before, dug, 1e-3);
    EXPECT_NEAR(erode_deposit(20.2f, 30.1f, 4, (float)-dug), -dug, 1e-3);
    EXPECT_NEAR(total_height(), before, 1e-3);
    // At the edge only the samples on the grid change, and they still balance.
    double edge = erode_dig(0.5f, 127.5f, 4, 0.5f);
    EXPECT_NEAR(erode_deposit(1.0f, 126.0f, 4, (float)-edge), -edge, 1e-3);
    EXPECT_NEAR(total_height(), before, 2e-3);
    // A hostile radius stays bounded: 32 cells at most.
    float corner = terrain.heights[0];
    double wide = erode_dig(64, 64, 1e30f, 0.01f);
    EXPECT_LT(wide, -1.0);
    EXPECT_GT(wide, -0.01 * 64 * 64);
    EXPECT_EQ(terrain.heights[0], corner);
    erode_deposit(64, 64, 1e30f, (float)-wide);

    // Whole points: every applied point keeps the volume.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(8.0f, 120.0f), push(-1.0f, 1.0f);
    int changes = terrain.change_count;
    for (int k = 0; k < 200; k++) apply_erode_point(point(pos(rng), pos(rng), push(rng), push(rng), 1 + k % 15), 100);
    EXPECT_GT(terrain.change_count, changes);
    EXPECT_NEAR(total_height(), before, 0.05);
}

TEST(erode_ground, SteepDepositsAndPushesWithoutDirectionChangeNothing) {
    // A deposit point 2 ft higher with D = 2 and max slope 0.5 leaves the ground alone.
    erode_params steep;
    steep.erode_max_slope = 0.5f;
    erosion_ground hill(steep);
    terrain.frozen = 0;
    for (int j = 0; j < 129; j++)
        for (int i = 0; i < 129; i++) set_sample(i, j, 5.0f + (float)i);  // rises 1 ft per ft in x
    std::vector<float> copy(terrain.heights, terrain.heights + 129 * 129);
    apply_erode_point(point(60, 60, -1, 0, 8), 100);  // dirt pushed to -x: deposit at x + 2
    EXPECT_EQ(std::memcmp(copy.data(), terrain.heights, copy.size() * sizeof(float)), 0);
    apply_erode_point(point(60, 60, 0, 0, 8), 100);   // no direction: nothing
    EXPECT_EQ(std::memcmp(copy.data(), terrain.heights, copy.size() * sizeof(float)), 0);
    apply_erode_point(point(60, 60, 0, 1, 8), 100);   // across the slope: digs
    EXPECT_LT(height_at(60, 60), 65.0f);
}

TEST(erode_queue, BudgetDeferralDeadlineAndOrder) {
    erosion_ground ground;
    std::vector<erode_point> far;
    for (int k = 0; k < 10; k++) far.push_back(point(100 + 0.5f * (float)k, 100, 1, 0, 4));
    std::vector<uint8_t> m = message_of(far);
    ASSERT_EQ(receive_stroke(m.data(), m.size()), 10);
    float viewer[2] = {20, 20};
    apply_erosion(viewer, 100, 0);  // budget (10 >> 9) + 4
    EXPECT_EQ(erode_queue_count(), 6);
    EXPECT_NEAR(erode_queue_at(0).x, 102.0f, 0.01f);  // first in, first out
    apply_erosion(nullptr, 100, 1);
    apply_erosion(nullptr, 100, 2);
    EXPECT_EQ(erode_queue_count(), 0);

    // Near the viewer points wait, with those behind them, until 256 tics
    // after they were first held back.
    std::vector<uint8_t> near = message_of({point(21, 20, 1, 0, 4), point(22, 20, 1, 0, 4)});
    std::vector<uint8_t> away = message_of({point(90, 90, 1, 0, 4)});
    receive_stroke(near.data(), near.size());
    receive_stroke(away.data(), away.size());
    apply_erosion(viewer, 100, 1000);
    EXPECT_EQ(erode_deadline(), 1256);
    for (int t = 1001; t < 1256; t++) apply_erosion(viewer, 100, t);
    EXPECT_EQ(erode_queue_count(), 3);
    EXPECT_EQ(erode_deadline(), 1256);  // held points do not move the deadline on
    apply_erosion(viewer, 100, 1256);
    EXPECT_EQ(erode_queue_count(), 0);
    EXPECT_EQ(erode_deadline(), -1);

    // A backlog beyond 8192 is taken regardless of the viewer, faster.
    std::vector<erode_point> many;
    for (int k = 0; k < 64; k++) many.push_back(point(20, 20, 1, 0, 1));
    std::vector<uint8_t> big = message_of(many);
    for (int k = 0; k < 160; k++) receive_stroke(big.data(), big.size());
    ASSERT_EQ(erode_queue_count(), 10240);
    apply_erosion(viewer, 1, 5000);
    EXPECT_EQ(erode_queue_count(), 10240 - ((10240 >> 9) + 4 + ((10240 - 8192) >> 6)));
    erode_reset(1024);
    EXPECT_EQ(erode_queue_count(), 0);
}

TEST(erode_ground, TheSameRideDigsTheSameGroundBitForBit) {
    auto ride = [] {
        erosion_ground ground;
        std::mt19937 rng(99);
        std::uniform_real_distribution<float> wobble(-0.3f, 0.3f), force(-400.0f, 400.0f);
        for (int t = 0; t < 3000; t++) {
            float a = (float)t * 0.004f;
            erode_contact front = rolling(64 + 40 * std::cos(a), 64 + 40 * std::sin(a));
            erode_contact rear = rolling(64 + 38 * std::cos(a) + wobble(rng), 64 + 38 * std::sin(a));
            rear.force[0] = force(rng), rear.force[2] = force(rng);
            rear.slip_velocity[0] = 3;
            if (t % 300 < 40) front.depth = 0;  // jumps
            erode_from_wheels(5, front, rear, t);
            if (t % 8 == 0) {
                float viewer[2] = {64, 64};
                apply_erosion(viewer, 50, t);
            }
        }
        for (int t = 3000; erode_queue_count() > 0 && t < 20000; t++) apply_erosion(nullptr, 50, t);
        return std::vector<float>(terrain.heights, terrain.heights + 129 * 129);
    };
    std::vector<float> first = ride(), second = ride();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
    float lowest = *std::min_element(first.begin(), first.end());
    EXPECT_LT(lowest, 5.0f);  // the ride left a rut
}
