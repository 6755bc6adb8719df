// What Rabbit Hill's track script works with: where its things stand (found
// by the scenery's layout), and the files it uses: the scoreboard and the
// sponsor board (".seq" animations), the flag marshal and the tractor
// (models that the script moves) and the crowd's loop (a raw sound).
#pragma once

#include <string>

struct datagen_output;

struct frills_places {
    double scoreboard[3] = {};  // x, z, heading of nothing (billboards face the viewer)
    double sponsor[2] = {};
    double flagman[3] = {};     // x, z, heading
    double tractor_from[2] = {}, tractor_to[2] = {};
    double landing[3] = {};     // x, z of the big jump's landing and its radius
    double crowd[2] = {};       // where the crowd's sound comes from
};

// The script's file: the places as JavaScript, then the hand-written script
// of the data folder (the member `script_member`, replaced).
std::string frills_script(const frills_places& p, const std::string& script_text);
// Every file the script uses, under `dir` ("rabbithill/").
void add_frills_files(datagen_output& out, const std::string& dir);

// The texture names the track's objects use (without the "@dir" prefix).
constexpr const char* scoreboard_file = "scoreboard.seq";
constexpr const char* sponsor_file = "sponsor.seq";
constexpr const char* flagman_model_file = "flagman.jm";
constexpr const char* flagman_texture_file = "flagman.png";
constexpr const char* tractor_model_file = "tractor.jm";
constexpr const char* tractor_texture_file = "tractor.png";
constexpr const char* crowd_sound_file = "crowd.raw";
