#include "app/converter_app.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include "app/converter_dlg.h"
#include "platform/qt/audio_output.h"
#include "platform/qt/file_dialog.h"
#include "platform/qt/message_boxes.h"
#include "platform/qt/process_runner.h"
#include "platform/qt/sound_player.h"

namespace rw {

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QStringLiteral("reelwright"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RW_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts C&C VQA videos into uncompressed AVI files."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version and end."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A VQA video to load, or a MIX archive to pick one from."),
        QStringLiteral("[file]"));
    const bool parsed = parser.parse(arguments);
    const QString name = QCoreApplication::applicationName();
    if (parser.isSet(help)) {
        // The usage line names the program as it is known, not the path it was started by.
        QString text = parser.helpText();
        text.replace(0, text.indexOf(u'\n'),
                     QStringLiteral("Usage: %1 [options] [file]").arg(name));
        return {CommandLine::Action::Print, {}, text};
    }
    if (parser.isSet(version)) {
        return {CommandLine::Action::Print,
                {},
                name + u' ' + QCoreApplication::applicationVersion() + u'\n'};
    }
    QString problem = parsed ? QString() : parser.errorText();
    if (parsed && parser.positionalArguments().size() > 1) {
        problem = QStringLiteral("Only one file can be opened at a time.");
    }
    if (!problem.isEmpty()) {
        return {CommandLine::Action::Refuse,
                {},
                name + QStringLiteral(": ") + problem + QStringLiteral("\nTry '") + name +
                    QStringLiteral(" --help' for more information.\n")};
    }
    return {CommandLine::Action::Run, parser.positionalArguments().value(0), {}};
}

CConverterApp::CConverterApp(QString initialFile)
    : m_messages(std::make_unique<QtMessageBoxes>()),
      m_fileDialog(std::make_unique<QtOpenFileDialog>()),
      m_sound(std::make_unique<QtSoundPlayer>()),
      m_processes(std::make_unique<PosixProcessRunner>()),
      m_audio(std::make_unique<QtAudioOutput>()),
      m_initialFile(std::move(initialFile)) {}

CConverterApp::~CConverterApp() = default;

bool CConverterApp::InitInstance() {
    DialogServices services;
    services.messages = m_messages.get();
    services.fileDialog = m_fileDialog.get();
    services.sound = m_sound.get();
    services.processes = m_processes.get();
    services.audio = m_audio.get();
    services.initialFile = m_initialFile;
    CConverterDlg dlg(services);
    static_cast<QtMessageBoxes*>(m_messages.get())->SetParent(&dlg);
    dlg.OnInitDialog();
    dlg.exec();
    static_cast<QtMessageBoxes*>(m_messages.get())->SetParent(nullptr);
    return false;
}

}  // namespace rw
