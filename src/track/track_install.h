// Fills the track entries of track_hook (core/hooks.h).
#pragma once

void install_track();
