#include "platform/qt/process_runner.h"

#include <spawn.h>
#include <sys/wait.h>

#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace rw {

PosixProcessRunner::~PosixProcessRunner() {
    if (m_loop) m_loop->quit();
}

void PosixProcessRunner::RunAndWait(const QString& program, const QStringList& arguments) {
    m_lastStarted = false;
    const std::string file = program.toStdString();
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(arguments.size()));
    for (const QString& a : arguments) args.push_back(a.toStdString());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return;
    m_lastStarted = true;

    // Poll for the end of the child, keeping the event loop running so the window stays alive.
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    bool ended = false;
    auto check = [&] {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid || (r < 0 && errno != EINTR)) {
            ended = true;
            loop.quit();
        }
    };
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    check();
    if (ended) return;
    poll.start();
    m_loop = &loop;
    loop.exec();
    m_loop = nullptr;
    // An abandoned child is left running; it is reparented when this program ends.
}

void PosixProcessRunner::Abandon() {
    if (m_loop) m_loop->quit();
}

}  // namespace rw
