#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform {

bool installChineseTranslations(QCoreApplication &app)
{
    // Only the default changes: numbers that must follow the user's own conventions read
    // QLocale::system().
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);

    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool baseLoaded = false;
    // The browser's catalogue is absent where WebEngine's translations are not installed;
    // the base one is what the widgets need.
    for (const char *catalogue : {"qtbase", "qtwebengine"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)
            && QCoreApplication::installTranslator(translator)) {
            baseLoaded = baseLoaded || qstrcmp(catalogue, "qtbase") == 0;
        } else {
            delete translator;
        }
    }
    return baseLoaded;
}

} // namespace platform
