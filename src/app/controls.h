#pragma once

#include <QLabel>
#include <QPlainTextEdit>

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

// A multi-line text box whose text is exactly what was set, CR LF pairs included;
// the lines are shown one per row.
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
