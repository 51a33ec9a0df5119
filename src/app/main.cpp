#include "app/main_window.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    const app::EarlyWork earlyWork;
    QApplication app(argc, argv);
    app::prepareApplication(app);

    Form1 window;
    window.show();
    return QApplication::exec();
}
