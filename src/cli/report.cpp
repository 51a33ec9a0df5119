#include "cli/report.h"

#include "cli/console.h"
#include "shredder/window/shred_texts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <map>
#include <utility>

namespace cli {

namespace {

QLocale chinese()
{
    return QLocale(QLocale::Chinese, QLocale::China);
}

QString statusName(Item::Status status)
{
    switch (status) {
    case Item::Status::Listed:
        return QStringLiteral("listed");
    case Item::Status::Deleted:
        return QStringLiteral("deleted");
    case Item::Status::Failed:
        return QStringLiteral("failed");
    case Item::Status::Skipped:
        return QStringLiteral("skipped");
    case Item::Status::Stopped:
        return QStringLiteral("stopped");
    }
    return {};
}

QJsonObject totalsObject(const Totals &totals)
{
    return {{QStringLiteral("files"), totals.files},
            {QStringLiteral("bytes"), totals.bytes},
            {QStringLiteral("failed"), totals.failed},
            {QStringLiteral("skipped"), totals.skipped}};
}

bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The sentence a total makes: what a preview would free, or what a clean freed.
QString totalSentence(bool preview, bool registry, const Totals &totals)
{
    if (registry) {
        return preview ? QStringLiteral("共 %1 个注册表项或值").arg(countText(totals.files))
                       : QStringLiteral("已删除 %1 个注册表项或值").arg(countText(totals.files));
    }
    return preview ? QStringLiteral("共 %1 个文件，将释放 %2").arg(countText(totals.files), sizeText(totals.bytes))
                   : QStringLiteral("已删除 %1 个文件，释放 %2").arg(countText(totals.files), sizeText(totals.bytes));
}

QString doneVerb(const QString &list)
{
    if (list == QLatin1String("shred"))
        return QStringLiteral("已粉碎");
    if (list == QLatin1String("wipe"))
        return QStringLiteral("已擦除");
    return QStringLiteral("已删除");
}

QString failedClause(const Totals &totals)
{
    QString clause = totals.failed > 0 ? QStringLiteral("，%1 个失败").arg(countText(totals.failed)) : QString();
    if (totals.skipped > 0)
        clause += QStringLiteral("，%1 个跳过").arg(countText(totals.skipped));
    return clause;
}

} // namespace

void Totals::add(const Item &item)
{
    if (item.counts()) {
        ++files;
        bytes += item.size;
    } else if (item.status == Item::Status::Skipped) {
        ++skipped;
    } else if (item.status == Item::Status::Failed) {
        ++failed;
    }
}

Report::Report(QString subcommand, bool json, bool quiet)
    : m_subcommand(std::move(subcommand)), m_json(json), m_quiet(quiet)
{
}

void Report::addEntry(Entry entry)
{
    if (!m_json)
        printEntry(entry);
    m_entries.push_back(std::move(entry));
}

void Report::addError(const QString &message)
{
    m_errors.append(message);
    if (!m_json)
        write(Stream::Error, QStringLiteral("brisquel：%1\n").arg(printable(message)));
}

void Report::say(const QString &line) const
{
    if (!m_json && !m_quiet)
        write(Stream::Output, printable(line) + QLatin1Char('\n'));
}

Totals Report::totals() const
{
    Totals totals;
    for (const Entry &entry : m_entries) {
        for (const Item &item : entry.items)
            totals.add(item);
    }
    return totals;
}

void Report::printEntry(const Entry &entry) const
{
    const bool preview = m_subcommand == QLatin1String("preview");
    const bool registry = entry.list == QLatin1String("registry");
    Totals totals;
    QString text = printable(entry.entry) + QLatin1Char('\n');
    // Written out a screenful at a time: one buffer reused, however many items there are.
    constexpr qsizetype flushAt = 32 * 1024;
    for (const Item &item : entry.items) {
        totals.add(item);
        if (text.size() >= flushAt) {
            if (!m_quiet)
                write(Stream::Output, text);
            text.resize(0);
        }
        const QString path = printable(QString::fromUtf8(item.path));
        const QString where = item.prefix.isEmpty() || !registry ? QString()
                                                                 : QStringLiteral("（%1）").arg(printable(item.prefix));
        if (item.status == Item::Status::Failed) {
            // Failures go to stderr as well, so -q still shows them.
            const QString line = QStringLiteral("  失败  %1%2：%3\n").arg(path, where, item.reason);
            text += line;
            if (m_quiet)
                write(Stream::Error, QStringLiteral("brisquel：%1%2：%3\n").arg(path, where, item.reason));
            continue;
        }
        if (item.status == Item::Status::Skipped) {
            text += QStringLiteral("  跳过  %1：%2\n").arg(path, item.reason);
            continue;
        }
        if (item.status == Item::Status::Stopped) {
            text += QStringLiteral("  已中断  %1：%2\n").arg(path, item.reason);
            continue;
        }
        const QString state = preview ? QString() : doneVerb(entry.list) + QStringLiteral("  ");
        if (registry) {
            text += QStringLiteral("  %1%2%3\n").arg(state, path, where);
            if (!item.holds.isEmpty())
                text += item.holds;
        } else {
            text += QLatin1String("  ");
            text += state;
            text += sizeText(item.size);
            text += QLatin1String("  ");
            text += path;
            text += QLatin1Char('\n');
        }
    }
    if (!entry.error.isEmpty()) {
        // A reason may name a file, and a file's name may hold escape sequences.
        text += QStringLiteral("  失败：%1\n").arg(printable(entry.error));
        if (m_quiet)
            write(Stream::Error, QStringLiteral("brisquel：%1：%2\n").arg(printable(entry.entry), printable(entry.error)));
    } else if (entry.items.empty()) {
        text += registry ? QStringLiteral("  没有找到\n") : QStringLiteral("  没有匹配的文件\n");
    } else if (entry.list == QLatin1String("files") || registry) {
        text += QStringLiteral("  小计：%1%2\n").arg(totalSentence(preview, registry, totals), failedClause(totals));
    }
    if (!m_quiet)
        write(Stream::Output, text);
}

void Report::finish()
{
    if (m_json) {
        write(Stream::Output, QJsonDocument(document()).toJson(QJsonDocument::Indented));
        return;
    }
    if (m_quiet || m_entries.empty())
        return;
    const bool preview = m_subcommand == QLatin1String("preview");
    Totals files;
    Totals registry;
    bool anyFiles = false;
    bool anyRegistry = false;
    std::map<QString, Totals> mounts;
    for (const Entry &entry : m_entries) {
        const bool isRegistry = entry.list == QLatin1String("registry");
        (isRegistry ? anyRegistry : anyFiles) = true;
        for (const Item &item : entry.items) {
            (isRegistry ? registry : files).add(item);
            if (!item.mount.isEmpty() && item.counts())
                mounts[item.mount].add(item);
        }
    }
    QString text = QStringLiteral("\n");
    if (!mounts.empty() && (preview || m_subcommand == QLatin1String("clean"))) {
        text += QStringLiteral("按文件系统：\n");
        for (const auto &[mount, totals] : mounts)
            text += QStringLiteral("  %1：%2\n").arg(printable(mount), totalSentence(preview, false, totals));
    }
    if (m_subcommand == QLatin1String("shred"))
        text += QStringLiteral("已粉碎 %1 项，共 %2").arg(countText(files.files), sizeText(files.bytes)) + failedClause(files)
                + QStringLiteral("。\n");
    else if (anyFiles && m_subcommand != QLatin1String("wipe"))
        text += totalSentence(preview, false, files) + failedClause(files) + QStringLiteral("。\n");
    if (anyRegistry)
        text += totalSentence(preview, true, registry) + failedClause(registry) + QStringLiteral("。\n");
    if (m_interrupted)
        text += QStringLiteral("已中断：以上是中断前完成的部分。\n");
    write(Stream::Output, text);
}

QJsonObject Report::document() const
{
    QJsonArray entries;
    std::map<QString, Totals> mounts;
    for (const Entry &entry : m_entries) {
        QJsonArray items;
        Totals totals;
        for (const Item &item : entry.items) {
            totals.add(item);
            if (!item.mount.isEmpty() && item.counts())
                mounts[item.mount].add(item);
            QJsonObject object = item.extra;
            object.insert(QStringLiteral("path"), QString::fromUtf8(item.path));
            if (!isUtf8(item.path))
                object.insert(QStringLiteral("path_bytes"), QString::fromLatin1(item.path.toHex()));
            object.insert(QStringLiteral("size"), item.size);
            object.insert(QStringLiteral("mount"), item.mount);
            object.insert(QStringLiteral("prefix"), item.prefix);
            object.insert(QStringLiteral("status"), statusName(item.status));
            object.insert(QStringLiteral("reason"), item.reason);
            items.append(object);
        }
        entries.append(QJsonObject{{QStringLiteral("entry"), entry.entry},
                                   {QStringLiteral("list"), entry.list},
                                   {QStringLiteral("items"), items},
                                   {QStringLiteral("error"), entry.error},
                                   {QStringLiteral("totals"), totalsObject(totals)}});
    }
    QJsonArray fileSystems;
    for (const auto &[mount, totals] : mounts) {
        fileSystems.append(QJsonObject{{QStringLiteral("mount"), mount},
                                       {QStringLiteral("files"), totals.files},
                                       {QStringLiteral("bytes"), totals.bytes}});
    }
    QJsonObject document = m_extra;
    document.insert(QStringLiteral("subcommand"), m_subcommand);
    document.insert(QStringLiteral("entries"), entries);
    document.insert(QStringLiteral("filesystems"), fileSystems);
    document.insert(QStringLiteral("totals"), totalsObject(totals()));
    document.insert(QStringLiteral("errors"), QJsonArray::fromStringList(m_errors));
    document.insert(QStringLiteral("interrupted"), m_interrupted);
    return document;
}

int Report::exitCode() const
{
    if (!m_errors.isEmpty())
        return 1;
    for (const Entry &entry : m_entries) {
        if (!entry.error.isEmpty())
            return 1;
        for (const Item &item : entry.items) {
            if (item.status == Item::Status::Failed)
                return 1;
        }
    }
    return 0;
}

QString printable(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else if ((u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString countText(qint64 count)
{
    return chinese().toString(count);
}

QString sizeText(qint64 bytes)
{
    return shredder::texts::sizeText(quint64(std::max<qint64>(bytes, 0)));
}

} // namespace cli
