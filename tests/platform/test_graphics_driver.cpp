#include "platform/graphics_driver.h"

#include "../scoped_variable.h"

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

QTEST_GUILESS_MAIN(TestGraphicsDriver)
#include "test_graphics_driver.moc"
