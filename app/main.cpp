// reelwright: the desktop converter. --help and --version answer without a window (and without a
// display); a VQA file named on the command line is loaded once the dialog is up ("Open with" in a
// file manager).
#include <QApplication>
#include <cstdio>

#include "app/converter_app.h"

namespace {

QStringList RawArguments(int argc, char* argv[]) {
    QStringList list;
    for (int i = 0; i < argc; ++i) list << QString::fromLocal8Bit(argv[i]);
    return list;
}

int Answer(const rw::CommandLine& line) {
    const QByteArray text = line.text.toLocal8Bit();
    std::fputs(text.constData(), line.action == rw::CommandLine::Action::Print ? stdout : stderr);
    return line.action == rw::CommandLine::Action::Print ? 0 : 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Asked before the window system is: the line may hold options only it knows (-platform).
    if (const rw::CommandLine early = rw::ParseCommandLine(RawArguments(argc, argv));
        early.action == rw::CommandLine::Action::Print) {
        return Answer(early);
    }
    QApplication application(argc, argv);
    const rw::CommandLine line = rw::ParseCommandLine(QApplication::arguments());
    if (line.action != rw::CommandLine::Action::Run) return Answer(line);
    rw::CConverterApp theApp(line.file);
    theApp.InitInstance();
    return 0;
}
