#include "cleanup/files/entry_variables.h"

#include "cleanup/files/entry_path.h"
#include "platform/windows_path.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <array>
#include <utility>

namespace cleanup::files {

namespace {

// The Windows variables lists may use. Others are legal in file names and stay literal.
constexpr std::array windowsNames{
    u"TEMP", u"TMP", u"USERPROFILE", u"APPDATA", u"LOCALAPPDATA", u"WINDIR", u"SYSTEMROOT",
    u"PROGRAMDATA", u"ALLUSERSPROFILE", u"PUBLIC", u"PROGRAMFILES", u"PROGRAMFILES(X86)",
    u"COMMONPROGRAMFILES", u"SYSTEMDRIVE", u"USERNAME",
};

bool isWindowsName(QStringView name)
{
    for (const char16_t *known : windowsNames) {
        if (name.compare(QStringView(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// An environment value as the bytes it holds: UTF-8 text where it is that, and every byte of
// a value that isn't as an escaped byte, so it reaches exactly its own folder.
QString fromEnvironmentBytes(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text += b < 0x80 ? QChar(b) : QChar(char16_t(0xDC00 + b));
    }
    return text;
}

// A value may only name a folder, never climb out of one.
bool isPlainFolder(QStringView value, bool windows)
{
    if (value.contains(QChar(u'\0')))
        return false;
    const auto parts = windows ? value.split(QRegularExpression(QStringLiteral("[\\\\/]")))
                               : value.split(u'/');
    for (const QStringView part : parts) {
        if (part == u"." || part == u"..")
            return false;
    }
    return true;
}

QString climbingRefusal(QStringView name, const QString &value)
{
    return QStringLiteral("%1 的值“%2”含有“.”或“..”，会离开它所指的文件夹，未查找").arg(name.toString(), value);
}

bool isRootFolder(const QString &path)
{
    if (path.trimmed().isEmpty())
        return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical == u"/";
    // Not there (or no UTF-8): still "/" when its parts fold down to nothing.
    return QDir::cleanPath(path) == u"/";
}

QString xdgFolder(const char *variable, const QString &home, const char *fallback)
{
    const QString value = fromEnvironmentBytes(qgetenv(variable));
    // The XDG rules: a relative path is invalid and ignored, as is an empty one.
    if (value.startsWith(u'/'))
        return value;
    return home.isEmpty() ? QString() : home + QLatin1String(fallback);
}

// The value of the native variable `name`; nullptr when it is no known one.
const QString *nativeValue(QStringView name, const NativeVariables &native)
{
    const std::pair<const char16_t *, const QString *> known[] = {
        {u"HOME", &native.home},
        {u"XDG_CACHE_HOME", &native.cacheHome},
        {u"XDG_DATA_HOME", &native.dataHome},
        {u"XDG_CONFIG_HOME", &native.configHome},
        {u"XDG_STATE_HOME", &native.stateHome},
    };
    for (const auto &[knownName, value] : known) {
        if (name == QStringView(knownName))
            return value;
    }
    return nullptr;
}

bool isNameChar(QChar c, bool first)
{
    return c == u'_' || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (!first && c >= u'0' && c <= u'9');
}

// Expands the folder part of a Windows-style entry.
std::optional<QString> expandWindows(QStringView folder, const QHash<QString, QString> &windows, QString &refusal)
{
    QString out;
    qsizetype i = 0;
    while (i < folder.size()) {
        const qsizetype open = folder.indexOf(u'%', i);
        const qsizetype close = open < 0 ? -1 : folder.indexOf(u'%', open + 1);
        if (close < 0) {
            out += folder.mid(i);
            break;
        }
        out += folder.mid(i, open - i);
        const QStringView name = folder.mid(open + 1, close - open - 1);
        if (!isWindowsName(name)) {
            out += u'%';
            i = open + 1;
            continue;
        }
        const QString value = windows.value(name.toString().toUpper());
        if (value.isEmpty())
            return std::nullopt;
        // Set by any program of the prefix: said, so a TEMP turned elsewhere doesn't pass unseen.
        if (!isPlainFolder(value, true)) {
            refusal = climbingRefusal(name, value);
            return std::nullopt;
        }
        out += value;
        i = close + 1;
    }
    return out;
}

// Expands the folder part of a native entry.
std::optional<QString> expandNative(QStringView folder, const NativeVariables &native, qsizetype &anchor,
                                    QString &refusal)
{
    QString out;
    qsizetype i = 0;
    // A relative entry lies below the working folder; an absolute one as written has none.
    anchor = folder.startsWith(u'/') ? -1 : 0;
    const auto append = [&](QStringView name, const QString &value) {
        if (value.isEmpty() && native.rootHome)
            refusal = QStringLiteral("主文件夹是根文件夹 /，不是可清理的位置，未查找");
        else if (value.startsWith(u'/') && !isPlainFolder(value, false))
            refusal = climbingRefusal(name, value);
        if (!value.startsWith(u'/') || !isPlainFolder(value, false))
            return false;
        // Only a variable the entry starts with is its anchor.
        const bool first = out.isEmpty();
        out += value;
        if (first)
            anchor = out.size();
        return true;
    };
    if (folder.startsWith(u"~/")) {
        if (!append(u"HOME", native.home))
            return std::nullopt;
        i = 1;
        // The XDG folders' usual places are anchors too, however written: ~/.cache on
        // another disk is common.
        for (const QStringView usual : {u"/.cache/", u"/.local/share/", u"/.config/", u"/.local/state/"}) {
            if (folder.mid(1).startsWith(usual)) {
                anchor += usual.size() - 1;
                break;
            }
        }
    }
    while (i < folder.size()) {
        const qsizetype dollar = folder.indexOf(u'$', i);
        if (dollar < 0) {
            out += folder.mid(i);
            break;
        }
        out += folder.mid(i, dollar - i);
        const bool braced = dollar + 1 < folder.size() && folder[dollar + 1] == u'{';
        const qsizetype start = dollar + (braced ? 2 : 1);
        qsizetype end = start;
        while (end < folder.size() && isNameChar(folder[end], end == start))
            ++end;
        const bool closed = !braced || (end < folder.size() && folder[end] == u'}');
        const QString *value = closed ? nativeValue(folder.mid(start, end - start), native) : nullptr;
        if (!value) {
            out += u'$';
            i = dollar + 1;
            continue;
        }
        if (!append(folder.mid(start, end - start), *value))
            return std::nullopt;
        i = braced ? end + 1 : end;
    }
    return out;
}

} // namespace

NativeVariables nativeVariables()
{
    NativeVariables native;
    const QString home = fromEnvironmentBytes(qgetenv("HOME"));
    // "/" is what a home-less account gets, and no folder to clean junk of; "//", "/." or
    // "/tmp/.." are that same folder.
    if (home.startsWith(u'/') && !isRootFolder(home))
        native.home = home.endsWith(u'/') ? home.chopped(1) : home;
    else
        native.rootHome = home.startsWith(u'/');
    native.cacheHome = xdgFolder("XDG_CACHE_HOME", native.home, "/.cache");
    native.dataHome = xdgFolder("XDG_DATA_HOME", native.home, "/.local/share");
    native.configHome = xdgFolder("XDG_CONFIG_HOME", native.home, "/.config");
    native.stateHome = xdgFolder("XDG_STATE_HOME", native.home, "/.local/state");
    return native;
}

bool isWindowsEntry(const QString &entry)
{
    if (platform::isWindowsPath(entry))
        return true;
    if (!entry.startsWith(u'%'))
        return false;
    const qsizetype close = entry.indexOf(u'%', 1);
    return close > 1 && close + 1 < entry.size() && (entry[close + 1] == u'\\' || entry[close + 1] == u'/')
        && isWindowsName(QStringView(entry).mid(1, close - 1));
}

std::optional<QString> expandEntry(const QString &entry, const NativeVariables &native,
                                   const QHash<QString, QString> &windows, qsizetype *anchorLength,
                                   QString *refusal)
{
    qsizetype anchor = -1;
    QString why;
    const bool windowsStyle = isWindowsEntry(entry);
    const std::optional<EntryPath> path = splitEntry(entry, windowsStyle);
    // A malformed entry is left for the deleter to refuse.
    if (!path)
        return entry;
    const std::optional<QString> folder =
        windowsStyle ? expandWindows(path->folder, windows, why) : expandNative(path->folder, native, anchor, why);
    if (!folder) {
        if (refusal)
            *refusal = why;
        return std::nullopt;
    }
    // A Windows-style entry must still name a drive, or it would become a native path.
    if (windowsStyle && !platform::isWindowsPath(*folder))
        return std::nullopt;
    if (anchorLength)
        *anchorLength = windowsStyle ? -1 : anchor;
    return *folder + path->leaf;
}

} // namespace cleanup::files
