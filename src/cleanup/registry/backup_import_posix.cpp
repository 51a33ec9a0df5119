#include "cleanup/registry/backup_import.h"

#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/wine_helper.h"
#include "platform/windows_path.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace cleanup::registry::detail {

namespace {

// Wine may have to start its server or bring the prefix up to date first.
constexpr int importTimeoutMs = 120000;

bool holdsRegistry(const QString &prefix)
{
    return !prefix.isEmpty() && QFileInfo(prefix + QStringLiteral("/system.reg")).isFile();
}

} // namespace

std::optional<QString> restorePrefix(const QString &requested, const QString &named)
{
    // Wine would create a prefix where there is none. The file's own word counts only for a
    // full path: a relative one would mean whatever folder the restore happens to run in.
    QString prefix = requested;
    if (prefix.isEmpty())
        prefix = QDir::isAbsolutePath(named) && holdsRegistry(named) ? named : platform::winePrefix();
    if (!holdsRegistry(prefix))
        return std::nullopt;
    return QDir::cleanPath(QFileInfo(prefix).absoluteFilePath());
}

struct BackupImporter::Private
{
    Private(const QString &prefix, const QString &helperPath) : prefix(prefix), helper(helperPath) {}

    QString prefix;
    WineHelper helper;
};

BackupImporter::BackupImporter(const QString &prefix, const QString &helperPath)
    : d(std::make_unique<Private>(prefix, helperPath))
{
}

BackupImporter::~BackupImporter() = default;

std::optional<QString> BackupImporter::import(const QByteArray &regFile)
{
    const QString loader = findWineLoader();
    if (loader.isEmpty())
        return QStringLiteral("找不到 Wine");
    const QTemporaryDir folder;
    QString copy;
    if (const std::optional<QString> failure = writeCheckedCopy(folder, regFile, copy))
        return failure;

    QProcess editor;
    editor.setProcessEnvironment(wineEnvironment(d->prefix, loader));
    editor.setStandardInputFile(QProcess::nullDevice());
    editor.setStandardOutputFile(QProcess::nullDevice());
    editor.setStandardErrorFile(QProcess::nullDevice());
    // Wine's Z: drive is the root folder.
    const QString windowsName = QStringLiteral("Z:") + QString(copy).replace(u'/', u'\\');
    editor.start(loader, {QStringLiteral("regedit"), QStringLiteral("/S"), windowsName});
    if (!editor.waitForStarted(importTimeoutMs))
        return QStringLiteral("无法启动 Wine");
    if (!editor.waitForFinished(importTimeoutMs)) {
        editor.kill();
        editor.waitForFinished();
        return QStringLiteral("注册表编辑器超过 %1 秒仍未完成").arg(importTimeoutMs / 1000);
    }
    if (editor.exitStatus() != QProcess::NormalExit)
        return QStringLiteral("注册表编辑器异常退出");
    if (editor.exitCode() != 0)
        return QStringLiteral("注册表编辑器退出码为 %1").arg(editor.exitCode());
    return std::nullopt;
}

quint32 BackupImporter::values(const std::u16string &keyPath, std::vector<ExportedValue> &out)
{
    out.clear();
    HelperAnswer answer = d->helper.ask(d->prefix, RequestKind::Values, keyPath);
    for (ExportLine &line : answer.lines) {
        if (!line.isKey)
            out.push_back(std::move(line.value));
    }
    return answer.error;
}

} // namespace cleanup::registry::detail
