#include "support/support.h"

#include "platform/line_file.h"
#include "platform/process.h"

namespace support {

std::optional<QString> readAboutText(const QString &path)
{
    platform::LineReader reader;
    if (!reader.open(path))
        return std::nullopt;
    QString text;
    while (!reader.atEnd()) {
        const std::optional<QString> line = reader.readLine();
        if (!line)
            break;
        text += *line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

void startTool(const QString &commandLine, QWidget *parent, const platform::MessageFunction &showMessage)
{
    const platform::RunResult result = platform::runCommandLine(commandLine, platform::ShowState::NormalFocus);
    if (!result.ok)
        showMessage(parent, result.error, QStringLiteral("错误"));
}

void openWebPage(const QString &url)
{
    platform::runCommandLine(QStringLiteral("explorer ") + url, platform::ShowState::Hidden);
}

} // namespace support
