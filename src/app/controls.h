#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>

// A label or picture that reports the mouse the way the window's handlers want it:
// any button down and up, a completed left click, a double click.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(QWidget *parent = nullptr);

    // A one-line border around the picture (a tab highlight or a pressed tool).
    void setBorder(bool on);
    bool hasBorder() const;

signals:
    void mouseDown(Qt::MouseButton button);
    void mouseUp(Qt::MouseButton button);
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_leftPressed = false;
};

// A single-line text box that, like a Windows edit box, never holds a CR or LF: text typed,
// pasted, dropped or set with a line break in it keeps what comes before the first break.
class EntryBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit EntryBox(QWidget *parent = nullptr);
};

// A multi-line text box whose text is exactly what was set, CR LF pairs included. Each
// CR LF starts a row, drawn as a list row is (ShortTextDelegate). Only a left double click
// counts.
class TextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QString m_text;
};

// A page frame: its caption over a plain etched border on the frame's own background.
// Styles such as Fusion tint a group box's inside, which would set the page apart from
// the white window around it.
class PageFrame : public QGroupBox
{
    Q_OBJECT
public:
    explicit PageFrame(const QString &title, QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// Shows each list entry on one row, a line break inside it as a small box, and only the
// start of a very long entry, so entries of any length draw at once. The entry itself stays
// whole.
class ShortTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
