// Flaggers: the marshals of a track, drawn as billboards whose pictures the
// race drives. The start flagger shows its boards and walks off the start
// line; the lap flagger shows the leader's lap flag one gate before the
// line; yellow flaggers wave when a rider is down ahead of their gates.
#pragma once

#include <array>
#include <string>
#include <vector>

struct start_flagger_record {
    int billboard = -1;  // -1: none
    // x, y_offset, z of where it stands and where it walks to.
    std::array<float, 3> pos0 = {0, 0, 0}, pos1 = {0, 0, 0};
    float size = 0, aspect = 0;
    float walk_time = 1;  // seconds
    std::array<unsigned, 5> textures = {0, 0, 0, 0, 0};
};

enum lap_flag { lap_flag_normal, lap_flag_halfway, lap_flag_last_lap, lap_flag_finished, lap_flag_count };

struct lap_flagger_record {
    int billboard = -1;
    std::array<unsigned, lap_flag_count> textures = {0, 0, 0, 0};
};

struct yellow_flagger {
    int billboard = -1;
    unsigned normal = 0, yellow = 0;
    std::array<int, 4> gates = {-1, -1, -1, -1};  // -1: none
};

struct flagger_set {
    start_flagger_record start;
    lap_flagger_record lap;
    std::vector<yellow_flagger> yellow;
};
const flagger_set& track_flaggers();

// Reads a "flaggers" file: the start flagger, the lap flagger, then yellow
// flaggers, as far as the items convert; what was made until then stays.
void load_flaggers(const char* name);
void free_flaggers();
// Once per drawn frame: pictures and places from the race clock, the
// running order and the riders down. Nothing happens on a track without
// timing.
void update_flaggers();
// Set by update_flaggers when a rider is down before the gate.
bool rider_down_ahead(int gate);

// The start flagger's picture at `seconds` after the reset (0 … 4), and the
// lap flag for the leader's gates passed; exposed for tests.
int start_flagger_picture(double seconds, float walk_time);
int lap_flag_for(int leader_gates_passed);

// What the "flaggers" file holds, by name, for its writer.
struct flagger_file {
    struct place {
        float x = 0, y_offset = 0, z = 0;
    };
    place start_pos0, start_pos1;
    float start_size = 6, start_aspect = 0.5f, walk_time = 1;
    std::array<std::string, 5> start_textures;
    place lap_pos;
    float lap_size = 6, lap_aspect = 0.5f;
    std::array<std::string, lap_flag_count> lap_textures;
    struct yellow {
        place pos;
        float size = 6, aspect = 0.5f;
        std::array<int, 4> gates = {-1, -1, -1, -1};
        std::string normal, yellow;
    };
    std::vector<yellow> yellows;
};
std::string encode_flaggers(const flagger_file& f);
