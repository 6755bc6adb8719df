// quarnix-datagen: writes the default game data archive.
//   quarnix-datagen --data <folder> --out <archive>
//   quarnix-datagen --preview <png> [track folder]
#include <cstdio>
#include <cstring>
#include <string>

#include "datagen/datagen.h"
#include "datagen/rabbithill_layout.h"
#include "render/image_io.h"

int main(int argc, char** argv) {
    std::string data_dir, out_path;
    // --preview <png> [dir]: a picture of a generated track's design (the
    // default track's without a folder), nothing else.
    if ((argc == 3 || argc == 4) && !strcmp(argv[1], "--preview")) {
        const rabbithill::track_plan* plan = argc == 4 ? rabbithill::plan_named(argv[3]) : &rabbithill::rabbithill_plan();
        if (!plan) {
            fprintf(stderr, "quarnix-datagen: no generated track %s\n", argv[3]);
            return 2;
        }
        std::vector<unsigned char> png = rabbithill::preview_png(rabbithill::build_design(*plan));
        return save_file_bytes(argv[2], png) ? 0 : 1;
    }
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--data") && i + 1 < argc)
            data_dir = argv[++i];
        else if (!strcmp(argv[i], "--out") && i + 1 < argc)
            out_path = argv[++i];
        else {
            fprintf(stderr, "usage: quarnix-datagen --data <folder> --out <archive>\n");
            return 2;
        }
    }
    if (data_dir.empty() || out_path.empty()) {
        fprintf(stderr, "usage: quarnix-datagen --data <folder> --out <archive>\n");
        return 2;
    }
    datagen_output out;
    if (!pack_directory(out, data_dir)) {
        fprintf(stderr, "quarnix-datagen: cannot pack %s\n", data_dir.c_str());
        return 1;
    }
    if (!run_generators(out)) return 1;
    finish_output(out);
    if (!saf_write(out_path.c_str(), out.members)) {
        fprintf(stderr, "quarnix-datagen: cannot write %s\n", out_path.c_str());
        return 1;
    }
    return 0;
}
