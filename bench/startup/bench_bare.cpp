// The yardstick: a bare window of the same size holding the same web pane on the same page,
// drawn the same way, and nothing else. Usage: bench_bare [LINGER_MS]
#include "app/branding.h"
#include "app/startup.h"
#include "first_paint.h"

#include <QApplication>
#include <QWebEngineView>
#include <QWidget>

int main(int argc, char *argv[])
{
    app::prepareProcess();
    QApplication application(argc, argv);
    app::chooseWebRendering();
    QWidget window;
    window.setFixedSize(599, 399);
    auto *web = new QWebEngineView(&window);
    web->setGeometry(328, 80, 257, 281);
    web->setUrl(QUrl(branding::productPage));
    new FirstPaint(&window, argc > 1 ? QByteArray(argv[1]).toInt() : 0);
    window.show();
    return QApplication::exec();
}
