#include "app/main_window.h"
#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    QApplication app(argc, argv);
    app::chooseWebRendering();
    QApplication::setApplicationName(QStringLiteral("Brisquel"));
    QApplication::setApplicationVersion(QStringLiteral("0.2012.0.125"));

    Form1 window;
    window.show();
    return QApplication::exec();
}
