// The skin library (libSkinH_VB6.so / SkinH_VB6.dll): start-up hands it the skin file's
// name, and it dresses the whole application in that skin and keeps it current.
#include "platform/line_file.h"
#include "skins/skin_abi.h"
#include "skins/legible_text.h"
#include "skins/skin_file.h"

#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QFont>
#include <QPointer>
#include <QPromise>
#include <QStringDecoder>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

using skins::SkinStatus;

// Editors and safe saves touch a file several times in a row; one look-up after they settle.
constexpr int settleMs = 100;
// How long attaching waits for the file before the window goes on without it: a healthy
// read takes a fraction of a millisecond.
constexpr std::chrono::milliseconds attachWait{250};

struct FileRead
{
    SkinStatus status = SkinStatus::Pending;
    QByteArray bytes;
};

// A read of the skin file on a thread of its own: a file on a mount that stopped answering
// blocks in open() or read() for as long as the mount does, and the window must not. The
// thread is never joined; one that never returns ends with the process.
class BackgroundRead
{
public:
    explicit BackgroundRead(const QString &path)
        : m_state(std::make_shared<State>())
    {
        QPromise<FileRead> promise;
        m_future = promise.future();
        std::thread([path, state = m_state, promise = std::move(promise)]() mutable {
            promise.start();
            FileRead read;
            // A save of the skin that a crash cut short is finished first, from its journal.
            platform::completeInterruptedSave(path);
            read.status = skins::readSkinFile(path, &read.bytes);
            {
                const std::lock_guard lock(state->mutex);
                state->read = read;
                state->done = true;
            }
            state->finished.notify_all();
            promise.addResult(std::move(read));
            promise.finish();
        }).detach();
    }

    QFuture<FileRead> future() const { return m_future; }

    // The result, when the read ends within `wait`.
    std::optional<FileRead> wait(std::chrono::milliseconds wait) const
    {
        std::unique_lock lock(m_state->mutex);
        if (!m_state->finished.wait_for(lock, wait, [this] { return m_state->done; }))
            return std::nullopt;
        return m_state->read;
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        FileRead read;
    };
    std::shared_ptr<State> m_state;
    QFuture<FileRead> m_future;
};

// Lives as a child of the application: one per application, gone with it.
class SkinKeeper : public QObject
{
    Q_OBJECT

public:
    explicit SkinKeeper(QApplication *app)
        : QObject(app)
        , m_base(QApplication::palette())
    {
        setObjectName(QStringLiteral("brisquelSkinKeeper"));
        m_settle.setSingleShot(true);
        m_settle.setInterval(settleMs);
        connect(&m_settle, &QTimer::timeout, this, [this] { startRead(); });
        connect(&m_read, &QFutureWatcher<FileRead>::finished, this, [this] {
            m_reading = false;
            if (m_read.future().resultCount() > 0)
                take(m_read.result());
            // A change came while the file was read: look again.
            if (std::exchange(m_readAgain, false))
                m_settle.start();
        });
        const auto later = [this] { m_settle.start(); };
        connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, later);
        connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, later);
    }

    SkinStatus attach(const QString &path)
    {
        m_path = QFileInfo(path).absoluteFilePath();
        m_applied.clear();
        if (const QStringList watched = m_watcher.files() + m_watcher.directories(); !watched.isEmpty())
            m_watcher.removePaths(watched);
        // The folder too: a safe save renames a new file over the old one, and a file that
        // doesn't exist yet may be written later.
        const QString folder = QFileInfo(m_path).absolutePath();
        if (QFileInfo(folder).isDir())
            m_watcher.addPath(folder);
        // A read still hanging on the last file is left to itself.
        m_reading = false;
        m_readAgain = false;
        const BackgroundRead read = startRead();
        if (const std::optional<FileRead> result = read.wait(attachWait))
            return take(*result);
        return SkinStatus::Pending;
    }

private:
    // One read at a time: a read that hangs isn't joined by more.
    BackgroundRead startRead()
    {
        if (m_reading && m_lastRead) {
            m_readAgain = true;
            return *m_lastRead;
        }
        m_reading = true;
        m_lastRead.emplace(m_path);
        m_read.setFuture(m_lastRead->future());
        return *m_lastRead;
    }

    SkinStatus take(const FileRead &read)
    {
        if (read.status != SkinStatus::Ok)
            return read.status;
        // The file answered: watch it for edits in place too.
        if (!m_watcher.files().contains(m_path))
            m_watcher.addPath(m_path);
        const QByteArray &bytes = read.bytes;
        // The folder's other files change too; the skin only when its bytes do.
        if (!m_applied.isEmpty() && bytes == m_applied)
            return m_appliedStatus;
        const skins::SkinLoad load = skins::parseSkin(bytes);
        // A file that turns bad leaves the look as it is.
        if (load.status != SkinStatus::Ok)
            return load.status;
        const skins::Skin &skin = load.skin;
        m_applied = bytes;
        QApplication::setPalette(skin.palette(m_base));
        // Setting a style sheet re-polishes every widget: only when it changes.
        if (qApp->styleSheet() != skin.styleSheet)
            replaceStyleSheet(skin.styleSheet);
        m_appliedStatus = SkinStatus::Ok;
        // Palette and sheet each pass on their own, yet together, or on a window's own white
        // pages, they can still leave a text unreadable: then the plain look comes back.
        if (anyIllegibleText()) {
            QApplication::setPalette(m_base);
            if (!qApp->styleSheet().isEmpty())
                replaceStyleSheet(QString());
            m_appliedStatus = SkinStatus::IllegibleText;
        }
        return m_appliedStatus;
    }

    static bool anyIllegibleText()
    {
        // The widgets take a new application palette from posted events: they go first.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::ApplicationPaletteChange);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::PaletteChange);
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(),
                           [](QWidget *window) { return skins::firstIllegibleText(window) != nullptr; });
    }

    // A skin's sheet never sets a font, yet Qt re-polishing a widget that an older sheet
    // styled can hand it the application's font in place of its parent's: each keeps the
    // font it had.
    static void replaceStyleSheet(const QString &sheet)
    {
        std::vector<std::pair<QPointer<QWidget>, QFont>> fonts;
        if (!qApp->styleSheet().isEmpty()) {
            for (QWidget *widget : QApplication::allWidgets())
                fonts.emplace_back(widget, widget->font());
        }
        qApp->setStyleSheet(sheet);
        for (const auto &[widget, font] : fonts) {
            if (widget && widget->font() != font)
                widget->setFont(font);
        }
    }

    const QPalette m_base;
    QString m_path;
    QByteArray m_applied;
    SkinStatus m_appliedStatus = SkinStatus::Ok;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QFutureWatcher<FileRead> m_read;
    std::optional<BackgroundRead> m_lastRead;
    bool m_reading = false;
    bool m_readAgain = false;
};

SkinStatus attach(const char *skinFile)
{
    if (!skinFile || !*skinFile)
        return SkinStatus::BadArguments;
    // The name comes in the program's text encoding, relative to the working folder.
    QStringDecoder decoder("GB18030");
    const QString name = decoder(QByteArrayView(skinFile));
    if (!decoder.isValid() || decoder.hasError())
        return SkinStatus::BadArguments;
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return SkinStatus::NoApplication;
    auto *keeper = app->findChild<SkinKeeper *>(QStringLiteral("brisquelSkinKeeper"), Qt::FindDirectChildrenOnly);
    if (!keeper)
        keeper = new SkinKeeper(app);
    return keeper->attach(name);
}

} // namespace

int BRISQUEL_SKIN_CALL SkinH_AttachEx(const char *skinFile, const char * /*password*/)
{
    return static_cast<int>(attach(skinFile));
}

#include "skin_library.moc"
