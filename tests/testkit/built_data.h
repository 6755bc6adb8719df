// Tests that read the data the build made (its "zzzz.saf" in QX_BIN_DIR).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testkit/testkit.h"
#include "vfs/vfs.h"

// The build's folder as the data root and `home` as the player's, with the
// file index built afresh over them.
inline void use_built_data(const temp_dir& home) {
    setenv("XDG_DATA_HOME", home.path.c_str(), 1);
    setenv("KV_HOME", QX_BIN_DIR, 1);
    vfs_shutdown();
    file_list();
}

// The built archive linked into a sandbox's data root and the file index
// built afresh; false when the build has not made the archive.
inline bool link_built_archive(const vfs_sandbox& box) {
    std::string archive = std::string(QX_BIN_DIR) + "/zzzz.saf";
    if (!std::filesystem::exists(archive)) return false;
    std::filesystem::create_symlink(archive, box.root1() + "zzzz.saf");
    vfs_shutdown();
    file_list();
    return true;
}
