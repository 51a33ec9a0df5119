#include "platform/graphics_driver.h"

#include "../scoped_variable.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QTest>

#include <link.h>

namespace {

// Whether a library of Mesa's drivers is loaded in this process.
bool mesaDriverLoaded()
{
    bool found = false;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            if (QByteArray(info->dlpi_name).endsWith("_dri.so"))
                *static_cast<bool *>(data) = true;
            return 0;
        },
        &found);
    return found;
}

} // namespace

// Loading the OpenGL driver ahead of the first OpenGL context: only the one the system
// would load itself.
class TestGraphicsDriver : public QObject
{
    Q_OBJECT

private slots:
    void loadsMesaDriverUnlessTheUserChoseOne();
    void driverLoadedAheadDraws();
};

void TestGraphicsDriver::loadsMesaDriverUnlessTheUserChoseOne()
{
    QVERIFY(!mesaDriverLoaded());
    {
        const ScopedVariable vendor("__GLX_VENDOR_LIBRARY_NAME", "nvidia");
        QVERIFY(!platform::loadGraphicsDriverAhead());
        const ScopedVariable folder("LIBGL_DRIVERS_PATH", "/opt/drivers");
        QVERIFY(!platform::loadGraphicsDriverAhead());
        QVERIFY(!mesaDriverLoaded());
    }
    if (!platform::loadGraphicsDriverAhead())
        QSKIP("Mesa's drivers are not installed here as one library");
    QVERIFY(mesaDriverLoaded());
}

// The driver loaded ahead is the one OpenGL goes on to use, and it works: drawing makes
// LLVM, linked along with it, compile and run the shaders.
void TestGraphicsDriver::driverLoadedAheadDraws()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("no X display to draw on; run_on_desktop.sh gives this test one");
#ifdef __SANITIZE_ADDRESS__
    // LLVM registers the code it compiles with the GCC runtime's unwinder, which allocates
    // under its own lock; the sanitizer's allocator, unwinding in full, then waits for that
    // same lock, and the draw never returns.
    QSKIP("drawing through LLVM hangs under AddressSanitizer's full unwinding");
#endif
    if (!platform::loadGraphicsDriverAhead())
        QSKIP("Mesa's drivers are not installed here as one library");
    int argc = 1;
    char name[] = "test_graphics_driver";
    char *argv[] = {name, nullptr};
    const QGuiApplication app(argc, argv);
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    QVERIFY(context.create());
    QVERIFY(context.makeCurrent(&surface));
    QOpenGLFramebufferObject target(64, 64);
    QVERIFY(target.bind());
    {
        QOpenGLPaintDevice device(target.size());
        QPainter painter(&device);
        painter.fillRect(QRect(0, 0, 64, 64), Qt::white);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 30, 40));
        painter.drawEllipse(QRect(8, 8, 48, 48));
    }
    const QImage image = target.toImage();
    QCOMPARE(image.pixelColor(32, 32), QColor(200, 30, 40));
    QCOMPARE(image.pixelColor(2, 2), QColor(Qt::white));
}

// No application until the driver is loaded, as in the program.
QTEST_APPLESS_MAIN(TestGraphicsDriver)
#include "test_graphics_driver.moc"
