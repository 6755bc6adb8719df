// Stand-ins until points series are built.
#include "race/series.h"

#include "core/diag.h"

void load_series() { log_printf("Points series is not available in this build\n"); }
void free_series() {}
