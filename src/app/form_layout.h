#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <future>
#include <vector>

class QApplication;
class QWidget;

// The pictures are compiled into the app library; a static library has to ask for them.
// Outside any namespace, as Q_INIT_RESOURCE needs.
void registerAssets();

namespace app {

enum class Kind {
    Frame,       // QGroupBox with a caption
    Label,       // ClickLabel showing text
    Picture,     // ClickLabel showing a picture
    LineEdit,    // single-line text box
    TextBox,     // multi-line text box with a vertical scroll bar
    Button,      // QPushButton
    ListBox,     // QListWidget, single selection, unsorted
    DriveList,   // QComboBox listing the drives
    Timer,       // QTimer, 1 ms, stopped
    ProgressBar, // QProgressBar, 0..100
    WebView,     // QWebEngineView
};

enum Look : unsigned {
    NoLook = 0,
    Hidden = 1u << 0,
    Centred = 1u << 1,
    FitsText = 1u << 2,   // a label whose size follows its caption
    Stretched = 1u << 3,  // a picture stretched to the control
    Hand = 1u << 4,       // the pointing-hand mouse pointer
    Bordered = 1u << 5,   // one-line border around a picture
    ReadOnly = 1u << 6,
    CuffedHand = 1u << 7, // the registry page's start picture has its own drawing of the hand
};

struct FontStyle
{
    double points = 0; // 0: the window's default font
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// One control of the window. Geometry is in twips (15 per pixel), relative to the
// container's outer top-left corner. Rows are listed front to back within a container.
struct ControlRow
{
    QString name;
    Kind kind;
    QString parent; // empty: the window itself
    int left = 0, top = 0, width = 0, height = 0;
    QString text;
    QString toolTip;
    QString picture; // resource path
    FontStyle font;
    QColor colour; // text colour; invalid: the default
    int tab = -1;  // focus order, -1 for none
    unsigned look = NoLook;
};

constexpr int twipsPerPixel = 15;
constexpr int toPixels(int twips) { return twips / twipsPerPixel; }

// The window's stored layout: every control of the window, in one table.
const std::vector<ControlRow> &formLayout();

// Builds every control of the table as a child of `form`, named after the control.
void buildForm(QWidget *form);

// 宋体 in `style`. The first call maps the Windows Song faces to the installed Song-style
// face, once for the process. Where that face has bitmaps for the size, they draw the text
// on an unscaled screen.
QFont songFont(const FontStyle &style);

// The file that holds the picture at `path` for a screen of `pixelRatio` device pixels per
// window pixel: its "@2x" twin above 1 where there is one, else `path` itself.
QString pictureForRatio(const QString &path, qreal pixelRatio);

// The pictures of the table and the hand pointers, read on a worker thread from the moment
// it is made, so that decoding them runs beside the web engine's start-up. A child of the
// application; buildForm() takes the pictures from it and reads any it lacks itself.
class PicturesReadAhead : public QObject
{
    Q_OBJECT
public:
    explicit PicturesReadAhead(QApplication *app);
    ~PicturesReadAhead() override;

    // The picture at `path` as QImageReader gives it; null when it wasn't read ahead.
    QImage take(const QString &path);

private:
    std::future<QHash<QString, QImage>> m_reading;
    QHash<QString, QImage> m_pictures;
};

} // namespace app
