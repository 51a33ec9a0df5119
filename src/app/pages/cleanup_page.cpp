#include "app/pages/cleanup_page.h"

#include "platform/line_file.h"
#include "platform/process.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace cleanup {

namespace {

const QString kSaved = QStringLiteral("数据保存成功！");
const QString kNotSaved = QStringLiteral("数据保存失败！\n原因：%1\n磁盘上的列表文件保持原样，没有改动。");
const QString kPartlySaved =
    QStringLiteral("数据保存失败！\n原因：%1\n磁盘上的列表文件只写入了一部分，下次启动时将自动完成保存。");
const QString kSaveCompleted = QStringLiteral("上次中断的%1保存已自动完成！");
const QString kSaveNotCompleted =
    QStringLiteral("上次中断的%1保存未能完成！\n原因：%2\n列表可能不完整，下次启动时将再次尝试。");
const QString kNotice = QStringLiteral("提示");
const QString kDeleting = QStringLiteral("正在删除");
const QString kStopped = QStringLiteral("已停止");
const QString kPrefixesSkipped =
    QStringLiteral("以下 Wine 前缀所在的位置没有响应，本次清理跳过了它们：\n%1");
const QString kSearchSilent =
    QStringLiteral("查找 Wine 前缀时，某个位置没有响应，本次清理不包括任何 Wine 前缀。");

} // namespace

CleanupPage::CleanupPage(QWidget *form, const PageControls &controls, PageConfig config,
                         std::unique_ptr<EntryDeleter> deleter, platform::MessageFunction showMessage,
                         QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_controls(controls)
    , m_config(std::move(config))
    , m_deleter(std::move(deleter))
    , m_showMessage(std::move(showMessage))
    , m_searchPrefixes([] { return searchUserPrefixes(prefixWait); })
{
}

void CleanupPage::setPrefixSearch(PrefixSearchFunction search)
{
    m_searchPrefixes = std::move(search);
}

CleanupPage::~CleanupPage() = default;

QString CleanupPage::findListFile() const
{
    if (!m_config.anyCaseLookup || QFileInfo::exists(m_config.readName))
        return m_config.readName;
    // The list may have been saved by a system that ignores letter case.
    QStringList names = QDir::current().entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : names) {
        if (name.compare(m_config.readName, Qt::CaseInsensitive) == 0)
            return name;
    }
    return m_config.readName;
}

QString CleanupPage::saveTarget() const
{
    return m_loadedFrom.isEmpty() ? m_config.writeName : m_loadedFrom;
}

void CleanupPage::loadList()
{
    const QString path = findListFile();
    // A save that a crash cut short while writing the list in place is finished first.
    QString error;
    switch (platform::completeInterruptedSave(path, &error)) {
    case platform::SaveCompletion::NothingToDo:
        break;
    case platform::SaveCompletion::Completed:
        m_showMessage(m_form, kSaveCompleted.arg(m_config.listName), kNotice);
        break;
    case platform::SaveCompletion::Failed:
        m_showMessage(m_form, kSaveNotCompleted.arg(m_config.listName, error), platform::errorTitle());
        break;
    }
    const platform::LinesRead read = platform::readLines(path, maxEntries);
    if (read.opened && m_config.anyCaseLookup)
        m_loadedFrom = path;
    // What was read before a failure, or up to the bound, stays in the list.
    m_controls.list->addItems(read.lines);
    if (!read.complete)
        m_showMessage(m_form, m_config.readFailureText, platform::errorTitle());
}

void CleanupPage::showEntryBox()
{
    m_controls.entryBox->setVisible(true);
    m_controls.okButton->setVisible(true);
}

void CleanupPage::addEntry()
{
    const QString text = m_controls.entryBox->text();
    if (!text.isEmpty() && m_controls.list->count() < maxEntries)
        m_controls.list->addItem(text);
    m_controls.entryBox->setVisible(false);
    m_controls.okButton->setVisible(false);
}

void CleanupPage::removeSelected()
{
    const QList<QListWidgetItem *> selected = m_controls.list->selectedItems();
    if (selected.isEmpty())
        return;
    delete m_controls.list->takeItem(m_controls.list->row(selected.first()));
    // The list moves its selection to the next entry; a second click must not delete it.
    m_controls.list->setCurrentItem(nullptr);
    m_controls.list->clearSelection();
}

void CleanupPage::saveList()
{
    QStringList entries;
    entries.reserve(m_controls.list->count());
    for (int i = 0; i < m_controls.list->count(); ++i)
        entries.append(m_controls.list->item(i)->text());
    QString error;
    bool oldKept = true;
    if (platform::writeLines(saveTarget(), entries, &error, &oldKept))
        m_showMessage(m_form, kSaved, kNotice);
    else
        m_showMessage(m_form, (oldKept ? kNotSaved : kPartlySaved).arg(error), platform::errorTitle());
}

void CleanupPage::openHelp()
{
    platform::openWebPage(m_config.helpUrl);
}

void CleanupPage::start()
{
    // Finding the prefixes and reading their hives can hang on a mount that stopped
    // answering: that is done off the window's thread, and such a prefix sits this run out.
    const PrefixSearch search = m_searchPrefixes();
    if (!search.searchAnswered)
        m_showMessage(m_form, kSearchSilent, kNotice);
    else if (!search.silent.isEmpty())
        m_showMessage(m_form, kPrefixesSkipped.arg(search.silent.join(u'\n')), kNotice);
    m_deleter->useWinePrefixes(search.answered);
    m_deleter->runStarted();
    m_controls.timer->start();
    m_controls.startPicture->setEnabled(false);
}

void CleanupPage::tick()
{
    // The entry begun last is still being deleted: this tick passes, and the run goes on
    // once it is done.
    if (m_deleter->busy())
        return;
    const int count = m_controls.list->count();
    if (count == 0) {
        complete();
        return;
    }
    // The index is only ever written by this page; anything unreadable counts as 0.
    const int index = qMax(0, m_controls.runIndex->text().toInt());
    if (index < count) {
        const QString entry = m_controls.list->item(index)->text();
        m_controls.status->setText(kDeleting + entry);
        m_deleter->begin(entry);
    }
    // Entries removed during the run can leave the index past the end: that ends the
    // run as well, instead of ticking on until someone stops it.
    if (index >= count) {
        complete();
        return;
    }
    const int next = index + 1;
    m_controls.runIndex->setText(QString::number(next));
    const double share = double(next) / double(count) * 100.0;
    m_controls.progressBar->setValue(static_cast<int>(static_cast<float>(std::floor(share))));
}

void CleanupPage::complete()
{
    m_controls.timer->stop();
    m_controls.status->setText(m_config.completionText);
    m_controls.startPicture->setEnabled(true);
    m_controls.runIndex->setText(QStringLiteral("0"));
    m_controls.progressBar->setValue(100);
    m_deleter->runFinished();
}

void CleanupPage::stop()
{
    m_controls.timer->stop();
    m_controls.startPicture->setEnabled(true);
    m_controls.runIndex->setText(QStringLiteral("0"));
    m_controls.progressBar->setValue(0);
    m_controls.status->setText(kStopped);
    m_deleter->runFinished();
}

} // namespace cleanup
