// The skin's style sheet filter, fed any text. What it keeps passes again unchanged, holds
// no picture, property, font, escape or comment, and, set on real controls, moves, resizes,
// re-fonts or re-captions none of them.

#include "fuzz_support.h"
#include "skins/style_sheet.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <cstdint>
#include <vector>

namespace {

QApplication &application()
{
    static int argc = 1;
    static char name[] = "fuzz_skin_sheet";
    static char *argv[] = {name, nullptr};
    static QApplication *app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

struct Snapshot
{
    QRect geometry;
    QFont font;
    QString text;
    bool operator==(const Snapshot &) const = default;
};

// A small window of the kinds of controls the main window has, each smaller than any
// size a sheet could ask for, with a font of its own.
class Controls
{
public:
    Controls()
    {
        m_window.setObjectName(QStringLiteral("Form1"));
        m_window.setFont(QFont(QStringLiteral("Sans"), 9));
        auto *frame = new QGroupBox(QStringLiteral("框架"), &m_window);
        frame->setObjectName(QStringLiteral("Frame1"));
        add(frame, 0);
        add(new QPushButton(QStringLiteral("::"), frame), 1);
        add(new QLabel(QStringLiteral("标签"), frame), 2);
        add(new QLineEdit(QStringLiteral("文本"), frame), 3);
        add(new QListWidget(frame), 4);
        add(new QProgressBar(frame), 5);
    }

    std::vector<Snapshot> snapshot()
    {
        std::vector<Snapshot> result;
        for (QWidget *control : m_controls) {
            control->ensurePolished();
            const auto *button = qobject_cast<QPushButton *>(control);
            const auto *label = qobject_cast<QLabel *>(control);
            result.push_back({control->geometry(), control->font(),
                              button ? button->text() : label ? label->text() : control->objectName()});
        }
        return result;
    }

    void setStyleSheet(const QString &sheet) { m_window.setStyleSheet(sheet); }

private:
    void add(QWidget *control, int n)
    {
        control->setObjectName(control->objectName().isEmpty() ? QStringLiteral("Control%1").arg(n) : control->objectName());
        control->setGeometry(2 + n, 2 + n, 4, 4);
        // Each its own font: a font a control inherits is Qt's to re-resolve under any sheet.
        control->setFont(QFont(QStringLiteral("Serif"), 9 + n, n % 2 ? QFont::Bold : QFont::Normal));
        m_controls.push_back(control);
    }

    QWidget m_window;
    std::vector<QWidget *> m_controls;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    application();
    static Controls controls;
    static const std::vector<Snapshot> plain = controls.snapshot();
    static const QPalette palette(Qt::black, QColor(0xef, 0xef, 0xef), Qt::white, Qt::darkGray, Qt::gray, Qt::black,
                                  Qt::white, Qt::white, QColor(0xef, 0xef, 0xef));

    const QString sheet = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString safe = skins::safeStyleSheet(sheet, palette);
    FUZZ_CHECK(skins::safeStyleSheet(safe, palette) == safe);
    // One rule a line; the declarations follow the first brace, as no selector holds one.
    for (const QString &rule : safe.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype brace = rule.indexOf(u'{');
        FUZZ_CHECK(brace > 0 && rule.endsWith(u'}'));
        const QStringView declarations = QStringView(rule).sliced(brace);
        for (const char *never : {"url(", "qproperty", "font", "\\", "/*", "'", "\"", "@", "image"})
            FUZZ_CHECK(!declarations.contains(QLatin1StringView(never), Qt::CaseInsensitive));
    }

    controls.setStyleSheet(safe);
    const std::vector<Snapshot> now = controls.snapshot();
    for (size_t i = 0; i < now.size(); ++i) {
        if (!(now[i] == plain[i]))
            std::fprintf(stderr, "control %zu: %s %s %s -> %s %s %s\n", i, qPrintable(QDebug::toString(plain[i].geometry)),
                         qPrintable(plain[i].font.toString()), qPrintable(plain[i].text),
                         qPrintable(QDebug::toString(now[i].geometry)), qPrintable(now[i].font.toString()),
                         qPrintable(now[i].text));
    }
    FUZZ_CHECK(now == plain);
    controls.setStyleSheet(QString());
    return 0;
}
