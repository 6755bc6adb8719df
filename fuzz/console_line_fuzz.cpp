// Arbitrary submitted lines through the console: commands, arguments and
// chat. Files the commands write go to a throw-away home folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/console.h"
#include "core/clock.h"
#include "core/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        char dir[] = "/tmp/qxfuzz.XXXXXX";
        if (mkdtemp(dir)) setenv("XDG_DATA_HOME", dir, 1);
        config_defaults();
        return true;
    }();
    (void)ready;
    total_clock += 1;
    std::string line(reinterpret_cast<const char*>(data), size);
    console_submit(line);
    if (settings.map_scale < 0.125 || settings.map_scale > 8) __builtin_trap();
    return 0;
}
