// Start-up, the hand-over to the frame loop, and shutdown.
#pragma once

struct vfs_file;

// The program: returns the process exit status. Start-up runs its stages in
// order, the frame loop runs, and shutdown releases what start-up acquired
// in reverse order.
int quarnix_main(int argc, char** argv);

// The "--record-audio" output while it is open (the frame loop appends one
// block per tic), or null.
extern vfs_file* record_audio_stream;
constexpr int record_audio_rate = 88320;
// Whether the processor has MMX (after "--nommx", never).
extern bool cpu_has_mmx;
