// reelwright: the desktop converter. Its only option is --version; a VQA file named on the
// command line is loaded once the dialog is up ("Open with" in a file manager).
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "app/converter_app.h"

int main(int argc, char* argv[]) {
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("reelwright %s\n", RW_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    rw::CConverterApp theApp(QApplication::arguments().value(1));
    theApp.InitInstance();
    return 0;
}
