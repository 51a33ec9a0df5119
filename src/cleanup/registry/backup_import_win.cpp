#include "cleanup/registry/backup_import.h"

#include "cleanup/registry/registry_delete.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace cleanup::registry::detail {

namespace {

constexpr int importTimeoutMs = 120000;

} // namespace

RestoreTarget restorePrefix(const QString &, const QString &)
{
    return {};
}

struct BackupImporter::Private
{
};

BackupImporter::BackupImporter(const QString &, const QString &) : d(std::make_unique<Private>()) {}

BackupImporter::~BackupImporter() = default;

std::optional<QString> BackupImporter::import(const QByteArray &regFile)
{
    const QTemporaryDir folder;
    QString copy;
    if (const std::optional<QString> failure = writeCheckedCopy(folder, regFile, copy))
        return failure;
    const QString reg = QStandardPaths::findExecutable(QStringLiteral("reg"));
    if (reg.isEmpty())
        return QStringLiteral("找不到 reg.exe");
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(reg, {QStringLiteral("import"), QDir::toNativeSeparators(copy)});
    if (!process.waitForStarted(importTimeoutMs))
        return QStringLiteral("无法启动 reg.exe");
    if (!process.waitForFinished(importTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("reg.exe 超过 %1 秒仍未完成").arg(importTimeoutMs / 1000);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("reg.exe 退出码为 %1").arg(process.exitCode());
    return std::nullopt;
}

quint32 BackupImporter::values(const std::u16string &keyPath, std::vector<ExportedValue> &out)
{
    return readKeyValues(keyPath, out);
}

} // namespace cleanup::registry::detail
