// The skin library (libSkinH_VB6.so / SkinH_VB6.dll): start-up hands it the skin file's
// name, and it dresses the whole application in that skin and keeps it current.
#include "skins/skin_file.h"

#include <QApplication>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStringDecoder>
#include <QTimer>

#if defined(_WIN32)
#define SKIN_EXPORT extern "C" __declspec(dllexport)
#else
#define SKIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif
#if defined(_WIN32) && !defined(_WIN64)
#define SKIN_CALL __stdcall
#else
#define SKIN_CALL
#endif

namespace {

using skins::SkinStatus;

// Editors and safe saves touch a file several times in a row; one look-up after they settle.
constexpr int settleMs = 100;

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
        connect(&m_settle, &QTimer::timeout, this, &SkinKeeper::apply);
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
        return apply();
    }

private:
    SkinStatus apply()
    {
        if (QFileInfo(m_path).isFile() && !m_watcher.files().contains(m_path))
            m_watcher.addPath(m_path);
        QByteArray bytes;
        if (const SkinStatus read = skins::readSkinFile(m_path, &bytes); read != SkinStatus::Ok)
            return read;
        // The folder's other files change too; the skin only when its bytes do.
        if (!m_applied.isEmpty() && bytes == m_applied)
            return SkinStatus::Ok;
        const skins::SkinLoad load = skins::parseSkin(bytes);
        // A file that turns bad leaves the look as it is.
        if (load.status != SkinStatus::Ok)
            return load.status;
        const skins::Skin &skin = load.skin;
        m_applied = bytes;
        QApplication::setPalette(skin.palette(m_base));
        // Setting a style sheet re-polishes every widget: only when it changes.
        if (qApp->styleSheet() != skin.styleSheet)
            qApp->setStyleSheet(skin.styleSheet);
        return SkinStatus::Ok;
    }

    const QPalette m_base;
    QString m_path;
    QByteArray m_applied;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
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

// The second argument is reserved and ignored. The result is a skins::SkinStatus.
SKIN_EXPORT int SKIN_CALL SkinH_AttachEx(const char *skinFile, const char * /*password*/)
{
    return static_cast<int>(attach(skinFile));
}

#include "skin_library.moc"
