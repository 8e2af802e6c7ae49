// What the file-reading fuzz targets share: a data directory of the process's
// own under the temporary directory, made the start directory at the first
// input and removed at exit, and a way to put an input where a reader looks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>

#include <unistd.h>

#include "platform/os/Os.h"

namespace fuzz {

inline std::filesystem::path& DataDirectoryPath() {
    static std::filesystem::path dir;
    return dir;
}

inline void RemoveDataDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(DataDirectoryPath(), ec);
}

// Makes the directory with the given folders (relative to it) and copies of
// the given folders of data/, once per process.
inline const std::filesystem::path& PrepareDataDirectory(std::initializer_list<const char*> folders,
                                                         std::initializer_list<const char*> dataCopies = {}) {
    std::filesystem::path& dir = DataDirectoryPath();
    if (!dir.empty()) return dir;
    dir = std::filesystem::temp_directory_path() / ("zt_fuzz_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char* f : folders)
        std::filesystem::create_directories(dir / f);
    for (const char* c : dataCopies)
        std::filesystem::copy(std::filesystem::path(ZT_SOURCE_DIR) / "data" / c, dir / c,
                              std::filesystem::copy_options::recursive);
    os::SetStartDirectory(dir.string());
    std::atexit(RemoveDataDirectory);
    return dir;
}

// Writes the input as a file of the data directory (a '/'-separated name).
inline void WriteInput(const char* name, const uint8_t* data, size_t size) {
    std::ofstream out(DataDirectoryPath() / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

} // namespace fuzz
