// reelwright: the desktop converter. A VQA file named on the command line is loaded once the
// dialog is up ("Open with" in a file manager).
#include <QApplication>

#include "app/converter_app.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    rw::CConverterApp theApp(QApplication::arguments().value(1));
    theApp.InitInstance();
    return 0;
}
