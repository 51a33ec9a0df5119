#include "app/main_window.h"
#include "app/startup.h"
#include "platform/qt_arguments.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    const app::EarlyWork earlyWork;
    // The window takes no arguments; none reaches Qt either (a file's name is no option).
    platform::QtArguments qtArguments(argc, argv, "Kelvane");
    QApplication app(qtArguments.count(), qtArguments.values());
    app::prepareApplication(app);

    Form1 window;
    window.show();
    return QApplication::exec();
}
