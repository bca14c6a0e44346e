// Replays a fuzz target's inputs without libFuzzer: every file in the folders (or the files) named
// on the command line is passed once to LLVMFuzzerTestOneInput, in name order. A target reports a
// fault by aborting, so the input named last on stderr is the one to look at. A folder that does
// not exist is skipped (a target may have no regressions yet), but a replay that finds no input at
// all fails: it would test nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> Inputs(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        if (std::filesystem::is_regular_file(arg)) files.push_back(arg);
        if (!std::filesystem::is_directory(arg)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::filesystem::path> files = Inputs(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "%s: no inputs to replay\n", argv[0]);
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        if (!in) {
            std::fprintf(stderr, "%s: cannot read \"%s\"\n", argv[0], file.c_str());
            return 1;
        }
        std::fprintf(stderr, "replaying %s\n", file.c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
