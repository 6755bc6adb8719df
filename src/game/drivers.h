// The driver tables the game fills at start-up: the app clock and the error
// dialog in core, and every table through which a subsystem reaches a part
// above it or beside it (README, "Layout", lists them with their fillers).
#pragma once

void connect_drivers();
