#include "cleanup/registry/backup_restore.h"

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/backup_import.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/error_text.h"
#include "platform/files.h"

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

RestoreResult restoreBackup(const QString &regFile, const QString &prefix, const QString &helperPath)
{
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

    const std::optional<QString> target = detail::restorePrefix(prefix, fromUtf16(check.file.prefix));
    if (!target) {
        result.status = RestoreResult::Status::NoRegistry;
        result.prefix = prefix.isEmpty() ? fromUtf16(check.file.prefix) : prefix;
        result.message = QStringLiteral("没有可恢复到的 Wine 前缀（“%1”中没有注册表）。").arg(result.prefix) + unchanged;
        return result;
    }
    result.prefix = *target;
    detail::BackupImporter importer(*target, helperPath);
    if (const std::optional<QString> failure = importer.import(*bytes)) {
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
