#include "app/main_window.h"
#include "brisquel/version.h"
#include "platform/privileges.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The embedded browser refuses to start its sandbox as root.
    if (platform::runningAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brisquel"));
    QApplication::setApplicationVersion(QStringLiteral(BRISQUEL_VERSION));
    // Ties the window to its menu entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral(BRISQUEL_APP_ID));
    // Before the window: the web pane takes its page language from the default locale.
    platform::installChineseTranslations(app);

    Form1 window;
    window.show();
    return QApplication::exec();
}
