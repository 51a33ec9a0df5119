#pragma once

#include "cleanup/entry_deleter.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace cleanup::registry {

// Failure codes of the bridge itself, beside the registry's own Windows error codes.
inline constexpr quint32 errorNoRegistry = 1011;    // ERROR_CANTOPEN: no prefix with system.reg, no Wine, no helper
inline constexpr quint32 errorHelperFailed = 109;   // ERROR_BROKEN_PIPE: the helper died or answered nonsense
inline constexpr quint32 errorHelperTimeout = 1460; // ERROR_TIMEOUT: the helper didn't answer in time
inline constexpr quint32 errorBackupFailed = 29;     // ERROR_WRITE_FAULT: the backup couldn't be written
// ERROR_NOT_SUPPORTED: no backup could bring the entry back (a key name holding a line break,
// a registry link), so it stays.
inline constexpr quint32 errorNotRestorable = 50;
// ERROR_RETRY: the entry kept changing between its backup and its deletion, so it stays.
inline constexpr quint32 errorKeptChanging = 1237;
// ERROR_REVISION_MISMATCH: the prefix was made by another Wine build, which the system's Wine
// would bring up to date (rewriting its system folder), so nothing is started in it.
inline constexpr quint32 errorOtherWineBuild = 1306;
// ERROR_FILE_TOO_LARGE: the entry's backup would make the run's backup file larger than a
// restore takes, so it stays.
inline constexpr quint32 errorBackupTooLarge = 223;

class RegistryBackend; // deletion_job.h
class DeletionJob;

// Deletes registry keys and values named the way WScript.Shell's RegDelete takes them
// ("HKCU\Software\Vendor\Value", "HKEY_LOCAL_MACHINE\Software\Vendor\Key\").
//
// On Windows it calls the registry API in-process. On Linux the registry is the Wine prefix's
// ($WINEPREFIX, else ~/.wine): brisquel-regdel.exe runs under Wine's 64-bit loader, started in
// the background by runStarted() (or at the first deletion) and kept until runFinished(),
// which lets it go without waiting for it. Deletions are asynchronous there: begin() sends
// the request and busy() holds until its answer is in, driven by the thread's event loop.
// A prefix is never created: with no system.reg in it, or no Wine, a deletion fails at once
// without starting anything.
//
// With a backup folder set, whatever an entry removes is first written to the run's backup
// file there (see RegistryBackup) and synced; an entry whose backup can't be written is not
// deleted and fails with errorBackupFailed, one no backup could restore with
// errorNotRestorable. Right before deleting, the helper reads the entry again; should it
// differ from the backup (a program wrote to it meanwhile), the new state is backed up too
// and the deletion tried again, up to three backups, then the entry fails with
// errorKeptChanging.
//
// The helper's timeouts, and what becomes of one that hangs or dies, are WineHelper's
// (wine_helper.h); one that never gave a first answer is not tried again before
// runFinished(), so a broken Wine costs one wait per run, not one per entry.
// WineRegistryDeleter (wine_helper.h) adds the Wine settings tests and benchmarks tune.
class RegistryDeleter : public cleanup::EntryDeleter
{
public:
    // Empty arguments take the defaults: brisquel-regdel.exe in the running program's folder,
    // and platform::winePrefix() looked up afresh at each deletion. Windows ignores both.
    explicit RegistryDeleter(const QString &helperPath = {}, const QString &prefix = {});
    ~RegistryDeleter() override;
    RegistryDeleter(const RegistryDeleter &) = delete;
    RegistryDeleter &operator=(const RegistryDeleter &) = delete;

    // Waits for the deletion, running the calling thread's event loop meanwhile; begin()
    // and busy() are the window's way, which never waits.
    bool remove(const QString &entry) override;
    void begin(const QString &entry) override;
    bool busy() const override;
    void runStarted() override;
    // Also ends the prefix's Wine (its wineserver and services) when the run started it; a
    // Wine session that was running before the run is left alone.
    void runFinished() override;
    // Waits up to `ms` for the Wine that runFinished() ended to be gone; whether it is.
    bool waitForWineToEnd(int ms);

    // Empty (the default) makes no backups; makeRegistryDeleter() sets "注册表备份".
    void setBackupFolder(const QString &folder);
    // The current run's backup file; empty before its first backup. Read it while no
    // deletion is under way.
    QString backupFileName() const;

    // The Windows error code of the last deletion: 0 after a deletion, 2 for a missing key or
    // value, 5 for a key with subkeys, 87 for a malformed entry, or one of the codes above.
    quint32 lastError() const;

    // Called once an entry's backup is on disk, just before its deletion is asked for, so a
    // test can stage a program writing to it in between.
    void setBeforeDelete(std::function<void()> hook);

protected:
    RegistryBackend &backend() const;

private:
    // Declared before the job, which works through it, so it goes after the job.
    std::unique_ptr<RegistryBackend> m_backend;
    std::unique_ptr<DeletionJob> m_job;
};

// The system's registry calls for a deleter: the Wine helper on Linux, the registry API on
// Windows. The arguments are RegistryDeleter's.
std::unique_ptr<RegistryBackend> makeRegistryBackend(const QString &helperPath, const QString &prefix);

// The folder below the working folder that the junk-registry page's backups go to.
QString defaultBackupFolder();

// The deleter the junk-registry page uses: backups on.
std::unique_ptr<cleanup::EntryDeleter> makeRegistryDeleter();

// Wine's 64-bit loader: /usr/lib/wine/wine64 (Debian's packages), else wine64, else wine
// from PATH. Empty when there is none (and always on Windows).
QString findWineLoader();

// Why a run leaves `prefix` alone as a whole (made or updated by another Wine build, or no
// update stamp the system's Wine would accept); empty when it doesn't (and always on Windows).
QString whyPrefixIsLeftAlone(const QString &prefix);

} // namespace cleanup::registry
