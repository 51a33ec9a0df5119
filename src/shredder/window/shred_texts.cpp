#include "shredder/window/shred_texts.h"

#include "platform/byte_path.h"
#include "platform/error_text.h"
#include "platform/files.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>

namespace shredder::texts {

QString sizeText(std::uint64_t bytes)
{
    return QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(static_cast<qint64>(bytes), 1,
                                                                        QLocale::DataSizeTraditionalFormat);
}

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("约 %1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("约 %1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("约 %1 小时 %2 分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString failureReason(int error)
{
    switch (error) {
    case EXDEV:
        return QStringLiteral("是另一个文件系统的挂载点，未进入。");
    case shredder::ChangedSinceScan:
        return QStringLiteral("已更改，未粉碎");
    case EMLINK:
        return QStringLiteral("检查之后又多了别的名字（硬链接），未粉碎。");
    case EPERM:
        return QStringLiteral("不允许改写或删除（文件夹只可追加，或受粘滞位保护），内容未改动。");
    case ENOTEMPTY:
    case EEXIST:
        return QStringLiteral("文件夹中还有其他内容，未删除。");
    case EINVAL:
        return QStringLiteral("无效的路径。");
    case ENOTDIR:
        return QStringLiteral("不是文件夹：名字以 / 结尾，或路径中间的某一部分是文件。");
    case shredder::KernelInterface:
        return QStringLiteral("位于内核的接口文件系统（如 /proc、/sys）上：其中的文件是系统的设置和开关，不是存放的数据，写入会改动系统。");
    default:
        return platform::describeError(error);
    }
}

QStringList warningTexts(unsigned warnings, const QString &fsType)
{
    QStringList texts;
    if (warnings & shredder::CopyOnWrite)
        texts << QStringLiteral("%1 文件系统把新数据写到别处（写时复制或日志结构），旧数据可能仍留在磁盘上。").arg(fsType);
    if (warnings & shredder::FlashStorage)
        texts << QStringLiteral("位于固态硬盘或闪存上：存储器会把写入挪到别的单元，旧数据可能仍留在芯片中。");
    if (warnings & shredder::NetworkStorage)
        texts << QStringLiteral("位于网络文件系统（%1）上：服务器上的缓存、快照和备份不受本机控制。").arg(fsType);
    if (warnings & shredder::OtherHardLinks)
        texts << QStringLiteral("文件还有其他硬链接：那些名字下的同一内容也会被覆盖清空，但名字仍会留下。");
    if (warnings & shredder::InMemory)
        texts << QStringLiteral("位于内存文件系统（%1）上：内容可能已被换出到交换区。").arg(fsType);
    if (warnings & shredder::Overlay)
        texts << QStringLiteral("位于叠加文件系统（%1）上：来自下层的原始文件不会被覆盖。").arg(fsType);
    if (warnings & shredder::JournalledData)
        texts << QStringLiteral("%1 文件系统以 data=journal 方式挂载：日志中还保存着文件内容的完整副本。").arg(fsType);
    if (warnings & shredder::UnknownStorage)
        texts << QStringLiteral("无法确定存储方式，不能保证旧数据被彻底清除。");
    return texts;
}

std::uint64_t dataBytes(const shredder::Plan &plan)
{
    return std::min(plan.size, plan.passBytes); // the data up to its last block, at most the length
}

QString dataSizeText(const shredder::Plan &plan)
{
    if (dataBytes(plan) == plan.size)
        return sizeText(plan.size);
    return QStringLiteral("%1（长度 %2，其余是不占空间的空洞）").arg(sizeText(dataBytes(plan)), sizeText(plan.size));
}

// What the scan found that will not be shredded, or not where the list says.
QStringList noteTexts(const shredder::Plan &plan, const std::string &listed)
{
    QStringList texts;
    if (plan.unreadable)
        texts << QStringLiteral("其中有 %1 个文件夹无法读取，里面的内容不会被粉碎。").arg(plan.unreadable);
    if (plan.mountPoints)
        texts << QStringLiteral("其中有 %1 个挂载点（另一个文件系统），不会进入。").arg(plan.mountPoints);
    if (plan.keepFolder)
        texts << QStringLiteral("是挂载点：只粉碎其中的内容，挂载点本身保留。");
    // Only a link on the way makes the real place differ from the name, once both are clean.
    if (!plan.error && QByteArray::fromStdString(plan.path) != platform::absolutePath(QByteArray::fromStdString(listed)))
        texts << QStringLiteral("经链接指向 %1").arg(platform::shownPath(plan.path));
    return texts;
}

// Where named fills are recorded until they are removed; none without a home.
std::string wipeLedger()
{
    const QByteArray state = platform::stateFolder();
    return state.isEmpty() ? std::string() : (state + "/wipe").toStdString();
}

QString passesText(const shredder::Options &options)
{
    QString text = QStringLiteral("覆盖 %1 遍（随机数据）").arg(options.passes);
    if (options.zeroPass)
        text += QStringLiteral("，最后再用零覆盖一遍");
    return text;
}

// Everything a wipe of this file system can't do, said before it starts.
QString wipeQuestion(const shredder::FreeSpace &space, const shredder::Options &options)
{
    const QString fsType = space.fsType.empty() ? QStringLiteral("类型未知") : QString::fromStdString(space.fsType);
    QString text = QStringLiteral("确定要擦除 %1（%2）的空闲空间吗？将填满 %3 的空闲空间，%4。")
                       .arg(platform::shownPath(space.mountPoint), fsType, sizeText(space.available), passesText(options));
    QStringList limits;
    if (space.warnings & shredder::FlashStorage) {
        QString flash = QStringLiteral("位于固态硬盘或闪存上：存储器会把写入挪到别的单元，覆盖无法触及已被替换的旧块。");
        flash += space.mayTrim ? QStringLiteral("擦除完成后可以通知存储设备释放空闲块（TRIM）。")
                               : QStringLiteral("只有 root 用户才能通知存储设备释放空闲块（TRIM），当前用户不能这样做。");
        limits << flash;
    }
    if (space.warnings & shredder::CopyOnWrite)
        limits << QStringLiteral("%1 文件系统把新数据写到别处（写时复制或日志结构），填充不一定覆盖到旧数据所在的位置。").arg(fsType);
    limits << warningTexts(space.warnings & ~unsigned(shredder::FlashStorage | shredder::CopyOnWrite), fsType);
    if (space.reserved())
        limits << QStringLiteral("有 %1 的空间保留给 root 用户，当前用户无法写入，这部分不会被擦除。").arg(sizeText(space.reserved()));
    else if (space.fillsReserve)
        limits << QStringLiteral("其中 %1 是保留给 root 用户的空间：当前身份可以写入，这部分也会被填满并擦除，期间连 root 的程序也可能无法写入。")
                      .arg(sizeText(space.reserve));
    if (space.quotas)
        limits << QStringLiteral("此文件系统启用了磁盘配额：配额用完时填充即停止，其余空闲空间不会被擦除。");
    if (!space.unnamed)
        limits << QStringLiteral("此文件系统不支持无名文件：填充写在隐藏文件夹 %1… 中，结束后删除；若程序被强行终止，下次启动时会清除。")
                      .arg(QString::fromLatin1(shredder::wipeFolderPrefix));
    limits << QStringLiteral("擦除期间磁盘会被填满，其他程序可能无法写入文件。");
    text += QStringLiteral("\n\n请注意：\n") + limits.join(QLatin1Char('\n'));
    return text;
}

QString wipeRefusal(const shredder::FreeSpace &space)
{
    if (!space.inMemory)
        return {};
    return QStringLiteral("%1 是内存文件系统（%2）：文件删除后内容就不在了，没有可擦除的空闲空间，填满它只会耗尽内存。")
        .arg(platform::shownPath(space.mountPoint), QString::fromStdString(space.fsType));
}

QString wipeShortfall(const shredder::WipeOutcome &outcome)
{
    if (!outcome.stoppedEarly())
        return {};
    const QString why = outcome.fullWith == EDQUOT
                            ? QStringLiteral("磁盘配额已用完")
                            : QStringLiteral("文件系统提前报告空间已满");
    return QStringLiteral("只擦除了部分空闲空间：填充到 %1 时因%2而停止，开始时报告的空闲空间为 %3，其余约 %4 没有被擦除。")
        .arg(sizeText(outcome.filled), why, sizeText(outcome.expected), sizeText(outcome.expected - outcome.filled));
}

} // namespace shredder::texts
