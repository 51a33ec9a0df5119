#pragma once

// Shared by the tests that open the whole window: a capturing message function, the
// test entry point that prepares the embedded browser, and a working folder per test.

#include "app/main_window.h"
#include "app/startup.h"
#include "cleanup/entry_deleter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

struct Message
{
    QString text;
    QString title;
    bool windowVisible = false; // was the main window on screen when it came?
};

// Records every message box instead of showing it.
class MessageLog
{
public:
    platform::MessageFunction function()
    {
        return [this](QWidget *parent, const QString &text, const QString &title) {
            messages.push_back({text, title, parent && parent->window()->isVisible()});
        };
    }
    std::vector<Message> messages;
};

// A deletion that deletes nothing, for tests that don't run the lists.
class NullDeleter : public cleanup::EntryDeleter
{
public:
    bool remove(const QString &) override { return false; }
};

// The window's services with messages recorded and no deletions.
inline FormServices quietServices(MessageLog &log)
{
    FormServices services;
    services.showMessage = log.function();
    services.makeFileDeleter = [] { return std::make_unique<NullDeleter>(); };
    services.makeRegistryDeleter = [] { return std::make_unique<NullDeleter>(); };
    return services;
}

// Runs each test in a fresh working folder, as the program runs in the user's.
class WorkingFolder
{
public:
    WorkingFolder()
        : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingFolder() { QDir::setCurrent(m_previous); }
    QString path(const QString &name = {}) const { return name.isEmpty() ? m_dir.path() : m_dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
        file.write(bytes);
    }
    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Puts programs of the test's own in front of PATH: a desktop opener that logs what it
// was asked to open, and any tools a test adds.
class FakePrograms
{
public:
    FakePrograms()
        : m_path(qgetenv("PATH"))
    {
        add("xdg-open", "printf '%s\\n' \"$1\" >> \"" + log().toUtf8() + "\"\n");
        qputenv("PATH", QFile::encodeName(m_dir.path()) + ":" + m_path);
    }
    ~FakePrograms() { qputenv("PATH", m_path); }

    // A program that writes its arguments, one per line, to `<name>.log` in this folder.
    void add(const QString &name, const QByteArray &body = {}) const
    {
        QFile script(m_dir.filePath(name));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n");
        script.write(body.isEmpty() ? "printf '%s\\n' \"$@\" >> \"" + QFile::encodeName(logOf(name)) + "\"\n" : body);
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    QString log() const { return m_dir.filePath("opened.log"); }
    QStringList opened() const { return linesOf(log()); }
    // Where the program `name` added by add() logs its arguments; no file until it runs.
    QString logOf(const QString &name) const { return m_dir.filePath(name + ".log"); }
    QStringList argumentsOf(const QString &name) const { return linesOf(logOf(name)); }

private:
    static QStringList linesOf(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    QTemporaryDir m_dir;
    QByteArray m_path;
};

// Shows a window and waits until it is on screen; false if it never gets there.
inline bool showExposed(QWidget &window)
{
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}

inline void prepareEmbeddedBrowser()
{
    app::prepareProcess();
    // Nothing a test does may reach a real Wine prefix.
    if (!qEnvironmentVariableIsSet("WINEPREFIX"))
        qputenv("WINEPREFIX", QByteArray("/nonexistent/brisquel-test-prefix"));
}

#define BRISQUEL_FORM_TEST_MAIN(TestClass)                                                                   \
    int main(int argc, char *argv[])                                                                          \
    {                                                                                                         \
        prepareEmbeddedBrowser();                                                                             \
        QApplication app(argc, argv);                                                                         \
        TestClass test;                                                                                       \
        return QTest::qExec(&test, argc, argv);                                                               \
    }
