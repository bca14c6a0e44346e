// The application object: the platform services and the main dialog's modal run, which is the
// program's whole life.
#pragma once

#include <QString>
#include <memory>

namespace rw {

class AudioOutput;
class MessageBoxes;
class OpenFileDialog;
class ProcessRunner;
class SoundPlayer;

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
