// Start-up, the hand-over to the frame loop, and shutdown.
#pragma once

// The program: returns the process exit status.
int quarnix_main(int argc, char** argv);
