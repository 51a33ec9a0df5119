#include "platform/error_text.h"
#include "platform/file_io.h"
#include "platform/line_file.h"
#include "scoped_variable.h"
#include "without_dac_override.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

using platform::LineReader;
using platform::LinesRead;

namespace {

QString gbkSample() { return QStringLiteral("清理文件对象列表读取失败！"); }
QByteArray gbkSampleBytes() { return QByteArray::fromHex("c7e5c0edcec4bcfeb6d4cff3c1d0b1edb6c1c8a1caa7b0dca3a1"); }
QString emoji() { return QString::fromUcs4(U"\U0001F600"); }
QString escaped(int byte) { return QString(QChar(char16_t(0xDC00 + byte))); }

QByteArray bytesOf(const QString &file)
{
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArrayLiteral("<unreadable>");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

#ifdef Q_OS_UNIX
int setMode(const QString &path, int mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
}

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
}

struct stat statOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Acts as an ordinary user towards files for one scope: while the file-system user isn't
// root, the kernel takes root's file capabilities away too.
struct AsUser
{
    explicit AsUser(uid_t id) { ::setfsgid(id); ::setfsuid(id); }
    ~AsUser() { ::setfsuid(0); ::setfsgid(0); }
};

QStringList manyLines()
{
    QStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.append(QStringLiteral("C:\\WINDOWS\\Temp\\line %1 *.tmp").arg(i));
    return lines;
}

// A list of `count` entries as saved, each made from `form` and its number.
QByteArray listBytes(const char *form, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QByteArray(form).replace("%", QByteArray::number(i)) + "\r\n";
    return bytes;
}

enum class StopAt { JournalSynced, Midway, Overwritten };

// Saves `data` to `file` in a child process that stops itself at `stop`, and kills it there
// with SIGKILL. A read-only folder is saved into as a user would.
bool killSaveAt(const QString &file, const QByteArray &data, StopAt stop, bool asUser)
{
    const pid_t child = ::fork();
    if (child == 0) {
        platform::detail::SaveHooks hooks;
        hooks.journalSynced = [&] {
            if (stop == StopAt::JournalSynced)
                ::raise(SIGSTOP);
        };
        hooks.overwriting = [&](qint64 written) {
            if ((stop == StopAt::Midway && written >= data.size() / 2) || (stop == StopAt::Overwritten && written == data.size()))
                ::raise(SIGSTOP);
        };
        std::optional<WithoutDacOverride> withoutOverride;
        if (asUser)
            withoutOverride.emplace();
        int error = 0;
        platform::detail::replaceFile(file, data, &error, nullptr, &hooks);
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, WUNTRACED) != child || !WIFSTOPPED(status))
        return false;
    ::kill(child, SIGKILL);
    return ::waitpid(child, &status, 0) == child && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}
#endif

} // namespace

class TestLineFile : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readsLines_data();
    void readsLines();
    void readerStopsAtEnd();
    void linesAcrossBufferBoundaries_data();
    void linesAcrossBufferBoundaries();
    void tenMegabyteLine();
    void unreadableFilesFail();
    void readErrorIsReported();
    void onlyRegularFilesOfSaneSizeAreRead();

    void encodeAndDecode_data();
    void encodeAndDecode();
    void roundTripIsByteExact_data();
    void roundTripIsByteExact();

    void writesLinesWithCrLf_data();
    void writesLinesWithCrLf();
    void permissionsKept();
    void symbolicLinksWrittenThrough();
    void readOnlyLeavesOldFile_data();
    void readOnlyLeavesOldFile();
    void saveKeepsTheFileItself_data();
    void saveKeepsTheFileItself();
    void mountedFileWrittenInPlace();
    void failedWriteLeavesOldFile_data();
    void failedWriteLeavesOldFile();
    void killedSaveLeavesNothing();
    void killedInPlaceSaveIsCompleted_data();
    void killedInPlaceSaveIsCompleted();
    void failedClaimGivesSpaceBack_data();
    void failedClaimGivesSpaceBack();
    void unusableTargetsFail();

private:
    QString path(const QString &name = {}) const { return name.isEmpty() ? m_dir->path() : m_dir->filePath(name); }
    QString writeBytes(const QString &name, const QByteArray &bytes) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLineFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestLineFile::writeBytes(const QString &name, const QByteArray &bytes) const
{
    const QString file = path(name);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

void TestLineFile::readsLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("A CRLF CRLF B") << QByteArray("A\r\n\r\nB") << QStringList{"A", "", "B"};
    QTest::newRow("final CRLF gives no empty line") << QByteArray("A\r\n") << QStringList{"A"};
    QTest::newRow("lone CR ends a line") << QByteArray("A\rB\r") << QStringList{"A", "B"};
    QTest::newRow("CR CR LF") << QByteArray("\r\r\n") << QStringList{"", ""};
    QTest::newRow("only CRLF") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("LF only belongs to the line") << QByteArray("A\nB\n") << QStringList{"A\nB\n"};
    QTest::newRow("LF before CR") << QByteArray("A\n\rB") << QStringList{"A\n", "B"};
    QTest::newRow("blanks kept") << QByteArray("  \r\n\tx ") << QStringList{"  ", "\tx "};
    QTest::newRow("GBK text") << gbkSampleBytes() + "\r\n" << QStringList{gbkSample()};
    // A byte that starts no character is kept as U+DC00 + byte; reading goes on after it.
    QTest::newRow("invalid bytes") << QByteArray::fromHex("812042") << QStringList{escaped(0x81) + " B"};
    QTest::newRow("truncated last character") << QByteArray::fromHex("41c7") << QStringList{"A" + escaped(0xc7)};
    QTest::newRow("truncated character before CR LF")
        << QByteArray::fromHex("41c70d0a42") << QStringList{"A" + escaped(0xc7), "B"};
    QTest::newRow("truncated four-byte character")
        << QByteArray::fromHex("41943930") << QStringList{"A" + escaped(0x94) + "90"};
    QTest::newRow("lead byte before LF") << QByteArray::fromHex("c70a42") << QStringList{escaped(0xc7) + "\nB"};
    QTest::newRow("stray bytes") << QByteArray::fromHex("2f80ff2f") << QStringList{"/" + escaped(0x80) + escaped(0xff) + "/"};
    QTest::newRow("unassigned four-byte code")
        << QByteArray::fromHex("8431a530") << QStringList{escaped(0x84) + "1" + escaped(0xa5) + "0"};
    QTest::newRow("beyond U+10FFFF") << QByteArray::fromHex("e3329a36") << QStringList{escaped(0xe3) + "2" + escaped(0x9a) + "6"};
    // U+10080's second half lies in the escapes' range, and is a character all the same.
    QTest::newRow("U+10080") << QByteArray::fromHex("90308d38") << QStringList{QString::fromUcs4(U"\U00010080")};
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0", 6)
                               << QStringList{QString::fromUtf16(u"a\0b", 3), QString(QChar(0))};
    QTest::newRow("emoji") << QByteArray::fromHex("9439fc36") << QStringList{emoji()};
    QTest::newRow("UTF-8 BOM is text")
        << QByteArray::fromHex("efbbbf410d0a42") << QStringList{QStringLiteral("\u9518\u7dfc"), "B"};
    QTest::newRow("GB18030 BOM is text") << QByteArray::fromHex("8431953341") << QStringList{QStringLiteral("\uFEFFA")};
}

void TestLineFile::readsLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    const LinesRead read = platform::readLines(writeBytes("list.ini", bytes));
    QVERIFY(read.opened && read.complete);
    QCOMPARE(read.lines, lines);
    QVERIFY(read.error.isEmpty());

    // The line-at-a-time protocol gives the same, and a relative name works too.
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(path()));
    LineReader reader;
    const bool opened = reader.open("list.ini");
    QDir::setCurrent(saved);
    QVERIFY(opened);
    QStringList stepped;
    while (!reader.atEnd()) {
        const auto line = reader.readLine();
        QVERIFY(line);
        stepped.append(*line);
    }
    QCOMPARE(stepped, lines);
}

void TestLineFile::readerStopsAtEnd()
{
    LineReader reader;
    QVERIFY(reader.atEnd()); // nothing open
    QVERIFY(!reader.readLine());
    QVERIFY(!reader.error().isEmpty());

    QVERIFY(reader.open(writeBytes("a.ini", "A\r\n")));
    QVERIFY(!reader.atEnd());
    QCOMPARE(reader.readLine(), std::optional<QString>("A"));
    QVERIFY(reader.atEnd());
    QVERIFY(!reader.readLine());
    QVERIFY(!reader.error().isEmpty());

    // Reopening starts afresh.
    QVERIFY(reader.open(writeBytes("b.ini", "B")));
    QVERIFY(reader.error().isEmpty());
    QCOMPARE(reader.readLine(), std::optional<QString>("B"));
    reader.close();
    QVERIFY(reader.atEnd());
}

void TestLineFile::linesAcrossBufferBoundaries_data()
{
    QTest::addColumn<int>("leading");
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<QStringList>("lines");

    // `leading` letters put the first bytes of the tail at the edge of a read.
    for (int leading : {65534, 65535, 65536, 131071}) {
        const QByteArray at = QByteArray::number(leading);
        const QString letters(leading, u'x');
        QTest::newRow("CR LF split " + at) << leading << QByteArray("\r\nB") << QStringList{letters, "B"};
        QTest::newRow("lone CR split " + at) << leading << QByteArray("\rB") << QStringList{letters, "B"};
        QTest::newRow("CR at end " + at) << leading << QByteArray("\r") << QStringList{letters};
        QTest::newRow("CR CR split " + at) << leading << QByteArray("\r\r") << QStringList{letters, ""};
        QTest::newRow("character split " + at) << leading << gbkSampleBytes() + "\r\n" << QStringList{letters + gbkSample()};
    }
}

void TestLineFile::linesAcrossBufferBoundaries()
{
    QFETCH(int, leading);
    QFETCH(QByteArray, tail);
    QFETCH(QStringList, lines);
    const LinesRead read = platform::readLines(writeBytes("edge.ini", QByteArray(leading, 'x') + tail));
    QVERIFY(read.complete);
    QCOMPARE(read.lines, lines);
}

void TestLineFile::tenMegabyteLine()
{
    const qsizetype characters = 5 * 1024 * 1024;
    const QString file = writeBytes("huge.ini", QByteArray("\xc7\xe5").repeated(characters) + "\r\nB");

    const LinesRead read = platform::readLines(file);
    QVERIFY(read.complete);
    QCOMPARE(read.lines.size(), 2);
    QCOMPARE(read.lines.at(0).size(), characters);
    QCOMPARE(read.lines.at(0).count(u'清'), characters);
    QCOMPARE(read.lines.at(1), QStringLiteral("B"));

    QVERIFY(platform::writeLines(file, read.lines));
    QCOMPARE(QFileInfo(file).size(), characters * 2 + 5);
}

void TestLineFile::unreadableFilesFail()
{
    LineReader reader;
    QVERIFY(!reader.open(path("Wjql.ini")));
    QVERIFY(!reader.error().isEmpty());
#ifdef Q_OS_UNIX
    QCOMPARE(reader.error(), platform::describeError(ENOENT));
#endif
    QVERIFY(reader.atEnd());
    QCOMPARE(platform::readLines(path("Wjql.ini")).error, reader.error());

    // Missing, unnamed, a folder.
    for (const QString &name : {path("Wjql.ini"), QString(), path()}) {
        const LinesRead read = platform::readLines(name);
        QVERIFY2(!read.complete, qPrintable(name));
        QVERIFY(!read.error.isEmpty());
    }
}

void TestLineFile::readErrorIsReported()
{
#ifdef Q_OS_LINUX
    // Opening works, but the first read fails (EIO): the failure must not pass for an
    // empty or shorter list.
    LineReader reader;
    QVERIFY(reader.open("/proc/self/mem"));
    QVERIFY(!reader.atEnd());
    QVERIFY(!reader.readLine());
    QCOMPARE(reader.error(), platform::describeError(EIO));
    QVERIFY(!reader.readLine());

    const LinesRead read = platform::readLines("/proc/self/mem");
    QVERIFY(!read.complete);
    QCOMPARE(read.error, platform::describeError(EIO));
#else
    QSKIP("needs a file whose reads fail");
#endif
}

void TestLineFile::onlyRegularFilesOfSaneSizeAreRead()
{
#ifdef Q_OS_LINUX
    // A pipe would block the open, /dev/zero would never end a line: both are refused at
    // once rather than hanging or eating memory.
    const QString pipe = path("Wjql.ini");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    const QString zero = path("Zcql.ini");
    QVERIFY(QFile::link("/dev/zero", zero));
    for (const QString &special : {pipe, zero}) {
        const LinesRead read = platform::readLines(special, 100);
        QVERIFY2(!read.opened && !read.complete, qPrintable(special));
        QVERIFY(read.lines.isEmpty());
    }

    // Past 128 MiB a file is refused, keeping the lines before the point it got to.
    QFile huge(path("huge.ini"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    QVERIFY(huge.write("first\r\n") == 7);
    QVERIFY(huge.resize(129 * 1024 * 1024)); // a sparse run of NULs: one endless line
    huge.close();
    const LinesRead read = platform::readLines(huge.fileName(), 100);
    QVERIFY(read.opened);
    QVERIFY(!read.complete);
    QCOMPARE(read.lines, QStringList{"first"});
    QVERIFY(!read.error.isEmpty());
#else
    QSKIP("needs named pipes and /dev/zero");
#endif
}

void TestLineFile::encodeAndDecode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ASCII") << QStringLiteral("C:\\WINDOWS\\Temp\\*.tmp") << QByteArray("C:\\WINDOWS\\Temp\\*.tmp");
    QTest::newRow("GBK") << gbkSample() << gbkSampleBytes();
    QTest::newRow("emoji") << emoji() << QByteArray::fromHex("9439fc36");
    QTest::newRow("euro sign") << QStringLiteral("€") << QByteArray::fromHex("a2e3");
    QTest::newRow("BOM at start") << QStringLiteral("\uFEFFA") << QByteArray::fromHex("8431953341");
    QTest::newRow("escaped bytes") << "x" + escaped(0xff) + escaped(0x81) + "1" << QByteArray::fromHex("78ff8131");
}

void TestLineFile::encodeAndDecode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(platform::encodeLine(text), bytes);
    const LinesRead read = platform::readLines(writeBytes("line.ini", bytes + "\r\n"));
    QVERIFY(read.complete);
    QCOMPARE(read.lines, QStringList{text});
}

void TestLineFile::roundTripIsByteExact_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("A CRLF CRLF B") << QByteArray("A\r\n\r\nB") << QByteArray("A\r\n\r\nB\r\n");
    QTest::newRow("lone CR becomes CR LF") << QByteArray("A\rB\r\n") << QByteArray("A\r\nB\r\n");
    QTest::newRow("LF kept") << QByteArray("A\nB") << QByteArray("A\nB\r\n");
    QTest::newRow("GBK") << gbkSampleBytes() << gbkSampleBytes() + "\r\n";
    QTest::newRow("emoji") << QByteArray::fromHex("9439fc360d0a") << QByteArray::fromHex("9439fc360d0a");
    QTest::newRow("UTF-8 BOM") << QByteArray::fromHex("efbbbf410d0a") << QByteArray::fromHex("efbbbf410d0a");
    QTest::newRow("GB18030 BOM") << QByteArray::fromHex("84319533410d0a") << QByteArray::fromHex("84319533410d0a");
    QTest::newRow("NUL") << QByteArray("\0\r\n", 3) << QByteArray("\0\r\n", 3);
    QTest::newRow("undecodable path") << QByteArray("/x/\xff\xfe/*.tmp\r\n") << QByteArray("/x/\xff\xfe/*.tmp\r\n");
    QTest::newRow("UTF-8") << QByteArray("/tmp/\xe4\xb8\xb4\xe6\x97\xb6/\xc3\xa9*\r\n")
                           << QByteArray("/tmp/\xe4\xb8\xb4\xe6\x97\xb6/\xc3\xa9*\r\n");
    QTest::newRow("truncated last character") << QByteArray("A\xc7") << QByteArray("A\xc7\r\n");
    QTest::newRow("truncated four-byte character") << QByteArray("\x81\x30\x81") << QByteArray("\x81\x30\x81\r\n");
    QTest::newRow("lead byte before LF") << QByteArray("\xc7\nB\xfe\r\n") << QByteArray("\xc7\nB\xfe\r\n");

    // Any bytes at all: lines of random bytes, CR left out since a lone one becomes CR LF.
    QRandomGenerator random(20261207);
    for (int row = 0; row < 50; ++row) {
        QByteArray bytes;
        for (int line = random.bounded(1, 20); line > 0; --line) {
            for (int n = random.bounded(0, 60); n > 0; --n) {
                // Half of them from the top half, where GB18030's multi-byte characters live.
                const char byte = char(random.bounded(2) ? random.bounded(0x80, 0x100) : random.bounded(0, 0x80));
                bytes += byte == '\r' ? '\n' : byte;
            }
            bytes += "\r\n";
        }
        QTest::addRow("random %d", row) << bytes << bytes;
    }
}

void TestLineFile::roundTripIsByteExact()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, written);
    const QString file = writeBytes("Wjql.ini", bytes);
    const LinesRead read = platform::readLines(file);
    QVERIFY(read.complete);
    QVERIFY(platform::writeLines(file, read.lines));
    QCOMPARE(bytesOf(file), written);

    // A text box never shows an escaped byte as such.
    const std::optional<QString> shown = platform::readTextHead(file);
    QVERIFY(shown);
    for (qsizetype i = 0; i < shown->size(); ++i)
        QVERIFY(platform::escapedByteAt(*shown, i) < 0);
}

void TestLineFile::writesLinesWithCrLf_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty list") << QStringList() << QByteArray();
    QTest::newRow("one empty line") << QStringList{""} << QByteArray("\r\n");
    QTest::newRow("three lines") << QStringList{"A", "", "B"} << QByteArray("A\r\n\r\nB\r\n");
    QTest::newRow("blanks and Chinese") << QStringList{"  ", gbkSample()} << "  \r\n" + gbkSampleBytes() + "\r\n";
}

void TestLineFile::writesLinesWithCrLf()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);

    // Into a new file, and over an existing longer one.
    const QString fresh = path("new.ini");
    QString error;
    QVERIFY(platform::writeLines(fresh, lines, &error));
    QVERIFY(error.isEmpty());
    QCOMPARE(bytesOf(fresh), bytes);

    const QString old = writeBytes("old.ini", QByteArray(1000, 'o'));
    QVERIFY(platform::writeLines(old, lines, &error));
    QCOMPARE(bytesOf(old), bytes);
    QCOMPARE(entries(path()), (QStringList{"new.ini", "old.ini"}));
}

void TestLineFile::permissionsKept()
{
#ifdef Q_OS_UNIX
    // A new file gets the default ones.
    const mode_t mask = ::umask(022);
    const bool written = platform::writeLines(path("new.ini"), {"A"});
    ::umask(mask);
    QVERIFY(written);
    QCOMPARE(modeOf(path("new.ini")), mode_t(0644));

    for (const int mode : {0600, 0640, 0664, 0755}) {
        const QString file = writeBytes("Zcql.ini", "old\r\n");
        QCOMPARE(setMode(file, mode), 0);
        QVERIFY(platform::writeLines(file, {"new"}));
        QCOMPARE(modeOf(file), mode_t(mode));
        QCOMPARE(bytesOf(file), QByteArray("new\r\n"));
    }
#else
    QSKIP("permission bits are a POSIX matter");
#endif
}

void TestLineFile::symbolicLinksWrittenThrough()
{
#ifdef Q_OS_UNIX
    // A link stays a link, and so does a link to that link.
    QVERIFY(QDir(path()).mkpath("real"));
    QVERIFY(QDir(path()).mkpath("work"));
    const QString real = writeBytes("real/Wjql.ini", "old\r\n");
    const QString link = path("work/Wjql.ini");
    QVERIFY(QFile::link("../real/Wjql.ini", link));
    const QString second = path("work/again.ini");
    QVERIFY(QFile::link("Wjql.ini", second));

    QVERIFY(platform::writeLines(link, {"A", "B"}));
    QVERIFY(QFileInfo(link).isSymbolicLink());
    QCOMPARE(QFile::symLinkTarget(link), real);
    QCOMPARE(bytesOf(real), QByteArray("A\r\nB\r\n"));

    QVERIFY(platform::writeLines(second, {"C"}));
    QVERIFY(QFileInfo(second).isSymbolicLink());
    QVERIFY(QFileInfo(link).isSymbolicLink());
    QCOMPARE(bytesOf(real), QByteArray("C\r\n"));

    QCOMPARE(entries(path("real")), QStringList{"Wjql.ini"});
    QCOMPARE(entries(path("work")), (QStringList{"Wjql.ini", "again.ini"}));

    // A dangling link creates its target.
    const QString dangling = path("Wjql.ini");
    QVERIFY(QFile::link("kept.ini", dangling));
    QVERIFY(platform::writeLines(dangling, {"A"}));
    QVERIFY(QFileInfo(dangling).isSymbolicLink());
    QCOMPARE(bytesOf(path("kept.ini")), QByteArray("A\r\n"));

    // A loop of links can't be written through.
    QVERIFY(QFile::link("loop2", path("loop1")));
    QVERIFY(QFile::link("loop1", path("loop2")));
    QString error;
    QVERIFY(!platform::writeLines(path("loop1"), {"A"}, &error));
    QVERIFY(!error.isEmpty());
#else
    QSKIP("symbolic links need privileges on Windows");
#endif
}

void TestLineFile::readOnlyLeavesOldFile_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<int>("fileMode");
    // The rename would only need the folder's permission: the file's own must count too.
    QTest::newRow("read-only file") << 0755 << 0444;
    QTest::newRow("read-only file and folder") << 0555 << 0444;
}

void TestLineFile::readOnlyLeavesOldFile()
{
#ifdef Q_OS_UNIX
    QFETCH(int, folderMode);
    QFETCH(int, fileMode);
    const QByteArray old("old A\r\nold B\r\n");
    QVERIFY(QDir(path()).mkpath("locked"));
    const QString folder = path("locked");
    const QString file = writeBytes("locked/Wjql.ini", old);
    QCOMPARE(setMode(file, fileMode), 0);
    QCOMPARE(setMode(folder, folderMode), 0);

    QString error;
    bool written = true;
    {
        // Root writes anywhere: take that right away for the attempt.
        const WithoutDacOverride asUser;
        written = platform::writeLines(file, {"new"}, &error);
    }
    setMode(folder, 0755);

    QVERIFY(!written);
    QCOMPARE(error, platform::describeError(EACCES));
    QCOMPARE(bytesOf(file), old);
    QCOMPARE(entries(folder), QStringList{"Wjql.ini"});
#else
    QSKIP("permission bits are a POSIX matter");
#endif
}

void TestLineFile::saveKeepsTheFileItself_data()
{
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<uint>("owner");
    QTest::addColumn<uint>("group");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("saver"); // -1 root, 0 root without its override of permissions, else a user
    QTest::addColumn<bool>("secondName");
    QTest::addColumn<bool>("attribute");
    QTest::addColumn<bool>("inPlace"); // else replaced by a new file

    constexpr uint other = 12345;
    constexpr uint saver = 23456;
    QTest::newRow("own file") << 0755 << 0u << 0u << 0640 << 0 << false << false << false;
    QTest::newRow("own file of a user") << 0777 << saver << saver << 0600 << int(saver) << false << false << false;
    QTest::newRow("another's file saved by root") << 0755 << other << other << 0604 << -1 << false << false << false;
    QTest::newRow("read-only folder") << 0555 << 0u << 0u << 0644 << 0 << false << false << true;
    QTest::newRow("second hard link") << 0755 << 0u << 0u << 0644 << 0 << true << false << true;
    QTest::newRow("another user's file") << 0777 << other << other << 0666 << int(saver) << false << false << true;
    QTest::newRow("another group") << 0777 << saver << other << 0664 << int(saver) << false << false << true;
    QTest::newRow("extended attribute") << 0755 << 0u << 0u << 0644 << 0 << false << true << true;
}

void TestLineFile::saveKeepsTheFileItself()
{
#ifdef Q_OS_LINUX
    QFETCH(int, folderMode);
    QFETCH(uint, owner);
    QFETCH(uint, group);
    QFETCH(int, fileMode);
    QFETCH(int, saver);
    QFETCH(bool, secondName);
    QFETCH(bool, attribute);
    QFETCH(bool, inPlace);
    QCOMPARE(setMode(path(), 0755), 0); // a user must reach the folder
    QVERIFY(QDir(path()).mkpath("list"));
    const QString folder = path("list");
    // In place it shrinks with a second name, and grows otherwise.
    const QString file = writeBytes("list/Wjql.ini", QByteArray("old entry\r\n").repeated(secondName ? 100 : 1));
    const QByteArray name = QFile::encodeName(file);
    if (secondName)
        QCOMPARE(::link(name.constData(), QFile::encodeName(path("list/other.ini")).constData()), 0);
    if (attribute && ::setxattr(name.constData(), "user.brisquel", "kept", 4, 0) != 0)
        QSKIP("the file system keeps no user attributes");
    QCOMPARE(::chown(name.constData(), owner, group), 0);
    QCOMPARE(setMode(file, fileMode), 0);
    QCOMPARE(setMode(folder, folderMode), 0);
    const struct stat before = statOf(file);

    QString error;
    bool written = false;
    {
        std::optional<WithoutDacOverride> withoutOverride;
        std::optional<AsUser> asUser;
        if (saver == 0)
            withoutOverride.emplace();
        else if (saver > 0)
            asUser.emplace(uid_t(saver));
        written = platform::writeLines(file, {"new", "lines"}, &error);
    }
    setMode(folder, 0755);

    QVERIFY2(written, qPrintable(error));
    QCOMPARE(bytesOf(file), QByteArray("new\r\nlines\r\n"));
    const struct stat after = statOf(file);
    QCOMPARE(after.st_ino == before.st_ino, inPlace);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
    if (attribute) {
        char value[8] = {};
        QCOMPARE(::getxattr(name.constData(), "user.brisquel", value, sizeof value), ssize_t(4));
        QCOMPARE(QByteArray(value), QByteArray("kept"));
    }
    if (secondName)
        QCOMPARE(bytesOf(path("list/other.ini")), bytesOf(file));
    QCOMPARE(entries(folder), secondName ? (QStringList{"Wjql.ini", "other.ini"}) : QStringList{"Wjql.ini"});
#else
    QSKIP("owners, links and attributes as Linux has them");
#endif
}

void TestLineFile::mountedFileWrittenInPlace()
{
#ifdef Q_OS_LINUX
    // A file mounted over the list (as containers do) can't be renamed over; the new file
    // made for that is removed again, and the list written in place.
    const QString source = writeBytes("source.ini", "old\r\n");
    const QString file = writeBytes("Wjql.ini", "under\r\n");
    const QByteArray target = QFile::encodeName(file);
    if (::mount(QFile::encodeName(source).constData(), target.constData(), nullptr, MS_BIND, nullptr) != 0)
        QSKIP("needs the right to mount");
    const bool written = platform::writeLines(file, {"new"});
    const QStringList left = entries(path());
    ::umount2(target.constData(), MNT_DETACH);
    QVERIFY(written);
    QCOMPARE(bytesOf(source), QByteArray("new\r\n"));
    QCOMPARE(left, (QStringList{"Wjql.ini", "source.ini"}));
#else
    QSKIP("needs Linux mounts");
#endif
}

void TestLineFile::failedWriteLeavesOldFile_data()
{
    QTest::addColumn<bool>("secondName");
    QTest::newRow("replaced") << false;
    QTest::newRow("written in place") << true;
}

void TestLineFile::failedWriteLeavesOldFile()
{
#ifdef Q_OS_UNIX
    QFETCH(bool, secondName);
    const QByteArray old("keep me\r\n");
    const QString file = writeBytes("Wjql.ini", old);
    QStringList names{"Wjql.ini"};
    if (secondName) {
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(path("other.ini")).constData()), 0);
        names.append("other.ini");
    }
    // A file-size limit makes writing fail half-way, as a full disk would.
    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 1024;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString error;
    const bool written = platform::writeLines(file, manyLines(), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(!written);
    QCOMPARE(error, platform::describeError(EFBIG));
    QVERIFY(!error.isEmpty());
    QCOMPARE(bytesOf(file), old);
    QCOMPARE(entries(path()), names);
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestLineFile::killedSaveLeavesNothing()
{
#ifdef Q_OS_UNIX
    // Past the file-size limit the system kills the saver in the middle of writing, when the
    // new file is as full as it gets: only the old list may be left.
    const int unnamed = ::open(QFile::encodeName(path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed < 0)
        QSKIP("the file system makes no unnamed files");
    ::close(unnamed);
    const QByteArray old("keep me\r\n");
    const QString file = writeBytes("Wjql.ini", old);
    const QStringList lines = manyLines();
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        struct rlimit limited {1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &limited);
        platform::writeLines(file, lines);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status));
    QCOMPARE(WTERMSIG(status), SIGXFSZ);
    QCOMPARE(bytesOf(file), old);
    QCOMPARE(entries(path()), QStringList{"Wjql.ini"});
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestLineFile::killedInPlaceSaveIsCompleted_data()
{
    QTest::addColumn<bool>("readOnlyFolder"); // else a second name keeps the save in place
    QTest::addColumn<int>("stop");
    QTest::addColumn<int>("newCount");
    QTest::addColumn<QByteArray>("change"); // made after the kill: the journal must not apply

    const int journal = int(StopAt::JournalSynced), midway = int(StopAt::Midway), end = int(StopAt::Overwritten);
    QTest::newRow("journal synced") << false << journal << 30000 << QByteArray();
    QTest::newRow("midway, longer list") << false << midway << 30000 << QByteArray();
    QTest::newRow("midway, shorter list") << false << midway << 20000 << QByteArray();
    QTest::newRow("all overwritten") << false << end << 30000 << QByteArray();
    QTest::newRow("read-only folder") << true << midway << 30000 << QByteArray();
    for (const char *change : {"damaged journal", "list edited", "list replaced", "another's journal"})
        QTest::newRow(change) << false << midway << 30000 << QByteArray(change);
}

void TestLineFile::killedInPlaceSaveIsCompleted()
{
#ifdef Q_OS_LINUX
    QFETCH(bool, readOnlyFolder);
    QFETCH(int, stop);
    QFETCH(int, newCount);
    QFETCH(QByteArray, change);
    const ScopedVariable state("XDG_STATE_HOME", QFile::encodeName(path("state")));
    QVERIFY(QDir(path()).mkpath("list"));
    const QByteArray old = listBytes("C:\\WINDOWS\\Temp\\old %.tmp", 30000);
    const QByteArray fresh = listBytes("C:\\WINDOWS\\Temp\\new entry % *.tmp", newCount);
    const QString file = writeBytes("list/Wjql.ini", old), folder = path("list");
    QStringList names{"Wjql.ini"};
    if (!readOnlyFolder) {
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(path("list/other.ini")).constData()), 0);
        names.append("other.ini");
    }
    setMode(folder, readOnlyFolder ? 0555 : 0755);
    const ino_t inode = statOf(file).st_ino;

    QVERIFY(killSaveAt(file, fresh, StopAt(stop), readOnlyFolder));
    const QByteArray killed = bytesOf(file);
    // Old before the overwrite, new after it, and a mix in between.
    QCOMPARE(StopAt(stop) == StopAt::JournalSynced, killed == old);
    QCOMPARE(StopAt(stop) == StopAt::Overwritten, killed == fresh);
    // The journal lies beside the list, or in the state folder when that is read-only.
    const QString journal = readOnlyFolder ? path("state/brisquel/") + entries(path("state/brisquel")).value(0)
                                           : path("list/.Wjql.ini.brisquel-journal");
    QVERIFY(QFileInfo(journal).isFile());
    if (change == "damaged journal") {
        QFile damaged(journal);
        QVERIFY(damaged.open(QIODevice::ReadWrite) && damaged.seek(damaged.size() / 2));
        damaged.write("?");
    } else if (change == "list edited") {
        QFile edited(file);
        QVERIFY(edited.open(QIODevice::ReadWrite) && edited.write("edited by hand\r\n") > 0);
    } else if (change == "list replaced") {
        QVERIFY(QFile::remove(file));
        writeBytes("list/Wjql.ini", killed);
    } else if (change == "another's journal") {
        QCOMPARE(::chown(QFile::encodeName(journal).constData(), 12345, 12345), 0);
    }
    const QByteArray before = bytesOf(file);

    QString error;
    QCOMPARE(platform::completeInterruptedSave(file, &error),
             change.isEmpty() ? platform::SaveCompletion::Completed : platform::SaveCompletion::NothingToDo);
    setMode(folder, 0755);
    QVERIFY(bytesOf(file) == (change.isEmpty() ? fresh : before));
    QCOMPARE(statOf(file).st_ino == inode, change != "list replaced");
    // Only another user's journal is left alone.
    QCOMPARE(QFileInfo::exists(journal), change == "another's journal");
    QCOMPARE(entries(folder).size(), names.size() + (change == "another's journal" ? 1 : 0));
    QCOMPARE(platform::completeInterruptedSave(file), platform::SaveCompletion::NothingToDo);
#else
    QSKIP("needs Linux signals and hard links");
#endif
}

void TestLineFile::failedClaimGivesSpaceBack_data()
{
    QTest::addColumn<bool>("sparse");
    QTest::newRow("whole list") << false;
    QTest::newRow("list with a hole") << true;
}

void TestLineFile::failedClaimGivesSpaceBack()
{
#ifdef Q_OS_LINUX
    // A small file system, nearly full: the space a bigger list needs is claimed part-way.
    QFETCH(bool, sparse);
    const ScopedVariable state("XDG_STATE_HOME", QFile::encodeName(path("state")));
    const QString image = path("disk.img"), mountPoint = path("mnt");
    QVERIFY(QDir().mkpath(mountPoint));
    if (::geteuid() != 0 || !runs("truncate", {"-s", "8M", image}) || !runs("mkfs.ext4", {"-q", "-F", image})
        || !runs("mount", {"-o", "loop", image, mountPoint}))
        QSKIP("a loop mount needs root and loop devices");
    const auto unmount = qScopeGuard([&] { runs("umount", {mountPoint}); });
    QByteArray old = listBytes("old %", 100);
    const QString file = writeBytes("mnt/Wjql.ini", old);
    if (sparse) { // a hole of 64 KiB in the middle
        QFile out(file);
        QVERIFY(out.open(QIODevice::ReadWrite) && out.seek(old.size() + 65536) && out.write(old) > 0);
        old += QByteArray(65536, '\0') + old;
    }
    QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(mountPoint + "/other.ini").constData()), 0);
    const auto freeBlocks = [&] {
        ::sync();
        struct statvfs fs {};
        ::statvfs(QFile::encodeName(mountPoint).constData(), &fs);
        return fs.f_bfree * fs.f_frsize; // root may use it all
    };
    QFile filler(mountPoint + "/filler");
    QVERIFY(filler.open(QIODevice::WriteOnly));
    filler.write(QByteArray(qsizetype(freeBlocks()) - 100 * 1024, 'f'));
    filler.close();
    const auto freeBefore = freeBlocks();
    const blkcnt_t blocksBefore = statOf(file).st_blocks;

    QString error;
    bool oldKept = false;
    QVERIFY(!platform::writeFile(file, listBytes("C:\\WINDOWS\\Temp\\new entry % *.tmp", 4000), &error, &oldKept));
    QCOMPARE(error, platform::describeError(ENOSPC));
    QVERIFY(oldKept);
    QVERIFY(bytesOf(file) == old);
    QCOMPARE(statOf(file).st_blocks, blocksBefore);
    QCOMPARE(freeBlocks(), freeBefore);
    QCOMPARE(entries(mountPoint), (QStringList{"Wjql.ini", "filler", "lost+found", "other.ini"}));
    QVERIFY(entries(path("state/brisquel")).isEmpty());
#else
    QSKIP("needs Linux loop mounts");
#endif
}

void TestLineFile::unusableTargetsFail()
{
    // A folder in the way.
    QVERIFY(QDir(path()).mkpath("Wjql.ini/inside"));
    QString error;
    QVERIFY(!platform::writeLines(path("Wjql.ini"), {"A"}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(QFileInfo(path("Wjql.ini/inside")).isDir());

    error.clear();
    QVERIFY(!platform::writeLines(path("nowhere/Wjql.ini"), {"A"}, &error));
    QVERIFY(!error.isEmpty());
#ifdef Q_OS_UNIX
    QCOMPARE(error, platform::describeError(ENOENT));
#endif
    error.clear();
    QVERIFY(!platform::writeLines(QString(), {"A"}, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(entries(path()), QStringList{"Wjql.ini"}); // nothing left behind
}

QTEST_GUILESS_MAIN(TestLineFile)
#include "test_line_file.moc"
