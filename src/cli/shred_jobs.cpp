#include "cli/shred_jobs.h"

#include "cli/console.h"
#include "cli/mounts.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "platform/byte_path.h"
#include "platform/mount_info.h"
#include "shredder/shredder.h"
#include "shredder/wipe.h"
#include "shredder/window/shred_texts.h"

#include <QDir>

#include <algorithm>
#include <cerrno>

namespace cli {

namespace {

using namespace shredder::texts;

// Where what comes before the question goes: beside the results, or beside the JSON document.
void tell(const Report &report, const QString &text)
{
    write(report.json() ? Stream::Error : Stream::Output, text);
}

// Asks on the terminal, or takes -y. Without -y and without a terminal nobody can answer:
// that is a usage error, and nothing is touched.
int confirm(const Arguments &arguments, const QString &question, Report &report)
{
    if (arguments.yes)
        return 0;
    if (!isTerminal(Stream::Input)) {
        report.addError(QStringLiteral("标准输入不是终端，无法确认。要不经确认就执行，请加 -y。"));
        return 2;
    }
    write(Stream::Error, question + QStringLiteral(" [y/N] "));
    QByteArray answer;
    const bool answered = readAnswer(answer);
    if (stopExitCode())
        return stopExitCode();
    answer = answer.trimmed().toLower();
    if (answered && (answer == "y" || answer == "yes" || answer == QStringLiteral("是").toUtf8()))
        return 0;
    report.say(QStringLiteral("已取消，没有改动任何内容。"));
    return -1;
}

shredder::Options optionsOf(const Arguments &arguments)
{
    shredder::Options options;
    if (arguments.passes)
        options.passes = *arguments.passes;
    options.zeroPass = arguments.zeroPass;
    return options;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// Whether the file system at `mountPoint` is mounted read-only where it shows there.
bool readOnlyMount(const std::string &mountPoint)
{
    bool readOnly = false;
    for (const platform::MountEntry &mount : platform::readMountInfo()) {
        if (mount.mountPoint == mountPoint) // the last one listed is the one on top
            readOnly = (',' + mount.mountOptions + ',').find(",ro,") != std::string::npos;
    }
    return readOnly;
}

// How a cancel left the item it stopped in.
QString stoppedReason(const shredder::Plan &plan, const shredder::Outcome &outcome)
{
    if (outcome.partlyOverwritten.empty())
        return plan.kind == shredder::ItemKind::Folder ? QStringLiteral("尚未粉碎的内容仍在原处，未改动。")
                                                       : QStringLiteral("文件仍在原处，未改动。");
    if (outcome.partlyOverwritten == plan.path)
        return QStringLiteral("文件已被部分覆写，仍在原处，未删除。");
    return QStringLiteral("%1 已被部分覆写，仍在原处，未删除；文件夹中尚未粉碎的其余内容未改动。")
        .arg(printable(platform::shownPath(outcome.partlyOverwritten)));
}

} // namespace

int runShred(const Arguments &arguments, const QByteArrayList &paths, Report &report)
{
    struct Target
    {
        QByteArray path;
        shredder::Plan plan;
    };
    std::vector<Target> work;
    std::uint64_t size = 0;
    std::uint64_t passBytes = 0;
    QString text;
    // Every path is looked at before anything is destroyed; what can't be is a failure of its own.
    for (const QByteArray &path : paths) {
        if (stopRequested().load())
            return stopExitCode();
        const shredder::Plan plan = shredder::scan(path.toStdString(), shredder::describeDevice, &stopRequested());
        const QString shown = platform::shownPath(path);
        if (plan.error) {
            Entry entry{shown, QStringLiteral("shred"), {}, {}};
            entry.items.push_back({path, 0, {}, Item::Status::Failed, failureReason(plan.error), {}, {}, {}});
            report.addEntry(std::move(entry));
            continue;
        }
        text += plan.kind == shredder::ItemKind::Folder
                    ? QStringLiteral("%1  %2（%3 个文件）\n").arg(printable(shown), dataSizeText(plan)).arg(plan.files)
                    : QStringLiteral("%1  %2\n").arg(printable(shown), dataSizeText(plan));
        for (const QString &warning : warningTexts(plan.warnings, QString::fromStdString(plan.fsType)))
            text += QStringLiteral("  请注意：%1\n").arg(warning);
        for (const QString &note : noteTexts(plan, path.toStdString()))
            text += QStringLiteral("  另请注意：%1\n").arg(printable(note));
        size += dataBytes(plan);
        passBytes += plan.passBytes;
        work.push_back({path, plan});
    }
    if (work.empty())
        return report.exitCode();
    if (!arguments.quiet || !arguments.yes)
        tell(report, text);

    const shredder::Options options = optionsOf(arguments);
    const int answer = confirm(arguments,
                               QStringLiteral("确定要粉碎这 %1 项（共 %2）吗？粉碎后无法恢复。%3。")
                                   .arg(work.size())
                                   .arg(sizeText(size), passesText(options)),
                               report);
    if (answer != 0)
        return answer < 0 ? 0 : answer;

    Progress progress(!arguments.quiet);
    const std::uint64_t total = passBytes * std::uint64_t(options.totalPasses());
    shredder::Shredder shredder(options, &stopRequested());
    qint64 items = 0;
    shredder.onProgress = [&](std::uint64_t done, const std::string &) {
        progress.update(QStringLiteral("已粉碎"), items, qint64(done), total ? double(done) / double(total) : -1.0);
    };
    MountPoints mounts;
    for (const Target &target : work) {
        if (stopRequested().load())
            break;
        const shredder::Outcome outcome = shredder.shred(target.plan);
        Item item{target.path, qint64(dataBytes(target.plan)),
                  mounts.of(quint64(target.plan.item.device), folderOf(QByteArray::fromStdString(target.plan.path))),
                  Item::Status::Deleted, {}, {}, {}, {}};
        if (dataBytes(target.plan) != target.plan.size)
            item.extra.insert(QStringLiteral("length"), qint64(target.plan.size));
        if (outcome.status == shredder::Status::Cancelled) {
            item.status = Item::Status::Stopped;
            item.reason = stoppedReason(target.plan, outcome);
            if (!outcome.partlyOverwritten.empty()) {
                const QByteArray partly = QByteArray::fromStdString(outcome.partlyOverwritten);
                item.extra.insert(QStringLiteral("partly_overwritten"), QString::fromUtf8(partly));
                if (QString::fromUtf8(partly).toUtf8() != partly) // as "path_bytes" does for the path
                    item.extra.insert(QStringLiteral("partly_overwritten_bytes"), QString::fromLatin1(partly.toHex()));
            }
        } else if (outcome.status == shredder::Status::Failed) {
            item.status = Item::Status::Failed;
            item.reason = failureReason(outcome.error);
            if (!outcome.where.empty())
                item.reason += QStringLiteral("（%1）").arg(platform::shownPath(outcome.where));
        } else {
            ++items;
        }
        progress.clear();
        report.addEntry({platform::shownPath(target.path), QStringLiteral("shred"), {std::move(item)}, {}});
        if (outcome.status == shredder::Status::Cancelled)
            break;
    }
    return report.exitCode();
}

int runWipe(const Arguments &arguments, const QByteArray &path, Report &report)
{
    const std::string ledger = wipeLedger();
    // A wipe killed while its named fill held the disk full left that fill behind.
    const std::vector<std::string> removed = shredder::removeWipeLeftovers(ledger);
    if (!removed.empty())
        report.say(QStringLiteral("已删除上次中断时留下的 %1 个填充文件夹。").arg(removed.size()));
    shredder::FreeSpace space = shredder::examineFreeSpace(path.toStdString());
    const QString shown = platform::shownPath(path);
    if (!space.error && readOnlyMount(space.mountPoint))
        space.error = EROFS; // said before the question, not after
    if (space.error) {
        // A file names no free space of its own: the wipe takes a folder.
        const QString reason = space.error == ENOTDIR ? QStringLiteral("不是文件夹。wipe 需要一个文件夹，擦除的是它所在文件系统的空闲空间。")
                                                      : failureReason(space.error);
        report.addEntry({shown, QStringLiteral("wipe"),
                         {{path, 0, {}, Item::Status::Failed, QStringLiteral("无法擦除：") + reason, {}, {}, {}}},
                         {}});
        return report.exitCode();
    }
    if (const QString refusal = wipeRefusal(space); !refusal.isEmpty()) {
        report.addEntry({shown, QStringLiteral("wipe"),
                         {{path, 0, {}, Item::Status::Failed, QStringLiteral("无法擦除：") + printable(refusal), {}, {}, {}}},
                         {}});
        return report.exitCode();
    }
    const shredder::Options options = optionsOf(arguments);
    QStringList lines = wipeQuestion(space, options).split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = printable(line);
    const QString question = lines.join(QLatin1Char('\n'));
    if (arguments.yes) {
        if (!arguments.quiet)
            tell(report, question + QLatin1Char('\n'));
    } else if (const int answer = confirm(arguments, question, report); answer != 0) {
        return answer < 0 ? 0 : answer;
    }

    Progress progress(!arguments.quiet);
    const std::uint64_t total = space.available * std::uint64_t(options.totalPasses());
    shredder::Wiper wiper(options, &stopRequested());
    wiper.ledger = ledger;
    wiper.onProgress = [&](std::uint64_t written, std::uint64_t) {
        progress.update(QStringLiteral("已写入"), 0, qint64(written), total ? double(written) / double(total) : -1.0);
    };
    const shredder::WipeOutcome outcome = wiper.wipe(space);
    progress.clear();
    const QString mount = platform::shownPath(space.mountPoint);
    Item item{QByteArray::fromStdString(space.mountPoint), qint64(outcome.filled), mount, Item::Status::Deleted,
              {}, {}, {}, {}};
    switch (outcome.status) {
    case shredder::Status::Shredded:
        // A fill stopped short (a quota) wiped only part: the run failed at its task.
        if (const QString shortfall = wipeShortfall(outcome); !shortfall.isEmpty()) {
            item.status = Item::Status::Failed;
            item.reason = shortfall + QStringLiteral(" 填充占用的空间已归还。");
            break;
        }
        report.say(QStringLiteral("已擦除 %1 的空闲空间：填充 %2，共写入 %3。")
                       .arg(mount, sizeText(outcome.filled), sizeText(outcome.written)));
        break;
    case shredder::Status::Cancelled:
        report.say(QStringLiteral("已取消擦除，填充占用的空间已归还（已写入 %1）。").arg(sizeText(outcome.written)));
        return 0;
    case shredder::Status::Failed:
        item.status = Item::Status::Failed;
        item.reason = QStringLiteral("擦除失败：%1 填充占用的空间已归还。").arg(failureReason(outcome.error));
        break;
    }
    report.addEntry({shown, QStringLiteral("wipe"), {std::move(item)}, {}});
    return report.exitCode();
}

} // namespace cli
