#pragma once

#include "platform/message_box.h"

#include <QString>

class QWidget;

namespace support {

// Starts a companion tool with a normal window; a failure is reported under "错误".
void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage);

} // namespace support
