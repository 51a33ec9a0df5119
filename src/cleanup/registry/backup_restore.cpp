#include "cleanup/registry/backup_restore.h"

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/backup_import.h"
#include "cleanup/registry/backup_seal.h"
#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_name.h"
#include "cleanup/registry/registry_preview.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/error_text.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <optional>

namespace cleanup::registry {

namespace {

QString fromUtf16(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QString refusalReason(const BackupFileCheck &check)
{
    const QString line = QString::number(check.line);
    switch (check.error) {
    case BackupFileError::TooLarge: return QStringLiteral("文件过大");
    case BackupFileError::NotUtf16: return QStringLiteral("不是 UTF-16 编码的注册表文件");
    case BackupFileError::NulCharacter: return QStringLiteral("第 %1 行含有空字符").arg(line);
    case BackupFileError::NoHeader: return QStringLiteral("缺少注册表文件头");
    case BackupFileError::NoPrefixComment: return QStringLiteral("缺少 Wine 前缀说明");
    case BackupFileError::BadLineBreak: return QStringLiteral("第 %1 行的换行不完整").arg(line);
    case BackupFileError::BadSection: return QStringLiteral("第 %1 行不是可恢复的注册表项").arg(line);
    case BackupFileError::BadValue: return QStringLiteral("第 %1 行不是可恢复的值").arg(line);
    case BackupFileError::Truncated: return QStringLiteral("文件不完整");
    case BackupFileError::NotAsWritten: return QStringLiteral("格式与本程序写的备份不同");
    case BackupFileError::None: break;
    }
    return {};
}

// What a key holds once the file is imported: each value by case-folded name, nothing for
// one the file removes. Later sections of the same key win, as they do in the import.
struct ExpectedKey
{
    QString path;
    QHash<QString, std::optional<ExportedValue>> values;
};

QString folded(std::u16string_view text)
{
    return fromUtf16(text).toCaseFolded();
}

bool within(const QString &path, const QString &key)
{
    return path.compare(key, Qt::CaseInsensitive) == 0
        || (path.size() > key.size() && path[key.size()] == u'\\' && path.startsWith(key, Qt::CaseInsensitive));
}

// Places whose values steer programs, Wine or the files a later clean reaches: the
// environment (TEMP), autostarts, Wine's own settings (DllOverrides), services and the
// system's configuration, shell folders, policies and file classes. A backup can hold them
// only because a list named them, which only a backup we vouch for can show.
bool steersPrograms(const QString &keyPath)
{
    static const QStringList places{
        QStringLiteral("HKEY_CURRENT_USER\\Environment"),
        QStringLiteral("HKEY_CURRENT_USER\\Volatile Environment"),
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Wine"),
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Wine"),
        QStringLiteral("HKEY_LOCAL_MACHINE\\System"),
        QStringLiteral("HKEY_CURRENT_USER\\System"),
        QStringLiteral("HKEY_CURRENT_CONFIG"),
        QStringLiteral("HKEY_USERS"),
        QStringLiteral("HKEY_CLASSES_ROOT"),
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes"),
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Classes"),
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Policies"),
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Policies"),
    };
    static const QStringList belowSoftware{
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Run"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\RunOnce"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\RunOnceEx"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\RunServices"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Policies"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"),
        QStringLiteral("Microsoft\\Windows\\CurrentVersion\\App Paths"),
        QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\Winlogon"),
        QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\Windows"),
        QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"),
        QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\AeDebug"),
        // Autostarts by other names: cmd runs AutoRun at each start, Active Setup a StubPath at logon.
        QStringLiteral("Microsoft\\Command Processor"),
        QStringLiteral("Microsoft\\Active Setup"),
    };
    for (const QString &place : places) {
        if (within(keyPath, place))
            return true;
    }
    for (const QString &root : {QStringLiteral("HKEY_CURRENT_USER\\Software\\"), QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\"),
                                QStringLiteral("HKEY_CURRENT_USER\\Software\\Wow6432Node\\"),
                                QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\")}) {
        for (const QString &place : belowSoftware) {
            if (within(keyPath, root + place))
                return true;
        }
    }
    return false;
}

// Whether the section lies where its entry could have deleted: below a key entry's key, or
// the one value of a value entry.
bool reachedByEntry(const BackupSection &section)
{
    const std::optional<EntryReach> reach = entryReach(fromUtf16(section.entry));
    if (!reach)
        return false;
    const QString path = fromUtf16(section.keyPath);
    if (reach->isKey)
        return within(path, reach->keyPath);
    if (path.compare(reach->keyPath, Qt::CaseInsensitive) != 0)
        return false;
    const QString name = reach->valueName.toCaseFolded();
    for (const ExportedValue &value : section.values) {
        if (folded(value.name) != name)
            return false;
    }
    for (const std::u16string &removed : section.removed) {
        if (folded(removed) != name)
            return false;
    }
    return true;
}

// A name fit for a terminal: control characters escaped.
QString shown(std::u16string_view text)
{
    ExportedValue value{u"", 1, {}};
    for (const char16_t c : text) {
        value.data += char(c & 0xFF);
        value.data += char(c >> 8);
    }
    return describeValueData(value, 0);
}

// The file's content as a person reads it before saying yes.
QString describe(const BackupFile &file)
{
    QString text = QStringLiteral("Wine 前缀：%1\n").arg(fromUtf16(file.prefix));
    for (const BackupSection &section : file.sections) {
        text += QStringLiteral("[%1]\n").arg(shown(section.keyPath));
        for (const std::u16string &name : section.removed)
            text += QStringLiteral("    删除 %1\n").arg(shown(name));
        for (const ExportedValue &value : section.values)
            text += QStringLiteral("    %1  %2  %3\n")
                        .arg(value.name.empty() ? QStringLiteral("（默认）") : shown(value.name),
                             valueTypeName(value.type), describeValueData(value));
    }
    return text;
}

} // namespace

std::optional<QString> detail::writeCheckedCopy(const QTemporaryDir &folder, const QByteArray &bytes, QString &copy)
{
    if (!folder.isValid())
        return QStringLiteral("无法建立临时文件夹");
    copy = folder.filePath(QStringLiteral("restore.reg"));
    QFile file(copy);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("无法写入临时文件");
    return std::nullopt;
}

std::optional<EntryReach> entryReach(const QString &entry)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    if (!parsed.ok())
        return std::nullopt;
    std::u16string path(rootKeyName(parsed.name.root));
    if (!parsed.name.parentPath.empty())
        path += u'\\' + parsed.name.parentPath;
    EntryReach reach;
    reach.isKey = parsed.name.isKey;
    if (parsed.name.isKey)
        path += u'\\' + parsed.name.name;
    else
        reach.valueName = fromUtf16(parsed.name.name);
    reach.keyPath = fromUtf16(path);
    return reach;
}

RestoreResult restoreBackup(const QString &regFile, const QString &prefix, const QString &helperPath)
{
    RestoreOptions options;
    options.prefix = prefix;
    options.helperPath = helperPath;
    return restoreBackup(regFile, options);
}

RestoreResult restoreBackup(const QString &regFile, const RestoreOptions &options)
{
    const QString &prefix = options.prefix;
    const QString &helperPath = options.helperPath;
    RestoreResult result;
    const QString unchanged = QStringLiteral("注册表未作任何更改。");
    int systemError = 0;
    const std::optional<QByteArray> bytes = platform::readHead(regFile, qint64(maxBackupFileBytes) + 1,
                                                                        &systemError);
    if (!bytes || systemError != 0) {
        result.status = RestoreResult::Status::Failed;
        result.message = QStringLiteral("无法读取“%1”：%2。").arg(regFile, platform::describeError(systemError))
                + unchanged;
        return result;
    }
    const BackupFileCheck check = readBackupFile(std::string_view(bytes->constData(), size_t(bytes->size())));
    if (!check.ok()) {
        result.status = RestoreResult::Status::NotOurBackup;
        result.message = QStringLiteral("“%1”不是本程序的注册表备份（%2）。").arg(regFile, refusalReason(check))
                + unchanged;
        return result;
    }

    std::vector<ExpectedKey> keys;
    QHash<QString, std::size_t> keyIndex;
    for (const BackupSection &section : check.file.sections) {
        const QString path = fromUtf16(section.keyPath);
        auto found = keyIndex.constFind(path.toCaseFolded());
        if (found == keyIndex.cend()) {
            found = keyIndex.insert(path.toCaseFolded(), keys.size());
            keys.push_back({path, {}});
        }
        ExpectedKey &key = keys[*found];
        for (const std::u16string &name : section.removed) {
            key.values.insert(folded(name), std::nullopt);
            result.removed.append(path + u'\\' + fromUtf16(name));
        }
        for (const ExportedValue &value : section.values)
            key.values.insert(folded(value.name), value);
        result.values += int(section.values.size());
    }
    result.keys = int(keys.size());

    // The prefix is judged first: no one is asked about a restore that can't happen.
    const detail::RestoreTarget target = detail::restorePrefix(prefix, fromUtf16(check.file.prefix));
    if (!target.refusal.isEmpty()) {
        result.status = target.gone ? RestoreResult::Status::NoRegistry : RestoreResult::Status::Refused;
        result.prefix = prefix.isEmpty() ? fromUtf16(check.file.prefix) : prefix;
        result.message = QStringLiteral("无法恢复到该 Wine 前缀：%1。").arg(target.refusal) + unchanged;
        return result;
    }
    // Only what this installation wrote, where its entries reach, goes back unasked.
    const QString keyFolder = options.keyFolder.isEmpty() ? QDir::current().absoluteFilePath(defaultBackupFolder())
                                                          : options.keyFolder;
    const std::optional<QByteArray> key = backupKey(keyFolder, false);
    QString doubt;
    if (!key || !vouchedFor(*key, check.file))
        doubt = check.file.checksum.empty() ? QStringLiteral("没有本程序的校验码") : QStringLiteral("校验码不符");
    for (std::size_t i = 0; doubt.isEmpty() && i < check.file.sections.size(); ++i) {
        if (!reachedByEntry(check.file.sections[i]))
            doubt = QStringLiteral("“%1”不在其清理条目所及的范围内").arg(shown(check.file.sections[i].keyPath));
    }
    if (!doubt.isEmpty()) {
        result.status = RestoreResult::Status::Refused;
        for (const BackupSection &section : check.file.sections) {
            if (steersPrograms(fromUtf16(section.keyPath))) {
                result.message = QStringLiteral("“%1”无法确认是本程序写的备份（%2），且含有影响程序运行的项“%3”，未恢复。")
                                         .arg(regFile, doubt, shown(section.keyPath))
                        + unchanged;
                return result;
            }
        }
        if (!options.confirm) {
            result.message = QStringLiteral("“%1”无法确认是本程序写的备份（%2），没有终端可以询问，未恢复。").arg(regFile, doubt)
                    + unchanged;
            return result;
        }
        if (!options.confirm(QStringLiteral("“%1”无法确认是本程序写的备份（%2）。其内容：\n").arg(regFile, doubt)
                             + describe(check.file))) {
            result.message = QStringLiteral("未恢复“%1”。").arg(regFile) + unchanged;
            return result;
        }
    }

    result.prefix = target.prefix;
    // The editor gets the sections alone, as they were checked.
    BackupFile plain = check.file;
    plain.checksum.clear();
    for (BackupSection &section : plain.sections)
        section.entry.clear();
    const std::string plainBytes = writeBackupFile(plain);
    detail::BackupImporter importer(target.prefix, helperPath);
    if (const std::optional<QString> failure = importer.import(QByteArray(plainBytes.data(), qsizetype(plainBytes.size())))) {
        result.status = RestoreResult::Status::Failed;
        result.message = QStringLiteral("导入“%1”失败：%2。").arg(regFile, *failure);
        return result;
    }

    // The editor says little about what it couldn't write: every value is read back.
    int missing = 0;
    QString example;
    for (const ExpectedKey &key : keys) {
        std::vector<ExportedValue> now;
        const quint32 error = importer.values(key.path.toStdU16String(), now);
        // Nothing could be read back: that says nothing about the import, and isn't success.
        if (error == errorNoRegistry || error == errorHelperFailed || error == errorHelperTimeout) {
            result.status = RestoreResult::Status::Failed;
            result.message = QStringLiteral("已导入“%1”，但无法读回注册表核对（错误 %2）。")
                    .arg(regFile, QString::number(error));
            return result;
        }
        QHash<QString, const ExportedValue *> byName;
        for (const ExportedValue &value : now)
            byName.insert(folded(value.name), &value);
        for (auto it = key.values.cbegin(); it != key.values.cend(); ++it) {
            const ExportedValue *found = error == 0 ? byName.value(it.key()) : nullptr;
            const bool right = it.value() ? found && found->type == it.value()->type && found->data == it.value()->data
                                          : error == 0 && !found;
            if (right)
                continue;
            if (++missing == 1) {
                const QString name = it.value() ? fromUtf16(it.value()->name) : it.key();
                example = name.isEmpty() ? key.path + QStringLiteral("（默认值）") : key.path + u'\\' + name;
            }
        }
        if (key.values.isEmpty() && error != 0 && ++missing == 1)
            example = key.path;
    }
    if (missing > 0) {
        result.status = RestoreResult::Status::Failed;
        result.message = QStringLiteral("导入“%1”后仍有 %2 项与备份不符，例如“%3”。")
                .arg(regFile, QString::number(missing), example);
        return result;
    }
    result.status = RestoreResult::Status::Restored;
    result.message = QStringLiteral("已将 %1 个键、%2 个值恢复到“%3”。").arg(result.keys).arg(result.values).arg(result.prefix);
    return result;
}

} // namespace cleanup::registry
