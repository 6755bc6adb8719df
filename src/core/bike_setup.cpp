#include "core/bike_setup.h"

bike_setup player_setup;
