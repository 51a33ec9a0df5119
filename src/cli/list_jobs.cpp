#include "cli/list_jobs.h"

#include "cleanup/files/files_in_use.h"
#include "cleanup/files/pattern_match.h"
#include "cleanup/registry/every_prefix_deleter.h"
#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/registry_preview.h"
#include "cli/console.h"
#include "cli/mounts.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "platform/byte_path.h"
#include "platform/error_text.h"
#include "platform/line_file.h"
#include "platform/wine_prefixes.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <cerrno>
#include <map>
#include <optional>
#include <utility>

namespace cli {

namespace {

// A list holds at most as many entries as the window's list box takes.
constexpr qsizetype maxEntries = 32767;

struct List
{
    QString name;       // "files" or "registry"
    QStringList entries;
};

// The registry list may have been saved by a system that ignores letter case, as the
// window allows.
QString registryListFile()
{
    const QString name = QStringLiteral("ZCql.ini");
    if (QFileInfo::exists(name))
        return name;
    const QStringList names = QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &found : names) {
        if (found.compare(name, Qt::CaseInsensitive) == 0)
            return found;
    }
    return name;
}

// Reads a list as the window does; false, with an error reported, when it can't be read whole.
bool readList(const QString &path, const QString &failure, List &list, Report &report)
{
    QString error;
    // A save the window left half-done is finished first, as the window does when it starts.
    if (platform::completeInterruptedSave(path, &error) == platform::SaveCompletion::Failed) {
        report.addError(QStringLiteral("%1（%2）").arg(failure, error));
        return false;
    }
    const platform::LinesRead read = platform::readLines(path, maxEntries + 1);
    if (!read.opened || !read.complete || read.lines.size() > maxEntries) {
        QString why = read.error;
        if (read.lines.size() > maxEntries)
            why = QStringLiteral("超过 %1 项").arg(maxEntries);
        else if (why.isEmpty())
            why = QStringLiteral("文件不完整");
        report.addError(QStringLiteral("%1（%2：%3）").arg(failure, QDir::current().absoluteFilePath(path), why));
        return false;
    }
    // An empty line names nothing: a run passes over it.
    for (const QString &line : read.lines) {
        if (!line.isEmpty())
            list.entries.append(line);
    }
    return true;
}

// How long the end of the Wine a clean started may take: it writes the hives as it goes.
constexpr int wineEndMs = 20000;

QString registryReason(quint32 error)
{
    namespace reg = cleanup::registry;
    switch (error) {
    case 5:
        return QStringLiteral("拒绝访问，或该项含有子项");
    case 87:
        return QStringLiteral("不是有效的注册表项或值名称");
    case reg::errorNoRegistry:
        return QStringLiteral("找不到 Wine 前缀的注册表，或没有安装 Wine");
    case reg::errorHelperFailed:
        return QStringLiteral("注册表助手程序意外退出");
    case reg::errorHelperTimeout:
        return QStringLiteral("注册表助手程序没有及时应答");
    case reg::errorBackupFailed:
        return QStringLiteral("无法写入备份，未删除");
    case reg::errorNotRestorable:
        return QStringLiteral("无法备份（名称含换行符或是注册表链接），未删除");
    case reg::errorKeptChanging:
        return QStringLiteral("删除前一直在被改动，未删除");
    case reg::errorOtherWineBuild:
        return QStringLiteral("该前缀由其他版本的 Wine 建立或更新过，系统的 Wine 会改写它，未改动");
    case reg::errorBackupTooLarge:
        return QStringLiteral("备份将超过恢复所能接受的 64 MiB，未删除");
    default:
        return QStringLiteral("Windows 错误 %1").arg(error);
    }
}

// A folder that isn't there holds nothing to clean; anything else that keeps an entry from
// being looked at is its failure.
QString folderError(int error)
{
    if (error == 0 || error == ENOENT || error == ENOTDIR)
        return {};
    if (error == EINVAL)
        return QStringLiteral("不是有效的文件路径");
    return platform::describeError(error);
}

QString removeReason(int error)
{
    if (error == ESTALE)
        return QStringLiteral("列出之后已被别的文件取代，未删除");
    if (error == EISDIR)
        return QStringLiteral("已变成文件夹，未删除");
    return platform::describeError(error);
}

class ListRun
{
public:
    ListRun(const Arguments &arguments, Report &report)
        : m_clean(arguments.command == Command::Clean)
        , m_unattended(arguments.unattended)
        , m_minAgeDays(arguments.minAgeDays.value_or(7))
        , m_report(report)
        , m_progress(!arguments.quiet)
    {
    }

    void files(const QStringList &entries)
    {
        const cleanup::files::EntryPlaces places;
        MountPoints mounts;
        std::optional<cleanup::files::FilesInUse> inUse;
        if (m_unattended)
            noteFilesInUse(inUse.emplace());
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        // A folder reached by two entries (a prefix's %TEMP% and %LOCALAPPDATA%\Temp are one
        // folder) lists each of its files once: the first entry to meet a file has it.
        QSet<std::pair<quint64, quint64>> seen;
        for (qsizetype i = 0; i < entries.size() && !stopped(); ++i) {
            Entry entry{entries.at(i), QStringLiteral("files"), {}, {}};
            for (const cleanup::files::FolderMatch &match : cleanup::files::matchEntry(entries.at(i), places)) {
                if (!match.refusal.isEmpty() && entry.error.isEmpty()) {
                    entry.error = match.prefix.isEmpty()
                        ? match.refusal
                        : QStringLiteral("%1（Wine 前缀 %2）").arg(match.refusal, printable(match.prefix));
                }
                if (const QString error = folderError(match.error); !error.isEmpty() && entry.error.isEmpty())
                    entry.error = error;
                const std::size_t count = match.files.size();
                // A match's name is never "." nor "..", nor holds a "/": the folder is made
                // absolute once, and its mount looked up once per device.
                QByteArray folder = count ? platform::absolutePath(match.folder) : QByteArray();
                if (!folder.endsWith('/'))
                    folder += '/';
                std::optional<quint64> device;
                QString mount;
                entry.items.reserve(entry.items.size() + count);
                for (std::size_t f = 0; f < count; ++f) {
                    if (stopped())
                        break;
                    const cleanup::files::MatchedFile &file = match.files[f];
                    if (seen.contains({file.device, file.inode}))
                        continue;
                    seen.insert({file.device, file.inode});
                    if (file.device != device) {
                        device = file.device;
                        mount = mounts.of(file.device, match.folder);
                    }
                    Item item;
                    item.path = folder + file.name;
                    item.size = file.size;
                    item.mount = mount;
                    item.prefix = match.prefix;
                    if (inUse)
                        item.reason = skipReason(file, *inUse, now);
                    if (!item.reason.isEmpty()) {
                        item.status = Item::Status::Skipped;
                    } else if (m_clean) {
                        const int error = match.remove(file);
                        item.status = error == 0 ? Item::Status::Deleted : Item::Status::Failed;
                        if (error != 0)
                            item.reason = removeReason(error);
                    }
                    if (item.counts()) {
                        ++m_items;
                        m_bytes += item.size;
                    }
                    entry.items.push_back(std::move(item));
                    m_progress.update(m_clean ? QStringLiteral("已删除") : QStringLiteral("已找到"), m_items, m_bytes,
                                      (double(i) + double(f + 1) / double(count)) / double(entries.size()));
                }
            }
            m_progress.clear();
            m_report.addEntry(std::move(entry));
        }
    }

    void registryPreview(const QStringList &entries)
    {
        cleanup::registry::RegistryPreviewer previewer;
        if (previewer.prefixes().isEmpty() && !entries.isEmpty())
            m_report.say(QStringLiteral("没有找到 Wine 前缀，注册表里没有可清理的内容。"));
        for (const QString &name : entries) {
            if (stopped())
                break;
            Entry entry{name, QStringLiteral("registry"), {}, {}};
            for (const cleanup::registry::PreviewedEntry &found : previewer.preview(name)) {
                if (found.error == 2 || skipped(found.prefix, found.error))
                    continue;
                Item item;
                item.path = name.toUtf8();
                item.prefix = found.prefix;
                if (found.error != 0) {
                    item.status = Item::Status::Failed;
                    item.reason = registryReason(found.error);
                } else {
                    describeValues(found, item);
                    if (!found.keyPath.isEmpty())
                        item.holds.prepend(QStringLiteral("    [%1]\n").arg(printable(found.keyPath)));
                }
                entry.items.push_back(std::move(item));
            }
            m_report.addEntry(std::move(entry));
        }
        reportSkipped();
    }

    void registryClean(const QStringList &entries)
    {
        namespace reg = cleanup::registry;
        // The window's deleter, one per prefix with backups on; kept by hand here so each
        // prefix's answer and backup file can be told.
        std::map<QString, reg::RegistryDeleter *> byPrefix;
        reg::EveryPrefixDeleter deleter(
            [&byPrefix](const QString &prefix) {
                auto one = std::make_unique<reg::RegistryDeleter>(QString(), prefix);
                one->setBackupFolder(reg::defaultBackupFolder());
                byPrefix[prefix] = one.get();
                return one;
            },
            &platform::userWinePrefixes);
        deleter.runStarted();
        if (deleter.prefixes().isEmpty() && !entries.isEmpty())
            m_report.say(QStringLiteral("没有找到 Wine 前缀，注册表里没有可清理的内容。"));
        for (const QString &name : entries) {
            if (stopped())
                break;
            Entry entry{name, QStringLiteral("registry"), {}, {}};
            deleter.remove(name);
            for (const QString &prefix : deleter.prefixes()) {
                const quint32 error = byPrefix.at(prefix)->lastError();
                if (error == 2 || skipped(prefix, error))
                    continue;
                Item item;
                item.path = name.toUtf8();
                item.prefix = prefix;
                item.status = error == 0 ? Item::Status::Deleted : Item::Status::Failed;
                if (error != 0)
                    item.reason = registryReason(error);
                entry.items.push_back(std::move(item));
            }
            m_report.addEntry(std::move(entry));
        }
        QJsonArray backups;
        for (const QString &prefix : deleter.prefixes()) {
            const QString file = byPrefix.at(prefix)->backupFileName();
            if (file.isEmpty())
                continue;
            const QString absolute = QFileInfo(file).absoluteFilePath();
            backups.append(absolute);
            m_report.say(QStringLiteral("删除的注册表内容已备份到 %1").arg(absolute));
        }
        reportSkipped();
        deleter.runFinished();
        // Wine's server and services that this run started must be gone before the command
        // ends: a service unit would wait for them and then call the run failed.
        for (const QString &prefix : deleter.prefixes()) {
            if (!byPrefix.at(prefix)->waitForWineToEnd(wineEndMs))
                m_report.say(QStringLiteral("Wine 前缀 %1 的 wineserver 未能及时结束").arg(prefix));
        }
        m_report.setExtra(QStringLiteral("backups"), backups);
    }

private:
    // A prefix made by another Wine build is left alone as a whole: said once, not per entry.
    bool skipped(const QString &prefix, quint32 error)
    {
        if (error != cleanup::registry::errorOtherWineBuild)
            return false;
        if (!m_skippedPrefixes.contains(prefix))
            m_skippedPrefixes.append(prefix);
        return true;
    }

    void reportSkipped()
    {
        QJsonArray skipped;
        for (const QString &prefix : std::as_const(m_skippedPrefixes)) {
            QString reason = cleanup::registry::whyPrefixIsLeftAlone(prefix);
            if (reason.isEmpty())
                reason = registryReason(cleanup::registry::errorOtherWineBuild);
            m_report.say(QStringLiteral("已跳过 Wine 前缀 %1：%2").arg(prefix, reason));
            skipped.append(QJsonObject{{QStringLiteral("prefix"), prefix}, {QStringLiteral("reason"), reason}});
        }
        m_report.setExtra(QStringLiteral("skipped_prefixes"), skipped);
    }

    static bool stopped() { return stopRequested().load(std::memory_order_relaxed); }

    // An unattended run leaves what someone may still be using: a file a process holds open,
    // and one changed or read within the last days. Reads move the access time at most once a
    // day where the file system is mounted relatime (the default), so reads are given a day
    // more; where it is noatime, only changes speak. The change time (ctime) is not asked:
    // renames, permission and link-count changes move it, it says nothing of use, and no
    // program can set it back.
    QString skipReason(const cleanup::files::MatchedFile &file, const cleanup::files::FilesInUse &inUse, qint64 now) const
    {
        if (inUse.contains(file.device, file.inode))
            return QStringLiteral("有程序正打开着它，跳过");
        constexpr qint64 day = 24 * 60 * 60;
        const qint64 recent = now - qint64(m_minAgeDays) * day;
        if (file.modified > recent)
            return QStringLiteral("%1 天内改动过，跳过").arg(m_minAgeDays);
        if (m_minAgeDays > 0 && file.accessed > recent - day)
            return QStringLiteral("%1 天内读过，跳过").arg(m_minAgeDays);
        return {};
    }

    void noteFilesInUse(const cleanup::files::FilesInUse &inUse)
    {
        m_report.setExtra(QStringLiteral("unattended"),
                          QJsonObject{{QStringLiteral("min_age_days"), m_minAgeDays},
                                      {QStringLiteral("unreadable_processes"), inUse.unreadable()}});
        if (inUse.unreadable() > 0)
            m_report.say(QStringLiteral("有 %1 个进程属于别的用户，看不到它们打开的文件；只跳过本用户的进程打开着的文件。")
                             .arg(inUse.unreadable()));
    }

    static void describeValues(const cleanup::registry::PreviewedEntry &found, Item &item)
    {
        QJsonArray values;
        for (const cleanup::registry::ExportedValue &value : found.values) {
            const QString name = QString::fromStdU16String(value.name);
            const QString type = cleanup::registry::valueTypeName(value.type);
            const QString data = cleanup::registry::describeValueData(value);
            item.size += qint64(value.data.size());
            item.holds += QStringLiteral("    %1  %2  %3\n")
                              .arg(name.isEmpty() ? QStringLiteral("（默认）") : printable(name), type, printable(data));
            values.append(QJsonObject{{QStringLiteral("name"), name},
                                      {QStringLiteral("type"), type},
                                      {QStringLiteral("data"), data}});
        }
        item.extra.insert(QStringLiteral("values"), values);
        item.extra.insert(QStringLiteral("key"), found.isKey);
        item.extra.insert(QStringLiteral("key_path"), found.keyPath);
    }

    const bool m_clean;
    const bool m_unattended;
    const int m_minAgeDays;
    Report &m_report;
    Progress m_progress;
    qint64 m_items = 0;
    qint64 m_bytes = 0;
    QStringList m_skippedPrefixes;
};

} // namespace

int runLists(const Arguments &arguments, Report &report)
{
    List files{QStringLiteral("files"), {}};
    List registry{QStringLiteral("registry"), {}};
    const bool withFiles = arguments.lists != Lists::Registry;
    const bool withRegistry = arguments.lists != Lists::Files;
    // Both lists are read before anything is looked up, so a list that can't be read stops
    // the run before it has changed anything.
    if (withFiles && !readList(QStringLiteral("Wjql.ini"), QStringLiteral("清理文件对象列表读取失败！"), files, report))
        return 2;
    if (withRegistry && !readList(registryListFile(), QStringLiteral("清理注册对象列表读取失败！"), registry, report))
        return 2;

    ListRun run(arguments, report);
    if (withFiles)
        run.files(files.entries);
    if (withRegistry) {
        if (arguments.command == Command::Clean)
            run.registryClean(registry.entries);
        else
            run.registryPreview(registry.entries);
    }
    return report.exitCode();
}

} // namespace cli
