#include "app/form_layout.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "brisquel/version.h"
#include "platform/translations.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    const app::EarlyWork earlyWork;
    QApplication app(argc, argv);
    new app::PicturesReadAhead(&app);
    app::chooseWebRendering();
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
