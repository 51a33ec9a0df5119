#include "platform/wine_prefixes.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace platform {

namespace {

// Hives larger than this are no Wine prefix's (a fresh system.reg is under 2 MiB).
constexpr qint64 maxHiveBytes = 256LL * 1024 * 1024;
// %A% naming %B% naming ... : deeper than any real prefix needs, and no loop runs forever.
constexpr int maxExpansionDepth = 8;

bool isPrefix(const QString &folder)
{
    struct stat hive;
    struct stat drive;
    return ::stat(QFile::encodeName(folder + QStringLiteral("/system.reg")).constData(), &hive) == 0
        && S_ISREG(hive.st_mode)
        && ::stat(QFile::encodeName(folder + QStringLiteral("/drive_c")).constData(), &drive) == 0
        && S_ISDIR(drive.st_mode);
}

// False when a link on the way from `home` down to `candidate` is owned by anyone but this
// user or root: such a link may lead into another user's prefix.
bool reachedSoundly(const QString &home, const QString &candidate)
{
    QByteArray path = QFile::encodeName(home);
    for (const QStringView part : QStringView(candidate).mid(home.size()).tokenize(u'/', Qt::SkipEmptyParts)) {
        path += '/' + QFile::encodeName(part.toString());
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            return false;
        if (S_ISLNK(st.st_mode) && st.st_uid != 0 && st.st_uid != ::geteuid())
            return false;
    }
    return true;
}

bool isRootFolder(const QString &path)
{
    struct stat st;
    struct stat root;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && ::stat("/", &root) == 0
        && st.st_dev == root.st_dev && st.st_ino == root.st_ino;
}

// The folders directly below `parent` (hidden ones too), sorted so the order is the same on
// every run.
QStringList subfolders(const QString &parent)
{
    QStringList found;
    const QDir dir(parent);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names)
        found.append(dir.filePath(name));
    return found;
}

// Wine writes hive strings C-style: \\ \" \n \t ... and \xHHHH for anything outside ASCII.
QString unescapeHive(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text[++i];
        switch (next.unicode()) {
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u't': out += u'\t'; break;
        case u'a': out += u'\a'; break;
        case u'b': out += u'\b'; break;
        case u'f': out += u'\f'; break;
        case u'v': out += u'\v'; break;
        case u'e': out += QChar(0x1B); break;
        case u'x': {
            char16_t value = 0;
            int digits = 0;
            while (digits < 4 && i + 1 < text.size() && isxdigit(text[i + 1].toLatin1())) {
                value = char16_t(value * 16 + QStringView(text.mid(++i, 1)).toUInt(nullptr, 16));
                ++digits;
            }
            out += digits ? QChar(value) : QChar(u'x');
            break;
        }
        default:
            if (next >= u'0' && next <= u'7') {
                char16_t value = char16_t(next.unicode() - u'0');
                for (int k = 0; k < 2 && i + 1 < text.size() && text[i + 1] >= u'0' && text[i + 1] <= u'7'; ++k)
                    value = char16_t(value * 8 + (text[++i].unicode() - u'0'));
                out += QChar(value);
            } else {
                out += next;
            }
        }
    }
    return out;
}

// The end of a quoted hive string starting after `open`, or -1.
qsizetype closingQuote(QStringView line, qsizetype open)
{
    for (qsizetype i = open + 1; i < line.size(); ++i) {
        if (line[i] == u'\\')
            ++i;
        else if (line[i] == u'"')
            return i;
    }
    return -1;
}

using Values = QHash<QString, QString>; // value name in lower case -> string data
using Hive = QHash<QString, Values>;     // key path in lower case -> its string values

// The string values of the `wanted` keys (lower-case paths, as the hive names them below its
// root, ASCII only). Other values, and everything that is no string, are passed over. A hive
// is megabytes long and read at the start of a run on the window's thread: section lines are
// compared as written (a wanted key holds no character Wine would escape, but for "\\"),
// and only the wanted sections are decoded.
Hive readHive(const QString &path, const QSet<QString> &wanted)
{
    Hive hive;
    // A pipe or device that took the hive's name must not hold the window's thread.
    int error = 0;
    const std::optional<QByteArray> read = readHead(path, maxHiveBytes + 1, &error);
    if (!read || error || read->size() > maxHiveBytes)
        return hive;
    const QByteArray &bytes = *read;
    QHash<QByteArray, QString> sectionNames;
    for (const QString &key : wanted)
        sectionNames.insert(key.toLatin1().replace("\\", "\\\\"), key);

    Values *current = nullptr;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView raw(bytes.constData() + start, end - start);
        start = end + 1;
        if (raw.startsWith('[')) {
            current = nullptr;
            const qsizetype close = raw.lastIndexOf(']');
            if (close > 0) {
                const auto found = sectionNames.constFind(raw.sliced(1, close - 1).toByteArray().toLower());
                if (found != sectionNames.constEnd())
                    current = &hive[*found];
            }
            continue;
        }
        if (!current || !raw.startsWith('"'))
            continue;
        // Hives are ASCII; \x escapes carry everything else.
        const QString text = QString::fromLatin1(raw);
        const QStringView line(text);
        const qsizetype nameEnd = closingQuote(line, 0);
        if (nameEnd < 0 || nameEnd + 1 >= line.size() || line[nameEnd + 1] != u'=')
            continue;
        QStringView data = line.mid(nameEnd + 2);
        if (data.startsWith(u"str(2):"))
            data = data.mid(7);
        if (!data.startsWith(u'"'))
            continue;
        const qsizetype dataEnd = closingQuote(data, 0);
        if (dataEnd < 0)
            continue;
        current->insert(unescapeHive(line.mid(1, nameEnd - 1)).toLower(), unescapeHive(data.mid(1, dataEnd - 1)));
    }
    return hive;
}

// Replaces each %NAME% that `variables` holds; any other stays as written, as Windows does.
QString expandValue(const QString &value, const QHash<QString, QString> &variables, int depth)
{
    if (depth >= maxExpansionDepth)
        return value;
    QString out;
    qsizetype i = 0;
    while (i < value.size()) {
        const qsizetype open = value.indexOf(u'%', i);
        const qsizetype close = open < 0 ? -1 : value.indexOf(u'%', open + 1);
        if (close < 0) {
            out += QStringView(value).mid(i);
            break;
        }
        out += QStringView(value).mid(i, open - i);
        const auto found = variables.constFind(value.mid(open + 1, close - open - 1).toUpper());
        if (found == variables.constEnd()) {
            out += u'%';
            i = open + 1;
            continue;
        }
        out += expandValue(*found, variables, depth + 1);
        i = close + 1;
    }
    return out;
}

} // namespace

QStringList userWinePrefixes()
{
    const QString chosen = qEnvironmentVariable("WINEPREFIX");
    if (!chosen.isEmpty())
        return {chosen};
    const QString home = qEnvironmentVariable("HOME");
    // A home that is "/" ("//", "/tmp/..") is no home, and "/.wine" no prefix of anyone's.
    if (!home.startsWith(u'/') || isRootFolder(home))
        return {};

    QStringList candidates{home + QStringLiteral("/.wine")};
    const auto below = [&](const QString &parent, const QString &tail = QString()) {
        for (const QString &folder : subfolders(home + parent))
            candidates.append(folder + tail);
    };
    below(QStringLiteral("/.deepinwine"));
    below(QStringLiteral("/.local/share/wineprefixes"));
    below(QStringLiteral("/.local/share/bottles/bottles"));
    below(QStringLiteral("/.var/app/com.usebottles.bottles/data/bottles/bottles"));
    below(QStringLiteral("/.PlayOnLinux/wineprefix"));
    below(QStringLiteral("/Games"));
    below(QStringLiteral("/.local/share/Steam/steamapps/compatdata"), QStringLiteral("/pfx"));
    below(QStringLiteral("/.steam/steam/steamapps/compatdata"), QStringLiteral("/pfx"));
    below(QStringLiteral("/.var/app/com.valvesoftware.Steam/.local/share/Steam/steamapps/compatdata"),
          QStringLiteral("/pfx"));

    QStringList prefixes;
    QSet<std::pair<dev_t, ino_t>> seen;
    for (const QString &candidate : std::as_const(candidates)) {
        struct stat st;
        if (!isPrefix(candidate) || !reachedSoundly(home, candidate)
            || ::stat(QFile::encodeName(candidate).constData(), &st) != 0)
            continue;
        if (!seen.contains({st.st_dev, st.st_ino})) {
            seen.insert({st.st_dev, st.st_ino});
            prefixes.append(candidate);
        }
    }
    return prefixes;
}

QHash<QString, QString> windowsEnvironment(const QString &prefix)
{
    const QString sessionKey = QStringLiteral("system\\currentcontrolset\\control\\session manager\\environment");
    const QString ntKey = QStringLiteral("software\\microsoft\\windows nt\\currentversion");
    const QString profilesKey = ntKey + QStringLiteral("\\profilelist");
    // Wine gives every prefix's user this one security identifier.
    const QString userProfileKey = profilesKey + QStringLiteral("\\s-1-5-21-0-0-0-1000");
    const QString versionKey = QStringLiteral("software\\microsoft\\windows\\currentversion");
    const QString shellFoldersKey = versionKey + QStringLiteral("\\explorer\\shell folders");
    const QString userKey = QStringLiteral("environment");
    const QString volatileKey = QStringLiteral("volatile environment");

    QHash<QString, QString> variables;
    if (prefix.isEmpty() || !isPrefix(prefix))
        return variables;
    const Hive system = readHive(prefix + QStringLiteral("/system.reg"),
                                 {sessionKey, ntKey, profilesKey, userProfileKey, versionKey});
    const Hive user = readHive(prefix + QStringLiteral("/user.reg"), {shellFoldersKey, userKey, volatileKey});

    const auto take = [&](const QString &name, const Hive &hive, const QString &key, const QString &value) {
        const QString data = hive.value(key).value(value);
        if (!data.isEmpty())
            variables.insert(name, data);
    };
    const auto takeAll = [&](const Hive &hive, const QString &key) {
        const Values values = hive.value(key);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            variables.insert(it.key().toUpper(), it.value());
    };
    take(QStringLiteral("SYSTEMROOT"), system, ntKey, QStringLiteral("systemroot"));
    take(QStringLiteral("PROGRAMDATA"), system, profilesKey, QStringLiteral("programdata"));
    take(QStringLiteral("ALLUSERSPROFILE"), system, profilesKey, QStringLiteral("programdata"));
    take(QStringLiteral("PUBLIC"), system, profilesKey, QStringLiteral("public"));
    take(QStringLiteral("USERPROFILE"), system, userProfileKey, QStringLiteral("profileimagepath"));
    take(QStringLiteral("PROGRAMFILES"), system, versionKey, QStringLiteral("programfilesdir"));
    take(QStringLiteral("PROGRAMFILES(X86)"), system, versionKey, QStringLiteral("programfilesdir (x86)"));
    take(QStringLiteral("COMMONPROGRAMFILES"), system, versionKey, QStringLiteral("commonfilesdir"));
    take(QStringLiteral("APPDATA"), user, shellFoldersKey, QStringLiteral("appdata"));
    take(QStringLiteral("LOCALAPPDATA"), user, shellFoldersKey, QStringLiteral("local appdata"));
    // Later sources win, as when Windows builds a program's environment.
    takeAll(system, sessionKey);
    takeAll(user, userKey);
    takeAll(user, volatileKey);
    if (!variables.contains(QStringLiteral("SYSTEMDRIVE")) && variables.value(QStringLiteral("SYSTEMROOT")).size() >= 2)
        variables.insert(QStringLiteral("SYSTEMDRIVE"), variables.value(QStringLiteral("SYSTEMROOT")).left(2));

    QHash<QString, QString> expanded;
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        expanded.insert(it.key(), expandValue(it.value(), variables, 0));
    return expanded;
}

} // namespace platform
