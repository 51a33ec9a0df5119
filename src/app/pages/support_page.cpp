#include "app/pages/support_page.h"

#include "platform/process.h"

namespace support {

void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage)
{
    const platform::RunResult result = platform::runCommandLine(commandLine, platform::ShowState::NormalFocus);
    if (!result.ok)
        showMessage(parent, result.error, platform::errorTitle());
}

} // namespace support
