// The program's window, started as the program starts it, reporting its first paint.
// Usage: bench_form [LINGER_MS]
#include "app/form_layout.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "platform/translations.h"
#include "first_paint.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    const app::EarlyWork earlyWork;
    QApplication application(argc, argv);
    new app::PicturesReadAhead(&application);
    app::chooseWebRendering();
    platform::installChineseTranslations(application);
    Form1 window;
    new FirstPaint(&window, argc > 1 ? QByteArray(argv[1]).toInt() : 0);
    window.show();
    return QApplication::exec();
}
