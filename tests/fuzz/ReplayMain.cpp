// Replays fuzz inputs without libFuzzer, so that the sanitized build checks
// every target's seeds and past findings without a build of its own:
//
//   fuzz_replay <target> <file or folder>...
//
// The target gets an empty input first, as libFuzzer's -runs=0 starts, then
// every file of the folders (and every file named) once, in name order. A
// crash, a sanitizer report or an abort of the target fails the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// Each target's entry point, renamed at its compilation (the build's list).
#define ZT_FUZZ_TARGET(name) extern "C" int ZtFuzz_##name(const uint8_t* data, size_t size);
#include "FuzzTargets.inc"
#undef ZT_FUZZ_TARGET

namespace {

struct Target {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};

const Target kTargets[] = {
#define ZT_FUZZ_TARGET(name) {#name, ZtFuzz_##name},
#include "FuzzTargets.inc"
#undef ZT_FUZZ_TARGET
};

bool AddInputs(const std::filesystem::path& path, std::vector<std::filesystem::path>* files) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(path, ec)) {
        files->push_back(path);
        return true;
    }
    if (!std::filesystem::is_directory(path, ec)) {
        std::fprintf(stderr, "fuzz_replay: %s is neither a file nor a folder\n", path.c_str());
        return false;
    }
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path, ec))
        if (entry.is_regular_file()) found.push_back(entry.path());
    if (ec) {
        std::fprintf(stderr, "fuzz_replay: cannot read %s: %s\n", path.c_str(), ec.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const Target* target = nullptr;
    for (const Target& t : kTargets)
        if (argc > 1 && std::strcmp(argv[1], t.name) == 0) target = &t;
    if (!target) {
        std::fprintf(stderr, "usage: fuzz_replay <target> <file or folder>...; the targets:");
        for (const Target& t : kTargets)
            std::fprintf(stderr, " %s", t.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (int i = 2; i < argc; ++i)
        if (!AddInputs(argv[i], &files)) return 2;

    const uint8_t empty = 0;
    target->run(&empty, 0);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "fuzz_replay: cannot open %s\n", file.c_str());
            return 2;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        // A block of exactly the input's size, so that a read past its end is caught.
        const std::unique_ptr<uint8_t[]> input(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
        std::copy(bytes.begin(), bytes.end(), input.get());
        std::fprintf(stderr, "fuzz_replay: %s (%zu bytes)\n", file.c_str(), bytes.size());
        target->run(input.get(), bytes.size());
    }
    std::fprintf(stderr, "fuzz_replay: %s: %zu inputs and the empty one, no failure\n", target->name, files.size());
    return 0;
}
