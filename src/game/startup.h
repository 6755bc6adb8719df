// Start-up, the hand-over to the frame loop, and shutdown.
#pragma once

// The program: returns the process exit status. Start-up runs its stages in
// order, the frame loop runs, and shutdown releases what start-up acquired
// in reverse order.
int quarnix_main(int argc, char** argv);

// "--record-audio": the memory-recording device's rate.
constexpr int record_audio_rate = 88320;
// Whether the processor has MMX (after "--nommx", never).
extern bool cpu_has_mmx;
