// Filefs as the program runs, except that once its window shows it writes the rows it
// listed, one a line, and ends.
#include "shredder/window/filefs_program.h"
#include "shredder/window/filefs_window.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    return runFilefs(argc, argv, [](FilefsWindow &window) {
        QTimer::singleShot(0, &window, [&window] {
            const auto *list = window.findChild<QTreeWidget *>(QStringLiteral("itemList"));
            for (int i = 0; list && i < list->topLevelItemCount(); ++i)
                std::printf("%s\n", list->topLevelItem(i)->text(0).toUtf8().constData());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
}
