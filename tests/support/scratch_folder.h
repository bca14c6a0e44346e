// A scratch folder, removed with everything in it at the end of the test, and reelwright-cli run
// inside it: exit status or the signal that killed it, both output streams, and the folder's files
// afterwards.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
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
    bool exited = false;  // false: killed by a signal (a crash or a sanitizer abort)
    int status = -1;      // exit status when exited, else the signal
    std::string out, err;

    // Lines of stderr, without the sanitizers' words: a report there is a failure by itself.
    bool SanitizerSpoke() const {
        for (const char* word :
             {"Sanitizer", "runtime error", "LeakSanitizer", "AddressSanitizer"}) {
            if (err.find(word) != std::string::npos) return true;
        }
        return false;
    }
    size_t ErrLines() const {
        return static_cast<size_t>(std::count(err.begin(), err.end(), '\n'));
    }
};

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "rw-test-XXXXXX").string();
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
    std::string Text(const std::string& name) const {
        auto bytes = Get(name);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
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
    // Removes everything in the folder but the named entries.
    void KeepOnly(const std::vector<std::string>& keep) const {
        for (const auto& e : std::filesystem::directory_iterator(m_dir)) {
            const std::string name = e.path().filename().string();
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) {
                std::filesystem::remove_all(e.path());
            }
        }
    }

    // Runs the converter in this folder. With `limit`, the child runs under that limit of
    // `resource`: RLIMIT_FSIZE for a full disk (SIGXFSZ is ignored, so the write fails with EFBIG
    // instead), RLIMIT_AS for a machine short of memory.
    CliRun Run(const std::vector<std::string>& args, std::optional<rlim_t> limit = std::nullopt,
               int resource = RLIMIT_FSIZE) const {
        const std::string out = (m_dir / ".stdout").string(), err = (m_dir / ".stderr").string();
        std::string program = RW_BINARY_DIR "/bin/reelwright-cli";
        std::vector<std::string> copy = args;
        std::vector<char*> argv{program.data()};
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (!limit) {
            // posix_spawn does not copy the (sanitizer-sized) address space, so hundreds of runs
            // stay quick.
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addchdir_np(&actions, m_dir.c_str());
            posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
            posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                             0644);
            if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
                pid = -1;
            }
            posix_spawn_file_actions_destroy(&actions);
        } else {
            // The limit holds for every file the child writes, so its messages go through pipes.
            int outPipe[2], errPipe[2];
            if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return CliRun{};
            pid = fork();
            if (pid == 0) {
                if (chdir(m_dir.c_str()) != 0) _exit(127);
                dup2(outPipe[1], 1);
                dup2(errPipe[1], 2);
                close(outPipe[0]);
                close(errPipe[0]);
                signal(SIGXFSZ, SIG_IGN);
                struct rlimit bounds {};
                bounds.rlim_cur = *limit;
                bounds.rlim_max = *limit;
                if (setrlimit(resource, &bounds) != 0) _exit(126);
                execv(program.c_str(), argv.data());
                _exit(127);
            }
            close(outPipe[1]);
            close(errPipe[1]);
            CliRun r;
            r.out = Drain(outPipe[0]);
            r.err = Drain(errPipe[0]);
            int status = 0;
            waitpid(pid, &status, 0);
            r.exited = WIFEXITED(status);
            r.status = r.exited ? WEXITSTATUS(status) : WTERMSIG(status);
            return r;
        }
        CliRun r;
        if (pid < 0) {
            r.err = "cannot start " + program;
            return r;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        r.exited = WIFEXITED(status);
        r.status = r.exited ? WEXITSTATUS(status) : WTERMSIG(status);
        auto slurp = [](const std::string& path) {
            auto bytes = ReadWholeFile(path);
            return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
        };
        r.out = slurp(out);
        r.err = slurp(err);
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        return r;
    }

  private:
    // Reads a pipe to its end (the converter writes a few lines at most, well within a pipe's
    // buffer, so reading one after the other cannot block the child).
    static std::string Drain(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        close(fd);
        return text;
    }

    std::filesystem::path m_dir;
};

}  // namespace rw::test
