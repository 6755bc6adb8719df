// Random track scripts: loaded, their handlers run and a named call made,
// with short budgets so that loops end quickly, and a small heap cap. The
// script sounds are fed the same way through the natives (no device: every
// sound is refused). Nothing may crash, leak or hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "race/race.h"
#include "script/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    script_budget.load_seconds = 0.05;
    script_budget.handler_seconds = 0.02;
    script_budget.heap_bytes = 8u << 20;
    // The first line, when it starts with "//call ", names a function to call.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string callee = "kv.frame_handler";
    if (text.rfind("//call ", 0) == 0) {
        size_t end = text.find('\n');
        callee = text.substr(7, end == std::string::npos ? std::string::npos : end - 7);
    }
    if (script_load_text(text.data(), text.size())) {
        race.tic = 1000;
        script_tic();
        script_frame();
        const char* args[] = {"1", "x"};
        script_call(callee.c_str(), args, 2);
    }
    script_release();
    return 0;
}
