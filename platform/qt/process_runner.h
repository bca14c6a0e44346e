// Starting the companion program: an explicit argument list handed to the program as it stands (no
// shell, no quoting), and a wait that keeps the window responsive.
#pragma once

#include <QString>
#include <QStringList>

class QEventLoop;

namespace rw {

class ProcessRunner {
  public:
    virtual ~ProcessRunner() = default;
    // Starts `program` with `arguments` as its complete argument vector (arguments[0] is the name
    // the program sees as its own) and waits until it ends, running the event loop meanwhile.
    // Returns early when Abandon is called; a program that cannot be started returns at once. The
    // program's exit status is not reported.
    virtual void RunAndWait(const QString& program, const QStringList& arguments) = 0;
    // Stops a running wait. The program itself keeps running: it is a program of its own.
    virtual void Abandon() = 0;
};

// Runs the program as a child process (posix_spawn) and polls for its end.
class PosixProcessRunner final : public ProcessRunner {
  public:
    PosixProcessRunner() = default;
    ~PosixProcessRunner() override;
    PosixProcessRunner(const PosixProcessRunner&) = delete;
    PosixProcessRunner& operator=(const PosixProcessRunner&) = delete;

    void RunAndWait(const QString& program, const QStringList& arguments) override;
    void Abandon() override;

    // Whether the last RunAndWait started its program (tests).
    bool LastStarted() const { return m_lastStarted; }

  private:
    QEventLoop* m_loop = nullptr;  // the running wait, if any; not owned
    bool m_lastStarted = false;
};

}  // namespace rw
