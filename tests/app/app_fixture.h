// Scripted stand-ins for the platform services, and a fixture that builds the real main dialog
// on them in a folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/converter_dlg.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/process_runner.h"
#include "platform/qt/sound_player.h"
#include "run/progress.h"
#include "tests/support/fixtures.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace rw::test {

struct ShownBox {
    bool question = false;  // Yes/No, else OK
    QString text;
    bool stopIcon = false;
};

// Records every box; answers questions from a script keyed by their text. A question without a
// scripted answer fails the test and is answered No.
class ScriptedMessageBoxes final : public MessageBoxes {
  public:
    void ShowMessage(const QString& text, bool stopIcon) override;
    bool AskYesNo(const QString& text) override;

    void Answer(const char* question, std::initializer_list<bool> answers);
    QStringList Texts() const;
    int Count() const { return static_cast<int>(shown.size()); }

    std::vector<ShownBox> shown;
    std::map<QString, std::deque<bool>> answers;
    // Called while a box is "open", with its text: the user acting on the dialog meanwhile, or
    // the event loop running as under a real modal box.
    std::function<void(const QString&)> whileOpen;
    // Boxes open at once now, and at most so far: a box over a box is a fault.
    int open = 0;
    int maxOpen = 0;
};

// Returns scripted picks; an unexpected call fails the test and cancels.
class ScriptedFileDialog final : public OpenFileDialog {
  public:
    QString GetOpenFileName(const QString& filter, const QString& defaultSuffix) override;
    QString GetExistingFolder(const QString& title) override;

    std::deque<QString> picks;  // an empty string means Cancel
    std::deque<QString> folderPicks;
    int calls = 0;
    QString lastFilter, lastSuffix;
};

// A clock that takes its time: every reading waits a few milliseconds, so that a conversion of a
// few hundred frames is still running when the test acts on it.
class SlowClock final : public ProgressClock {
  public:
    int64_t NowMilliseconds() override;
    TimeOfDay LocalTimeOfDay() override { return {12, 0, 0}; }
};

class AppTest : public ::testing::Test {
  public:
    void SetUp() override;
    void TearDown() override;

    // Builds (or rebuilds) the dialog on the current services and shows it.
    void MakeDialog();
    // Full path of a file in the test's folder.
    QString PathOf(const QString& name) const;
    // How many unfinished outputs ("*.part") the test's folder holds.
    int TemporaryFiles() const;
    // Writes bytes to a file in the test's folder and returns its full path.
    QString Write(const QString& name, const std::vector<uint8_t>& bytes);
    // A synthesised video written to a file.
    QString WriteSynth(const QString& name, const synth::SynthOptions& options);
    // Loads `path` through Load File.
    void Load(const QString& path);
    // Waits (running the event loop) until `done` holds; false after 30 s.
    static bool WaitFor(const std::function<bool()>& done, int milliseconds = 30000);
    // Waits until the dialog has finished its completion step.
    bool WaitForCompletion();

    std::unique_ptr<QTemporaryDir> m_dir;
    ScriptedMessageBoxes m_boxes;
    ScriptedFileDialog m_files;
    SilentSoundPlayer m_sound;
    DialogServices m_services;
    std::unique_ptr<CConverterDlg> m_dlg;
    int m_completions = 0;
    std::vector<int> m_finished;  // results of the dialog's end
};

// The file's bytes, or an empty vector.
std::vector<uint8_t> ReadAll(const QString& path);

}  // namespace rw::test
