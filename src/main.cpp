// Entry point: everything else starts in quarnix_main.
#include "core/startup.h"

int main(int argc, char** argv) { return quarnix_main(argc, argv); }
