#include "support/support.h"

#include "platform/line_file.h"
#include "platform/process.h"

namespace support {

void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage)
{
    const platform::RunResult result = platform::runCommandLine(commandLine, platform::ShowState::NormalFocus);
    if (!result.ok)
        showMessage(parent, result.error, platform::errorTitle());
}

std::optional<QString> readAboutText()
{
    return platform::readTextHead(QStringLiteral("Guanyu.dat"));
}

} // namespace support
