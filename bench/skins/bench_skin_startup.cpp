// Start-up of the window with or without the skin library beside it, in one process each,
// so the library is loaded cold as in a real start. Prints the milliseconds from creating
// the window to its first full paint, and, without the skin, what a late attach and the
// repaint take on their own.
// Prints: wall ms, this thread's processor ms, late attach ms.
// Usage: bench_skin_startup with|without PROGRAM_DIR   (run in a folder holding Pifu.she)
#include "app/main_window.h"
#include "app/startup.h"
#include "cleanup/entry_deleter.h"
#include "platform/skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

class NoDeletion : public cleanup::EntryDeleter
{
public:
    bool remove(const QString &) override { return false; }
};

// This thread's processor time: on a busy machine the wall clock also counts the time the
// browser's helper processes, starting alongside, keep the window's thread waiting.
double threadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3 || (qstrcmp(argv[1], "with") != 0 && qstrcmp(argv[1], "without") != 0)) {
        std::fprintf(stderr, "usage: bench_skin_startup with|without PROGRAM_DIR\n");
        return 2;
    }
    app::prepareProcess();
    QApplication app(argc, argv);
    const bool withSkin = qstrcmp(argv[1], "with") == 0;
    const QTemporaryDir noLibrary;

    FormServices services;
    services.showMessage = [](QWidget *, const QString &, const QString &) {};
    services.makeFileDeleter = [] { return std::make_unique<NoDeletion>(); };
    services.makeRegistryDeleter = [] { return std::make_unique<NoDeletion>(); };
    services.programDir = withSkin ? QString::fromLocal8Bit(argv[2]) : noLibrary.path();

    QElapsedTimer clock;
    clock.start();
    const double threadStart = threadMs();
    Form1 window(std::move(services));
    window.show();
    QApplication::processEvents();
    window.grab(); // every control polished and painted once
    const double startUp = clock.nsecsElapsed() / 1e6;
    const double startUpThread = threadMs() - threadStart;

    // Without the skin at start-up: the attach on its own, the library loaded cold, and
    // the repaint in the new look.
    double attach = 0;
    if (!withSkin) {
        clock.restart();
        platform::attachSkin(QString::fromLocal8Bit(argv[2]), QStringLiteral("Pifu.she"));
        window.grab();
        attach = clock.nsecsElapsed() / 1e6;
    }
    std::printf("%.3f %.3f %.3f\n", startUp, startUpThread, attach);
    return 0;
}
