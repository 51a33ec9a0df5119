#include "cli/restore_job.h"

#include "cleanup/registry/backup_restore.h"
#include "cleanup/registry/registry_deleter.h"
#include "cli/console.h"
#include "cli/report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace cli {

namespace {

QString statusName(cleanup::registry::RestoreResult::Status status)
{
    using Status = cleanup::registry::RestoreResult::Status;
    switch (status) {
    case Status::Restored:
        return QStringLiteral("restored");
    case Status::NotOurBackup:
        return QStringLiteral("not_our_backup");
    case Status::NoRegistry:
        return QStringLiteral("no_registry");
    case Status::Refused:
        return QStringLiteral("refused");
    case Status::Failed:
        return QStringLiteral("failed");
    }
    return {};
}

} // namespace

int runRestore(const QByteArray &given, const QByteArray &resolved, Report &report)
{
    using Status = cleanup::registry::RestoreResult::Status;
    QString path = QFile::decodeName(resolved);
    // A bare name that isn't in the caller's folder is looked for among the backups.
    if (!QFileInfo::exists(path) && !given.contains('/') && !given.contains('\\')) {
        const QString backup =
            QDir(cleanup::registry::defaultBackupFolder()).absoluteFilePath(QFile::decodeName(given));
        if (QFileInfo::exists(backup))
            path = backup;
    }
    if (!QFileInfo(path).isFile()) {
        report.addError(QStringLiteral("找不到备份文件 %1").arg(QDir::toNativeSeparators(path)));
        report.finish();
        return 2;
    }

    // Into the prefix Wine commands take, when one is set; else the one the backup names.
    cleanup::registry::RestoreOptions options;
    options.prefix = qEnvironmentVariable("WINEPREFIX");
    // Content we can't vouch for is put to the person at a terminal, and to no one else.
    if (isTerminal(Stream::Input) && isTerminal(Stream::Error)) {
        options.confirm = [](const QString &content) {
            write(Stream::Error, content + QStringLiteral("仍要导入吗？[y/N] "));
            QByteArray answer;
            if (!readAnswer(answer))
                return false;
            answer = answer.trimmed().toLower();
            return answer == "y" || answer == "yes" || answer == "是";
        };
    }
    const cleanup::registry::RestoreResult result = cleanup::registry::restoreBackup(path, options);
    report.setExtra(QStringLiteral("restore"),
                    QJsonObject{{QStringLiteral("file"), QFileInfo(path).absoluteFilePath()},
                                {QStringLiteral("status"), statusName(result.status)},
                                {QStringLiteral("prefix"), result.prefix},
                                {QStringLiteral("keys"), result.keys},
                                {QStringLiteral("values"), result.values},
                                {QStringLiteral("removed"), QJsonArray::fromStringList(result.removed)},
                                {QStringLiteral("message"), result.message}});
    const QString message = result.message.isEmpty() ? QStringLiteral("无法导入备份。") : result.message;
    if (result.status == Status::Restored)
        report.say(message);
    else
        report.addError(message);
    report.finish();
    switch (result.status) {
    case Status::Restored:
        return 0;
    case Status::NotOurBackup:
    case Status::Refused:
        return 2;
    case Status::NoRegistry:
    case Status::Failed:
        return 1;
    }
    return 1;
}

} // namespace cli
