#include "app/controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStylePainter>

#include <algorithm>

ClickLabel::ClickLabel(QWidget *parent)
    : QLabel(parent)
{
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
}

void ClickLabel::setBorder(bool on)
{
    setFrameShape(on ? QFrame::Box : QFrame::NoFrame);
}

bool ClickLabel::hasBorder() const
{
    return frameShape() == QFrame::Box;
}

void ClickLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    emit mouseDown(event->button());
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseUp(event->button());
    // The look returns on release, before the click is handled.
    const bool click = event->button() == Qt::LeftButton && m_leftPressed
        && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit mouseDown(event->button());
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    event->accept();
}

void ClickLabel::paintEvent(QPaintEvent *event)
{
    // A stretched picture keeps its colours when the control is disabled: a start
    // picture shows its normal look for the whole run.
    const QPixmap pix = pixmap();
    if (pix.isNull() || !hasScaledContents()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(contentsRect(), pix);
    drawFrame(&painter);
}

TextBox::TextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void TextBox::setText(const QString &text)
{
    m_text = text;
    // Rows longer than this are cut for display: the box shows a sliver of such a row, and
    // laying out one unbroken row takes time that grows with the square of its length.
    constexpr qsizetype longestRow = 2000;
    // Only CR LF starts a new row, as in a Windows edit box; a lone CR or LF stays in its
    // row, drawn as the small box such an edit box draws for it.
    const QStringList rows = text.split(QStringLiteral("\r\n"));
    QString shown;
    shown.reserve(std::min(text.size(), rows.size() * (longestRow + 2)));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i > 0)
            shown += u'\n';
        QStringView row = rows.at(i);
        const bool cut = row.size() > longestRow;
        if (cut)
            row = row.left(row.at(longestRow - 1).isHighSurrogate() ? longestRow - 1 : longestRow);
        for (const QChar c : row)
            shown += (c == u'\r' || c == u'\n') ? QChar(0x25A1) : c;
        if (cut)
            shown += QChar(0x2026);
    }
    // A trailing line break shows as the empty row the cursor can rest on.
    setPlainText(shown);
}

void TextBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
}

PageFrame::PageFrame(const QString &title, QWidget *parent)
    : QGroupBox(title, parent)
{
}

void PageFrame::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect caption = style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
    // The border runs through the middle of the caption, which covers it.
    const QRect border = rect().adjusted(0, qMax(0, caption.center().y()), -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, 0, 0));
    if (!title().isEmpty()) {
        painter.fillRect(caption.adjusted(-2, 0, 2, 0), palette().window());
        option.subControls = QStyle::SC_GroupBoxLabel;
        painter.drawComplexControl(QStyle::CC_GroupBox, option);
    }
}

void ShortTextDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    qsizetype shown = 1000;
    if (option->text.size() > shown) {
        if (option->text.at(shown - 1).isHighSurrogate())
            --shown;
        option->text.truncate(shown);
        option->text += QChar(0x2026);
    }
    // One row per entry: a CR or LF inside an entry (which the base class has made a line
    // separator) shows as a small box, as in the text boxes.
    for (const QChar breakChar : {QChar(u'\r'), QChar(u'\n'), QChar(QChar::LineSeparator)})
        option->text.replace(breakChar, QChar(0x25A1));
}
