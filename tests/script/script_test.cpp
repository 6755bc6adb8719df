// The script host through its public calls: loading, handlers, named calls,
// the time-out and the memory cap, and the natives' answers to bad
// arguments.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/diag.h"
#include "race/race.h"
#include "script/script.h"
#include "testkit/testkit.h"

namespace {

struct script_host : ::testing::Test {
    script_limits saved = script_budget;
    void SetUp() override {
        clear_message_history();
        clear_race_state();
    }
    void TearDown() override {
        script_release();
        script_budget = saved;
    }
    bool load(const std::string& text) { return script_load_text(text.data(), text.size()); }
    double call(const char* name, bool* ok = nullptr) { return script_call(name, nullptr, 0, ok); }
    // Runs a check written in the script: it throws with what went wrong.
    void expect_passes(const char* name) {
        bool ok = false;
        call(name, &ok);
        EXPECT_TRUE(ok) << script_error();
    }
};

TEST_F(script_host, without_a_file_there_is_no_heap_and_handlers_do_nothing) {
    vfs_sandbox box;
    EXPECT_FALSE(script_load(box.root0().append("rabbithill/frills.js").c_str()));
    EXPECT_FALSE(script_active());
    script_frame();
    script_tic();
    bool ok = true;
    EXPECT_EQ(call("kv.get_max_slots", &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_STREQ(message_line(0), "");

    // A file that is there is run; one over the size cap is refused.
    write_file(box.root0() + "frills.js", "kv.answer = function () { return 42; };");
    ASSERT_TRUE(script_load((box.root0() + "frills.js").c_str()));
    EXPECT_EQ(call("kv.answer"), 42);
    script_budget.file_bytes = 10;
    EXPECT_FALSE(script_load((box.root0() + "frills.js").c_str()));
    EXPECT_FALSE(script_active());
}

TEST_F(script_host, loading_errors_are_reported_and_what_was_defined_stays) {
    // A syntax error runs nothing of the script, but the prelude stands.
    ASSERT_TRUE(load("kv.a = function () { return 1; };\n) syntax ("));
    EXPECT_EQ(std::string(message_line(0)).rfind("javascript error: SyntaxError", 0), 0u) << message_line(0);
    bool ok = false;
    EXPECT_EQ(script_call("kv.index_to_lap", nullptr, 0, &ok), 0);
    EXPECT_TRUE(ok);
    EXPECT_FALSE((call("kv.a", &ok), ok));

    // A run-time error keeps everything before it.
    ASSERT_TRUE(load("kv.b = function () { return 2; };\nno_such_function();\nkv.c = kv.b;"));
    EXPECT_NE(std::string(message_line(0)).find("ReferenceError"), std::string::npos) << message_line(0);
    EXPECT_EQ(call("kv.b"), 2);
    EXPECT_FALSE((call("kv.c", &ok), ok));
    // Without a frame handler of its own the prelude's empty one runs.
    clear_message_history();
    script_frame();
    EXPECT_TRUE(script_active());
    EXPECT_STREQ(message_line(0), "");
}

TEST_F(script_host, handler_exceptions_are_silent_and_the_handler_runs_again) {
    ASSERT_TRUE(load("var n = 0, t = '';\n"
                     "kv.tic_handler = function (s) { n++; t = s; throw new Error('boom'); };\n"
                     "kv.count = function () { return n; };\n"
                     "kv.last = function () { return t; };"));
    clear_message_history();
    race.tic = 256;
    script_tic();
    race.tic = 384;
    race.playback_delay = 127;
    script_tic();
    EXPECT_EQ(call("kv.count"), 2);
    // The handler gets seconds: (tic - delay) / 128.
    EXPECT_EQ(call("kv.last"), (384 - 127) / 128.0);
    race.playback_delay = 1000;
    script_tic();
    EXPECT_EQ(call("kv.last"), 0);
    EXPECT_STREQ(message_line(0), "");
    EXPECT_TRUE(script_active());
}

TEST_F(script_host, named_calls_resolve_dotted_names_and_say_what_failed) {
    ASSERT_TRUE(load("kv.deep = { add: function (a, b) { return Number(a) + Number(b); }, text: 'x' };\n"
                     "kv.fails = function () { throw new Error('no luck'); };"));
    const char* args[] = {"2", "40"};
    bool ok = false;
    EXPECT_EQ(script_call("kv.deep.add", args, 2, &ok), 42);
    EXPECT_TRUE(ok);
    struct {
        const char* name;
        const char* error;
    } cases[] = {
        {"kv.nothing.add", "can't find add"},
        {"kv.deep.text.more.x", "can't find more.x"},
        {"kv.deep.text", "text is not a function"},
        {"kv.nothing", "nothing is not a function"},
        {"kv.fails", "Error: no luck"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(script_call(c.name, nullptr, 0, &ok), 0) << c.name;
        EXPECT_FALSE(ok) << c.name;
        EXPECT_STREQ(script_error(), c.error);
    }
    std::string long_name = "kv." + std::string(1100, 'a') + ".b";
    script_call(long_name.c_str(), nullptr, 0, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::string(script_error()).rfind("can't find aaaa", 0), 0u);
    EXPECT_EQ(strlen(script_error()), 11u + 800u);
}

TEST_F(script_host, endless_loops_are_stopped_within_their_budget) {
    script_budget.load_seconds = 0.2;
    script_budget.handler_seconds = 0.05;
    struct {
        const char* text;
        bool in_handler;
    } cases[] = {
        {"while (1) {}", false},
        {"for (;;) { try { while (1) {} } catch (e) {} }", false},
        {"kv.tic_handler = function () { for (;;) {} };", true},
        {"function f() { try { for (;;) {} } finally { f(); } }\nkv.tic_handler = f;", true},
    };
    for (const auto& c : cases) {
        clear_message_history();
        auto start = std::chrono::steady_clock::now();
        bool loaded = load(c.text);
        if (c.in_handler) {
            ASSERT_TRUE(loaded) << c.text;
            script_tic();
        }
        double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(script_active()) << c.text;
        EXPECT_EQ(script_stop_reason(), script_stopped_time) << c.text;
        EXPECT_LT(took, 2.0) << c.text;
        EXPECT_STREQ(message_line(0), "javascript error: the track script ran too long and was stopped");
        script_tic();  // nothing left to run
    }
}

TEST_F(script_host, unbounded_allocation_is_stopped_by_the_heap_cap) {
    script_budget.heap_bytes = 4u << 20;
    for (const char* text : {"var a = []; for (;;) a.push('x' + a.length + new Array(1000).join('y'));",
                             "var s = 'x'; for (;;) { try { s = s + s; } catch (e) {} }"}) {
        clear_message_history();
        load(text);
        EXPECT_FALSE(script_active()) << text;
        EXPECT_EQ(script_stop_reason(), script_stopped_memory) << text;
        EXPECT_EQ(script_heap_bytes(), 0u);
        EXPECT_STREQ(message_line(0), "javascript error: the track script ran out of memory and was stopped");
    }
    // A fresh heap after the stop works as before.
    ASSERT_TRUE(load("kv.ok = function () { return 1; };"));
    EXPECT_EQ(call("kv.ok"), 1);
}

TEST_F(script_host, natives_refuse_bad_arguments) {
    // Nothing is loaded: no track, no bikes, no sounds, no textures. Each bad
    // value must give the native's plain "no" and never reach an index.
    ASSERT_TRUE(load(R"js(
var bad = [NaN, Infinity, -Infinity, 1e300, -1e300, -1, 160, 2147483648, 'text', undefined, null, {}, [], true];
function same(a, b) { return a === b || (a !== a && b !== b); }
kv.check = function () {
    var wrong = [];
    function expect(name, args, want) {
        var got = kv[name].apply(null, args);
        if (!same(got, want)) wrong.push(name + '(' + String(args[0]) + ') = ' + got);
    }
    for (var i = 0; i < bad.length; i++) {
        var v = bad[i], a = [7, 7, 7];
        expect('get_running_order_slot', [v], 0);
        expect('get_running_order_position', [v], 0);
        expect('get_running_order_time', [v], 0);
        expect('get_rider_down', [v], 0);
        expect('get_timing_position', [v], -1);
        expect('get_timing', [v, v], -1);
        expect('get_rider_number', [v], '');
        expect('get_rider_name', [v], '');
        expect('get_bike_model', [v], '');
        expect('get_front_contact_depth', [v], 0);
        expect('get_rear_contact_position', [v, a], 0);
        expect('get_front_contact_velocity', [v, a], 0);
        expect('begin_custom_frame', [v], 0);
        expect('end_custom_frame', [v], 0);
        expect('paste_custom_frame', [v, v, v, v, v, v, v, v], 0);
        expect('pose_statue', [v, v, a, a, a], 0);
        expect('move_statue', [v, v, v, v, v], 0);
        expect('move_statue_absolute', [v, v, v, v, a], 0);
        expect('move_billboard', [v, v, v, v], 0);
        expect('move_billboard_absolute', [v, 0, 0, 0], 0);
        expect('size_billboard', [v, 1], 0);
        expect('color_billboard', [v, 1, 1, 1, 1], 0);
        expect('start_sound', [v], 0);
        expect('stop_sound', [v], 0);
        expect('set_sound_loop', [v, 1], 0);
        expect('set_sound_freq', [v, 22050], 0);
        expect('set_sound_vol', [v, 1], 0);
        expect('set_sound_pos', [v, 0, 0, 0], 0);
        expect('set_sound_vel', [v, 0, 0, 0], 0);
        expect('add_sound', [v], -1);
        expect('read_texture', [v], 0);
        if (typeof v !== 'number' || !isFinite(v) || Math.abs(v) > 1e6) {
            expect('get_elevation', [v, 0], 0);
            expect('get_tile_number', [0, v], 0);
        }
        // An empty slot fills zeros; a non-array is not written.
        if (kv.get_position_(0, v) !== 0) wrong.push('get_position_ with ' + String(v));
        expect('get_position_', [v, a], 0);
        if (String(a) !== '0,0,0' && !(v === 0)) wrong.push('get_position_ left ' + a);
        expect('get_camera_location', [v, []], Array.isArray(v) ? 1 : 0);
    }
    expect('add_sound', ['/dev/zero'], -1);
    expect('add_sound', ['@../../etc/passwd'], -1);
    expect('read_texture', ['/dev/zero'], 0);
    expect('get_timing', [0, 0], -1);
    expect('get_running_count', [], 0);
    expect('get_max_slots', [], 160);
    expect('get_seconds_per_tic', [], 0.0078125);
    expect('get_gate_drop_time', [], -1);
    if (kv.lap_to_index(1) !== kv.first_lap_length - 1) wrong.push('lap_to_index');
    if (kv.get_position(3) !== null || kv.get_velocity(3) !== null) wrong.push('get_position');
    if (wrong.length) throw new Error(wrong.join('; '));
};
)js"));
    race.tic = 10;
    race.gate_drop_tic = 20;
    expect_passes("kv.check");
}

}  // namespace
