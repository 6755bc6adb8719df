#include "script/script_internal.h"

// The members of `kv` written in JavaScript. A track script replaces
// kv.frame_handler and kv.tic_handler; both get the script time in seconds.
const char* const script_prelude = R"js(
kv.get_running_order = function () {
    var out = [];
    var n = kv.get_running_count();
    for (var i = 0; i < n; i++)
        out.push({ slot: kv.get_running_order_slot(i),
                   position: kv.get_running_order_position(i),
                   time: kv.get_running_order_time(i) * kv.seconds_per_tic });
    return out;
};
kv.frame_handler = function (seconds) {};
kv.frame_handler_ = function (tics) {
    kv.seconds = tics * kv.seconds_per_tic;
    if ('frame_handler' in kv) kv.frame_handler(kv.seconds);
};
kv.tic_handler = function (seconds) {};
kv.tic_handler_ = function (tics) {
    kv.seconds = tics * kv.seconds_per_tic;
    if ('tic_handler' in kv) kv.tic_handler(kv.seconds);
};
kv.lap_to_index = function (lap) {
    if (lap == 0) return 0;
    return kv.first_lap_length + kv.normal_lap_length * (lap - 1) - 1;
};
kv.index_to_lap = function (index) {
    if (kv.normal_lap_length == 0 || index < kv.first_lap_length) return 0;
    return 1 + Math.floor((index - kv.first_lap_length) / kv.normal_lap_length);
};
kv.get_position = function (slot) {
    var a = [];
    return kv.get_position_(slot, a) ? a : null;
};
kv.get_velocity = function (slot) {
    var a = [];
    return kv.get_velocity_(slot, a) ? a : null;
};
kv.max_slots = kv.get_max_slots();
kv.first_lap_length = kv.get_first_lap_length();
kv.normal_lap_length = kv.get_normal_lap_length();
kv.seconds_per_tic = kv.get_seconds_per_tic();
kv.tics_per_second = 1 / kv.seconds_per_tic;
)js";
