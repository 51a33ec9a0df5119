#pragma once

#include "platform/message_box.h"

#include <QString>

#include <optional>

class QWidget;

namespace support {

// Starts a companion tool with a normal window; a failure is reported under "错误".
void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage);

// The about text, Guanyu.dat in the working folder, as the support page shows it (at most
// its first MiB); std::nullopt when the file can't be opened.
std::optional<QString> readAboutText();

} // namespace support
