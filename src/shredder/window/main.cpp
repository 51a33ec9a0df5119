#include "brisquel/version.h"
#include "platform/skin.h"
#include "platform/translations.h"
#include "shredder/window/filefs_window.h"

#include <QApplication>
#include <QUrl>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Filefs"));
    QApplication::setApplicationVersion(QStringLiteral(BRISQUEL_VERSION));
    // The file dialogs and standard buttons are Qt's own: they speak Chinese too.
    platform::installChineseTranslations(app);
    platform::attachSkin(QCoreApplication::applicationDirPath(), QStringLiteral("Pifu.she"));

    FilefsWindow window;
    // Files handed over by a file manager's "open with", as paths or as file:// addresses.
    QStringList paths;
    for (const QString &argument : QApplication::arguments().mid(1)) {
        const QUrl url(argument);
        paths << (argument.startsWith(QLatin1String("file://")) && url.isLocalFile() ? url.toLocalFile() : argument);
    }
    window.addPaths(paths);
    window.show();
    return QApplication::exec();
}
