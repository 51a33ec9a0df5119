#include "shredder/window/filefs_program.h"

#include "brisquel/skin_places.h"
#include "brisquel/version.h"
#include "platform/byte_path.h"
#include "platform/qt_arguments.h"
#include "platform/skin.h"
#include "platform/translations.h"
#include "shredder/window/filefs_window.h"

#include <QApplication>

int runFilefs(int argc, char **argv, const std::function<void(FilefsWindow &)> &shown)
{
    platform::QtArguments qtArguments(argc, argv, "Filefs");
    QApplication app(qtArguments.count(), qtArguments.values());
    QApplication::setApplicationName(QStringLiteral("Filefs"));
    QApplication::setApplicationVersion(QStringLiteral(BRISQUEL_VERSION));
    // The file dialogs and standard buttons are Qt's own: they speak Chinese too.
    platform::installChineseTranslations(app);
    platform::attachSkin(QCoreApplication::applicationDirPath(), QString::fromUtf8(skins::skinFileName));

    FilefsWindow window;
    // Files handed over by a file manager's "open with" or the launcher: argv's own bytes,
    // never decoded. Filefs has no options, so every argument is a file.
    QByteArrayList files = platform::argumentBytes(argc, argv);
    if (!files.isEmpty() && files.front() == "--")
        files.removeFirst();
    window.addArguments(files);
    window.show();
    if (shown)
        shown(window);
    return QApplication::exec();
}
