// The state history ring and the demo file format on their own: headers
// good and bad, and the chunk stream walked both ways over sound and
// damaged data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/diag.h"
#include "demo/demo_file.h"
#include "demo/history.h"
#include "testkit/testkit.h"
#include "vfs/vfs.h"

namespace {

compact_state marked(uint8_t mark) {
    compact_state s{};
    s.fill(mark);
    return s;
}

std::vector<int> kept_tics(int slot) {
    const state_history& h = slot_history(slot);
    std::vector<int> tics;
    for (int k = history_length - 1; k >= 0; k--) {
        int tic = h.history_tics[(size_t)((h.history_newest - k + history_length) % history_length)];
        if (tic >= 0) tics.push_back(tic);
    }
    return tics;
}

TEST(state_history, KeepsStatesSortedOncePerTic) {
    clear_histories();
    add_state_to_history(3, marked(1), 100);
    add_state_to_history(3, marked(2), 104);
    add_state_to_history(3, marked(3), 102);
    add_state_to_history(3, marked(9), 102);  // a second state for 102 changes nothing
    EXPECT_EQ(kept_tics(3), (std::vector<int>{100, 102, 104}));
    EXPECT_EQ(slot_history(3).history_unwritten, 3);
    history_sample at;
    ASSERT_TRUE(history_state_at(3, 102, at));
    EXPECT_EQ(at.target, marked(3));
    EXPECT_TRUE(kept_tics(4).empty());
    EXPECT_FALSE(history_state_at(4, 102, at));

    // Between kept tics the state is interpolated; past the newest it is
    // extrapolated by at most 64 tics.
    clear_histories();
    compact_state a{}, b{};
    b[1] = 1;  // frame x: 256 units further
    add_state_to_history(0, a, 100);
    add_state_to_history(0, b, 104);
    ASSERT_TRUE(history_state_at(0, 101, at));
    EXPECT_EQ(at.target[0] | at.target[1] << 8, 64);
    EXPECT_EQ(at.n, 4);
    ASSERT_TRUE(history_state_at(0, 1000, at));
    EXPECT_EQ(at.target[0] | at.target[1] << 8, 256 * 17);  // (104 + 64 - 100) / 4

    // A full ring keeps the newest 128; a state older than all of them is
    // dropped; a slot out of range stores nothing.
    for (int t = 0; t < 300; t++) add_state_to_history(5, marked((uint8_t)t), t * 4);
    std::vector<int> tics = kept_tics(5);
    ASSERT_EQ(tics.size(), (size_t)history_length);
    EXPECT_EQ(tics.front(), (300 - 128) * 4);
    EXPECT_EQ(tics.back(), 299 * 4);
    add_state_to_history(5, marked(0), 2);
    EXPECT_EQ(kept_tics(5), tics);
    add_state_to_history(160, marked(0), 2);
    EXPECT_STREQ(message_line(0), "add_state_to_history: slot out of range");
    add_state_to_history(-1, marked(0), 2);
    EXPECT_EQ(kept_tics(0).size(), 2u);
    clear_histories();
}

struct demo_files : ::testing::Test {
    vfs_sandbox box;
    std::string path(const std::string& name) { return box.home.file(name); }
    bool header_of(const std::string& text, demo_header& h, std::string& error) {
        write_file(path("d.kvdemo"), text);
        vfs_file* f = vfs_open(path("d.kvdemo").c_str(), "rb");
        bool ok = read_demo_header(f, h, error);
        if (f) vfs_close(f);
        return ok;
    }
};

TEST_F(demo_files, HeadersOfEveryVersionAndTheirDefaults) {
    demo_header h;
    std::string error;
    // Three numbers: the rest of the race values take their defaults.
    const char* three = "KV06 0 7680\nrabbithill\n";
    ASSERT_TRUE(header_of(three, h, error)) << error;
    EXPECT_EQ(h.version, 6);
    EXPECT_EQ(h.race_time, 7680);
    EXPECT_EQ(h.extra_laps, 0);
    EXPECT_EQ(h.gate_drop_tic, 1792);
    EXPECT_EQ(h.track, "rabbithill");
    EXPECT_EQ(h.body_start, (int64_t)strlen(three));

    ASSERT_TRUE(header_of("KV06 2 0 3 1800\ntrack\ncr125|a.png|b|c|d\n1234\nJoe\n\nyz250||\n7\nAnn\nextra\n\nBODY", h,
                          error))
        << error;
    ASSERT_EQ(h.riders.size(), 2u);
    EXPECT_EQ(h.riders[0].model, "cr125");
    EXPECT_EQ(h.riders[0].rider_texture, "a.png");
    EXPECT_EQ(h.riders[0].head_texture, "d");
    EXPECT_EQ(h.riders[0].number, "123");
    EXPECT_EQ(h.riders[0].name, "Joe");
    EXPECT_EQ(h.riders[1].bike_texture, "");
    EXPECT_EQ(h.riders[1].head_texture, "");
    EXPECT_EQ(h.riders[1].name, "Ann");
    EXPECT_EQ(h.gate_drop_tic, 1800);
    EXPECT_EQ(read_file(path("d.kvdemo")).substr((size_t)h.body_start), "BODY");

    // Versions 4 and 5 have no name line and no blank line.
    ASSERT_TRUE(header_of("KV05 1 0 0 900\nt\ncr125\n5\nBODY", h, error)) << error;
    EXPECT_EQ(h.riders[0].number, "5");
    EXPECT_EQ(read_file(path("d.kvdemo")).substr((size_t)h.body_start), "BODY");

    // What is not played, and says why.
    const char* bad[] = {
        "KV03 0 0\nt\n",           // version
        "KV06 0\nt\n",             // fewer than three numbers
        "KV06 161 0\nt\n",         // more riders than slots
        "KV06 -1 0\nt\n",          // a negative count
        "KV06 0 0",                // no line feed
        "KV06 0 0\n\n",            // no track
        "KV06 1 0\nt\ncr125\n5\n", // a rider record cut short
        "KV06 1 0\nt\ncr125\n5\nJoe\nno end",
    };
    for (const char* text : bad) {
        error.clear();
        EXPECT_FALSE(header_of(text, h, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST_F(demo_files, ChunkStreamWalksBothWaysAndStopsAtDamage) {
    demo_header h;
    h.track = "t";
    std::string head = demo_header_text(h);
    write_file(path("s.kvdemo"), head);
    vfs_file* out = vfs_open(path("s.kvdemo").c_str(), "ab");
    ASSERT_NE(out, nullptr);
    uint32_t previous = 0;
    std::vector<uint32_t> lengths = {44, 0, 7, 88, 3};
    for (size_t i = 0; i < lengths.size(); i++) {
        std::vector<uint8_t> payload(lengths[i], (uint8_t)i);
        ASSERT_TRUE(write_demo_chunk(out, previous, (int)(i * 16), 1, payload.data(), payload.size()));
    }
    ASSERT_TRUE(vfs_close(out));
    std::string body = read_file(path("s.kvdemo"));

    auto open_stream = [&](demo_stream& s) {
        vfs_file* f = vfs_open(path("s.kvdemo").c_str(), "rb");
        demo_header read;
        std::string error;
        ASSERT_TRUE(read_demo_header(f, read, error)) << error;
        ASSERT_TRUE(open_demo_stream(s, f, path("s.kvdemo"), read.body_start));
    };
    demo_stream s;
    open_stream(s);
    std::vector<uint8_t> payload;
    demo_chunk c;
    for (size_t i = 0; i < lengths.size(); i++) {
        ASSERT_EQ(peek_chunk(s, c), chunk_read::chunk) << i;
        EXPECT_EQ(c.length, lengths[i]);
        EXPECT_EQ(c.tic, (int)i * 16);
        ASSERT_TRUE(read_chunk_payload(s, c, payload));
        EXPECT_EQ(payload, std::vector<uint8_t>(lengths[i], (uint8_t)i));
    }
    EXPECT_EQ(peek_chunk(s, c), chunk_read::end);
    // Back through every chunk to the start, and no further.
    for (int i = (int)lengths.size() - 1; i >= 0; i--) {
        ASSERT_TRUE(step_back_chunk(s, c)) << i;
        EXPECT_EQ(c.tic, i * 16);
    }
    EXPECT_FALSE(step_back_chunk(s, c));
    EXPECT_EQ(s.position, s.body_start);
    ASSERT_EQ(peek_chunk(s, c), chunk_read::chunk);
    EXPECT_EQ(c.tic, 0);
    close_demo_stream(s);

    // A link that makes the second chunk longer than the rest of the file:
    // the stream ends after the first.
    size_t second = head.size() + 9 + 44;
    std::string damaged = body;
    damaged[second + 3] = (char)0x7f;
    write_file(path("s.kvdemo"), damaged);
    open_stream(s);
    ASSERT_EQ(peek_chunk(s, c), chunk_read::chunk);
    ASSERT_TRUE(read_chunk_payload(s, c, payload));
    EXPECT_EQ(peek_chunk(s, c), chunk_read::damaged);
    close_demo_stream(s);

    // A last chunk whose link points before the body: walking back from it
    // stops at the body's start instead of reading the header as chunks.
    damaged = body;
    size_t last = body.size() - 9 - 3;
    damaged[last + 2] = (char)0x40;
    write_file(path("s.kvdemo"), damaged);
    open_stream(s);
    s.position = (int64_t)body.size();
    s.previous_length = 3;
    EXPECT_FALSE(step_back_chunk(s, c));
    EXPECT_EQ(s.position, s.body_start);
    close_demo_stream(s);

    // A negative tic is damage too.
    damaged = body;
    damaged[head.size() + 7] = (char)0x80;
    write_file(path("s.kvdemo"), damaged);
    open_stream(s);
    EXPECT_EQ(peek_chunk(s, c), chunk_read::damaged);
    close_demo_stream(s);
}

}  // namespace
