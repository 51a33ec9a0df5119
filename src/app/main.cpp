#include "app/main_window.h"
#include "platform/privileges.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The embedded browser refuses to start its sandbox as root.
    if (platform::runningAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brisquel"));
    QApplication::setApplicationVersion(QStringLiteral("0.2012.0.125"));

    Form1 window;
    window.show();
    return QApplication::exec();
}
