#include "cleanup/registry/registry_backup.h"

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/backup_seal.h"
#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/files.h"

#include <QDir>
#include <QFileInfo>

namespace cleanup::registry {

namespace {

// Enough names for the runs one second can start.
constexpr int maxNameAttempts = 100;

QByteArray utf16le(std::u16string_view text)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(text.size() * 2));
    for (const char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    return bytes;
}

} // namespace

QString defaultBackupFolder()
{
    return QStringLiteral("注册表备份");
}

void RegistryBackup::setFolder(const QString &folder)
{
    m_folder = folder;
}

void RegistryBackup::startRun()
{
    endRun();
    m_started = QDateTime::currentDateTime();
    m_runFolder = QDir::current().absoluteFilePath(m_folder);
}

void RegistryBackup::endRun()
{
    m_file.reset();
    m_started = {};
}

QString RegistryBackup::fileName() const
{
    return m_file ? m_file->fileName() : QString();
}

bool RegistryBackup::openFile()
{
    if (!m_started.isValid())
        startRun();
    m_folderMade = !QFileInfo::exists(m_runFolder);
    if (!QDir().mkpath(m_runFolder))
        return false;
    if (m_folderMade)
        platform::syncFolderEntry(QDir::cleanPath(m_runFolder));
    const QString stem = m_runFolder + u'/' + m_started.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    for (int attempt = 1; attempt <= maxNameAttempts; ++attempt) {
        auto file = std::make_unique<QFile>(attempt == 1 ? stem + QStringLiteral(".reg")
                                                         : stem + QStringLiteral("_%1.reg").arg(attempt));
        // Unbuffered: bytes a full disk refused are not kept to be written again on close.
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            m_file = std::move(file);
            return true;
        }
        if (!file->exists())
            return false; // no name will do: the folder refuses new files
    }
    return false;
}

quint32 RegistryBackup::append(std::u16string_view entry, const RegistryName &name, const std::u16string &storedKeyName,
                               const std::vector<ExportedValue> &values, const std::vector<std::u16string> &removed)
{
    std::u16string keyPath(rootKeyName(name.root));
    if (!name.parentPath.empty())
        keyPath += u'\\' + name.parentPath;
    if (name.isKey)
        keyPath += u'\\' + (storedKeyName.empty() ? name.name : storedKeyName);
    if (!keyPathFits(keyPath) || !entryFitsComment(entry))
        return errorNotRestorable;
    // The data alone may already be past the bound; then it isn't even formatted.
    qint64 written = m_file ? m_file->size() - m_checksumBytes : 0;
    std::size_t least = 0;
    for (const ExportedValue &value : values)
        least += value.data.size() + value.name.size() * 2;
    if (written + qint64(least) > qint64(maxBackupFileBytes))
        return errorBackupTooLarge;

    BackupSection section;
    section.entry = entry;
    section.keyPath = keyPath;
    section.values = values;
    section.removed = removed;
    const QByteArray part = utf16le(formatBackupPart(section));
    const bool fresh = !m_file;
    const QByteArray start = fresh ? QByteArray("\xFF\xFE", 2) + utf16le(formatBackupFileStart(m_prefix.toStdU16String()))
                                   : QByteArray();
    // 64 hex digits: the checksum line is the same length each time.
    const qint64 checksumBytes = qint64(formatBackupChecksum(std::u16string(64, u'0')).size() * 2);
    if (written + start.size() + part.size() + checksumBytes > qint64(maxBackupFileBytes))
        return errorBackupTooLarge;

    if (fresh && !openFile()) {
        if (m_folderMade)
            QDir().rmdir(m_runFolder);
        return errorBackupFailed;
    }
    if (fresh) {
        // No key, no backup a restore could trust: nothing is deleted without one.
        const std::optional<QByteArray> key = backupKey(m_runFolder, true);
        m_key = key.value_or(QByteArray());
        m_chain.clear();
        if (!m_key.isEmpty())
            m_chain = chainChecksum(m_key, m_chain, std::string_view(start.constData(), size_t(start.size())));
        m_checksumBytes = 0;
    }
    const QByteArray chain = m_key.isEmpty() ? QByteArray()
                                             : chainChecksum(m_key, m_chain, std::string_view(part.constData(), size_t(part.size())));
    const QByteArray checksum = utf16le(formatBackupChecksum(QString::fromLatin1(chain.toHex()).toStdU16String()));
    const qint64 end = m_file->size() - m_checksumBytes;
    bool ok = !m_key.isEmpty();
    if (ok) {
        // The new section goes over the old checksum line, and its own checksum after it.
        const QByteArray bytes = start + part + checksum;
        ok = m_file->seek(end) && m_file->write(bytes) == bytes.size() && platform::syncToDisk(*m_file);
    }
    if (ok) {
        m_chain = chain;
        m_checksumBytes = checksum.size();
        // Synced data is no use if a crash can still lose the new file's name.
        if (fresh)
            platform::syncFolderEntry(m_file->fileName());
        return 0;
    }
    // No half-written section for the next one to follow; a file with nothing in it goes,
    // by name, as closing it may fail again on a full disk.
    if (fresh) {
        const QString path = m_file->fileName();
        m_file.reset();
        QFile::remove(path);
        if (m_folderMade)
            QDir().rmdir(m_runFolder);
    } else {
        m_file->resize(end);
        m_file->seek(end);
        // The earlier sections keep their checksum.
        const QByteArray previous = utf16le(formatBackupChecksum(QString::fromLatin1(m_chain.toHex()).toStdU16String()));
        if (m_file->write(previous) == previous.size())
            platform::syncToDisk(*m_file);
    }
    return errorBackupFailed;
}

} // namespace cleanup::registry
