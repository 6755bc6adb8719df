// Points series as start-up and shutdown load and free them. Series files and
// their events are not built yet: loading says so and finds none.
#pragma once

// Every ".series" file of the index (none in this build).
void load_series();
void free_series();
