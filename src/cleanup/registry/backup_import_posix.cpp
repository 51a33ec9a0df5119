#include "cleanup/registry/backup_import.h"

#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/wine_helper.h"
#include "cleanup/registry/wine_session.h"
#include "platform/windows_path.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace cleanup::registry::detail {

namespace {

// Wine may have to start its server or bring the prefix up to date first.
constexpr int importTimeoutMs = 120000;

} // namespace

RestoreTarget restorePrefix(const QString &requested, const QString &named)
{
    RestoreTarget target;
    const QString prefix = requested.isEmpty() ? named : requested;
    // The file's own word counts only for a full path: a relative one would mean whatever
    // folder the restore happens to run in.
    if (!QDir::isAbsolutePath(prefix)) {
        target.refusal = QStringLiteral("备份记录的 Wine 前缀“%1”不是完整路径").arg(prefix);
        return target;
    }
    const uid_t user = ::getuid();
    // Each link on the way must be the user's or the system's: someone else's could send the
    // write into a prefix of theirs, or of a third user's.
    const QStringList parts = QDir::cleanPath(prefix).split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path += u'/' + parts[i];
        struct stat link;
        if (::lstat(QFile::encodeName(path).constData(), &link) != 0) {
            target.gone = true;
            target.refusal = QStringLiteral("Wine 前缀“%1”已不存在").arg(prefix);
            return target;
        }
        if (S_ISLNK(link.st_mode) && link.st_uid != user && link.st_uid != 0) {
            target.refusal = QStringLiteral("Wine 前缀“%1”经由他人拥有的链接“%2”到达").arg(prefix, path);
            return target;
        }
    }
    const QString real = QFileInfo(prefix).canonicalFilePath();
    struct stat folder;
    struct stat hive;
    if (real.isEmpty() || ::stat(QFile::encodeName(real).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        target.gone = true;
        target.refusal = QStringLiteral("Wine 前缀“%1”已不存在").arg(prefix);
        return target;
    }
    // The checks above walked the path with its ".." folded away; Wine follows the links
    // first. Where the two lead to different folders, the one checked isn't the one written.
    if (QFileInfo(QDir::cleanPath(prefix)).canonicalFilePath() != real) {
        target.refusal = QStringLiteral("Wine 前缀“%1”经由链接和“..”到达别处").arg(prefix);
        return target;
    }
    // Wine would create a prefix where there is none.
    if (::lstat(QFile::encodeName(real + QStringLiteral("/system.reg")).constData(), &hive) != 0
        || !S_ISREG(hive.st_mode)) {
        target.gone = true;
        target.refusal = QStringLiteral("“%1”中没有注册表").arg(prefix);
        return target;
    }
    if (folder.st_uid != user || hive.st_uid != user) {
        target.refusal = QStringLiteral("Wine 前缀“%1”不属于当前用户").arg(prefix);
        return target;
    }
    // The system's Wine would rewrite a prefix another Wine build made.
    if (const std::optional<QString> other = otherWineBuild(real, findWineLoader())) {
        target.refusal = QStringLiteral("“%1”：%2").arg(prefix, *other);
        return target;
    }
    target.prefix = QDir::cleanPath(QFileInfo(prefix).absoluteFilePath());
    return target;
}

// How long the end of the Wine a restore started may take: it writes the hives as it goes.
constexpr int wineEndMs = 20000;

struct BackupImporter::Private
{
    Private(const QString &prefix, const QString &helperPath)
        : prefix(prefix), helper(helperPath), serverBefore(wineServerProcess(prefix).has_value())
    {
    }

    // A restore leaves no Wine process behind that it started; a session of the user's stays.
    ~Private()
    {
        const bool started = startedWine || helper.starts() > 0;
        helper.stop(false);
        const QString loader = findWineLoader();
        if (started && !serverBefore && endWineServer(prefix, loader))
            waitForWineServerEnd(prefix, loader, wineEndMs);
    }

    QString prefix;
    WineHelper helper;
    bool serverBefore = false;
    bool startedWine = false;
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
    d->startedWine = true;
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
