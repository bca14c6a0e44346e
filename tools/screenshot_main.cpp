// reelwright-screenshot: shows the real main dialog in a window, loads a synthesised video and
// converts it at a slowed pace, and holds the window three quarters through the run so that
// scripts/screenshot can take its picture. Usage: reelwright-screenshot WORK-DIRECTORY. It writes
// WORK-DIRECTORY/ready (the X window id) when the window is ready, and once
// WORK-DIRECTORY/release exists it stops the conversion (removing its unfinished output) and ends.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/control_ids.h"
#include "app/converter_dlg.h"
#include "run/progress.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/sound_player.h"
#include "tools/synth/vqa_synth.h"

namespace {

constexpr int kFrames = 600;
constexpr int kShotAtFrame = 450;

class PresetFile final : public rw::OpenFileDialog {
  public:
    explicit PresetFile(QString path) : m_path(std::move(path)) {}
    QString GetOpenFileName(const QString&, const QString&) override { return m_path; }
    QString GetExistingFolder(const QString&) override { return {}; }

  private:
    QString m_path;
};

// Says Yes to stopping the conversion and No to everything else; prints messages.
class Answers final : public rw::MessageBoxes {
  public:
    void ShowMessage(const QString& text, bool) override {
        std::fprintf(stderr, "reelwright-screenshot: %s\n", qPrintable(text));
    }
    bool AskYesNo(const QString& text) override {
        return text == QString::fromLatin1(rw::kAskTerminate);
    }
};

// The real clock, with every frame made to last 15 ms longer, so the run shows real estimates
// for a while.
class PacedClock final : public rw::ProgressClock {
  public:
    int64_t NowMilliseconds() override {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        return m_clock.NowMilliseconds();
    }
    rw::TimeOfDay LocalTimeOfDay() override { return m_clock.LocalTimeOfDay(); }

  private:
    rw::SystemProgressClock m_clock;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: reelwright-screenshot WORK-DIRECTORY\n");
        return 2;
    }
    const QDir work(QString::fromLocal8Bit(argv[1]));
    const QString video = work.filePath(QStringLiteral("sample.vqa"));

    rw::synth::SynthOptions options;
    options.frames = kFrames;
    options.width = 320;
    options.height = 156;
    options.keepExpected = false;
    const std::vector<uint8_t> bytes = rw::synth::SynthesizeVqa(options).file;
    QFile file(video);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        std::fprintf(stderr, "reelwright-screenshot: cannot write %s\n", qPrintable(video));
        return 1;
    }
    file.close();

    PresetFile files(video);
    Answers boxes;
    rw::SilentSoundPlayer sound;
    PacedClock clock;
    rw::DialogServices services;
    services.messages = &boxes;
    services.fileDialog = &files;
    services.sound = &sound;
    services.showSplash = false;
    services.clock = &clock;
    rw::CConverterDlg dlg(services);
    dlg.OnInitDialog();
    dlg.show();

    bool ready = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &dlg, [&] {
        if (!ready && dlg.FieldText(rw::IDC_CONVERTING_FRAME).toInt() >= kShotAtFrame) {
            QFile out(work.filePath(QStringLiteral("ready")));
            if (out.open(QIODevice::WriteOnly)) {
                out.write(QByteArray::number(static_cast<qulonglong>(dlg.winId())));
            }
            ready = true;
        }
        if (ready && QFileInfo::exists(work.filePath(QStringLiteral("release")))) {
            watch.stop();
            dlg.OnCancel();
        }
    });
    watch.start(20);
    QTimer::singleShot(0, &dlg, [&] {
        dlg.OnLoadFile();
        dlg.OnOK();
    });
    dlg.exec();
    return 0;
}
