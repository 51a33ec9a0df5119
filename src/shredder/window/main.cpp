#include "platform/skin.h"
#include "shredder/window/filefs_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QUrl>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Filefs"));
    QApplication::setApplicationVersion(QStringLiteral("0.2012.0.125"));
    // The file dialogs are Qt's own: let them speak Chinese too where the translation is installed.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
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
