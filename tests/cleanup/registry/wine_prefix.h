#pragma once

// A throwaway Wine prefix for tests that need a real registry: booted once in a temporary
// folder, queried and filled through Wine's own `reg`, its server stopped on destruction.
//
//     WinePrefix prefix;             // 5-20 s: wineboot, then wait for the hives
//     QVERIFY2(prefix.isValid(), qPrintable(prefix.errorString()));
//     prefix.keepServerRunning();    // optional: saves ~0.4 s on every later Wine command
//     QVERIFY(prefix.addValue("HKCU\\Software\\Test", "Name"));
//     QVERIFY(prefix.valueExists("HKCU\\Software\\Test", "Name"));

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace test {

// Every process that runs in `prefix`, by its WINEPREFIX.
inline QList<qint64> processesIn(const QString &prefix)
{
    QList<qint64> found;
    const QByteArray wanted = "WINEPREFIX=" + QFile::encodeName(prefix);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (pid.toLongLong() > 0 && environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(wanted))
            found.append(pid.toLongLong());
    }
    return found;
}


class WinePrefix
{
public:
    WinePrefix() : WinePrefix(Unbooted{})
    {
        if (m_error.isEmpty())
            m_error = boot();
        m_valid = m_error.isEmpty();
    }

    // A second prefix identical to `source` (cp -a), without a second boot. The source's
    // server must have exited (waitForServerExit()), or the copy misses its latest edits.
    static std::unique_ptr<WinePrefix> copyOf(const WinePrefix &source)
    {
        std::unique_ptr<WinePrefix> copy(new WinePrefix(Unbooted{}));
        const QStringList cp{QStringLiteral("-a"), source.path(), copy->m_path};
        if (copy->m_error.isEmpty()
            && (!source.isValid() || copy->run(QStringLiteral("cp"), cp, nullptr, bootTimeoutMs) != 0))
            copy->m_error = QStringLiteral("copying the prefix failed");
        copy->m_valid = copy->m_error.isEmpty();
        return copy;
    }

    ~WinePrefix()
    {
        if (!m_path.isEmpty() && QFileInfo::exists(m_path))
            run(wineserverCommand(), {QStringLiteral("-k")}, nullptr, 30000);
    }

    WinePrefix(const WinePrefix &) = delete;
    WinePrefix &operator=(const WinePrefix &) = delete;

    bool isValid() const { return m_valid; }
    QString errorString() const { return m_error; }
    QString path() const { return m_path; }

    // The environment every Wine command of this prefix runs with. UTF-8 locale, or Wine
    // garbles non-ASCII arguments.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WINEPREFIX"), m_path);
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs `wine <args>`; the exit code, or -1 when it didn't run to its end.
    int wine(const QStringList &args, QByteArray *output = nullptr, int timeoutMs = 60000) const
    {
        return run(wineCommand(), args, output, timeoutMs);
    }

    // Runs `wine reg <args>` and tells whether it succeeded. Under load a Wine program now and
    // then dies before doing anything (about once in a thousand starts on our machines), and
    // Wine's loader then exits with 1 too, so only a 0, or a 1 that came with reg's own
    // message, counts as reg's answer; anything else is tried again.
    bool reg(const QStringList &args, QByteArray *output = nullptr) const
    {
        QByteArray out;
        int code = -1;
        for (int attempt = 0; attempt < flakyAttempts; ++attempt) {
            code = wine(QStringList{QStringLiteral("reg")} + args, &out);
            if (code == 0 || (code == 1 && out.contains("reg: ")))
                break;
        }
        if (output)
            *output = out;
        return code == 0;
    }

    bool addKey(const QString &key) const
    {
        return reg({QStringLiteral("add"), key, QStringLiteral("/f")});
    }

    bool addValue(const QString &key, const QString &name, const QString &data = QStringLiteral("x")) const
    {
        return reg({QStringLiteral("add"), key, QStringLiteral("/v"), name, QStringLiteral("/d"), data,
                    QStringLiteral("/f")});
    }

    // A "not found" is asked twice before it counts, for the same reason as above.
    bool keyExists(const QString &key) const
    {
        const QStringList args{QStringLiteral("query"), key};
        return reg(args) || reg(args);
    }

    bool valueExists(const QString &key, const QString &name) const
    {
        const QStringList args{QStringLiteral("query"), key, QStringLiteral("/v"), name};
        return reg(args) || reg(args);
    }

    // Imports registry-file text ("Windows Registry Editor Version 5.00" and sections), all
    // keys and values in one Wine call.
    bool importReg(const QString &text) const
    {
        const QString file = m_dir.filePath(QStringLiteral("import.reg"));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        // UTF-16 LE with a byte-order mark, the form `reg import` reads for any character.
        QByteArray bytes("\xFF\xFE", 2);
        QString crlf = text;
        crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\n', QStringLiteral("\r\n"));
        bytes.append(reinterpret_cast<const char *>(crlf.utf16()), crlf.size() * 2);
        if (out.write(bytes) != bytes.size() || !out.flush())
            return false;
        out.close();
        return reg({QStringLiteral("import"), windowsPath(file)});
    }

    // The bytes of `reg export` for a key: equal snapshots mean nothing below it changed. An
    // export of an existing key can only fail by accident, so any failure is tried again.
    QByteArray exportKey(const QString &key) const
    {
        const QString file = m_dir.filePath(QStringLiteral("export.reg"));
        for (int attempt = 0; attempt < flakyAttempts; ++attempt) {
            QFile::remove(file);
            if (!reg({QStringLiteral("export"), key, windowsPath(file), QStringLiteral("/y")}))
                continue;
            QFile in(file);
            if (in.open(QIODevice::ReadOnly))
                return in.readAll();
        }
        return {};
    }

    // Starts a persistent server, so later Wine commands skip the server start. It goes away
    // with the prefix (`wineserver -k`).
    bool keepServerRunning() const
    {
        return run(wineserverCommand(), {QStringLiteral("-p")}, nullptr, 30000) == 0;
    }

    // Ends the prefix's server, persistent or not, and waits for it: the hives are then on disk.
    void stopServer() const
    {
        run(wineserverCommand(), {QStringLiteral("-k")}, nullptr, 30000);
        waitForServerExit();
    }

    // Waits until the prefix's server has exited, which writes the hive files.
    void waitForServerExit() const { run(wineserverCommand(), {QStringLiteral("-w")}, nullptr, 60000); }

    static QString wineCommand() { return QStandardPaths::findExecutable(QStringLiteral("wine")); }

    static QString wineserverCommand()
    {
        const QString onPath = QStandardPaths::findExecutable(QStringLiteral("wineserver"));
        return onPath.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("wineserver"),
                                                                 {QStringLiteral("/usr/lib/wine")})
                                : onPath;
    }

    // How the last Wine command ended and what it wrote (reg writes its errors to stdout), for
    // failure messages.
    QByteArray lastErrorOutput() const { return m_lastErrorOutput; }

    // A native path as Wine's programs take it: through the Z: drive, which maps to "/".
    static QString windowsPath(const QString &path)
    {
        QString windows = QStringLiteral("Z:") + QFileInfo(path).absoluteFilePath();
        return windows.replace(u'/', u'\\');
    }

private:
    // The prefix's place in a temporary folder of its own, nothing in it yet.
    struct Unbooted
    {
    };
    explicit WinePrefix(Unbooted)
    {
        if (m_dir.isValid())
            m_path = m_dir.filePath(QStringLiteral("prefix"));
        else
            m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
    }

    // Boots the prefix; what went wrong, or nothing.
    QString boot() const
    {
        if (wineCommand().isEmpty() || wineserverCommand().isEmpty())
            return QStringLiteral("wine or wineserver not found");
        // No DISPLAY: wineboot would otherwise open its "updating" window.
        const int code = run(wineCommand(), {QStringLiteral("wineboot"), QStringLiteral("-i")}, nullptr, bootTimeoutMs);
        if (code != 0)
            return QStringLiteral("wineboot -i failed (%1)").arg(code);
        // The hive files are written when the server exits.
        run(wineserverCommand(), {QStringLiteral("-w")}, nullptr, bootTimeoutMs);
        if (!QFileInfo(m_path + QStringLiteral("/system.reg")).isFile())
            return QStringLiteral("wineboot left no system.reg");
        return {};
    }

    static constexpr int bootTimeoutMs = 180000;
    static constexpr int flakyAttempts = 3;

    int run(const QString &program, const QStringList &args, QByteArray *output, int timeoutMs) const
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(program, args);
        if (!process.waitForStarted(timeoutMs)) {
            m_lastErrorOutput = "did not start";
            return -1;
        }
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            m_lastErrorOutput = "timed out";
            return -1;
        }
        const QByteArray out = process.readAllStandardOutput();
        if (output)
            *output = out;
        const bool normal = process.exitStatus() == QProcess::NormalExit;
        m_lastErrorOutput = (normal ? "exit " + QByteArray::number(process.exitCode()) : QByteArray("crashed"))
            + "; stdout: " + out.left(2000) + "; stderr: " + process.readAllStandardError().left(2000);
        return normal ? process.exitCode() : -1;
    }

    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
    mutable QByteArray m_lastErrorOutput;
    bool m_valid = false;
};

} // namespace test
