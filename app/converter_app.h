// The application object: the platform services and the main dialog's modal run, which is the
// program's whole life.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace rw {

class AudioOutput;
class MessageBoxes;
class OpenFileDialog;
class ProcessRunner;
class SoundPlayer;

// What the program's command line asks for: the window (with a file to load, or none), a text to
// print before ending (--help, --version), or nothing but a complaint about the line itself.
struct CommandLine {
    enum class Action { Run, Print, Refuse };
    Action action = Action::Run;
    QString file;  // Run: the file to load; may be empty
    QString text;  // Print: for standard output; Refuse: for standard error
};

// Reads `arguments` (the program's name first). --help and --version win over anything else on
// the line, so they also answer when the line carries options only the window system knows.
CommandLine ParseCommandLine(const QStringList& arguments);

class CConverterApp {
  public:
    // `initialFile`: a file to load once the dialog is up; may be empty.
    explicit CConverterApp(QString initialFile = {});
    ~CConverterApp();
    CConverterApp(const CConverterApp&) = delete;
    CConverterApp& operator=(const CConverterApp&) = delete;

    // Shows the main dialog modally (after the splash) and returns when it has ended; false, as
    // there is nothing to run afterwards.
    bool InitInstance();

  private:
    std::unique_ptr<MessageBoxes> m_messages;
    std::unique_ptr<OpenFileDialog> m_fileDialog;
    std::unique_ptr<SoundPlayer> m_sound;
    std::unique_ptr<ProcessRunner> m_processes;
    std::unique_ptr<AudioOutput> m_audio;
    QString m_initialFile;
};

}  // namespace rw
