#include "cleanup/registry/registry_backup.h"

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/file_io.h"

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
        platform::detail::syncFolderEntry(QDir::cleanPath(m_runFolder));
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

quint32 RegistryBackup::append(const RegistryName &name, const std::u16string &storedKeyName,
                               const std::vector<ExportedValue> &values, const std::vector<std::u16string> &removed)
{
    std::u16string keyPath(rootKeyName(name.root));
    if (!name.parentPath.empty())
        keyPath += u'\\' + name.parentPath;
    if (name.isKey)
        keyPath += u'\\' + (storedKeyName.empty() ? name.name : storedKeyName);
    if (!keyPathFits(keyPath))
        return errorNotRestorable;

    const bool fresh = !m_file;
    if (fresh && !openFile()) {
        if (m_folderMade)
            QDir().rmdir(m_runFolder);
        return errorBackupFailed;
    }
    QByteArray bytes;
    if (fresh) {
        bytes = QByteArray("\xFF\xFE", 2) + utf16le(formatBackupFileStart(m_prefix.toStdU16String()));
    }
    bytes += utf16le(formatRegSection(keyPath, values, removed));

    const qint64 before = m_file->size();
    if (m_file->write(bytes) == bytes.size() && platform::detail::syncToDisk(*m_file)) {
        // Synced data is no use if a crash can still lose the new file's name.
        if (fresh)
            platform::detail::syncFolderEntry(m_file->fileName());
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
        m_file->resize(before);
        m_file->seek(before);
    }
    return errorBackupFailed;
}

} // namespace cleanup::registry
