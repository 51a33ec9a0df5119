// Apart from startup.cpp, which the bare start-up benchmark builds on its own.
#include "app/form_layout.h"
#include "app/startup.h"
#include "brisquel/version.h"
#include "platform/translations.h"

#include <QApplication>
#include <QFont>

namespace app {

void prepareApplication(QApplication &app)
{
    new PicturesReadAhead(&app);
    chooseWebRendering();
    QApplication::setApplicationName(QStringLiteral("Brisquel"));
    QApplication::setApplicationVersion(QStringLiteral(BRISQUEL_VERSION));
    // Ties the window to its menu entry (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral(BRISQUEL_APP_ID));
    // Before the window: the web pane takes its page language from the default locale.
    platform::installChineseTranslations(app);
    // Before the first widget asks for 宋体. The message boxes, tool tips and text boxes'
    // inner workings take 宋体 9 pt as well, as on a Chinese Windows, rather than setting up
    // the desktop's own font beside it.
    QApplication::setFont(songFont({9}));
}

} // namespace app
