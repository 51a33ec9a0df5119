#include "skin_changer/skin_catalogue.h"

#include "brisquel/skin_places.h"
#include "platform/line_file.h"
#include "skins/kde_scheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace skin_changer {

namespace {

// Skins are read off the window's thread: a file on a mount that stopped answering would
// hold it for good. A healthy read takes a fraction of a millisecond.
constexpr std::chrono::milliseconds readWait{250};

skins::SkinLoad loadSkin(const QString &path, QByteArray *bytes = nullptr)
{
    QByteArray read;
    const skins::SkinStatus status = skins::readSkinFileWithin(path, readWait, &read);
    if (status != skins::SkinStatus::Ok)
        return {status, {}};
    if (bytes)
        *bytes = read;
    return skins::parseSkin(read);
}

// Enough of a skin to list it: filtering a large style sheet takes a good part of a second.
skins::SkinLoad loadSkinHead(const QString &path)
{
    QByteArray read;
    const skins::SkinStatus status = skins::readSkinFileWithin(path, readWait, &read);
    if (status != skins::SkinStatus::Ok)
        return {status, {}};
    return skins::parseSkinHead(read);
}

std::vector<SkinEntry> skinsIn(const QString &folder, Origin origin)
{
    std::vector<SkinEntry> entries;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.she")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        skins::SkinLoad load = loadSkinHead(path);
        if (load.status != skins::SkinStatus::Ok)
            continue;
        if (load.skin.name.isEmpty())
            load.skin.name = QFileInfo(name).completeBaseName();
        entries.push_back({path, std::move(load.skin), origin});
    }
    return entries;
}

Outcome failure(const QString &text)
{
    return {false, text, {}};
}

Outcome writeSkin(const QString &path, const QByteArray &bytes)
{
    QString why;
    bool oldKept = true;
    if (!platform::writeFile(path, bytes, &why, &oldKept))
        return failure(QStringLiteral("无法保存皮肤文件“%1”：%2\n%3")
                           .arg(QDir::toNativeSeparators(path), why,
                                oldKept ? QStringLiteral("磁盘上的皮肤文件保持原样，没有改动。")
                                        : QStringLiteral("皮肤文件只写入了一部分，下次启动时将自动完成保存。")));
    return {true, {}, path};
}

// File systems take names of at most 255 bytes.
constexpr qsizetype maxNameBytes = 255;

// `stem` + `ending`, the stem shortened by whole characters where the name would be too
// long: a name cut inside a character would no longer be the text shown.
QString fittedName(QString stem, const QString &ending)
{
    while (!stem.isEmpty() && QFile::encodeName(stem + ending).size() > maxNameBytes) {
        stem.chop(1);
        if (!stem.isEmpty() && stem.back().isHighSurrogate())
            stem.chop(1);
    }
    return stem + ending;
}

// A free name in `folder` for `baseName`.she, or the file that already holds `bytes`.
QString importTarget(const QDir &folder, const QString &baseName, const QByteArray &bytes)
{
    for (int n = 1;; ++n) {
        const QString name = fittedName(baseName, n == 1 ? QStringLiteral(".she") : QStringLiteral("-%1.she").arg(n));
        const QString path = folder.filePath(name);
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink())
            return path;
        QByteArray existing;
        if (info.isFile() && info.size() == bytes.size()
            && skins::readSkinFileWithin(path, readWait, &existing) == skins::SkinStatus::Ok
            && existing == bytes)
            return path;
    }
}

// The name an import is kept under: never a hidden file, which the list wouldn't show.
QString importName(const QFileInfo &source)
{
    QString name = source.completeBaseName();
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("导入的皮肤") : name;
}

} // namespace

SkinPlaces defaultPlaces(const QString &programDir)
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    // Beside the program in a build; an installed tree keeps them with the other shipped
    // files.
    QString shipped = programDir + u'/' + QString::fromUtf8(skins::skinsBesideProgram);
    const QString installed = programDir + u'/' + QString::fromUtf8(skins::installedSkinsFromProgram);
    if (!QFileInfo(shipped).isDir() && QFileInfo(installed).isDir())
        shipped = QDir::cleanPath(installed);
    return {shipped, dataHome + QStringLiteral("/brisquel/skins"), QString::fromUtf8(skins::skinFileName)};
}

std::vector<SkinEntry> listSkins(const SkinPlaces &places)
{
    std::vector<SkinEntry> entries;
    skins::SkinLoad current = loadSkinHead(places.skinFile);
    if (current.status == skins::SkinStatus::Ok)
        entries.push_back({QFileInfo(places.skinFile).absoluteFilePath(), std::move(current.skin), Origin::Current});
    for (auto &entry : skinsIn(places.shippedDir, Origin::Shipped))
        entries.push_back(std::move(entry));
    for (auto &entry : skinsIn(places.importedDir, Origin::Imported))
        entries.push_back(std::move(entry));
    return entries;
}

skins::SkinStatus completeEntry(SkinEntry &entry)
{
    if (entry.complete)
        return skins::SkinStatus::Ok;
    skins::SkinLoad load = loadSkin(entry.path);
    if (load.status != skins::SkinStatus::Ok)
        return load.status;
    // The name as listed: a file without one is named after itself.
    if (load.skin.name.isEmpty())
        load.skin.name = entry.skin.name;
    entry.skin = std::move(load.skin);
    entry.complete = true;
    return skins::SkinStatus::Ok;
}

QString statusText(skins::SkinStatus status)
{
    switch (status) {
    case skins::SkinStatus::Ok:
        return {};
    case skins::SkinStatus::NotRegularFile:
        return QStringLiteral("它不是一个普通文件。");
    case skins::SkinStatus::TooLarge:
        return QStringLiteral("文件超过 1 MB，不是皮肤文件。");
    case skins::SkinStatus::UnsupportedFormat:
        return QStringLiteral("它不是 Brisquel 皮肤文件，或者格式版本不受支持。");
    case skins::SkinStatus::NoValidContent:
        return QStringLiteral("文件里没有可用的颜色或样式。");
    case skins::SkinStatus::IllegibleText:
        return QStringLiteral("用了它，窗口里有些文字会看不清。");
    case skins::SkinStatus::BadArguments:
    case skins::SkinStatus::NoApplication:
    case skins::SkinStatus::Pending:
        return QStringLiteral("文件所在的位置没有响应。");
    case skins::SkinStatus::Unreadable:
        break;
    }
    return QStringLiteral("文件不存在或无法读取。");
}

Outcome applySkin(const SkinPlaces &places, const QString &source)
{
    QByteArray bytes;
    const skins::SkinStatus status = loadSkin(source, &bytes).status;
    if (status != skins::SkinStatus::Ok)
        return failure(QStringLiteral("无法使用皮肤文件“%1”：%2").arg(QDir::toNativeSeparators(source), statusText(status)));
    // Applying the skin in force again changes nothing.
    if (QFileInfo(source).absoluteFilePath() == QFileInfo(places.skinFile).absoluteFilePath())
        return {true, {}, places.skinFile};
    return writeSkin(places.skinFile, bytes);
}

Outcome applySkinText(const SkinPlaces &places, const QByteArray &text)
{
    return writeSkin(places.skinFile, text);
}

Outcome importSkin(const SkinPlaces &places, const QString &source)
{
    const QFileInfo info(source);
    const QString shownName = QDir::toNativeSeparators(source);
    const auto refused = [&](const QString &why) {
        return failure(QStringLiteral("无法导入“%1”：%2").arg(shownName, why));
    };
    QByteArray bytes;
    const bool kdeScheme = info.suffix().compare(QLatin1StringView("colors"), Qt::CaseInsensitive) == 0;
    skins::SkinStatus status = skins::readSkinFileWithin(source, readWait, &bytes);
    // A KDE colour scheme has its own format, converted below.
    if (status == skins::SkinStatus::Ok && !kdeScheme)
        status = skins::parseSkin(bytes).status;
    if (status != skins::SkinStatus::Ok)
        return refused(statusText(status));
    if (kdeScheme) {
        const std::optional<skins::Skin> skin = skins::skinFromKdeScheme(bytes, info.completeBaseName());
        if (!skin)
            return refused(QStringLiteral("这个 KDE 配色方案里没有可用的颜色。"));
        bytes = skins::skinText(*skin);
    }

    const QDir folder(places.importedDir);
    if (!folder.mkpath(QStringLiteral(".")))
        return refused(QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(places.importedDir)));
    const QString target = importTarget(folder, importName(info), bytes);
    if (QFileInfo(target).exists())
        return {true, {}, target};
    Outcome written = writeSkin(target, bytes);
    if (!written.ok)
        return refused(written.error);
    return written;
}

} // namespace skin_changer
