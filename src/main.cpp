// Entry point: the game layer does everything else.
#include "game/startup.h"

int main(int argc, char** argv) { return quarnix_main(argc, argv); }
