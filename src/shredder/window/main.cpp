#include "brisquel/skin_places.h"
#include "brisquel/version.h"
#include "platform/byte_path.h"
#include "platform/skin.h"
#include "platform/translations.h"
#include "shredder/window/filefs_window.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Filefs"));
    QApplication::setApplicationVersion(QStringLiteral(BRISQUEL_VERSION));
    // The file dialogs and standard buttons are Qt's own: they speak Chinese too.
    platform::installChineseTranslations(app);
    platform::attachSkin(QCoreApplication::applicationDirPath(), QString::fromUtf8(skins::skinFileName));

    FilefsWindow window;
    // Files handed over by a file manager's "open with": argv's own bytes, never decoded.
    window.addArguments(platform::argumentBytes(argc, argv));
    window.show();
    return QApplication::exec();
}
