#include "skins/legible_text.h"

#include "skins/style_sheet.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGradient>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace skins {

namespace {

using Colours = std::vector<QColor>;

// A solid brush's colour, or every stop of a gradient.
Colours brushColours(const QBrush &brush)
{
    if (const QGradient *gradient = brush.gradient()) {
        Colours colours;
        for (const QGradientStop &stop : gradient->stops())
            colours.push_back(stop.second);
        return colours;
    }
    if (brush.style() == Qt::NoBrush)
        return {};
    return {brush.color()};
}

QColor over(const QColor &top, const QColor &under)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + under.redF() * (1 - a), top.greenF() * a + under.greenF() * (1 - a),
                            top.blueF() * a + under.blueF() * (1 - a));
}

// What `widget` paints under its own content: a window and a widget that fills its
// background paint their palette's; under a style sheet the style draws the widget's
// background, so that is drawn here too and read back.
Colours ownBackground(const QWidget *widget)
{
    if (widget->isWindow() || widget->autoFillBackground())
        return brushColours(widget->palette().brush(QPalette::Active, widget->backgroundRole()));
    if (!widget->testAttribute(Qt::WA_StyledBackground) || widget->width() <= 0 || widget->height() <= 0)
        return {};
    const QSize size = widget->size().boundedTo({256, 256});
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        QStyleOption option;
        option.initFrom(widget);
        option.rect = QRect(QPoint(), size);
        widget->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, widget);
    }
    const QColor centre = image.pixelColor(size.width() / 2, size.height() / 2);
    if (centre.alpha() == 0)
        return {};
    return {centre};
}

// Every colour that can show behind `widget`'s content, down through what shows through it.
Colours backgroundBehind(const QWidget *widget)
{
    const Colours own = ownBackground(widget);
    const bool opaque = !own.empty() && std::all_of(own.begin(), own.end(), [](const QColor &c) { return c.alpha() == 255; });
    if (opaque)
        return own;
    const QWidget *parent = widget->isWindow() ? nullptr : widget->parentWidget();
    const Colours under = parent ? backgroundBehind(parent) : Colours{widget->palette().color(QPalette::Window)};
    if (own.empty())
        return under;
    Colours result;
    for (const QColor &top : own) {
        for (const QColor &bottom : under)
            result.push_back(over(top, bottom));
    }
    return result;
}

bool readable(const QPalette &palette, QPalette::ColorRole textRole, const Colours &backgrounds)
{
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        const QColor text = palette.color(group, textRole);
        for (const QColor &background : backgrounds) {
            if (contrastRatio(text, background) < minimumContrast)
                return false;
        }
    }
    return true;
}

// Controls that draw their own face: text and face come from their palette.
bool drawsOwnFace(const QWidget *widget)
{
    return qobject_cast<const QPushButton *>(widget) || qobject_cast<const QToolButton *>(widget)
        || qobject_cast<const QComboBox *>(widget) || qobject_cast<const QLineEdit *>(widget)
        || qobject_cast<const QAbstractSpinBox *>(widget);
}

bool showsText(const QWidget *widget)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return !label->text().isEmpty();
    if (const auto *box = qobject_cast<const QGroupBox *>(widget))
        return !box->title().isEmpty();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return !button->text().isEmpty();
    return drawsOwnFace(widget);
}

bool legible(const QWidget *widget)
{
    const QPalette &palette = widget->palette();
    if (const auto *area = qobject_cast<const QAbstractScrollArea *>(widget)) {
        // Lists and text boxes draw their text on the viewport.
        const QWidget *viewport = area->viewport();
        return readable(palette, QPalette::Text, backgroundBehind(viewport ? viewport : widget));
    }
    if (!showsText(widget))
        return true;
    if (drawsOwnFace(widget))
        return readable(palette, widget->foregroundRole(),
                        brushColours(palette.brush(QPalette::Active, widget->backgroundRole())));
    return readable(palette, widget->foregroundRole(), backgroundBehind(widget));
}

// A widget under a style sheet of its own (a preview of another skin) shows what its
// owner chose, not the application's skin.
bool dressedByItsOwner(const QWidget *widget)
{
    for (; widget; widget = widget->isWindow() ? nullptr : widget->parentWidget()) {
        if (!widget->styleSheet().isEmpty())
            return true;
    }
    return false;
}

} // namespace

const QWidget *firstIllegibleText(QWidget *window)
{
    // The palettes and backgrounds a style sheet gives are set when a widget is polished.
    window->ensurePolished();
    if (!legible(window))
        return window;
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        // Other windows are checked on their own.
        if (widget->isWindow() || dressedByItsOwner(widget))
            continue;
        if (!legible(widget))
            return widget;
    }
    return nullptr;
}

} // namespace skins
