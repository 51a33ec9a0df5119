#pragma once

#include "platform/message_box.h"

#include <QString>

#include <optional>

class QWidget;

namespace support {

// The about text: every line of the file followed by CR LF. std::nullopt when the file
// can't be opened; a read that fails part-way keeps the lines read so far.
std::optional<QString> readAboutText(const QString &path);

// Starts a companion tool with a normal window; a failure is reported under "错误".
void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage);

// Opens a web page in the desktop's browser; failures are ignored.
void openWebPage(const QString &url);

} // namespace support
