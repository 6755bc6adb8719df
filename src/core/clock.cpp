#include "core/clock.h"

double total_clock = 0.0;
