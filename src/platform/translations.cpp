#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace platform {

namespace {

bool install(QCoreApplication &app, const QLocale &locale, const char *catalogue)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(locale, QString::fromLatin1(catalogue), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace

bool installChineseTranslations(QCoreApplication &app)
{
    // Only the default changes: numbers that must follow the user's own conventions read
    // QLocale::system().
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);

    const bool base = install(app, chinese, "qtbase");
    // The browser's own texts; missing where WebEngine's translations are not installed.
    install(app, chinese, "qtwebengine");
    return base;
}

} // namespace platform
