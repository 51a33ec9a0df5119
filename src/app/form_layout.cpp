#include "app/form_layout.h"

#include "app/branding.h"
#include "app/controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImageReader>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>
#include <qpa/qplatformfontdatabase.h>

#include <map>

void registerAssets()
{
    Q_INIT_RESOURCE(assets);
}

namespace app {

namespace {

const QColor darkRed(192, 0, 0);
const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);

const FontStyle song9Bold{9, true};
const FontStyle song10_5{10.5};
const FontStyle song10_5Bold{10.5, true};
const FontStyle song12{12};
const FontStyle song12Underlined{12, false, false, true};
const FontStyle song12BoldItalic{12, true, true};

std::vector<ControlRow> makeLayout()
{
    const QString frame1 = QStringLiteral("Frame1");
    const QString frame2 = QStringLiteral("Frame2");
    const QString frame3 = QStringLiteral("Frame3");
    const QString frame4 = QStringLiteral("Frame4");
    const QString startPicture = QStringLiteral(":/assets/start_normal.jpg");

    return {
        // The window surface, front to back. The frames are placed on the page area at
        // start-up; these are their stored positions.
        {.name = frame4, .kind = Kind::Frame, .left = 8880, .top = 5880, .width = 8775, .height = 4215,
         .text = QStringLiteral("技术支持"), .tab = 26, .look = Hidden},
        {.name = frame3, .kind = Kind::Frame, .left = 0, .top = 5880, .width = 8775, .height = 4215,
         .text = QStringLiteral("实用工具"), .tab = 25, .look = Hidden},
        {.name = frame2, .kind = Kind::Frame, .left = 8880, .top = 1200, .width = 8655, .height = 4215,
         .text = QStringLiteral("清理垃圾注册"), .tab = 24, .look = Hidden},
        {.name = frame1, .kind = Kind::Frame, .left = 8880, .top = 0, .width = 8655, .height = 4215,
         .text = QStringLiteral("清理垃圾文件"), .tab = 11, .look = Hidden},
        {.name = QStringLiteral("Drive1"), .kind = Kind::DriveList, .left = 240, .top = 3840, .width = 1335,
         .height = 300, .tab = 9, .look = Hidden},
        {.name = QStringLiteral("OEMINFO"), .kind = Kind::TextBox, .left = 2520, .top = 2400, .width = 2295,
         .height = 1335, .text = QStringLiteral("×获取失败\r\n"), .toolTip = QStringLiteral("双击编辑我的OEM文本"),
         .tab = 1, .look = ReadOnly | Hand},
        {.name = QStringLiteral("Web"), .kind = Kind::WebView, .left = 4920, .top = 1200, .width = 3855,
         .height = 4215, .tab = 0},
        {.name = QStringLiteral("Label8"), .kind = Kind::Label, .left = 0, .top = 5520, .width = 8895,
         .height = 255, .text = branding::footerLine(), .font = song10_5Bold, .tab = 10, .look = Centred},
        {.name = QStringLiteral("Label6"), .kind = Kind::Label, .left = 120, .top = 4920, .width = 4695,
         .height = 255, .text = QStringLiteral("硬盘容量："), .font = song12, .tab = 8},
        {.name = QStringLiteral("Label7"), .kind = Kind::Label, .left = 120, .top = 5160, .width = 4695,
         .height = 255, .text = QStringLiteral("主盘剩余："), .font = song12, .tab = 7},
        {.name = QStringLiteral("Label5"), .kind = Kind::Label, .left = 120, .top = 4680, .width = 4695,
         .height = 255, .text = QStringLiteral("当前用户："), .font = song12, .tab = 6},
        {.name = QStringLiteral("Label4"), .kind = Kind::Label, .left = 120, .top = 4440, .width = 4695,
         .height = 255, .text = QStringLiteral("电脑名称："), .font = song12, .tab = 5},
        {.name = QStringLiteral("Label3"), .kind = Kind::Label, .left = 120, .top = 4200, .width = 4695,
         .height = 255, .text = QStringLiteral("操作系统："), .font = song12, .tab = 4},
        {.name = QStringLiteral("Label2"), .kind = Kind::Label, .left = 120, .top = 3960, .width = 4695,
         .height = 180, .text = QStringLiteral("系统基本信息"), .font = song9Bold, .tab = 3, .look = Centred},
        {.name = QStringLiteral("Img2"), .kind = Kind::Picture, .left = 9600, .top = 120, .width = 2535,
         .height = 810, .picture = QStringLiteral(":/assets/start_pressed.jpg"), .look = Hidden | Stretched},
        {.name = QStringLiteral("Img1"), .kind = Kind::Picture, .left = 9000, .top = 120, .width = 2505,
         .height = 810, .picture = startPicture, .look = Hidden | Stretched},
        {.name = QStringLiteral("Label1"), .kind = Kind::Label, .left = 165, .top = 1200, .width = 4605,
         .height = 180, .text = QStringLiteral("系统OEM信息"), .font = song9Bold, .tab = 2, .look = Centred},
        {.name = QStringLiteral("OEMLINKICON"), .kind = Kind::Picture, .left = 480, .top = 1920, .width = 1575,
         .height = 1095, .toolTip = QStringLiteral("双击编辑我的OEM图标"),
         .picture = QStringLiteral(":/assets/oem_placeholder.bmp"), .look = Stretched | Hand},
        {.name = QStringLiteral("Image7"), .kind = Kind::Picture, .left = 120, .top = 1440, .width = 2295,
         .height = 2295, .picture = QStringLiteral(":/assets/monitor.jpg"), .look = Stretched},
        {.name = QStringLiteral("OEMLOGO"), .kind = Kind::Picture, .left = 2520, .top = 1440, .width = 2295,
         .height = 855, .toolTip = QStringLiteral("双击编辑我的OEM图片"),
         .picture = QStringLiteral(":/assets/oem_placeholder.bmp"), .look = Stretched | Hand},
        {.name = QStringLiteral("Image6"), .kind = Kind::Picture, .left = 4920, .top = 120, .width = 3870,
         .height = 855, .toolTip = branding::bannerTooltip(), .picture = QStringLiteral(":/assets/banner_top.jpg"),
         .look = Stretched | Hand},
        {.name = QStringLiteral("Image5"), .kind = Kind::Picture, .left = 120, .top = 120, .width = 855,
         .height = 855, .toolTip = QStringLiteral("系统信息"), .picture = QStringLiteral(":/assets/tab_sysinfo.jpg"),
         .look = Stretched | Hand | Bordered},
        {.name = QStringLiteral("Image4"), .kind = Kind::Picture, .left = 1080, .top = 120, .width = 855,
         .height = 855, .toolTip = QStringLiteral("清理垃圾"), .picture = QStringLiteral(":/assets/tab_junk.jpg"),
         .look = Stretched | Hand},
        {.name = QStringLiteral("Image3"), .kind = Kind::Picture, .left = 2040, .top = 120, .width = 855,
         .height = 855, .toolTip = QStringLiteral("清理痕迹"), .picture = QStringLiteral(":/assets/tab_traces.jpg"),
         .look = Stretched | Hand},
        {.name = QStringLiteral("Image2"), .kind = Kind::Picture, .left = 3000, .top = 120, .width = 855,
         .height = 855, .toolTip = QStringLiteral("实用工具"), .picture = QStringLiteral(":/assets/tab_tools.jpg"),
         .look = Stretched | Hand},
        {.name = QStringLiteral("Image1"), .kind = Kind::Picture, .left = 3960, .top = 120, .width = 855,
         .height = 855, .toolTip = QStringLiteral("技术支持"), .picture = QStringLiteral(":/assets/tab_support.jpg"),
         .look = Stretched | Hand},

        // The junk-file page.
        {.name = QStringLiteral("Wjqljd"), .kind = Kind::LineEdit, .parent = frame1, .left = 1320, .top = 240,
         .width = 615, .height = 270, .text = QStringLiteral("0"), .tab = 23, .look = Hidden},
        {.name = QStringLiteral("Wjqltm"), .kind = Kind::Timer, .parent = frame1},
        {.name = QStringLiteral("Command4"), .kind = Kind::Button, .parent = frame1, .left = 5880, .top = 3360,
         .width = 2415, .height = 495, .text = QStringLiteral("保存设置"), .tab = 18},
        {.name = QStringLiteral("Command3"), .kind = Kind::Button, .parent = frame1, .left = 5880, .top = 2760,
         .width = 2415, .height = 495, .text = QStringLiteral("什么是垃圾文件"), .tab = 17},
        {.name = QStringLiteral("Command2"), .kind = Kind::Button, .parent = frame1, .left = 5880, .top = 2160,
         .width = 2415, .height = 495, .text = QStringLiteral("删除此清理对象"), .tab = 16},
        {.name = QStringLiteral("Command1"), .kind = Kind::Button, .parent = frame1, .left = 5880, .top = 1560,
         .width = 2415, .height = 495, .text = QStringLiteral("自定义清理对象"), .tab = 15},
        {.name = QStringLiteral("List1"), .kind = Kind::ListBox, .parent = frame1, .left = 360, .top = 1800,
         .width = 5415, .height = 2040, .tab = 14},
        {.name = QStringLiteral("Wjqljdt"), .kind = Kind::ProgressBar, .parent = frame1, .left = 1200, .top = 840,
         .width = 4575, .height = 375, .tab = 12},
        {.name = QStringLiteral("Text1"), .kind = Kind::LineEdit, .parent = frame1, .left = 4440, .top = 1200,
         .width = 2895, .height = 375, .font = song10_5, .tab = 20, .look = Hidden},
        {.name = QStringLiteral("Command5"), .kind = Kind::Button, .parent = frame1, .left = 7320, .top = 1200,
         .width = 975, .height = 375, .text = QStringLiteral("确 定"), .tab = 21, .look = Hidden},
        {.name = QStringLiteral("Label11"), .kind = Kind::Label, .parent = frame1, .left = 4800, .top = 600,
         .width = 960, .height = 240, .text = QStringLiteral("停止清理"), .font = song12Underlined,
         .colour = darkRed, .tab = 22, .look = FitsText | Hand},
        {.name = QStringLiteral("Label10"), .kind = Kind::Label, .parent = frame1, .left = 360, .top = 1560,
         .width = 720, .height = 180, .text = QStringLiteral("清理对象"), .tab = 19, .look = FitsText},
        {.name = QStringLiteral("Image9"), .kind = Kind::Picture, .parent = frame1, .left = 5880, .top = 480,
         .width = 2415, .height = 735, .picture = startPicture, .look = Stretched | Hand},
        {.name = QStringLiteral("Wjqlwb"), .kind = Kind::Label, .parent = frame1, .left = 1200, .top = 600,
         .width = 3600, .height = 240, .text = QStringLiteral("准备就绪..."), .font = song12, .tab = 13},
        {.name = QStringLiteral("Image8"), .kind = Kind::Picture, .parent = frame1, .left = 360, .top = 480,
         .width = 735, .height = 735, .picture = QStringLiteral(":/assets/tab_junk.jpg"), .look = Stretched},

        // The junk-registry page.
        {.name = QStringLiteral("Zcqljd"), .kind = Kind::LineEdit, .parent = frame2, .left = 1320, .top = 240,
         .width = 615, .height = 270, .text = QStringLiteral("0"), .tab = 38, .look = Hidden},
        {.name = QStringLiteral("Zcqltm"), .kind = Kind::Timer, .parent = frame2},
        {.name = QStringLiteral("Command9"), .kind = Kind::Button, .parent = frame2, .left = 5880, .top = 3360,
         .width = 2415, .height = 495, .text = QStringLiteral("保存设置"), .tab = 35},
        {.name = QStringLiteral("Command8"), .kind = Kind::Button, .parent = frame2, .left = 5880, .top = 2760,
         .width = 2415, .height = 495, .text = QStringLiteral("什么是垃圾注册表项"), .tab = 34},
        {.name = QStringLiteral("Command7"), .kind = Kind::Button, .parent = frame2, .left = 5880, .top = 2160,
         .width = 2415, .height = 495, .text = QStringLiteral("删除此清理对象"), .tab = 33},
        {.name = QStringLiteral("Command6"), .kind = Kind::Button, .parent = frame2, .left = 5880, .top = 1560,
         .width = 2415, .height = 495, .text = QStringLiteral("自定义清理对象"), .tab = 32},
        {.name = QStringLiteral("List2"), .kind = Kind::ListBox, .parent = frame2, .left = 360, .top = 1800,
         .width = 5415, .height = 2040, .tab = 30},
        {.name = QStringLiteral("Zcqljdt"), .kind = Kind::ProgressBar, .parent = frame2, .left = 1200, .top = 840,
         .width = 4575, .height = 375, .tab = 27},
        {.name = QStringLiteral("Command10"), .kind = Kind::Button, .parent = frame2, .left = 7320, .top = 1200,
         .width = 975, .height = 375, .text = QStringLiteral("确 定"), .tab = 36, .look = Hidden},
        {.name = QStringLiteral("Text2"), .kind = Kind::LineEdit, .parent = frame2, .left = 4440, .top = 1200,
         .width = 2895, .height = 375, .font = song10_5, .tab = 37, .look = Hidden},
        {.name = QStringLiteral("Label13"), .kind = Kind::Label, .parent = frame2, .left = 360, .top = 1560,
         .width = 720, .height = 180, .text = QStringLiteral("清理对象"), .tab = 31, .look = FitsText},
        {.name = QStringLiteral("Label12"), .kind = Kind::Label, .parent = frame2, .left = 4800, .top = 600,
         .width = 975, .height = 255, .text = QStringLiteral("停止清理"), .font = song12Underlined,
         .colour = darkRed, .tab = 29},
        {.name = QStringLiteral("Zcqlwb"), .kind = Kind::Label, .parent = frame2, .left = 1200, .top = 600,
         .width = 3600, .height = 240, .text = QStringLiteral("准备就绪..."), .font = song12, .tab = 28},
        {.name = QStringLiteral("Image11"), .kind = Kind::Picture, .parent = frame2, .left = 5880, .top = 480,
         .width = 2415, .height = 735, .picture = startPicture, .look = Stretched | CuffedHand},
        {.name = QStringLiteral("Image10"), .kind = Kind::Picture, .parent = frame2, .left = 360, .top = 480,
         .width = 735, .height = 735, .picture = QStringLiteral(":/assets/tab_traces.jpg"), .look = Stretched},

        // The utilities page.
        {.name = QStringLiteral("Image13"), .kind = Kind::Picture, .parent = frame3, .left = 1440, .top = 480,
         .width = 855, .height = 855, .toolTip = QStringLiteral("文件粉碎"),
         .picture = QStringLiteral(":/assets/tool_shredder.ico"), .look = Stretched | Hand},
        {.name = QStringLiteral("Image12"), .kind = Kind::Picture, .parent = frame3, .left = 360, .top = 480,
         .width = 855, .height = 855, .toolTip = QStringLiteral("更换皮肤"),
         .picture = QStringLiteral(":/assets/tool_skin.ico"), .look = Stretched | Hand},

        // The support page.
        {.name = QStringLiteral("Guanyutxt"), .kind = Kind::TextBox, .parent = frame4, .left = 240, .top = 2040,
         .width = 5235, .height = 1815, .tab = 39, .look = ReadOnly},
        {.name = QStringLiteral("Label9"), .kind = Kind::Label, .parent = frame4, .left = 5640, .top = 3480,
         .width = 2895, .height = 255, .text = QStringLiteral("在线反馈BUG,奖金币啦"), .font = song12BoldItalic,
         .colour = red, .tab = 41, .look = Centred | Hand},
        {.name = QStringLiteral("Shuoming"), .kind = Kind::Label, .parent = frame4, .left = 5760, .top = 360,
         .width = 2655, .height = 2655, .font = song9Bold, .colour = blue, .tab = 40, .look = Centred},
        {.name = QStringLiteral("Image14"), .kind = Kind::Picture, .parent = frame4, .left = 240, .top = 360,
         .width = 5235, .height = 1500, .picture = QStringLiteral(":/assets/banner_support.bmp"), .look = Hand},
    };
}

const QString handPicture = QStringLiteral(":/assets/hand.png");
const QString cuffedHandPicture = QStringLiteral(":/assets/hand2.png");

// Where the pictures come from: read ahead where they were, else read now. A file used by
// several controls is read once and its pixmap shared, as QPixmap's own cache would do.
class PictureSource
{
public:
    PictureSource()
        : m_readAhead(qApp ? qApp->findChild<PicturesReadAhead *>(QString(), Qt::FindDirectChildrenOnly) : nullptr)
    {
    }

    QPixmap pixmap(const QString &path)
    {
        const auto found = m_pixmaps.constFind(path);
        if (found != m_pixmaps.constEnd())
            return *found;
        QImage image = m_readAhead ? m_readAhead->take(path) : QImage();
        const QPixmap pixmap = image.isNull() ? QPixmap(pictureForRatio(path, qApp ? qApp->devicePixelRatio() : 1.0))
                                              : QPixmap::fromImage(std::move(image));
        m_pixmaps.insert(path, pixmap);
        return pixmap;
    }

private:
    PicturesReadAhead *m_readAhead;
    QHash<QString, QPixmap> m_pixmaps;
};

QCursor handCursor(const QPixmap &hand)
{
    // 32 x 32 monochrome pointing hand, hot spot at column 6, row 0.
    return hand.isNull() ? QCursor(Qt::PointingHandCursor) : QCursor(hand, 6, 0);
}

// Maps the Windows Song faces the controls ask for to the installed Song-style face, so
// that no font request for them ends in a search through every font on the system. Returns
// whether that face carries bitmaps of its own for the window's text sizes.
bool substituteSongFonts()
{
    // 宋体 and its relatives are Windows fonts; a Song-style face from the system stands
    // in for them. A substitution alone still lets Qt search every font for the missing
    // name first (FcFontSort, tens of millions of instructions at start-up); a name that
    // Qt knows as an alias of an installed face goes straight to that face.
    const QStringList songFaces{QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Serif CJK SC")};
    const QStringList windowsFaces{QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("新宋体")};
    for (const QString &windowsFace : windowsFaces)
        QFont::insertSubstitutions(windowsFace, songFaces);
    for (const QString &songFace : songFaces) {
        if (QFontDatabase::hasFamily(songFace)) {
            for (const QString &windowsFace : windowsFaces)
                QPlatformFontDatabase::registerAliasToFontFamily(songFace, windowsFace);
            return songFace == songFaces.first(); // UMing has bitmaps from 11 to 16 pixels
        }
    }
    return false;
}

QRect pixelRect(const ControlRow &row)
{
    return {toPixels(row.left), toPixels(row.top), toPixels(row.width), toPixels(row.height)};
}

QWidget *makeWidget(const ControlRow &row, QWidget *parent, PictureSource &pictures)
{
    switch (row.kind) {
    case Kind::Frame: {
        auto *frame = new PageFrame(row.text, parent);
        frame->setAutoFillBackground(true);
        QPalette palette = frame->palette();
        palette.setColor(QPalette::Window, Qt::white);
        frame->setPalette(palette);
        return frame;
    }
    case Kind::Label: {
        auto *label = new ClickLabel(parent);
        label->setText(row.text);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(row.look & Centred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(!(row.look & FitsText));
        return label;
    }
    case Kind::Picture: {
        auto *picture = new ClickLabel(parent);
        picture->setPixmap(pictures.pixmap(row.picture));
        picture->setScaledContents(row.look & Stretched);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        picture->setBorder(row.look & Bordered);
        return picture;
    }
    case Kind::LineEdit: {
        auto *edit = new EntryBox(parent);
        edit->setText(row.text);
        return edit;
    }
    case Kind::TextBox: {
        auto *box = new TextBox(parent);
        box->setText(row.text);
        box->setReadOnly(row.look & ReadOnly);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return box;
    }
    case Kind::Button:
        return new QPushButton(row.text, parent);
    case Kind::ListBox: {
        auto *list = new QListWidget(parent);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setSortingEnabled(false);
        list->setItemDelegate(new ShortTextDelegate(list));
        return list;
    }
    case Kind::DriveList:
        return new QComboBox(parent);
    case Kind::ProgressBar: {
        auto *bar = new QProgressBar(parent);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    case Kind::WebView:
        return new QWebEngineView(parent);
    case Kind::Timer:
        break;
    }
    return nullptr;
}

} // namespace

const std::vector<ControlRow> &formLayout()
{
    static const std::vector<ControlRow> layout = makeLayout();
    return layout;
}

QFont songFont(const FontStyle &style)
{
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(style.points);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    // Qt draws a face's own bitmaps only for text it does not smooth. They are what the face
    // is made to look like at these sizes, as 宋体's are on Windows and as other desktop
    // programs draw it, and they cost far less to draw than smoothed outlines. A scaled
    // screen asks for sizes without bitmaps, and there the outlines stay smoothed.
    static const bool bitmaps = substituteSongFonts();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const qreal pixels = screen ? style.points * screen->logicalDotsPerInchY() / 72 : 0;
    if (bitmaps && screen && screen->devicePixelRatio() == 1 && pixels > 10.5 && pixels < 16.5)
        font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QString pictureForRatio(const QString &path, qreal pixelRatio)
{
    if (pixelRatio <= 1.0)
        return path;
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0)
        return path;
    // QImageReader gives an "@2x" file a device pixel ratio of 2 by itself.
    QString twin = path;
    twin.insert(dot, QStringLiteral("@2x"));
    return QFile::exists(twin) ? twin : path;
}

void buildForm(QWidget *form)
{
    PictureSource pictures;
    const QCursor hand = handCursor(pictures.pixmap(handPicture));
    const QCursor cuffedHand = handCursor(pictures.pixmap(cuffedHandPicture));
    std::map<QString, QWidget *> containers{{QString(), form}};
    std::vector<QWidget *> focusChain(64, nullptr);
    std::vector<std::pair<QWidget *, QWidget *>> stacking; // widget, container

    for (const ControlRow &row : formLayout()) {
        QWidget *container = containers.at(row.parent);
        if (row.kind == Kind::Timer) {
            auto *timer = new QTimer(container);
            timer->setObjectName(row.name);
            timer->setInterval(1);
            timer->setTimerType(Qt::PreciseTimer);
            continue;
        }
        QWidget *widget = makeWidget(row, container, pictures);
        widget->setObjectName(row.name);
        widget->setGeometry(pixelRect(row));
        if (row.font.points > 0)
            widget->setFont(songFont(row.font));
        if (row.colour.isValid()) {
            QPalette palette = widget->palette();
            palette.setColor(QPalette::WindowText, row.colour);
            widget->setPalette(palette);
        }
        if (!row.toolTip.isEmpty())
            widget->setToolTip(row.toolTip);
        if (row.look & (Hand | CuffedHand)) {
            const QCursor &cursor = (row.look & CuffedHand) ? cuffedHand : hand;
            widget->setCursor(cursor);
            // A text box's own text area would keep its I-beam.
            if (auto *scrolled = qobject_cast<QAbstractScrollArea *>(widget))
                scrolled->viewport()->setCursor(cursor);
        }
        if (row.look & FitsText)
            widget->adjustSize();
        if (row.kind == Kind::Picture || row.kind == Kind::Label || row.kind == Kind::Frame
            || row.kind == Kind::ProgressBar)
            widget->setFocusPolicy(Qt::NoFocus);
        widget->setVisible(!(row.look & Hidden));
        if (row.kind == Kind::Frame)
            containers[row.name] = widget;
        if (row.tab >= 0 && widget->focusPolicy() != Qt::NoFocus) {
            if (focusChain.size() <= size_t(row.tab))
                focusChain.resize(row.tab + 1, nullptr);
            focusChain[row.tab] = widget;
        }
        stacking.emplace_back(widget, container);
    }

    // Rows are front to back: raising them last-to-first leaves the first on top.
    for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
        it->first->raise();

    QWidget *previous = nullptr;
    for (QWidget *widget : focusChain) {
        if (!widget)
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

PicturesReadAhead::PicturesReadAhead(QApplication *app)
    : QObject(app)
{
    registerAssets();
    QStringList paths{handPicture, cuffedHandPicture};
    for (const ControlRow &row : formLayout()) {
        if (!row.picture.isEmpty() && !paths.contains(row.picture))
            paths.append(row.picture);
    }
    const qreal ratio = app->devicePixelRatio();
    m_reading = std::async(std::launch::async, [paths, ratio] {
        QHash<QString, QImage> pictures;
        for (const QString &path : paths)
            pictures.insert(path, QImageReader(pictureForRatio(path, ratio)).read());
        return pictures;
    });
}

PicturesReadAhead::~PicturesReadAhead()
{
    if (m_reading.valid())
        m_reading.wait();
}

QImage PicturesReadAhead::take(const QString &path)
{
    if (m_reading.valid())
        m_pictures = m_reading.get();
    return m_pictures.take(path);
}

} // namespace app
