// A scratch folder, removed with everything in it at the end of the test, and the one way tests run
// a program: in such a folder, to its end or started and signalled, its output streams read through
// pipes or through a terminal. A run killed by a signal or one a sanitizer spoke in fails the test
// by itself.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

namespace rw::test {

struct CliRun {
    int status = -1;  // the exit status; -1 when the program did not exit
    std::string out, err;

    size_t ErrLines() const {
        return static_cast<size_t>(std::count(err.begin(), err.end(), '\n'));
    }
};

inline const std::string kCliProgram = RW_BINARY_DIR "/bin/reelwright-cli";

// A program started in `dir`, its output streams read through pipes, or both through one terminal
// (read as `out`). With `limit`, it runs under that limit of `resource`: RLIMIT_FSIZE for a full
// disk (SIGXFSZ is ignored, so the write fails with EFBIG instead), RLIMIT_AS for a machine short
// of memory.
class Child {
  public:
    Child(const std::string& program, std::vector<std::string> args,
          const std::filesystem::path& dir, std::optional<rlim_t> limit = std::nullopt,
          int resource = RLIMIT_FSIZE, bool terminal = false) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2], err[2];
        if (terminal) {
            m_pid = forkpty(&m_out, nullptr, nullptr, nullptr);
        } else {
            if (pipe(out) != 0) return;
            if (pipe(err) != 0) {
                close(out[0]);
                close(out[1]);
                return;
            }
            m_pid = fork();
            if (m_pid == 0) {
                dup2(out[1], 1);
                dup2(err[1], 2);
                close(out[0]);
                close(err[0]);
            } else {
                close(out[1]);
                close(err[1]);
                m_out = out[0];
                m_err = err[0];
            }
        }
        if (m_pid != 0) return;
        // Only async-signal-safe calls from here on.
        if (chdir(dir.c_str()) != 0) _exit(127);
        signal(SIGXFSZ, SIG_IGN);
        if (limit) {
            struct rlimit bounds {};
            bounds.rlim_cur = bounds.rlim_max = *limit;
            if (setrlimit(resource, &bounds) != 0) _exit(126);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    ~Child() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        for (int fd : {m_out, m_err}) {
            if (fd >= 0) close(fd);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Signal(int signal) const {
        if (m_pid > 0) kill(m_pid, signal);
    }
    // Reads the streams to their end (together, so neither pipe can fill up) and waits.
    CliRun Finish() {
        CliRun r;
        if (m_pid <= 0) {
            ADD_FAILURE() << "cannot start the program";
            return r;
        }
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        std::string* into[2] = {&r.out, &r.err};
        for (int open = (m_out >= 0) + (m_err >= 0); open > 0;) {
            if (poll(fds, 2, -1) < 0) break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    into[i]->append(buffer, static_cast<size_t>(n));
                } else {  // the end, or EIO from a terminal whose program has gone
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        m_out = m_err = -1;  // closed above
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        if (WIFEXITED(status)) r.status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) ADD_FAILURE() << "killed by signal " << WTERMSIG(status);
        for (const char* word : {"Sanitizer", "runtime error"}) {
            if (r.err.find(word) != std::string::npos) ADD_FAILURE() << r.err;
        }
        return r;
    }

  private:
    pid_t m_pid = -1;
    int m_out = -1, m_err = -1;
};

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "rw-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) m_dir = pattern;
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return m_dir; }
    std::filesystem::path operator/(const std::string& name) const { return m_dir / name; }

    // Writes the file (and the folders it is in); returns its name.
    std::string Put(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::filesystem::create_directories((m_dir / name).parent_path());
        std::FILE* f = std::fopen((m_dir / name).c_str(), "wb");
        if (f == nullptr) {
            ADD_FAILURE() << "cannot write " << name;
            return name;
        }
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return name;
    }
    std::optional<std::vector<uint8_t>> Get(const std::string& name) const {
        auto r = ReadWholeFile(m_dir / name);
        if (!r) return std::nullopt;
        return std::move(r).value();
    }
    // The names in the folder (or in one of its folders), sorted.
    std::vector<std::string> Listing(const std::string& sub = "") const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir / sub)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs reelwright-cli in this folder to its end (see Child for `limit`).
    CliRun Run(const std::vector<std::string>& args, std::optional<rlim_t> limit = std::nullopt,
               int resource = RLIMIT_FSIZE) const {
        return Child(kCliProgram, args, m_dir, limit, resource).Finish();
    }
    // The same with a terminal for its output: all it wrote there.
    std::string RunOnATerminal(const std::vector<std::string>& args) const {
        return Child(kCliProgram, args, m_dir, std::nullopt, RLIMIT_FSIZE, true).Finish().out;
    }

  private:
    std::filesystem::path m_dir;
};

}  // namespace rw::test
