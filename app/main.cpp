// reelwright: the desktop converter. It takes no command line.
#include <QApplication>

#include "app/converter_app.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    rw::CConverterApp theApp;
    theApp.InitInstance();
    return 0;
}
