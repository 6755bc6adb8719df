// The configuration file "@config" and the named bike-setup files: the
// configuration's records (core/config.h) read from and written to files.
#pragma once

struct vfs_file;

// Reads "@config"; nothing happens when it does not exist.
void read_config();
// Writes "@config" through a temporary file that replaces the old one only
// when every byte was written; returns false (and keeps the old file) when
// that failed.
bool write_config();
// Reads key=value lines from an open file; with setup_only only the
// bike-setup keys count. False when a read error ended it.
bool read_settings_file(vfs_file* file, bool setup_only);
// Writes the bike-setup keys in order; false when a write failed.
bool write_setup(vfs_file* file);
// Writes every configuration key in order; false when a write failed.
bool write_config_file(vfs_file* file);
// A named setup file ("@setups/" + name): read (false when it cannot be
// opened or a read failed) and written (false when it could not be written completely).
bool read_setup_file(const char* name);
bool write_setup_file(const char* name);
