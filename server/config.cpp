// The server's settings: one table of keys, read from the configuration
// file as "key value" lines and from the command line as "--key value".
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/text.h"
#include "server.h"

const char* const server_usage =
    "usage: quarnix-server [options]\n"
    "Runs races for Quarnix players over UDP.\n"
    "\n"
    "  --track DIR          track directory to race on (rabbithill)\n"
    "  --port N             UDP port (19800)\n"
    "  --config FILE        read settings from FILE (\"key value\" lines, # comments)\n"
    "  --data DIR           extra data folder holding the game's data archive\n"
    "  --password TEXT      password players must give\n"
    "  --laps N             laps per race (3)\n"
    "  --time-limit MIN     race time limit in minutes (0: none)\n"
    "  --gate-delay S       seconds from the race start to the gate drop (10)\n"
    "  --max-clients N      connections at once, 1..160 (160)\n"
    "  --max-per-host N     connections from one host (16)\n"
    "  --max-riders N       places in the starting gate (16)\n"
    "  --timeout S          drop a client silent this long (10)\n"
    "  --finish-wait S      race ends this long after the first finisher (60)\n"
    "  --restart-delay S    pause between races (10)\n"
    "  --erode N            ground erosion rate sent to clients (0)\n"
    "  --no-arcade          forbid arcade physics\n"
    "  --off-course-bias X  send this off-course bias\n"
    "  --off-course-scale X send this off-course scale\n"
    "  --knockout \"N ...\"   send this knockout table\n"
    "  --upload-dir DIR     folder for files players send (uploads)\n"
    "  --upload-max-kb N    largest upload (1024)\n"
    "  --upload-max-files N files the upload folder may hold (256)\n"
    "  --no-uploads         refuse uploads\n"
    "  --max-packet-rate N  datagrams a second per client (1000)\n"
    "  --help               this text\n"
    "Configuration keys are the option names with \"_\" for \"-\" (laps 2, no_arcade 1).\n";

namespace {

enum class kind { text, integer, number, flag };

struct setting {
    const char* key;
    kind type;
    std::string server_config::* text = nullptr;
    int server_config::* integer = nullptr;
    double server_config::* number = nullptr;
    bool server_config::* flag = nullptr;  // also: "given" for numbers only sent when given
};

setting text_key(const char* k, std::string server_config::* m) { return {k, kind::text, m, nullptr, nullptr, nullptr}; }
setting int_key(const char* k, int server_config::* m) { return {k, kind::integer, nullptr, m, nullptr, nullptr}; }
setting num_key(const char* k, double server_config::* m, bool server_config::* given = nullptr) {
    return {k, kind::number, nullptr, nullptr, m, given};
}
setting flag_key(const char* k, bool server_config::* m) { return {k, kind::flag, nullptr, nullptr, nullptr, m}; }

const setting settings[] = {
    text_key("track", &server_config::track),
    int_key("port", &server_config::port),
    text_key("password", &server_config::password),
    text_key("data", &server_config::data_dir),
    int_key("max_clients", &server_config::max_clients),
    int_key("max_per_host", &server_config::max_per_host),
    int_key("max_riders", &server_config::max_riders),
    int_key("laps", &server_config::laps),
    num_key("time_limit", &server_config::time_limit),
    num_key("gate_delay", &server_config::gate_delay),
    num_key("timeout", &server_config::timeout),
    num_key("finish_wait", &server_config::finish_wait),
    num_key("restart_delay", &server_config::restart_delay),
    int_key("erode", &server_config::erode),
    flag_key("no_arcade", &server_config::no_arcade),
    num_key("off_course_bias", &server_config::off_course_bias, &server_config::send_off_course_bias),
    num_key("off_course_scale", &server_config::off_course_scale, &server_config::send_off_course_scale),
    text_key("knockout", &server_config::knockout),
    flag_key("uploads", &server_config::uploads),
    text_key("upload_dir", &server_config::upload_dir),
    int_key("upload_max_kb", &server_config::upload_max_kb),
    int_key("upload_max_files", &server_config::upload_max_files),
    int_key("max_packet_rate", &server_config::max_packet_rate),
};

const setting* find_setting(std::string_view key) {
    for (const setting& s : settings)
        if (key == s.key) return &s;
    return nullptr;
}

// Applies one value; false with a reason when it does not parse or is out
// of range.
bool apply(server_config& c, const setting& s, const std::string& value, std::string& why) {
    switch (s.type) {
    case kind::text:
        c.*s.text = value;
        return true;
    case kind::integer: {
        char* end = nullptr;
        errno = 0;
        long v = strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || errno || v < 0 || v > 1000000) {
            why = "needs a whole number 0..1000000";
            return false;
        }
        if (!strcmp(s.key, "port") && (v < 1 || v > 65535)) {
            why = "needs a port 1..65535";
            return false;
        }
        c.*s.integer = (int)v;
        return true;
    }
    case kind::number: {
        char* end = nullptr;
        double v = parse_double_c(value.c_str(), &end);
        if (value.empty() || *end || !(v >= 0 && v <= 1e6)) {
            why = "needs a number 0..1000000";
            return false;
        }
        c.*s.number = v;
        if (s.flag) c.*s.flag = true;
        return true;
    }
    case kind::flag:
        if (value == "1" || value == "yes" || value == "on") {
            c.*s.flag = true;
        } else if (value == "0" || value == "no" || value == "off") {
            c.*s.flag = false;
        } else {
            why = "needs 1 or 0";
            return false;
        }
        return true;
    }
    return false;
}

std::string trim(std::string_view s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string_view::npos) return "";
    size_t b = s.find_last_not_of(" \t\r");
    return std::string(s.substr(a, b - a + 1));
}

}  // namespace

bool parse_server_config(std::string_view text, server_config& c, std::string& errors) {
    bool ok = true;
    int line_no = 0;
    while (!text.empty()) {
        size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view{} : text.substr(lf + 1);
        line_no++;
        size_t hash = line.find('#');
        std::string l = trim(line.substr(0, hash));
        if (l.empty()) continue;
        size_t sp = l.find_first_of(" \t");
        std::string key = l.substr(0, sp);
        std::string value = sp == std::string::npos ? "" : trim(std::string_view(l).substr(sp));
        const setting* s = find_setting(key);
        std::string why;
        if (!s) {
            errors += "line " + std::to_string(line_no) + ": unknown key '" + key + "'\n";
            ok = false;
        } else if (!apply(c, *s, value, why)) {
            errors += "line " + std::to_string(line_no) + ": " + key + " " + why + "\n";
            ok = false;
        }
    }
    return ok;
}

bool parse_server_args(int argc, char** argv, server_config& c, bool& help, std::string& errors) {
    help = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        }
        if (arg.compare(0, 2, "--") != 0) {
            errors += "unexpected argument '" + arg + "'\n";
            return false;
        }
        std::string key = arg.substr(2);
        for (char& ch : key)
            if (ch == '-') ch = '_';
        if (key == "no_arcade" || key == "no_uploads") {
            if (key == "no_arcade") c.no_arcade = true;
            else c.uploads = false;
            continue;
        }
        if (i + 1 >= argc) {
            errors += arg + " needs a value\n";
            return false;
        }
        std::string value = argv[++i];
        if (key == "config") {
            std::ifstream f(value, std::ios::binary);
            if (!f) {
                errors += "can't read configuration file '" + value + "'\n";
                return false;
            }
            std::stringstream buf;
            buf << f.rdbuf();
            std::string file_errors;
            if (!parse_server_config(buf.str(), c, file_errors)) {
                errors += value + ":\n" + file_errors;
                return false;
            }
            continue;
        }
        const setting* s = find_setting(key);
        std::string why;
        if (!s) {
            errors += "unknown option " + arg + "\n";
            return false;
        }
        if (!apply(c, *s, value, why)) {
            errors += arg + " " + why + "\n";
            return false;
        }
    }
    return true;
}
