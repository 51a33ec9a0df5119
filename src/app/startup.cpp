#include "app/startup.h"

#include "platform/gb18030.h"
#include "platform/graphics_driver.h"
#include "platform/privileges.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QThread>

namespace app {

namespace {

// Mesa's renderers that draw on the processor.
bool softwareRenderer(const QByteArray &renderer)
{
    for (const char *name : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer", "SWR"}) {
        if (renderer.contains(name))
            return true;
    }
    return false;
}

// Whether OpenGL, as the window would get it, runs on a graphics processor.
bool hardwareOpenGL()
{
    QOpenGLContext *context = QOpenGLContext::globalShareContext();
    if (!context || !context->isValid())
        return false;
    QOffscreenSurface surface;
    surface.setFormat(context->format());
    surface.create();
    if (!surface.isValid() || !context->makeCurrent(&surface))
        return false;
    const auto *renderer = reinterpret_cast<const char *>(context->functions()->glGetString(GL_RENDERER));
    const bool hardware = renderer && !softwareRenderer(QByteArray(renderer));
    context->doneCurrent();
    return hardware;
}

} // namespace

void prepareProcess()
{
    // The embedded browser refuses to start its sandbox as root.
    if (platform::runningAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool chooseWebRendering()
{
    // A window holding the web pane is composited through OpenGL on every paint. Without
    // a graphics processor that costs milliseconds a frame; the pane then draws in
    // software and the window paints only what changed. The user's own choice stands.
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        return QQuickWindow::graphicsApi() == QSGRendererInterface::Software;
    if (hardwareOpenGL())
        return false;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    return true;
}

EarlyWork::EarlyWork()
{
    // Qt takes the first thread that asks for its thread data as the main thread. Ask
    // here, before the worker below can get there first through QLibrary.
    QThread::currentThread();
    m_thread = std::thread([] {
        // First what is needed first: the application makes an OpenGL context, for the web
        // pane, at the end of its construction.
        platform::loadGraphicsDriverAhead();
        // The window's first text loads the system's font configuration, which takes
        // milliseconds; the same call later finds it loaded. Only where fontconfig is used.
        using FcInit = int (*)();
        if (const auto init = reinterpret_cast<FcInit>(QLibrary::resolve(QStringLiteral("fontconfig"), 1, "FcInit")))
            init();
        // The lists, the OEM text and the about text are GB18030.
        platform::prepareGb18030Decoding();
    });
}

EarlyWork::~EarlyWork()
{
    m_thread.join();
}

} // namespace app
