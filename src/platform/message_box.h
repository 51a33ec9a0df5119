#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace platform {

// A modal message box with a text, a title, one "确定" button and no icon.
void showMessage(QWidget *parent, const QString &text, const QString &title);

// The title of every error message.
inline QString errorTitle()
{
    return QStringLiteral("错误");
}

// Every message the window raises goes through one of these, so tests can capture them.
using MessageFunction = std::function<void(QWidget *parent, const QString &text, const QString &title)>;

} // namespace platform
