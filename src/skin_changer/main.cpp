#include "brisquel/skin_places.h"
#include "platform/qt_arguments.h"
#include "platform/skin.h"
#include "platform/translations.h"
#include "skin_changer/changer_window.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Pifu takes no arguments; none reaches Qt either (a file's name is no option).
    platform::QtArguments qtArguments(argc, argv, "Pifu");
    QApplication app(qtArguments.count(), qtArguments.values());
    QApplication::setApplicationName(QStringLiteral("Pifu"));
    platform::installChineseTranslations(app);
    // It wears the skin in force, and follows it when it changes.
    platform::attachSkin(QCoreApplication::applicationDirPath(), QString::fromUtf8(skins::skinFileName));
    SkinChanger window(skin_changer::defaultPlaces(QCoreApplication::applicationDirPath()));
    window.show();
    return QApplication::exec();
}
