// The program's window, started as the program starts it, reporting its first paint.
// Usage: bench_form [LINGER_MS]
#include "app/main_window.h"
#include "app/startup.h"
#include "first_paint.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    const app::EarlyWork earlyWork;
    QApplication application(argc, argv);
    app::prepareApplication(application);
    Form1 window;
    new FirstPaint(&window, argc > 1 ? QByteArray(argv[1]).toInt() : 0);
    window.show();
    return QApplication::exec();
}
