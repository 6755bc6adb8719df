// Input names as the configuration hands them over: key names, device
// button and axis names, with aliases. Whatever resolves must name itself
// back to the same code.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/input.h"
#include "platform/window.h"

namespace {

struct fuzz_device {
    int axes, buttons;
};
fuzz_device pad{3, 12}, wide{2, 400};

input_device_driver make_backend() {
    input_device_driver b;
    b.start = [] { return true; };
    b.enumerate = [](bool, std::vector<device_description>& out) {
        for (fuzz_device* d : {&pad, &wide}) {
            device_description desc;
            desc.instance_name = d == &pad ? "Joystick 1" : "Wide.Pad";
            desc.axis_count = d->axes;
            desc.button_count = d->buttons;
            desc.axis_labels.assign((size_t)d->axes, "a");
            desc.axis_relative.assign((size_t)d->axes, false);
            desc.button_labels.assign((size_t)d->buttons, "b");
            desc.buffered = false;
            desc.handle = d;
            out.push_back(desc);
        }
    };
    b.read_state = [](void* h, std::vector<int>& axes, std::vector<uint8_t>& buttons) {
        axes.assign(((fuzz_device*)h)->axes, 1234);
        buttons.assign(((fuzz_device*)h)->buttons, 0);
        return true;
    };
    b.cursor_position = [](int& x, int& y) {
        x = 1;
        y = 2;
        return true;
    };
    b.system_key_name = [](int n) { return n == 0x1d ? "Control" : n == 0x39 ? "" : "Key"; };
    return b;
}
const input_device_driver backend = make_backend();
plix_window* window = nullptr;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!window) {
        window = new plix_window();
        set_input_device_driver(&backend);
        open_input_devices(window);
    }
    std::string name((const char*)data, size);
    int code = key_code_for_name(window, name.c_str());
    if (code >= 0) {
        const char* back = key_name_for_code(window, code);
        if (!back || key_code_for_name(window, back) != code) abort();
    }
    if (axis_reader* r = open_axis(window, name.c_str())) {
        read_axis(r);
        close_axis(r);
    }
    input_event e;
    while (take_event(window->events, &e)) {
    }
    return 0;
}
