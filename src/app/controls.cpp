#include "app/controls.h"

#include "platform/line_file.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QValidator>

#include <algorithm>

namespace {

// How one line of text is drawn. Only its start is laid out when it is very long: a box
// shows a sliver of such a line, and laying out an unbroken one takes time that grows with
// the square of its length. A CR or LF within it (or the line separator Qt's item views
// turn an LF into) stays on the line as the small box a Windows control draws for it. A byte
// the file held that was no text shows as U+FFFD.
QString shownLine(QStringView line)
{
    constexpr qsizetype longest = 2000;
    const bool cut = line.size() > longest;
    if (cut)
        line = line.left(line.at(longest - 1).isHighSurrogate() ? longest - 1 : longest);
    QString shown = platform::withEscapedBytesShown(line);
    for (QChar &c : shown) {
        if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator)
            c = QChar(0x25A1);
    }
    if (cut)
        shown += QChar(0x2026);
    return shown;
}

qsizetype firstLineBreak(QStringView text)
{
    const auto found = std::find_if(text.begin(), text.end(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    return found == text.end() ? -1 : found - text.begin();
}

// Sees every change of an entry box's text, however it came, with the cursor just after what
// was inserted. The box never holds a line break, so the first one in the new text came with
// the insertion, and from there up to the cursor is the rest of what was inserted.
class SingleLineValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        const qsizetype cut = firstLineBreak(input);
        if (cut < 0)
            return Acceptable;
        input.remove(cut, std::max<qsizetype>(pos - cut, 0));
        // Should a break be left all the same, nothing from it on is kept.
        if (const qsizetype left = firstLineBreak(input); left >= 0)
            input.truncate(left);
        pos = int(std::min(cut, input.size()));
        return Acceptable;
    }
};

} // namespace

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

EntryBox::EntryBox(QWidget *parent)
    : QLineEdit(parent)
{
    setValidator(new SingleLineValidator(this));
}

TextBox::TextBox(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void TextBox::setText(const QString &text)
{
    m_text = text;
    // Only CR LF starts a new row, as in a Windows edit box.
    const QStringList rows = text.split(QStringLiteral("\r\n"));
    QStringList shown;
    shown.reserve(rows.size());
    for (const QString &row : rows)
        shown.append(shownLine(row));
    // A trailing line break shows as the empty row the cursor can rest on.
    setPlainText(shown.join(u'\n'));
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

bool PageFrame::event(QEvent *event)
{
    const bool handled = QGroupBox::event(event);
    // A style sheet that gives the frame a border turns its background filling off; the
    // pages lie on top of each other, and a page that stops filling shows the one below.
    if ((event->type() == QEvent::Polish || event->type() == QEvent::StyleChange) && !autoFillBackground())
        setAutoFillBackground(true);
    return handled;
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
    option->text = shownLine(option->text);
}
