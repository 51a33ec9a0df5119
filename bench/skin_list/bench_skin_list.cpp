// Pifu's window with 20 imported skins of nearly 1 MiB each, from creating it to its first
// full paint. "heads" is the window as it is: the list reads each skin's start only. "whole"
// also reads every listed skin whole, as a list that parsed each skin in full did.
// Prints: wall ms.
// Usage: bench_skin_list heads|whole
#include "skin_changer/changer_window.h"
#include "skin_changer/skin_catalogue.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2 || (qstrcmp(argv[1], "heads") != 0 && qstrcmp(argv[1], "whole") != 0)) {
        std::fprintf(stderr, "usage: bench_skin_list heads|whole\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QTemporaryDir folder;
    const skin_changer::SkinPlaces places{folder.filePath(QStringLiteral("shipped")),
                                          folder.filePath(QStringLiteral("imported")),
                                          folder.filePath(QStringLiteral("Pifu.she"))};
    QDir().mkpath(places.importedDir);
    for (int n = 0; n < 20; ++n) {
        QByteArray skin = "[Skin]\nFormat=1\nName=Skin " + QByteArray::number(n) + "\n[Colors]\nWindow=#eef4fb\n[StyleSheet]\n";
        while (skin.size() < 1024 * 1024 - 128)
            skin += "QPushButton:hover { border: 1px solid #7fa7d1; background-color: #e3effb }\n";
        QFile file(QDir(places.importedDir).filePath(QStringLiteral("skin%1.she").arg(n)));
        if (!file.open(QIODevice::WriteOnly) || file.write(skin) != skin.size())
            return 1;
    }

    QElapsedTimer clock;
    clock.start();
    if (qstrcmp(argv[1], "whole") == 0) {
        for (skin_changer::SkinEntry &entry : skin_changer::listSkins(places))
            skin_changer::completeEntry(entry);
    }
    SkinChanger window(places, [](QWidget *, const QString &, const QString &) {});
    window.show();
    QApplication::processEvents();
    window.grab();
    std::printf("%.3f\n", clock.nsecsElapsed() / 1e6);
    return 0;
}
