#include "cleanup/registry/hive_reader.h"

#include "cleanup/registry/registry_deleter.h"
#include "platform/files.h"

#include <QStringList>

namespace cleanup::registry {

namespace {

// A fresh system.reg is under 2 MiB; anything this large is no hive of Wine's.
constexpr qint64 maxHiveBytes = 256LL * 1024 * 1024;
// Links followed while resolving one name, as the registry bounds them too.
constexpr int maxLinkHops = 16;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads an escaped string the way Wine's server does, from `pos` up to the unescaped `end`
// character; `pos` ends on it. Hives are ASCII: \x escapes carry everything else.
std::u16string unescape(const QByteArray &line, qsizetype &pos, char end)
{
    std::u16string out;
    while (pos < line.size() && line[pos] != end) {
        const char c = line[pos++];
        if (c != '\\' || pos == line.size()) {
            out += char16_t(static_cast<unsigned char>(c));
            continue;
        }
        const char e = line[pos++];
        switch (e) {
        case 'a': out += u'\a'; break;
        case 'b': out += u'\b'; break;
        case 'e': out += char16_t(0x1b); break;
        case 'f': out += u'\f'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'v': out += u'\v'; break;
        case 'x': {
            char16_t unit = 0;
            for (int i = 0; i < 4 && pos < line.size() && hexDigit(line[pos]) >= 0; ++i)
                unit = char16_t(unit * 16 + hexDigit(line[pos++]));
            out += unit;
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                char16_t unit = char16_t(e - '0');
                for (int i = 0; i < 2 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++i)
                    unit = char16_t(unit * 8 + (line[pos++] - '0'));
                out += unit;
            } else {
                out += char16_t(static_cast<unsigned char>(e));
            }
        }
    }
    return out;
}

std::string utf16Bytes(const std::u16string &text, bool terminated)
{
    std::string bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (const char16_t c : text) {
        bytes += char(c & 0xFF);
        bytes += char(c >> 8);
    }
    if (terminated)
        bytes.append(2, '\0');
    return bytes;
}

bool hexBytes(const QByteArray &text, std::string &out)
{
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i];
        if (c == ',' || c == ' ' || c == '\t' || c == '\\') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || hexDigit(c) < 0 || hexDigit(text[i + 1]) < 0)
            return false;
        out += char(hexDigit(c) * 16 + hexDigit(text[i + 1]));
        i += 2;
    }
    return true;
}

// One value line: `"name"=...` or `@=...`.
std::optional<ExportedValue> parseValue(const QByteArray &line)
{
    ExportedValue value;
    qsizetype pos = 0;
    if (line.startsWith('@')) {
        pos = 1;
    } else {
        pos = 1;
        value.name = unescape(line, pos, '"');
        if (pos >= line.size())
            return std::nullopt;
        ++pos;
    }
    if (pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    QByteArray data = line.mid(pos + 1);
    quint32 type = 1;
    if (data.startsWith("str(")) {
        const qsizetype close = data.indexOf("):");
        if (close < 0)
            return std::nullopt;
        bool ok = false;
        type = data.mid(4, close - 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        data = data.mid(close + 2);
    }
    if (data.startsWith('"')) {
        qsizetype at = 1;
        value.type = type;
        value.data = utf16Bytes(unescape(data, at, '"'), true);
        return value;
    }
    if (data.startsWith("dword:")) {
        bool ok = false;
        const quint32 number = data.mid(6).trimmed().toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        value.type = 4;
        for (int i = 0; i < 4; ++i)
            value.data += char((number >> (8 * i)) & 0xFF);
        return value;
    }
    if (data.startsWith("hex:")) {
        value.type = 3;
        data = data.mid(4);
    } else if (data.startsWith("hex(")) {
        const qsizetype close = data.indexOf("):");
        bool ok = false;
        value.type = close < 0 ? 0 : data.mid(4, close - 4).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        data = data.mid(close + 2);
    } else {
        return std::nullopt;
    }
    if (!hexBytes(data, value.data))
        return std::nullopt;
    return value;
}

QString fromUtf16(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

QString folded(const std::u16string &text)
{
    return fromUtf16(text).toCaseFolded();
}

} // namespace

Hive::Key &Hive::add(const QString &path)
{
    const QString lower = path.toLower();
    auto found = m_keys.find(lower);
    if (found != m_keys.end())
        return *found;
    // Wine leaves out keys that hold nothing but subkeys: each key brings its parents.
    if (!lower.isEmpty()) {
        const qsizetype cut = path.lastIndexOf(u'\\');
        add(cut < 0 ? QString() : path.left(cut)).children.insert(lower);
    }
    Key &key = m_keys[lower];
    key.path = path;
    return key;
}

const Hive::Key *Hive::key(const QString &path) const
{
    const auto found = m_keys.constFind(path.toLower());
    return found == m_keys.cend() ? nullptr : &*found;
}

Hive Hive::read(const QString &path)
{
    Hive hive;
    int error = 0;
    const std::optional<QByteArray> bytes = platform::readHead(path, maxHiveBytes + 1, &error);
    if (!bytes || error != 0 || bytes->size() > maxHiveBytes || !bytes->startsWith("WINE REGISTRY Version 2"))
        return hive;
    hive.add(QString());
    Key *current = nullptr;
    const QList<QByteArray> lines = bytes->split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        // Long hex data goes on over lines ending in a backslash.
        while (line.endsWith('\\') && !line.startsWith('[') && i + 1 < lines.size())
            line = line.chopped(1) + lines[++i].trimmed();
        if (line.startsWith(";; All keys relative to ")) {
            qsizetype pos = 24;
            hive.m_root = fromUtf16(unescape(line, pos, '\n'));
            if (hive.m_root.startsWith(QStringLiteral("REGISTRY\\User\\"), Qt::CaseInsensitive))
                hive.m_user = hive.m_root.mid(14);
        } else if (line.startsWith('[')) {
            qsizetype pos = 1;
            const QString name = fromUtf16(unescape(line, pos, ']'));
            // A key name is never empty, nor holds a backslash of its own.
            const QStringList parts = name.split(u'\\');
            current = nullptr;
            if (pos < line.size() && !name.isEmpty() && !parts.contains(QString()))
                current = &hive.add(name);
        } else if (!current) {
            continue;
        } else if (line == "#link") {
            current->link = true;
        } else if (line.startsWith('"') || line.startsWith('@')) {
            if (std::optional<ExportedValue> value = parseValue(line)) {
                if (current->link && value->name == u"SymbolicLinkValue" && value->type == 6)
                    current->linkTarget = QString::fromUtf16(reinterpret_cast<const char16_t *>(value->data.data()),
                                                             qsizetype(value->data.size() / 2));
                current->values.push_back(std::move(*value));
            }
        }
    }
    return hive;
}

HiveRegistry::HiveRegistry(const QString &prefix) : m_prefix(prefix) {}

Hive *HiveRegistry::hive(const QString &file)
{
    std::shared_ptr<Hive> &hive = m_hives[file];
    if (!hive)
        hive = std::make_shared<Hive>(Hive::read(m_prefix + u'/' + file));
    return hive->isEmpty() ? nullptr : hive.get();
}

bool HiveRegistry::gone(const Hive *hive, const QString &path) const
{
    // A key goes with every key below it.
    const QString id = QString::number(quintptr(hive)) + u':';
    for (qsizetype cut = path.size(); cut > 0; cut = path.lastIndexOf(u'\\', cut - 1)) {
        if (m_deletedKeys.contains(id + path.left(cut)))
            return true;
    }
    return false;
}

std::optional<HiveRegistry::Place> HiveRegistry::resolve(const RegistryName &name, bool wholeName)
{
    QString file = QStringLiteral("system.reg");
    QStringList parts;
    switch (name.root) {
    case Root::CurrentUser: file = QStringLiteral("user.reg"); break;
    case Root::LocalMachine: break;
    case Root::ClassesRoot: parts << QStringLiteral("Software") << QStringLiteral("Classes"); break;
    case Root::CurrentConfig:
        parts << QStringLiteral("System") << QStringLiteral("CurrentControlSet") << QStringLiteral("Hardware Profiles")
              << QStringLiteral("Current");
        break;
    case Root::Users: file.clear(); break;
    }
    QStringList rest;
    if (!name.parentPath.empty())
        rest = fromUtf16(name.parentPath).split(u'\\');
    if (wholeName)
        rest << fromUtf16(name.name);
    if (file.isEmpty()) {
        // HKEY_USERS holds the default user's hive and the user's own.
        if (rest.isEmpty())
            return std::nullopt;
        const QString user = rest.takeFirst();
        if (user.compare(QStringLiteral(".Default"), Qt::CaseInsensitive) == 0) {
            file = QStringLiteral("userdef.reg");
        } else {
            const Hive *own = hive(QStringLiteral("user.reg"));
            if (!own || own->userName().compare(user, Qt::CaseInsensitive) != 0)
                return std::nullopt;
            file = QStringLiteral("user.reg");
        }
    }
    parts << rest;
    Hive *found = hive(file);
    if (!found)
        return std::nullopt;
    // Each key on the way may be a link (CurrentControlSet, the classes views); the last one
    // is itself what the name means.
    QString path;
    for (int hops = 0; !parts.isEmpty();) {
        const QString next = path.isEmpty() ? parts.takeFirst() : path + u'\\' + parts.takeFirst();
        const Hive::Key *key = found->key(next);
        if (!key || gone(found, next.toLower()))
            return std::nullopt;
        path = key->path;
        if (key->link && (!parts.isEmpty() || !wholeName)) {
            const QString prefix = u'\\' + found->rootName() + u'\\';
            if (++hops > maxLinkHops || !key->linkTarget.startsWith(prefix, Qt::CaseInsensitive))
                return std::nullopt;
            parts = key->linkTarget.mid(prefix.size()).split(u'\\') + parts;
            path.clear();
        }
    }
    return Place{found, path.toLower()};
}

HiveRegistry::Found HiveRegistry::remove(const RegistryName &name)
{
    Found result;
    const std::optional<Place> place = resolve(name, name.isKey);
    const Hive::Key *key = place ? place->hive->key(place->path) : nullptr;
    if (!key) {
        result.error = 2;
        return result;
    }
    const QString keyId = QString::number(quintptr(place->hive)) + u':' + place->path;
    if (name.isKey) {
        // No backup can bring a link back, so the deletion leaves it.
        if (key->link) {
            result.error = errorNotRestorable;
            return result;
        }
        for (const QString &child : key->children) {
            if (!gone(place->hive, child)) {
                result.error = 5;
                return result;
            }
        }
        result.keyName = key->path.mid(key->path.lastIndexOf(u'\\') + 1);
        for (const ExportedValue &value : key->values) {
            if (!m_deletedValues.contains(keyId + u'\n' + folded(value.name)))
                result.values.push_back(value);
        }
        m_deletedKeys.insert(keyId);
        return result;
    }
    const QString wanted = folded(name.name);
    for (const ExportedValue &value : key->values) {
        if (folded(value.name) != wanted)
            continue;
        const QString valueId = keyId + u'\n' + wanted;
        if (m_deletedValues.contains(valueId))
            break;
        m_deletedValues.insert(valueId);
        result.values.push_back(value);
        return result;
    }
    result.error = 2;
    return result;
}

} // namespace cleanup::registry
