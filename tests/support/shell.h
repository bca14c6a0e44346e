// Runs a shell command and takes its standard output: the outside readers (ffmpeg, ffprobe) are
// called this way.
#pragma once

#include <cstdio>
#include <string>

namespace rw::test {

struct ShellRun {
    std::string out;
    int status = -1;  // as pclose gives it; 0 when the command succeeded
};

inline ShellRun RunShell(const std::string& command) {
    ShellRun r;
    std::FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return r;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.out.append(buffer, n);
    r.status = pclose(p);
    return r;
}

}  // namespace rw::test
