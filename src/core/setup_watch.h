// The watched bike-setup values behind the periodic "setup change" report:
// each entry remembers a value, whether it changed since, and its letter.
#pragma once

#include <optional>
#include <string>

constexpr int setup_watch_count = 39;

// Remembers every watched value of player_setup and clears every flag.
void remember_setup_values();
// Flags every entry whose current value differs from the remembered one.
void flag_setup_changes();
bool setup_changed(int entry);
// "[SPAM] setup change " plus one letter per changed entry ("-" otherwise)
// and "\n"; nullopt when nothing is flagged.
std::optional<std::string> setup_change_report();
