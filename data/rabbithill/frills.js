// Rabbit Hill's track script. The data generator puts `places` in front of
// this text: where the scoreboard, the sponsor board, the flag marshal, the
// tractor's run, the big jump's landing and its crowd are.
//
// The scoreboard by the finish line shows the first three of the running
// order, the sponsor board before the big jump bobs, the marshal at the jump
// waves his flag, a tractor works the field behind the start straight, and
// the crowd at the landing cheers when a rider lands the big jump.

var SCOREBOARD = 0, SPONSOR = 1;  // the track's first billboards
var FLAGMAN = 0, TRACTOR = 1;     // and its first statues

var board = kv.read_texture('@rabbithill/scoreboard.seq');
var crowd = kv.add_sound('@rabbithill/crowd.raw');
var crowd_y = kv.get_elevation(places.crowd[0], places.crowd[1]) + 5;
if (crowd >= 0) {
    kv.set_sound_freq(crowd, 22050);
    kv.set_sound_pos(crowd, places.crowd[0], crowd_y, places.crowd[1]);
    kv.set_sound_loop(crowd, 1);
    kv.set_sound_vol(crowd, 0.3);
    kv.start_sound(crowd);
}

// ---- the crowd: a landing of the big jump -------------------------------------------

var cheer = 0;       // 0 .. 1, how loud the crowd is beyond its murmur
var air_tics = [];   // per slot: tics since a wheel last touched

function landed_big_jump(slot) {
    var p = kv.get_position(slot);
    if (!p) return false;
    var dx = p[0] - places.landing[0], dz = p[2] - places.landing[1], r = places.landing[2];
    return dx * dx + dz * dz < 4 * r * r;
}

kv.tic_handler = function (seconds) {
    var n = kv.get_running_count();
    for (var i = 0; i < n; i++) {
        var slot = kv.get_running_order_slot(i);
        var touching = kv.get_front_contact_depth(slot) > 0 || kv.get_rear_contact_depth(slot) > 0;
        if (!touching) {
            air_tics[slot] = (air_tics[slot] || 0) + 1;
            continue;
        }
        // Half a second in the air and down on both wheels near the landing.
        if (air_tics[slot] > 64 && !kv.get_rider_down(slot) && landed_big_jump(slot)) cheer = 1;
        air_tics[slot] = 0;
    }
    cheer *= 0.9985;  // fades over a few seconds
};

// ---- the scoreboard ---------------------------------------------------------------------

var shown = null;
var W = 256, H = 128;

function paste_digit(d, x, y) {
    kv.paste_custom_frame(board, 1, x / W, y / H, d * 20 / W, 0, 20 / W, 28 / H);
}

function draw_scoreboard() {
    if (!board) return;
    var text = [];
    var n = Math.min(kv.get_running_count(), 3);
    for (var i = 0; i < n; i++) text.push(kv.get_rider_number(kv.get_running_order_slot(i)));
    var key = text.join(',');
    if (key === shown) return;
    shown = key;
    if (!kv.begin_custom_frame(board)) return;
    kv.paste_custom_frame(board, 0, 0, 0, 0, 0, 1, 1);
    for (var row = 0; row < text.length; row++) {
        var digits = String(text[row]);
        for (var k = 0; k < digits.length && k < 8; k++) {
            var d = digits.charCodeAt(k) - 48;
            if (d >= 0 && d <= 9) paste_digit(d, 52 + k * 20, 34 + row * 30);
        }
    }
    // The leader's lamp.
    if (text.length) kv.paste_custom_frame(board, 1, 220 / W, 36 / H, 220 / W, 4 / H, 20 / W, 20 / H);
    kv.end_custom_frame(board);
}

// ---- things that move -------------------------------------------------------------------

function wave_flag(t) {
    var x = places.flagman[0], z = places.flagman[1], h = places.flagman[2];
    var a = 0.22 * Math.sin(t * 5.5);   // rocking about his own forward axis
    var c = Math.cos(h), s = Math.sin(h), ca = Math.cos(a), sa = Math.sin(a);
    var ax = [c, 0, -s], up = [0, 1, 0], fwd = [s, 0, c];
    var rot = [];
    for (var k = 0; k < 3; k++) rot[k] = ax[k] * ca + up[k] * sa;
    for (var k = 0; k < 3; k++) rot[3 + k] = -ax[k] * sa + up[k] * ca;
    for (var k = 0; k < 3; k++) rot[6 + k] = fwd[k];
    kv.move_statue_absolute(FLAGMAN, x, kv.get_elevation(x, z), z, rot);
}

var tractor_speed = 6;  // ft/s
function drive_tractor(t) {
    var fx = places.tractor_from[0], fz = places.tractor_from[1];
    var dx = places.tractor_to[0] - fx, dz = places.tractor_to[1] - fz;
    var len = Math.sqrt(dx * dx + dz * dz);
    if (len < 1) return;
    // There and back, a pause at each end to turn.
    var lap = 2 * len / tractor_speed + 8, u = t % lap, way = 1, f;
    if (u < len / tractor_speed) f = u * tractor_speed / len;
    else if (u < len / tractor_speed + 4) f = 1;
    else if (u < 2 * len / tractor_speed + 4) { f = 1 - (u - len / tractor_speed - 4) * tractor_speed / len; way = -1; }
    else { f = 0; way = -1; }
    var heading = Math.atan2(-dz * way, dx * way);
    kv.move_statue(TRACTOR, fx + dx * f, 0, fz + dz * f, heading);
}

kv.frame_handler = function (t) {
    kv.size_billboard(SPONSOR, 7 + 0.25 * Math.sin(t * 2.1));
    wave_flag(t);
    drive_tractor(t);
    draw_scoreboard();
    if (crowd >= 0) kv.set_sound_vol(crowd, 0.3 + 0.7 * cheer);
};
