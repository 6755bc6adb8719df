// The data generator's shared pieces: the list of archive members being
// built, and the directory packer.
#pragma once

#include <string>
#include <vector>

#include "vfs/saf.h"

struct datagen_output {
    std::vector<saf_member> members;
};

// Adds a member, replacing an earlier one of the same name.
void add_member(datagen_output& out, const std::string& name, std::vector<uint8_t> data);
void add_text_member(datagen_output& out, const std::string& name, const std::string& text);
// Packs every file under dir (names relative to it), skipping README files.
bool pack_directory(datagen_output& out, const std::string& dir);
// Generators register themselves at start-up with QX_DATAGEN_GENERATOR and run
// in name order, so the archive does not depend on link order.
using generator_fn = bool (*)(datagen_output& out);
struct generator_registrar {
    generator_registrar(const char* name, generator_fn fn);
};
#define QX_DATAGEN_GENERATOR(name, fn) static generator_registrar qx_generator_##name(#name, fn)
// Runs every registered generator; false when one of them fails.
bool run_generators(datagen_output& out);
// Sorts the members by name so that the archive is the same on every build.
void finish_output(datagen_output& out);
