// The points-series readers: any bytes as a ".series" file, and as a
// standings file of a series whose size the first bytes choose; ranking and
// the standings cells must then stay within the tables.
#include <cstdint>
#include <string>

#include "race/series.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    points_series parsed;
    parse_series("fuzz.series", text.c_str(), parsed);

    if (size < 2) return 0;
    points_series s;
    s.robot_numbers.resize(data[0] % series_rider_limit);
    s.events.resize(1 + data[1] % 12);
    for (size_t k = 0; k < s.events.size(); k++) {
        s.events[k].moto_points[0] = 25;
        s.events[k].round_points[0] = k % 3 == 2 ? 10 : 0;
    }
    parse_series_standings(s, text.c_str() + 2);
    compute_series_order(s);
    for (const series_round& r : completed_rounds(s))
        for (int i = 0; i < s.riders(); i++) round_cell(s, r, i);
    series_table_order(s);
    series_lineup(s);
    return 0;
}
