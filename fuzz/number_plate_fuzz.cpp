// The plate colour tags of a bike texture's information text, and the plate
// painted from them: any text gives colours and a whole plate.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/bike_draw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    number_plate_colours c = number_plate_colours_of(text);
    // The number comes from the same bytes, cut the way a bike's is.
    std::string number = text.substr(0, std::min<size_t>(size, 7));
    std::vector<uint8_t> plate = number_plate_pixels(number.c_str(), c);
    if (plate.size() != (size_t)number_plate_size * number_plate_size * 3) abort();
    for (size_t i = 0; i < plate.size(); i += 3)
        if (plate[i] != c.background[0]) abort();  // no painter: the background only
    return 0;
}
