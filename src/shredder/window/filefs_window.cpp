#include "shredder/window/filefs_window.h"

#include "shredder/window/shred_texts.h"

#include "platform/byte_path.h"
#include "platform/error_text.h"
#include "platform/files.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace {

using shredder::texts::dataBytes;
using shredder::texts::dataSizeText;
using shredder::texts::durationText;
using shredder::texts::failureReason;
using shredder::texts::noteTexts;
using shredder::texts::passesText;
using shredder::texts::sizeText;
using shredder::texts::warningTexts;
using shredder::texts::wipeLedger;
using shredder::texts::wipeQuestion;
using shredder::texts::wipeRefusal;
using shredder::texts::wipeShortfall;

enum Column { PathColumn, SizeColumn, StatusColumn };

// A row keeps its path as bytes and the plan its scan made, which the shredding then acts on.
enum Role { PathRole = Qt::UserRole, PlanRole, StateRole };

// Where a row stands. Rows already shredded are left out of the next run.
enum State { Checking, Ready, Shredded, Cancelled, Failed };

const QString title = QStringLiteral("文件粉碎");

bool askUser(QWidget *parent, const QString &text, const QString &caption)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    QPushButton *yes = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *no = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    // Destroying files is never what a stray Enter should do.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

shredder::Plan planOf(const QTreeWidgetItem *row) { return row->data(PathColumn, PlanRole).value<shredder::Plan>(); }

std::string pathOf(const QTreeWidgetItem *row) { return row->data(PathColumn, PathRole).toByteArray().toStdString(); }

// The local files of a drop, read from the address list as it came: its escapes are the
// names' own bytes, and QUrl would take any raw byte in it for UTF-8.
QByteArrayList droppedPaths(const QMimeData *data)
{
    QByteArrayList paths;
    for (QByteArray line : data->data(QStringLiteral("text/uri-list")).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('#'))
            continue;
        if (const std::optional<QByteArray> path = platform::localPathFromUrl(line))
            paths << *path;
    }
    return paths;
}

} // namespace

FilefsWindow::FilefsWindow(FilefsServices services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_list(new QTreeWidget(this))
    , m_addFiles(new QPushButton(QStringLiteral("添加文件…"), this))
    , m_addFolder(new QPushButton(QStringLiteral("添加文件夹…"), this))
    , m_remove(new QPushButton(QStringLiteral("移除"), this))
    , m_clear(new QPushButton(QStringLiteral("清空"), this))
    , m_passes(new QComboBox(this))
    , m_zeroPass(new QCheckBox(QStringLiteral("最后再用零覆盖一遍"), this))
    , m_progress(new QProgressBar(this))
    , m_status(new QLabel(this))
    , m_current(new QLabel(this))
    , m_shred(new QPushButton(QStringLiteral("粉碎"), this))
    , m_cancel(new QPushButton(QStringLiteral("取消"), this))
    , m_progressTimer(new QTimer(this))
    , m_wipe(new QPushButton(QStringLiteral("擦除空闲空间…"), this))
    , m_ledger(wipeLedger())
{
    if (!m_services.showMessage)
        m_services.showMessage = platform::showMessage;
    if (!m_services.confirm)
        m_services.confirm = askUser;
    if (!m_services.describeDevice)
        m_services.describeDevice = shredder::describeDevice;

    setObjectName(QStringLiteral("Filefs"));
    setWindowTitle(title);
    setAcceptDrops(true);
    resize(720, 480);

    m_list->setObjectName(QStringLiteral("itemList"));
    m_list->setHeaderLabels({QStringLiteral("路径"), QStringLiteral("大小"), QStringLiteral("状态")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformRowHeights(true);
    m_list->header()->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(SizeColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(StatusColumn, QHeaderView::Interactive);
    m_list->header()->resizeSection(StatusColumn, 220);
    m_list->header()->setStretchLastSection(false);
    m_addFiles->setObjectName(QStringLiteral("addFilesButton"));
    m_addFolder->setObjectName(QStringLiteral("addFolderButton"));
    m_remove->setObjectName(QStringLiteral("removeButton"));
    m_clear->setObjectName(QStringLiteral("clearButton"));
    m_passes->setObjectName(QStringLiteral("passesBox"));
    m_passes->addItem(QStringLiteral("1 遍（随机数据）"), 1);
    m_passes->addItem(QStringLiteral("3 遍（随机数据）"), 3);
    m_passes->addItem(QStringLiteral("7 遍（随机数据）"), 7);
    m_zeroPass->setObjectName(QStringLiteral("zeroPassBox"));
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 1000);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_current->setObjectName(QStringLiteral("currentLabel"));
    m_current->setTextFormat(Qt::PlainText);
    m_current->setMinimumWidth(1);
    m_shred->setObjectName(QStringLiteral("shredButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_wipe->setObjectName(QStringLiteral("wipeButton"));
    m_progressTimer->setInterval(250);

    auto *passesLabel = new QLabel(QStringLiteral("覆盖次数(&P)："), this);
    passesLabel->setBuddy(m_passes);

    auto *listButtons = new QHBoxLayout;
    listButtons->addWidget(m_addFiles);
    listButtons->addWidget(m_addFolder);
    listButtons->addWidget(m_remove);
    listButtons->addWidget(m_clear);
    listButtons->addStretch();
    listButtons->addWidget(m_wipe);
    auto *options = new QHBoxLayout;
    options->addWidget(passesLabel);
    options->addWidget(m_passes);
    options->addSpacing(16);
    options->addWidget(m_zeroPass);
    options->addStretch();
    auto *actions = new QHBoxLayout;
    actions->addWidget(m_status, 1);
    actions->addWidget(m_shred);
    actions->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(listButtons);
    layout->addWidget(m_list, 1);
    layout->addLayout(options);
    layout->addWidget(m_progress);
    layout->addWidget(m_current);
    layout->addLayout(actions);

    connect(m_addFiles, &QPushButton::clicked, this, &FilefsWindow::addFilesButton_Click);
    connect(m_addFolder, &QPushButton::clicked, this, &FilefsWindow::addFolderButton_Click);
    connect(m_remove, &QPushButton::clicked, this, &FilefsWindow::removeButton_Click);
    connect(m_clear, &QPushButton::clicked, this, &FilefsWindow::clearButton_Click);
    connect(m_shred, &QPushButton::clicked, this, &FilefsWindow::shredButton_Click);
    connect(m_cancel, &QPushButton::clicked, this, &FilefsWindow::cancelButton_Click);
    connect(m_wipe, &QPushButton::clicked, this, &FilefsWindow::wipeButton_Click);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &FilefsWindow::updateControls);
    connect(m_progressTimer, &QTimer::timeout, this, &FilefsWindow::updateProgress);

    auto *removeKey = new QShortcut(QKeySequence::Delete, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(removeKey, &QShortcut::activated, this, &FilefsWindow::removeButton_Click);
    auto *openKey = new QShortcut(QKeySequence::Open, this);
    connect(openKey, &QShortcut::activated, this, [this] {
        if (m_addFiles->isEnabled())
            addFilesButton_Click();
    });
    auto *cancelKey = new QShortcut(Qt::Key_Escape, this);
    connect(cancelKey, &QShortcut::activated, this, [this] {
        if (m_cancel->isEnabled())
            cancelButton_Click();
    });

    m_status->setText(QStringLiteral("把要粉碎的文件或文件夹拖到这里，或点“添加文件…”。"));
    // A wipe killed while its named fill held the disk full left that fill behind.
    auto removed = std::make_shared<std::vector<std::string>>();
    startJob(Job::Sweeping, [removed, ledger = m_ledger] { *removed = shredder::removeWipeLeftovers(ledger); },
             [this, removed] {
                 if (removed->empty())
                     return;
                 QStringList folders;
                 for (const std::string &folder : *removed)
                     folders << platform::shownPath(folder);
                 m_notice = QStringLiteral("已删除上次擦除空闲空间中断时留下的填充文件：%1").arg(folders.join(QStringLiteral("，")));
                 m_status->setText(m_notice);
             });
}

FilefsWindow::~FilefsWindow()
{
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
        delete m_thread;
    }
}

bool FilefsWindow::isBusy() const { return m_job != Job::None; }

void FilefsWindow::addPaths(const QByteArrayList &paths)
{
    // Looked up once per call: a drop of thousands of paths must not compare each with every row.
    // Two names that show alike are still two files: rows are told apart by their bytes.
    QSet<QByteArray> listed;
    listed.reserve(m_list->topLevelItemCount() + paths.size());
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        listed.insert(m_list->topLevelItem(i)->data(PathColumn, PathRole).toByteArray());
    for (const QByteArray &given : paths) {
        const QByteArray path = platform::absolutePath(given);
        if (path.isEmpty() || listed.contains(path))
            continue;
        listed.insert(path);
        auto *row = new QTreeWidgetItem(m_list);
        row->setText(PathColumn, platform::shownPath(path));
        row->setToolTip(PathColumn, row->text(PathColumn));
        row->setData(PathColumn, PathRole, path);
        row->setData(PathColumn, StateRole, Checking);
        row->setText(StatusColumn, QStringLiteral("正在检查…"));
        row->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (!isBusy())
        jobFinished(); // starts looking at the new rows
}

void FilefsWindow::addPaths(const QStringList &paths)
{
    QByteArrayList bytes;
    for (const QString &path : paths)
        bytes << QFile::encodeName(path);
    addPaths(bytes);
}

void FilefsWindow::addArguments(const QByteArrayList &arguments)
{
    QByteArrayList paths;
    for (const QByteArray &argument : arguments) {
        if (argument.left(7).toLower() == "file://") {
            // An address that names no local file is left out, not read as a relative name.
            if (const std::optional<QByteArray> path = platform::localPathFromUrl(argument))
                paths << *path;
        } else {
            paths << argument;
        }
    }
    addPaths(paths);
}

// Qt's own dialogs hand back names they decoded, where bytes that are no text were lost;
// a pick is looked up among the real names, and refused when two of them look alike.
void FilefsWindow::addPicked(const QList<QUrl> &urls)
{
    QByteArrayList paths;
    QStringList unclear;
    for (const QUrl &url : urls) {
        std::optional<QByteArray> path = platform::localPathFromUrl(url);
        if (path)
            path = platform::pathFromShownText(QString::fromUtf8(*path));
        if (path)
            paths << *path;
        else
            unclear << url.toDisplayString(QUrl::PreferLocalFile);
    }
    addPaths(paths);
    if (!unclear.isEmpty())
        m_services.showMessage(this,
                               QStringLiteral("无法确定以下所选项目是哪一个文件（文件夹中有名称显示相同的项目），未添加。"
                                              "请把它们从文件管理器拖到这里：\n")
                                   + unclear.join(QLatin1Char('\n')),
                               title);
}

void FilefsWindow::setPlan(QTreeWidgetItem *row, const shredder::Plan &plan)
{
    row->setData(PathColumn, PlanRole, QVariant::fromValue(plan));
    const QStringList warnings = warningTexts(plan.warnings, QString::fromStdString(plan.fsType));
    const QStringList notes = noteTexts(plan, pathOf(row));
    if (plan.error) {
        row->setData(PathColumn, StateRole, Failed);
        row->setText(StatusColumn, QStringLiteral("失败：") + failureReason(plan.error));
        row->setText(SizeColumn, QString());
        return;
    }
    QString size;
    switch (plan.kind) {
    case shredder::ItemKind::Folder:
        size = QStringLiteral("%1（%2 个文件）").arg(dataSizeText(plan)).arg(plan.files);
        break;
    case shredder::ItemKind::Link:
        size = QStringLiteral("链接");
        break;
    case shredder::ItemKind::Special:
        size = QStringLiteral("特殊文件");
        break;
    default:
        size = dataSizeText(plan);
    }
    row->setText(SizeColumn, size);
    row->setData(PathColumn, StateRole, Ready);
    row->setText(StatusColumn, warnings.isEmpty() && notes.isEmpty() ? QStringLiteral("待粉碎") : QStringLiteral("待粉碎（有警告）"));
    row->setToolTip(StatusColumn, (warnings + notes).join(QLatin1Char('\n')));
}

void FilefsWindow::setOutcome(QTreeWidgetItem *row, const shredder::Outcome &outcome)
{
    switch (outcome.status) {
    case shredder::Status::Shredded:
        row->setData(PathColumn, StateRole, Shredded);
        row->setText(StatusColumn, QStringLiteral("已粉碎"));
        break;
    case shredder::Status::Cancelled:
        row->setData(PathColumn, StateRole, Cancelled);
        row->setText(StatusColumn, QStringLiteral("已取消"));
        break;
    case shredder::Status::Failed: {
        // Something else took the listed item's place: that is not a failure to shred it.
        const bool replaced = outcome.error == shredder::ChangedSinceScan && outcome.where.empty();
        QString text = (replaced ? QString() : QStringLiteral("失败：")) + failureReason(outcome.error);
        if (!outcome.where.empty())
            text += QStringLiteral("（%1）").arg(platform::shownPath(outcome.where));
        if (outcome.failures > 1)
            text += QStringLiteral("，另有 %1 处失败").arg(outcome.failures - 1);
        row->setData(PathColumn, StateRole, Failed);
        row->setText(StatusColumn, text);
        break;
    }
    }
    row->setToolTip(StatusColumn, row->text(StatusColumn));
}

void FilefsWindow::addFilesButton_Click()
{
    addPicked(QFileDialog::getOpenFileUrls(this, QStringLiteral("添加文件"), QUrl::fromLocalFile(QDir::homePath()),
                                           QString(), nullptr, {}, {QStringLiteral("file")}));
}

void FilefsWindow::addFolderButton_Click()
{
    const QUrl folder = QFileDialog::getExistingDirectoryUrl(this, QStringLiteral("添加文件夹"),
                                                             QUrl::fromLocalFile(QDir::homePath()),
                                                             QFileDialog::ShowDirsOnly, {QStringLiteral("file")});
    if (!folder.isEmpty())
        addPicked({folder});
}

void FilefsWindow::removeButton_Click()
{
    if (isBusy())
        return;
    qDeleteAll(m_list->selectedItems());
    updateControls();
}

void FilefsWindow::clearButton_Click()
{
    if (isBusy())
        return;
    m_list->clear();
    m_progress->setValue(0);
    m_current->clear();
    updateControls();
}

void FilefsWindow::shredButton_Click()
{
    if (isBusy())
        return;
    struct Target
    {
        QTreeWidgetItem *row;
        shredder::Plan plan;
    };
    std::vector<Target> work;
    std::uint64_t size = 0, passBytes = 0;
    QStringList warnings, notes;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        if (row->data(PathColumn, StateRole).toInt() == Shredded)
            continue;
        work.push_back({row, planOf(row)});
        const shredder::Plan &plan = work.back().plan;
        size += dataBytes(plan);
        passBytes += plan.passBytes;
        for (const QString &warning : warningTexts(plan.warnings, QString::fromStdString(plan.fsType)))
            warnings << QStringLiteral("%1：%2").arg(row->text(PathColumn), warning);
        for (const QString &note : noteTexts(plan, pathOf(row)))
            notes << QStringLiteral("%1：%2").arg(row->text(PathColumn), note);
    }
    if (work.empty()) {
        m_services.showMessage(this, QStringLiteral("列表中没有要粉碎的文件或文件夹。"), title);
        return;
    }

    shredder::Options options;
    options.passes = m_passes->currentData().toInt();
    options.zeroPass = m_zeroPass->isChecked();
    QString question = QStringLiteral("确定要粉碎这 %1 项（共 %2）吗？粉碎后无法恢复。")
                           .arg(work.size())
                           .arg(sizeText(size));
    const auto appendList = [&question](const QString &heading, const QStringList &lines) {
        constexpr int shown = 12;
        if (lines.isEmpty())
            return;
        question += heading;
        question += lines.mid(0, shown).join(QLatin1Char('\n'));
        if (lines.size() > shown)
            question += QStringLiteral("\n……另有 %1 条").arg(lines.size() - shown);
    };
    appendList(QStringLiteral("\n\n请注意，以下项目覆盖后旧数据仍可能留存：\n"), warnings);
    appendList(QStringLiteral("\n\n另请注意：\n"), notes);
    if (!m_services.confirm(this, question, title))
        return;

    for (const Target &target : work)
        target.row->setText(StatusColumn, QStringLiteral("等待中"));
    m_bytesDone = 0;
    m_bytesTotal = passBytes * static_cast<std::uint64_t>(options.totalPasses());
    m_clock.start();
    m_progress->setValue(0);
    m_progressTimer->start();
    startJob(Job::Shredding, [this, work = std::move(work), options] {
        shredder::Shredder shredder(options, &m_stop);
        std::string current;
        shredder.onProgress = [this, &current](std::uint64_t done, const std::string &file) {
            m_bytesDone.store(done, std::memory_order_relaxed);
            if (file != current) {
                current = file;
                const std::lock_guard lock(m_currentLock);
                m_currentFile = file;
            }
        };
        for (const Target &target : work) {
            const shredder::Outcome outcome = shredder.shred(target.plan);
            QMetaObject::invokeMethod(this, [this, row = target.row, outcome] { setOutcome(row, outcome); },
                                      Qt::QueuedConnection);
        }
    });
}

void FilefsWindow::cancelButton_Click()
{
    if (m_job != Job::Shredding && m_job != Job::Wiping)
        return;
    m_stop = true;
    m_status->setText(QStringLiteral("正在取消…"));
    updateControls();
}

void FilefsWindow::startJob(Job job, std::function<void()> work, std::function<void()> then)
{
    m_job = job;
    m_then = std::move(then);
    m_stop = false;
    m_thread = QThread::create(std::move(work));
    connect(m_thread, &QThread::finished, this, &FilefsWindow::jobFinished);
    m_thread->start();
    updateControls();
}

void FilefsWindow::jobFinished()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    const Job finished = m_job;
    m_job = Job::None;
    const std::function<void()> then = std::exchange(m_then, {});
    if (finished == Job::Wiping)
        m_progressTimer->stop(); // also when the window closes and `then` is left out
    if (finished == Job::Shredding) {
        m_progressTimer->stop();
        updateProgress();
        int counts[Failed + 1] = {};
        for (int i = 0; i < m_list->topLevelItemCount(); ++i)
            ++counts[m_list->topLevelItem(i)->data(PathColumn, StateRole).toInt()];
        m_status->setText(QStringLiteral("已粉碎 %1 项，失败 %2 项，取消 %3 项。")
                              .arg(counts[Shredded])
                              .arg(counts[Failed])
                              .arg(counts[Cancelled]));
        m_current->clear();
    } else if (finished == Job::Scanning) {
        std::uint64_t size = 0;
        for (int i = 0; i < m_list->topLevelItemCount(); ++i)
            size += dataBytes(planOf(m_list->topLevelItem(i)));
        m_status->setText(QStringLiteral("列表中有 %1 项，共 %2。").arg(m_list->topLevelItemCount()).arg(sizeText(size))
                          + (m_notice.isEmpty() ? QString() : QLatin1Char(' ') + m_notice));
    }
    if (m_closeWhenIdle) {
        close();
        return;
    }
    if (then) {
        then();
        if (isBusy())
            return; // it went on with more work
    }

    // Rows added while busy, or just now, are looked at next.
    std::vector<std::pair<QTreeWidgetItem *, std::string>> unchecked;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = m_list->topLevelItem(i);
        if (row->data(PathColumn, StateRole).toInt() == Checking)
            unchecked.emplace_back(row, pathOf(row));
    }
    if (!unchecked.empty()) {
        startJob(Job::Scanning, [this, unchecked = std::move(unchecked), describe = m_services.describeDevice] {
            // The mount table and sysfs are read once per file system, not once per item.
            std::map<shredder::FileSystemKey, shredder::DeviceFacts> known;
            const shredder::DescribeDevice describeOnce = [&](shredder::FileSystemKey where) {
                auto found = known.find(where);
                if (found == known.end())
                    found = known.emplace(where, describe(where)).first;
                return found->second;
            };
            for (const auto &[row, path] : unchecked) {
                if (m_stop)
                    break; // the window is closing
                const shredder::Plan plan = shredder::scan(path, describeOnce, &m_stop);
                QMetaObject::invokeMethod(this, [this, row = row, plan] { setPlan(row, plan); }, Qt::QueuedConnection);
            }
        });
        return;
    }
    updateControls();
}

void FilefsWindow::updateControls()
{
    const bool busy = isBusy();
    const bool any = m_list->topLevelItemCount() > 0;
    m_addFiles->setEnabled(!busy);
    m_addFolder->setEnabled(!busy);
    m_remove->setEnabled(!busy && !m_list->selectedItems().isEmpty());
    m_clear->setEnabled(!busy && any);
    m_passes->setEnabled(!busy);
    m_zeroPass->setEnabled(!busy);
    m_shred->setEnabled(!busy && any);
    m_cancel->setEnabled((m_job == Job::Shredding || m_job == Job::Wiping) && !m_stop);
    m_wipe->setEnabled(!busy);
    if (m_wipeDialog) {
        m_fileSystems->setEnabled(!busy);
        m_wipePasses->setEnabled(!busy);
        m_wipeZeroPass->setEnabled(!busy);
        m_otherFolder->setEnabled(!busy);
        m_wipeStart->setEnabled(!busy && m_fileSystems->currentItem()
                                && !m_fileSystems->currentItem()->data(0, PathRole).toByteArray().isEmpty());
        m_wipeCancel->setEnabled(m_job == Job::Wiping && !m_stop);
    }
    if (m_job == Job::Scanning)
        m_status->setText(QStringLiteral("正在检查…"));
}

void FilefsWindow::updateProgress()
{
    if (m_job == Job::Wiping) {
        // The fill's size is known only once the disk is full: the free space stands in for it.
        const std::uint64_t written = m_bytesDone.load(std::memory_order_relaxed);
        const std::uint64_t filled = m_wipeFilled.load(std::memory_order_relaxed);
        const std::uint64_t total = std::max(m_bytesTotal, written);
        m_progress->setValue(total ? static_cast<int>(written * 1000 / total) : 0);
        m_wipeProgress->setValue(m_progress->value());
        const double seconds = m_clock.elapsed() / 1000.0;
        const double speed = seconds > 0.2 ? written / seconds : 0.0;
        QString text = QStringLiteral("已写入 %1，空闲空间 %2").arg(sizeText(written), sizeText(m_wipeFree - std::min(filled, m_wipeFree)));
        if (speed > 0)
            text += QStringLiteral("，速度 %1/秒，剩余时间 %2")
                        .arg(sizeText(static_cast<std::uint64_t>(speed)), durationText(static_cast<qint64>((total - written) / speed)));
        if (!m_stop) {
            m_wipeStatus->setText(text);
            m_status->setText(text);
        }
        return;
    }
    const std::uint64_t done = std::min(m_bytesDone.load(std::memory_order_relaxed), m_bytesTotal);
    m_progress->setValue(m_bytesTotal ? static_cast<int>(done * 1000 / m_bytesTotal) : (isBusy() ? 0 : 1000));
    const double seconds = m_clock.elapsed() / 1000.0;
    const double speed = seconds > 0.2 ? done / seconds : 0.0;
    QString text = QStringLiteral("已写入 %1 / %2").arg(sizeText(done), sizeText(m_bytesTotal));
    if (speed > 0) {
        text += QStringLiteral("，速度 %1/秒").arg(sizeText(static_cast<std::uint64_t>(speed)));
        if (isBusy())
            text += QStringLiteral("，剩余时间 %1").arg(durationText(static_cast<qint64>((m_bytesTotal - done) / speed)));
    }
    if (isBusy() && !m_stop)
        m_status->setText(text);
    if (m_job == Job::Shredding) {
        const std::lock_guard lock(m_currentLock);
        m_current->setText(QStringLiteral("当前文件：") + platform::shownPath(m_currentFile));
    }
}

void FilefsWindow::makeWipeDialog()
{
    m_wipeDialog = new QDialog(this);
    m_wipeDialog->setObjectName(QStringLiteral("wipeDialog"));
    m_wipeDialog->setWindowTitle(QStringLiteral("擦除空闲空间"));
    m_wipeDialog->resize(640, 400);
    m_fileSystems = new QTreeWidget(m_wipeDialog);
    m_fileSystems->setObjectName(QStringLiteral("fileSystemList"));
    m_fileSystems->setHeaderLabels({QStringLiteral("挂载点"), QStringLiteral("类型"), QStringLiteral("大小"),
                                    QStringLiteral("可用"), QStringLiteral("说明")});
    m_fileSystems->setRootIsDecorated(false);
    m_fileSystems->setUniformRowHeights(true);
    m_wipePasses = new QComboBox(m_wipeDialog);
    m_wipePasses->setObjectName(QStringLiteral("wipePassesBox"));
    for (int i = 0; i < m_passes->count(); ++i)
        m_wipePasses->addItem(m_passes->itemText(i), m_passes->itemData(i));
    m_wipeZeroPass = new QCheckBox(m_zeroPass->text(), m_wipeDialog);
    m_wipeZeroPass->setObjectName(QStringLiteral("wipeZeroPassBox"));
    m_otherFolder = new QPushButton(QStringLiteral("其他文件夹…"), m_wipeDialog);
    m_otherFolder->setObjectName(QStringLiteral("otherFolderButton"));
    m_wipeStart = new QPushButton(QStringLiteral("擦除"), m_wipeDialog);
    m_wipeStart->setObjectName(QStringLiteral("wipeStartButton"));
    m_wipeCancel = new QPushButton(QStringLiteral("取消"), m_wipeDialog);
    m_wipeCancel->setObjectName(QStringLiteral("wipeCancelButton"));
    auto *close = new QPushButton(QStringLiteral("关闭"), m_wipeDialog);
    close->setObjectName(QStringLiteral("wipeCloseButton"));
    m_wipeProgress = new QProgressBar(m_wipeDialog);
    m_wipeProgress->setObjectName(QStringLiteral("wipeProgressBar"));
    m_wipeProgress->setRange(0, 1000);
    m_wipeProgress->setTextVisible(false);
    m_wipeStatus = new QLabel(m_wipeDialog);
    m_wipeStatus->setObjectName(QStringLiteral("wipeStatusLabel"));
    m_wipeResult = new QLabel(m_wipeDialog);
    m_wipeResult->setObjectName(QStringLiteral("wipeResultLabel"));
    m_wipeResult->setTextFormat(Qt::PlainText);
    m_wipeResult->setWordWrap(true);

    auto *passesLabel = new QLabel(QStringLiteral("覆盖次数(&P)："), m_wipeDialog);
    passesLabel->setBuddy(m_wipePasses);
    auto *options = new QHBoxLayout;
    options->addWidget(passesLabel);
    options->addWidget(m_wipePasses);
    options->addSpacing(16);
    options->addWidget(m_wipeZeroPass);
    options->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_otherFolder);
    buttons->addStretch();
    buttons->addWidget(m_wipeStart);
    buttons->addWidget(m_wipeCancel);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(m_wipeDialog);
    layout->addWidget(new QLabel(QStringLiteral("选择要擦除空闲空间的文件系统："), m_wipeDialog));
    layout->addWidget(m_fileSystems, 1);
    layout->addLayout(options);
    layout->addWidget(m_wipeProgress);
    layout->addWidget(m_wipeStatus);
    layout->addWidget(m_wipeResult);
    layout->addLayout(buttons);

    connect(m_fileSystems, &QTreeWidget::currentItemChanged, this, &FilefsWindow::updateControls);
    connect(m_fileSystems, &QTreeWidget::itemDoubleClicked, this, &FilefsWindow::wipeStartButton_Click);
    connect(m_otherFolder, &QPushButton::clicked, this, &FilefsWindow::otherFolderButton_Click);
    connect(m_wipeStart, &QPushButton::clicked, this, &FilefsWindow::wipeStartButton_Click);
    connect(m_wipeCancel, &QPushButton::clicked, this, &FilefsWindow::cancelButton_Click);
    connect(close, &QPushButton::clicked, m_wipeDialog, &QDialog::close);
}

void FilefsWindow::wipeButton_Click()
{
    if (isBusy())
        return;
    if (!m_wipeDialog)
        makeWipeDialog();
    m_wipePasses->setCurrentIndex(m_passes->currentIndex());
    m_wipeZeroPass->setChecked(m_zeroPass->isChecked());
    m_wipeDialog->show();
    m_wipeDialog->raise();
    listFileSystems();
}

// Reading the mount table and asking each file system for its size can block (a busy
// FUSE daemon), so it is done off this thread.
void FilefsWindow::listFileSystems()
{
    m_fileSystems->clear();
    m_wipeStatus->setText(QStringLiteral("正在读取文件系统…"));
    auto entries = std::make_shared<std::vector<shredder::WipeableFileSystem>>();
    startJob(Job::Listing, [entries, home = QFile::encodeName(QDir::homePath()).toStdString()] {
        *entries = shredder::wipeableFileSystems(home);
    }, [this, entries] {
        for (const shredder::WipeableFileSystem &entry : *entries) {
            auto *row = new QTreeWidgetItem(m_fileSystems);
            row->setText(0, platform::shownPath(entry.mountPoint));
            row->setText(1, QString::fromStdString(entry.fsType));
            row->setText(2, sizeText(entry.size));
            row->setText(3, sizeText(entry.free));
            row->setData(0, PathRole, QByteArray::fromStdString(entry.folder));
            if (entry.folder.empty()) {
                row->setText(4, QStringLiteral("当前用户无法写入此文件系统，不能擦除"));
                row->setDisabled(true);
            } else if (entry.folder != entry.mountPoint) {
                row->setText(4, QStringLiteral("填充写在主文件夹 %1 中").arg(platform::shownPath(entry.folder)));
            }
            for (int column = 2; column <= 3; ++column)
                row->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        }
        for (int column = 0; column < 4; ++column)
            m_fileSystems->resizeColumnToContents(column);
        m_wipeStatus->setText(entries->empty() ? QStringLiteral("没有找到可以写入的文件系统。") : QString());
    });
}

void FilefsWindow::otherFolderButton_Click()
{
    if (isBusy())
        return;
    const QUrl url = QFileDialog::getExistingDirectoryUrl(m_wipeDialog, QStringLiteral("选择文件夹"),
                                                          QUrl::fromLocalFile(QDir::homePath()), QFileDialog::ShowDirsOnly,
                                                          {QStringLiteral("file")});
    if (url.isEmpty())
        return;
    std::optional<QByteArray> path = platform::localPathFromUrl(url);
    if (path)
        path = platform::pathFromShownText(QString::fromUtf8(*path));
    if (!path) {
        m_services.showMessage(m_wipeDialog,
                               QStringLiteral("无法确定所选的是哪一个文件夹（有名称显示相同的文件夹），请选择它所在的文件系统。"),
                               title);
        return;
    }
    examineAndWipe(*path);
}

void FilefsWindow::wipeStartButton_Click()
{
    const QTreeWidgetItem *row = m_fileSystems->currentItem();
    if (isBusy() || !row || row->data(0, PathRole).toByteArray().isEmpty())
        return;
    examineAndWipe(row->data(0, PathRole).toByteArray());
}

// What a killed wipe left on this file system goes first, so that the free space the
// question states is what the wipe will fill.
void FilefsWindow::examineAndWipe(const QByteArray &folder)
{
    struct Found
    {
        std::vector<std::string> removed;
        shredder::FreeSpace space;
    };
    auto found = std::make_shared<Found>();
    m_wipeResult->clear();
    m_wipeStatus->setText(QStringLiteral("正在检查…"));
    startJob(Job::Examining,
             [found, folder = folder.toStdString(), ledger = m_ledger, describe = m_services.describeDevice] {
                 found->removed = shredder::removeWipeLeftovers(ledger);
                 found->space = shredder::examineFreeSpace(folder, describe);
             },
             [this, found] {
                 QString leftovers;
                 if (!found->removed.empty())
                     leftovers = QStringLiteral("已删除上次中断时留下的 %1 个填充文件夹。").arg(found->removed.size());
                 m_wipeStatus->clear();
                 if (found->space.error) {
                     m_wipeResult->setText(leftovers + QStringLiteral("无法擦除：") + failureReason(found->space.error));
                     return;
                 }
                 if (const QString refusal = wipeRefusal(found->space); !refusal.isEmpty()) {
                     m_wipeResult->setText(leftovers + QStringLiteral("无法擦除：") + refusal);
                     return;
                 }
                 wipe(found->space, leftovers);
             });
}

void FilefsWindow::wipe(const shredder::FreeSpace &space, const QString &leftovers)
{
    shredder::Options options;
    options.passes = m_wipePasses->currentData().toInt();
    options.zeroPass = m_wipeZeroPass->isChecked();
    if (!m_services.confirm(m_wipeDialog, (leftovers.isEmpty() ? QString() : leftovers + u'\n') + wipeQuestion(space, options),
                            QStringLiteral("擦除空闲空间"))) {
        m_wipeResult->setText(leftovers);
        return;
    }
    m_notice.clear();
    m_bytesDone = 0;
    m_wipeFilled = 0;
    m_wipeFree = space.available;
    m_bytesTotal = space.available * static_cast<std::uint64_t>(options.totalPasses());
    m_clock.start();
    m_progress->setValue(0);
    m_wipeProgress->setValue(0);
    m_current->setText(QStringLiteral("正在擦除 %1 的空闲空间").arg(platform::shownPath(space.mountPoint)));
    m_progressTimer->start();
    auto outcome = std::make_shared<shredder::WipeOutcome>();
    startJob(Job::Wiping, [this, outcome, space, options, ledger = m_ledger] {
        shredder::Wiper wiper(options, &m_stop);
        wiper.ledger = ledger;
        wiper.onProgress = [this](std::uint64_t written, std::uint64_t filled) {
            m_bytesDone.store(written, std::memory_order_relaxed);
            m_wipeFilled.store(filled, std::memory_order_relaxed);
        };
        *outcome = wiper.wipe(space);
    }, [this, outcome, space, leftovers] {
        m_current->clear();
        QString result = leftovers;
        switch (outcome->status) {
        case shredder::Status::Shredded:
            m_wipeProgress->setValue(1000);
            m_progress->setValue(1000);
            if (const QString shortfall = wipeShortfall(*outcome); !shortfall.isEmpty()) {
                result += QStringLiteral("%1：%2 共写入 %3，填充占用的空间已归还。")
                              .arg(platform::shownPath(space.mountPoint), shortfall, sizeText(outcome->written));
                break;
            }
            result += QStringLiteral("已擦除 %1 的空闲空间：填充 %2，共写入 %3，用时 %4。")
                          .arg(platform::shownPath(space.mountPoint), sizeText(outcome->filled), sizeText(outcome->written),
                               durationText(m_clock.elapsed() / 1000));
            break;
        case shredder::Status::Cancelled:
            result += QStringLiteral("已取消擦除，填充占用的空间已归还（已写入 %1）。").arg(sizeText(outcome->written));
            break;
        case shredder::Status::Failed:
            result += QStringLiteral("擦除失败：%1 填充占用的空间已归还。").arg(failureReason(outcome->error));
            break;
        }
        m_wipeStatus->clear();
        m_wipeResult->setText(result);
        m_status->setText(result);
        if (outcome->status == shredder::Status::Shredded && (space.warnings & shredder::FlashStorage) && space.mayTrim)
            offerTrim(space, result);
    });
}

void FilefsWindow::offerTrim(const shredder::FreeSpace &space, QString result)
{
    if (!m_services.confirm(m_wipeDialog,
                            QStringLiteral("覆盖无法触及闪存中已被替换的旧块。要通知存储设备释放 %1 的空闲块（TRIM）吗？")
                                .arg(platform::shownPath(space.mountPoint)),
                            QStringLiteral("擦除空闲空间")))
        return;
    auto trimmed = std::make_shared<std::pair<int, std::uint64_t>>();
    m_wipeStatus->setText(QStringLiteral("正在通知存储设备释放空闲块…"));
    startJob(Job::Trimming, [trimmed, folder = space.folder] { trimmed->first = shredder::trimFreeSpace(folder, trimmed->second); },
             [this, trimmed, result] {
                 m_wipeStatus->clear();
                 const QString text = result
                                      + (trimmed->first ? QStringLiteral("TRIM 失败：") + failureReason(trimmed->first)
                                                        : QStringLiteral("已通知存储设备释放 %1 的空闲块。").arg(sizeText(trimmed->second)));
                 m_wipeResult->setText(text);
                 m_status->setText(text);
             });
}

void FilefsWindow::closeEvent(QCloseEvent *event)
{
    if (isBusy()) {
        // Stop at the next chunk and close once the work has wound down.
        m_stop = true;
        m_closeWhenIdle = true;
        m_status->setText(QStringLiteral("正在取消…"));
        updateControls();
        event->ignore();
        return;
    }
    event->accept();
}

void FilefsWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void FilefsWindow::dropEvent(QDropEvent *event)
{
    addPaths(droppedPaths(event->mimeData()));
    event->acceptProposedAction();
}
