// SDL scancodes to PC scan codes (set 1, +0x100 for extended keys): key
// event codes and the names stored in configuration files are built on them.
#pragma once

// The set-1 code of an SDL scancode, or -1 for keys a PC keyboard lacks.
int pc_scan_code(int sdl_scancode);
// The SDL scancode of a set-1 code, or 0 (unknown).
int sdl_scancode_for(int pc_code);
