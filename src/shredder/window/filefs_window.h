#pragma once

#include "platform/message_box.h"
#include "shredder/shredder.h"
#include "shredder/wipe.h"

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

// Asks a yes/no question; true means go ahead.
using ConfirmFunction = std::function<bool(QWidget *parent, const QString &text, const QString &title)>;

// What the window takes from outside; the defaults are the real thing.
struct FilefsServices
{
    platform::MessageFunction showMessage;
    ConfirmFunction confirm;
    shredder::DescribeDevice describeDevice;
};

// The shredder's window: a list of files and folders, the passes, and a run that works
// off this thread while the list shows what became of each item.
class FilefsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit FilefsWindow(FilefsServices services = {}, QWidget *parent = nullptr);
    ~FilefsWindow() override;

    // Adds files and folders to the list (once each, by their bytes) and looks at them off
    // this thread. Relative paths are taken against the working folder.
    void addPaths(const QByteArrayList &paths);
    // The same for names that are text.
    void addPaths(const QStringList &paths);
    // Files handed over on the command line, as paths or as file:// addresses.
    void addArguments(const QByteArrayList &arguments);
    bool isBusy() const;

    void addFilesButton_Click();
    void addFolderButton_Click();
    void removeButton_Click();
    void clearButton_Click();
    void shredButton_Click();
    void cancelButton_Click();
    void wipeButton_Click();
    void otherFolderButton_Click();
    void wipeStartButton_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class Job { None, Scanning, Shredding, Sweeping, Listing, Examining, Wiping, Trimming };

    // `then` runs on this thread once the work is done, unless the window is closing.
    void startJob(Job job, std::function<void()> work, std::function<void()> then = {});
    void jobFinished();
    void updateControls();
    void updateProgress();
    void setPlan(QTreeWidgetItem *row, const shredder::Plan &plan);
    void setOutcome(QTreeWidgetItem *row, const shredder::Outcome &outcome);
    void addPicked(const QList<QUrl> &urls);
    void makeWipeDialog();
    void listFileSystems();
    void examineAndWipe(const QByteArray &folder);
    void wipe(const shredder::FreeSpace &space, const QString &leftovers);
    void offerTrim(const shredder::FreeSpace &space, QString result);

    FilefsServices m_services;
    QTreeWidget *m_list;
    QPushButton *m_addFiles;
    QPushButton *m_addFolder;
    QPushButton *m_remove;
    QPushButton *m_clear;
    QComboBox *m_passes;
    QCheckBox *m_zeroPass;
    QProgressBar *m_progress;
    QLabel *m_status;
    QLabel *m_current;
    QPushButton *m_shred;
    QPushButton *m_cancel;
    QTimer *m_progressTimer;
    QPushButton *m_wipe;

    // The free-space wipe's dialog, made when first asked for.
    QDialog *m_wipeDialog = nullptr;
    QTreeWidget *m_fileSystems = nullptr;
    QComboBox *m_wipePasses = nullptr;
    QCheckBox *m_wipeZeroPass = nullptr;
    QPushButton *m_otherFolder = nullptr;
    QPushButton *m_wipeStart = nullptr;
    QPushButton *m_wipeCancel = nullptr;
    QProgressBar *m_wipeProgress = nullptr;
    QLabel *m_wipeStatus = nullptr;
    QLabel *m_wipeResult = nullptr;
    const std::string m_ledger;
    QString m_notice; // what the start-up found left by a killed wipe

    Job m_job = Job::None;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_stop{false};
    bool m_closeWhenIdle = false;
    std::function<void()> m_then;

    // Written by the working thread, read by the progress timer.
    std::atomic<std::uint64_t> m_bytesDone{0};
    std::uint64_t m_bytesTotal = 0;
    std::atomic<std::uint64_t> m_wipeFilled{0};
    std::uint64_t m_wipeFree = 0;
    std::mutex m_currentLock;
    std::string m_currentFile;
    QElapsedTimer m_clock;
};
