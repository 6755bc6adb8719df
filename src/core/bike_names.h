// The names of the built-in bike models, in table order. The bike model
// table and the configuration's "bike" choice share this one list.
#pragma once

constexpr int bike_model_count = 80;
extern const char* const bike_model_names[bike_model_count];
