// The registry-name parser and the helper's line protocol, compiled natively: both are plain
// C++ shared with the Win32 helper.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_name.h"

#include <QTest>

using namespace cleanup::registry;

Q_DECLARE_METATYPE(cleanup::registry::ParseError)
Q_DECLARE_METATYPE(cleanup::registry::Root)

namespace {

std::u16string u16(const QString &text)
{
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
}

QString qs(const std::u16string &text)
{
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

} // namespace

class TestRegistryName : public QObject
{
    Q_OBJECT

private slots:
    void parsesWellFormedEntries_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<Root>("root");
        QTest::addColumn<QString>("parentPath");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isKey");

        const Root hkcu = Root::CurrentUser;
        QTest::newRow("value") << "HKCU\\Software\\Vendor\\Value" << hkcu << "Software\\Vendor" << "Value" << false;
        QTest::newRow("key") << "HKCU\\Software\\Vendor\\Key\\" << hkcu << "Software\\Vendor" << "Key" << true;
        QTest::newRow("key below root") << "HKCU\\Software\\" << hkcu << "" << "Software" << true;
        QTest::newRow("value of root key") << "HKCU\\Value" << hkcu << "" << "Value" << false;
        QTest::newRow("HKEY_CURRENT_USER") << "HKEY_CURRENT_USER\\A\\B" << hkcu << "A" << "B" << false;
        QTest::newRow("HKLM") << "HKLM\\A\\B" << Root::LocalMachine << "A" << "B" << false;
        QTest::newRow("HKEY_LOCAL_MACHINE") << "HKEY_LOCAL_MACHINE\\A\\B\\" << Root::LocalMachine << "A" << "B" << true;
        QTest::newRow("HKCR") << "HKCR\\.ext\\V" << Root::ClassesRoot << ".ext" << "V" << false;
        QTest::newRow("HKEY_CLASSES_ROOT") << "HKEY_CLASSES_ROOT\\.ext\\" << Root::ClassesRoot << "" << ".ext" << true;
        QTest::newRow("HKEY_USERS") << "HKEY_USERS\\.DEFAULT\\V" << Root::Users << ".DEFAULT" << "V" << false;
        QTest::newRow("HKEY_CURRENT_CONFIG")
                << "HKEY_CURRENT_CONFIG\\System\\" << Root::CurrentConfig << "" << "System" << true;
        QTest::newRow("lower-case root") << "hkcu\\Software\\V" << hkcu << "Software" << "V" << false;
        QTest::newRow("mixed-case root")
                << "Hkey_Local_Machine\\Software\\V" << Root::LocalMachine << "Software" << "V" << false;
        QTest::newRow("case of names kept") << "HKCU\\SoftWare\\vEndor\\" << hkcu << "SoftWare" << "vEndor" << true;
        QTest::newRow("blanks kept") << "HKCU\\ Soft ware \\ My Value " << hkcu << " Soft ware " << " My Value "
                                     << false;
        QTest::newRow("Chinese") << "HKCU\\Software\\清理 键\\值 名" << hkcu << "Software\\清理 键" << "值 名" << false;
        QTest::newRow("emoji") << "HKCU\\Software\\😀\\" << hkcu << "Software" << "😀" << true;
        QTest::newRow("quotes") << "HKCU\\Software\\\"Vendor\"\\\"V\"" << hkcu << "Software\\\"Vendor\"" << "\"V\""
                                << false;
        QTest::newRow("forward slash is a name character")
                << "HKCU\\Software\\a/b\\c/d" << hkcu << "Software\\a/b" << "c/d" << false;
        QTest::newRow("line feed is a name character") << "HKCU\\Software\\a\nb" << hkcu << "Software" << "a\nb"
                                                       << false;
        QTest::newRow("percent") << "HKCU\\Software\\%0A" << hkcu << "Software" << "%0A" << false;
    }

    void parsesWellFormedEntries()
    {
        QFETCH(QString, entry);
        QFETCH(Root, root);
        QFETCH(QString, parentPath);
        QFETCH(QString, name);
        QFETCH(bool, isKey);

        const ParseResult result = parseRegistryName(u16(entry));
        QCOMPARE(result.error, ParseError::None);
        QCOMPARE(result.name.root, root);
        QCOMPARE(qs(result.name.parentPath), parentPath);
        QCOMPARE(qs(result.name.name), name);
        QCOMPARE(result.name.isKey, isKey);
    }

    // Malformed entries, and names at and beyond Windows' length limits.
    void reportsParseErrors_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<ParseError>("error");

        QTest::newRow("empty") << "" << ParseError::Empty;
        QTest::newRow("root without backslash") << "HKCU" << ParseError::NoBackslash;
        QTest::newRow("no root") << "Software" << ParseError::NoBackslash;
        QTest::newRow("root alone") << "HKCU\\" << ParseError::RootOnly;
        QTest::newRow("full root alone") << "HKEY_LOCAL_MACHINE\\" << ParseError::RootOnly;
        QTest::newRow("unknown root") << "HKXX\\Software\\V" << ParseError::UnknownRoot;
        QTest::newRow("no short HKEY_USERS") << "HKU\\.DEFAULT\\V" << ParseError::UnknownRoot;
        QTest::newRow("no short HKEY_CURRENT_CONFIG") << "HKCC\\System\\V" << ParseError::UnknownRoot;
        QTest::newRow("blank before root") << " HKCU\\Software\\V" << ParseError::UnknownRoot;
        QTest::newRow("blank after root") << "HKCU \\Software\\V" << ParseError::UnknownRoot;
        QTest::newRow("leading backslash") << "\\HKCU\\Software\\V" << ParseError::UnknownRoot;
        QTest::newRow("Kelvin sign is no K")
                << QString("H") + QChar(0x212A) + "CU\\Software\\V" << ParseError::UnknownRoot;
        QTest::newRow("double backslash after root") << "HKCU\\\\Software\\V" << ParseError::EmptyKeyName;
        QTest::newRow("double backslash inside") << "HKCU\\Software\\\\Vendor\\V" << ParseError::EmptyKeyName;
        QTest::newRow("double backslash at end") << "HKCU\\Software\\\\" << ParseError::EmptyKeyName;
        QTest::newRow("root and two backslashes") << "HKCU\\\\" << ParseError::EmptyKeyName;
        QTest::newRow("value after empty key") << "HKCU\\\\V" << ParseError::EmptyKeyName;
        QTest::newRow("NUL") << QString("HKCU\\Software\\V") + QChar(0) + "X" << ParseError::NulCharacter;
        QTest::newRow("lone high surrogate")
                << QString("HKCU\\Software\\V") + QChar(0xD800) << ParseError::InvalidUtf16;
        QTest::newRow("lone low surrogate")
                << QString("HKCU\\Software\\") + QChar(0xDC00) + "V" << ParseError::InvalidUtf16;
        QTest::newRow("byte of the list file that is no text")
                << QString("HKCU\\Software\\") + QChar(0xDCFF) + "V" << ParseError::InvalidUtf16;
        QTest::newRow("swapped surrogates")
                << QString("HKCU\\Software\\") + QChar(0xDE00) + QChar(0xD83D) << ParseError::InvalidUtf16;

        const QString key255(255, u'k');
        const QString key256(256, u'k');
        QTest::newRow("255-character key") << "HKCU\\Software\\" + key255 + "\\" << ParseError::None;
        QTest::newRow("256-character key") << "HKCU\\Software\\" + key256 + "\\" << ParseError::KeyNameTooLong;
        QTest::newRow("256-character key below root") << "HKCU\\" + key256 + "\\V" << ParseError::KeyNameTooLong;
        QTest::newRow("256-character key inside")
                << "HKCU\\Software\\" + key256 + "\\Vendor\\V" << ParseError::KeyNameTooLong;
        // Value names may be far longer than key names, as on Windows.
        const QString value16383(16383, u'v');
        QTest::newRow("16383-character value") << "HKCU\\Software\\" + value16383 << ParseError::None;
        QTest::newRow("16384-character value")
                << "HKCU\\Software\\" + value16383 + "v" << ParseError::ValueNameTooLong;
        // Deep paths of legal names are fine up to the entry limit; a 10 MB line is refused
        // without being walked.
        QString deep = "HKCU";
        while (deep.size() + 256 <= qsizetype(maxEntryLength))
            deep += "\\" + key255;
        deep += "\\";
        QTest::newRow("deep path at the limit") << deep << ParseError::None;
        QTest::newRow("deep path beyond the limit") << deep + key255 + "\\" << ParseError::EntryTooLong;
        QTest::newRow("10 MB entry") << "HKCU\\" + QString(10 * 1024 * 1024, u'x') << ParseError::EntryTooLong;
    }

    void reportsParseErrors()
    {
        QFETCH(QString, entry);
        QFETCH(ParseError, error);
        QCOMPARE(parseRegistryName(u16(entry)).error, error);
    }

    void requestsRoundTrip_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("plain") << "HKCU\\Software\\Vendor\\Value";
        QTest::newRow("line breaks") << "HKCU\\Software\\a\r\nb\rc\nd";
        QTest::newRow("percent and escapes") << "HKCU\\%0A%25%%\\%";
        QTest::newRow("controls and DEL") << QString("HKCU\\\t\x01\x1f\x7f") + QChar(0x85) + QChar(0x2028);
        QTest::newRow("quotes") << "HKCU\\\"a\"\\'b'";
        QTest::newRow("Chinese and emoji") << "HKCU\\清理\\😀 值";
        QTest::newRow("last BMP character") << QString("HKCU\\") + QChar(0xFFFF);
    }

    void requestsRoundTrip()
    {
        QFETCH(QString, entry);
        const auto request = encodeRequest(u16(entry));
        QVERIFY(request);
        const auto decoded = decodeRequest(*request);
        QVERIFY(decoded);
        QCOMPARE(qs(*decoded), entry);
    }

    void requestsAreCleanLines()
    {
        QString everyAscii;
        for (char16_t c = 1; c < 0x80; ++c)
            everyAscii += QChar(c);
        const auto request = encodeRequest(u16(everyAscii));
        QVERIFY(request);
        for (const char c : *request)
            QVERIFY2(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control byte went out raw");

        QVERIFY(!encodeRequest(u16(QString("HKCU\\") + QChar(0xD800))));
        QVERIFY(!encodeRequest(u16(QString("HKCU\\") + QChar(0xDC00) + "x")));
    }

    void decodeRejectsCorruptRequests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("raw CR") << QByteArray("HKCU\\a\rb");
        QTest::newRow("raw NUL") << QByteArray("HKCU\\a\0b", 8);
        QTest::newRow("raw DEL") << QByteArray("HKCU\\a\x7f");
        QTest::newRow("percent at end") << QByteArray("HKCU\\a%");
        QTest::newRow("short escape") << QByteArray("HKCU\\a%4");
        QTest::newRow("bad hex") << QByteArray("HKCU\\a%G0");
        QTest::newRow("cut UTF-8") << QByteArray("HKCU\\\xe6\xb8");
        QTest::newRow("escaped cut UTF-8") << QByteArray("HKCU\\%E6%B8");
        QTest::newRow("overlong slash") << QByteArray("HKCU\\\xc0\xaf");
        QTest::newRow("encoded surrogate") << QByteArray("HKCU\\\xed\xa0\x80");
        QTest::newRow("beyond U+10FFFF") << QByteArray("HKCU\\\xf4\x90\x80\x80");
        QTest::newRow("stray continuation") << QByteArray("HKCU\\\x80");
        QTest::newRow("Latin-1 byte") << QByteArray("HKCU\\caf\xe9");
    }

    void decodeRejectsCorruptRequests()
    {
        QFETCH(QByteArray, line);
        QVERIFY(!decodeRequest(std::string_view(line.constData(), size_t(line.size()))));
    }

    void answers()
    {
        QCOMPARE(formatAnswer(0), std::string("0"));
        QCOMPARE(formatAnswer(2), std::string("ERR 2"));
        QCOMPARE(formatAnswer(0xFFFFFFFFu), std::string("ERR 4294967295"));
        QCOMPARE(parseAnswer("0"), std::optional<std::uint32_t>(0));
        QCOMPARE(parseAnswer("ERR 5"), std::optional<std::uint32_t>(5));
        QCOMPARE(parseAnswer("ERR 4294967295"), std::optional<std::uint32_t>(0xFFFFFFFFu));
        for (const char *bad : {"", "1", "00", "ERR", "ERR ", "ERR 0", "ERR -1", "ERR 4294967296", "ERR 5 ",
                                "err 5", "0\r", "ERR 99999999999"})
            QVERIFY2(!parseAnswer(bad), bad);
    }

    // What the helper exports comes back the same; any other line is refused.
    void exportLines()
    {
        const ExportedValue value{u"名 %\n\"x\"", 7, std::string("a\0b\xff", 4)};
        const auto parsed = parseExportLine(*formatValueLine(value));
        QVERIFY(parsed && !parsed->isKey && parsed->value == value);
        const auto empty = parseExportLine(*formatValueLine({}));
        QVERIFY(empty && !empty->isKey && empty->value == ExportedValue{});
        const auto key = parseExportLine(*formatKeyLine(u"K y"));
        QVERIFY(key && key->isKey && key->keyName == u"K y");
        QVERIFY(!formatValueLine({std::u16string(1, char16_t(0xD800)), 1, ""}));
        for (const char *bad : {"", "0", "VALUE", "VALUE 1", "VALUE 1 00", "VALUE x 00 n", "VALUE 1 0 n",
                                "VALUE 1 0g n", "VALUE 4294967296 00 n", "VALUE -1 00 n", "VALUE 1 00 a\rb",
                                "KEY ", "KEY a%", "key a"})
            QVERIFY2(!parseExportLine(bad), bad);

        // An export request differs from a deletion by its prefix alone.
        const auto exportRequest = parseRequest(*encodeExportRequest(u"HKCU\\A"));
        QVERIFY(exportRequest && exportRequest->kind == RequestKind::Export && exportRequest->entry == u"HKCU\\A");
        const auto deleteRequest = parseRequest(*encodeRequest(u"HKCU\\A"));
        QVERIFY(deleteRequest && deleteRequest->kind == RequestKind::Delete && deleteRequest->entry == u"HKCU\\A");
        const auto valuesRequest = parseRequest(*encodeRequest(RequestKind::Values, u"HKEY_USERS"));
        QVERIFY(valuesRequest && valuesRequest->kind == RequestKind::Values && valuesRequest->entry == u"HKEY_USERS");
        QVERIFY(!parseRequest("EXPORT HKCU\\a%"));
    }

    // Value lines as the registry editor writes them (the long one as Wine's regedit /e did).
    void regFileValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("line");
        const auto utf16z = [](const QString &text) {
            return QByteArray(reinterpret_cast<const char *>(text.utf16()), (text.size() + 1) * 2);
        };
        const auto bytes = [](int from, int to) {
            QByteArray out;
            for (int b = from; b <= to; ++b)
                out += char(b);
            return out;
        };
        const auto hex = [&](int from, int to) { return QString::fromLatin1(bytes(from, to).toHex(',')); };
        QTest::newRow("string") << "名\"" << 1u << utf16z("中文 \"q\" \\ a\r\nb")
                                << "\"名\\\"\"=\"中文 \\\"q\\\" \\\\ a\\r\\nb\"";
        QTest::newRow("default value, empty string") << "" << 1u << utf16z("") << "@=\"\"";
        QTest::newRow("string without its NUL") << "s" << 1u << QByteArray("A\0", 2) << "\"s\"=hex(1):41,00";
        QTest::newRow("string with a NUL inside") << "s" << 1u << QByteArray("A\0\0\0B\0\0\0", 8)
                                                  << "\"s\"=hex(1):41,00,00,00,42,00,00,00";
        QTest::newRow("dword") << "d" << 4u << QByteArray("\x2a\0\0\xde", 4) << "\"d\"=dword:de00002a";
        QTest::newRow("short dword") << "d" << 4u << QByteArray("\1\2") << "\"d\"=hex(4):01,02";
        QTest::newRow("qword") << "q" << 11u << bytes(1, 8) << "\"q\"=hex(b):" + hex(1, 8);
        QTest::newRow("expandable string") << "e" << 2u << utf16z("%A%") << "\"e\"=hex(2):25,00,41,00,25,00,00,00";
        QTest::newRow("none, no data") << "n" << 0u << QByteArray() << "\"n\"=hex(0):";
        QTest::newRow("unknown type") << "x" << 0x12345u << QByteArray("\1") << "\"x\"=hex(12345):01";
        QTest::newRow("binary, wrapped") << "bin" << 3u << bytes(0, 0x33)
                                         << "\"bin\"=hex:" + hex(0, 0x16) + ",\\\r\n  " + hex(0x17, 0x2f)
                                                    + ",\\\r\n  " + hex(0x30, 0x33);
    }

    void regFileValues()
    {
        QFETCH(QString, name);
        QFETCH(uint, type);
        QFETCH(QByteArray, data);
        QFETCH(QString, line);
        QCOMPARE(qs(formatRegValue({u16(name), type, data.toStdString()})), line);
    }
};

QTEST_APPLESS_MAIN(TestRegistryName)
#include "test_registry_name.moc"
