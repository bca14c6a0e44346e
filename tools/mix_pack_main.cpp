// mix-pack: packs files into a MIX archive (for tests, benchmarks and demos).
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tools/synth/mix_pack.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

int Usage(const char* message) {
    std::fprintf(stderr,
                 "mix-pack: %s\nUsage: mix-pack [--extended] -o OUT.mix FILE...\n"
                 "Packs the files into a MIX archive; each file's id is made from its name.\n"
                 "--extended writes the later layout (a zero count and a flags word first).\n",
                 message);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    rw::synth::MixPackOptions options;
    std::string output;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--extended") {
            options.extended = true;
        } else if (a == "-o" && i + 1 < argc) {
            output = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
        } else {
            inputs.push_back(a);
        }
    }
    if (output.empty() || inputs.empty())
        return Usage("an output and at least one file are needed");
    try {
        std::vector<rw::synth::MixFile> files;
        for (const std::string& in : inputs) {
            auto bytes = rw::ReadWholeFile(in);
            if (!bytes) {
                std::fprintf(stderr, "mix-pack: %s\n", bytes.error().message.c_str());
                return kExitFailure;
            }
            const std::string name = std::filesystem::path(in).filename().string();
            files.push_back({rw::synth::MixIdForName(name), std::move(bytes).value()});
        }
        const std::vector<uint8_t> archive = rw::synth::PackMix(files, options);
        rw::DiskOutputFile out;
        if (auto r = out.Create(output); !r) throw std::runtime_error(r.error().message);
        if (auto r = out.Write(archive); !r) throw std::runtime_error(r.error().message);
        if (auto r = out.Close(); !r) throw std::runtime_error(r.error().message);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mix-pack: %s\n", e.what());
        return kExitFailure;
    }
    return 0;
}
