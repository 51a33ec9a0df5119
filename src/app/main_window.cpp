#include "app/main_window.h"

#include "app/branding.h"
#include "app/controls.h"
#include "app/form_layout.h"
#include "app/frame_pacer.h"
#include "app/pages/cleanup_page.h"
#include "app/pages/support_page.h"
#include "app/pages/system_page.h"
#include "brisquel/skin_places.h"
#include "cleanup/files/pattern_delete.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/process.h"
#include "platform/skin.h"
#include "support/about_text.h"
#include "sysinfo/basic_facts.h"
#include "sysinfo/drive_source.h"
#include "sysinfo/oem.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <stdexcept>
#include <string>

namespace {

// What a window manager typically adds around a fixed-size window (1 pixel left, right
// and bottom, a 20-pixel title bar); the real frame is checked once the window is shown.
const QSize assumedFrame(2, 21);

// A control of the stored layout; the layout always has it, so a missing one is a fault
// of the program.
template <typename T>
T *control(const QWidget *form, const char *name)
{
    auto *widget = form->findChild<T *>(QLatin1String(name));
    if (!widget)
        throw std::logic_error(std::string("missing control ") + name);
    return widget;
}

cleanup::PageControls pageControls(const QWidget *form, const char *list, const char *entryBox,
                                   const char *okButton, const char *timer, const char *runIndex,
                                   const char *progressBar, const char *status, const char *startPicture)
{
    return {control<QListWidget>(form, list),         control<QLineEdit>(form, entryBox),
            control<QPushButton>(form, okButton),     control<QTimer>(form, timer),
            control<QLineEdit>(form, runIndex),       control<QProgressBar>(form, progressBar),
            control<QLabel>(form, status),            control<QWidget>(form, startPicture)};
}

void fillInDefaults(FormServices &services)
{
    if (!services.showMessage)
        services.showMessage = platform::showMessage;
    if (!services.makeFileDeleter)
        services.makeFileDeleter = [] { return std::make_unique<cleanup::files::FilePatternDeleter>(); };
    if (!services.makeRegistryDeleter)
        services.makeRegistryDeleter = [] { return cleanup::registry::makeRegistryDeleter(); };
    if (!services.drives)
        services.drives = std::make_shared<sysinfo::SystemDriveSource>();
    if (services.programDir.isEmpty())
        services.programDir = QCoreApplication::applicationDirPath();
}

} // namespace

Form1::Form1(FormServices services, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_services(std::move(services))
{
    registerAssets();
    fillInDefaults(m_services);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(branding::windowTitle());
    setWindowIcon(QIcon(QStringLiteral(":/assets/brisquel.ico")));
    setFont(app::songFont({9}));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    app::buildForm(this);
    new FramePacer(this);
    auto *drives = findChild<QComboBox *>(QStringLiteral("Drive1"));
    drives->addItems(m_services.drives->entries());

    m_filesPage = std::make_unique<cleanup::CleanupPage>(
        this, pageControls(this, "List1", "Text1", "Command5", "Wjqltm", "Wjqljd", "Wjqljdt", "Wjqlwb", "Image9"),
        cleanup::filesPageConfig(branding::forumHome), m_services.makeFileDeleter(), m_services.showMessage);
    m_registryPage = std::make_unique<cleanup::CleanupPage>(
        this, pageControls(this, "List2", "Text2", "Command10", "Zcqltm", "Zcqljd", "Zcqljdt", "Zcqlwb", "Image11"),
        cleanup::registryPageConfig(branding::forumHome), m_services.makeRegistryDeleter(), m_services.showMessage);
    if (m_services.searchPrefixes) {
        m_filesPage->setPrefixSearch(m_services.searchPrefixes);
        m_registryPage->setPrefixSearch(m_services.searchPrefixes);
    }
    connectHandlers();
    Form_Load();
    centreOnScreen();
}

Form1::~Form1() = default;

ClickLabel *Form1::picture(const char *name) const
{
    return findChild<ClickLabel *>(QString::fromLatin1(name));
}

QGroupBox *Form1::frame(const char *name) const
{
    return findChild<QGroupBox *>(QString::fromLatin1(name));
}

// Start-up: runs once, before the window is first shown.
void Form1::Form_Load()
{
    // The outer size, frame included.
    setClientSizeForOuter(assumedFrame);
    初始化();
    findChild<QLabel *>(QStringLiteral("Shuoming"))->setText(branding::contactBlock());

    // From here on a step that fails is skipped and the next one runs.
    // The product page loads in its own time.
    auto *web = findChild<QWebEngineView *>(QStringLiteral("Web"));
    // Sites answer in the window's language.
    web->page()->profile()->setHttpAcceptLanguage(QStringLiteral("zh-CN,zh"));
    web->setUrl(QUrl(branding::productPage));
    platform::attachSkin(m_services.programDir, QString::fromUtf8(skins::skinFileName));

    app::showPicture(picture("OEMLOGO"), sysinfo::readOemPicture(sysinfo::oemLogoPath));
    app::showPicture(picture("OEMLINKICON"), sysinfo::readOemPicture(sysinfo::oemLinkIconPath));
    showBasicFacts();
    if (const std::optional<QString> oemText = sysinfo::readOemText())
        findChild<TextBox *>(QStringLiteral("OEMINFO"))->setText(*oemText);

    // Each of these reports its own failures.
    清理垃圾文件();
    清理垃圾注册();
    加载关于文本();
}

// The facts of the system page's lower block, for the drives the drive list shows.
void Form1::showBasicFacts()
{
    QStringList driveEntries;
    if (const auto *drives = findChild<QComboBox *>(QStringLiteral("Drive1"))) {
        for (int i = 0; i < drives->count(); ++i)
            driveEntries.append(drives->itemText(i));
    }
    const auto label = [this](const char *name) { return findChild<QLabel *>(QLatin1String(name)); };
    app::showBasicFacts({label("Label3"), label("Label4"), label("Label5"), label("Label6"), label("Label7")},
                        sysinfo::basicFacts(driveEntries, *m_services.drives));
}

// Stacks the four page frames onto the page area.
void Form1::初始化()
{
    const QRect pageArea(app::toPixels(120), app::toPixels(1200), app::toPixels(8655), app::toPixels(4215));
    for (const char *name : {"Frame1", "Frame2", "Frame3", "Frame4"})
        frame(name)->setGeometry(pageArea);
}

void Form1::setClientSizeForOuter(QSize frameMargins)
{
    const QSize outer(app::toPixels(outerWidth), app::toPixels(outerHeight));
    setFixedSize(outer - frameMargins);
}

void Form1::centreOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QSize outer(app::toPixels(outerWidth), app::toPixels(outerHeight));
    move(screen->availableGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2));
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_sizeChecked)
        return;
    m_sizeChecked = true;
    // Window managers differ in their frames: once the real frame is known, make the
    // outer size right.
    QTimer::singleShot(0, this, [this] {
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        const QSize margins(outer.width() - inner.width(), outer.height() - inner.height());
        if (!margins.isNull() && outer.size() != QSize(app::toPixels(outerWidth), app::toPixels(outerHeight)))
            setClientSizeForOuter(margins);
    });
}

void Form1::connectHandlers()
{
    const auto onClick = [this](const char *name, void (Form1::*handler)()) {
        connect(picture(name), &ClickLabel::clicked, this, handler);
    };
    onClick("Image1", &Form1::Image1_Click);
    onClick("Image2", &Form1::Image2_Click);
    onClick("Image3", &Form1::Image3_Click);
    onClick("Image4", &Form1::Image4_Click);
    onClick("Image5", &Form1::Image5_Click);
    onClick("Image6", &Form1::Image6_Click);
    onClick("Image9", &Form1::Image9_Click);
    onClick("Image11", &Form1::Image11_Click);
    onClick("Image12", &Form1::Image12_Click);
    onClick("Image13", &Form1::Image13_Click);
    onClick("Image14", &Form1::Image14_Click);
    onClick("Label11", &Form1::Label11_Click);
    onClick("Label12", &Form1::Label12_Click);

    const auto onButton = [this](const char *name, void (Form1::*handler)()) {
        connect(findChild<QPushButton *>(QString::fromLatin1(name)), &QPushButton::clicked, this, handler);
    };
    onButton("Command1", &Form1::Command1_Click);
    onButton("Command2", &Form1::Command2_Click);
    onButton("Command3", &Form1::Command3_Click);
    onButton("Command4", &Form1::Command4_Click);
    onButton("Command5", &Form1::Command5_Click);
    onButton("Command6", &Form1::Command6_Click);
    onButton("Command7", &Form1::Command7_Click);
    onButton("Command8", &Form1::Command8_Click);
    onButton("Command9", &Form1::Command9_Click);
    onButton("Command10", &Form1::Command10_Click);

    connect(findChild<QTimer *>(QStringLiteral("Wjqltm")), &QTimer::timeout, this, &Form1::Wjqltm_Timer);
    connect(findChild<QTimer *>(QStringLiteral("Zcqltm")), &QTimer::timeout, this, &Form1::Zcqltm_Timer);

    connect(findChild<TextBox *>(QStringLiteral("OEMINFO")), &TextBox::doubleClicked, this,
            &Form1::OEMINFO_DblClick);
    connect(picture("OEMLOGO"), &ClickLabel::doubleClicked, this, &Form1::OEMLOGO_DblClick);
    connect(picture("OEMLINKICON"), &ClickLabel::doubleClicked, this, &Form1::OEMLINKICON_DblClick);

    // The pressed looks ignore which button it was.
    const auto onPress = [this](const char *name, void (Form1::*down)(), void (Form1::*up)()) {
        connect(picture(name), &ClickLabel::mouseDown, this, down);
        connect(picture(name), &ClickLabel::mouseUp, this, up);
    };
    onPress("Image9", &Form1::Image9_MouseDown, &Form1::Image9_MouseUp);
    onPress("Image11", &Form1::Image11_MouseDown, &Form1::Image11_MouseUp);
    onPress("Image12", &Form1::Image12_MouseDown, &Form1::Image12_MouseUp);
    onPress("Image13", &Form1::Image13_MouseDown, &Form1::Image13_MouseUp);
}

// Clears the page area and every tab highlight.
void Form1::更换框架()
{
    frame("Frame1")->setVisible(false);
    frame("Frame2")->setVisible(false);
    frame("Frame3")->setVisible(false);
    frame("Frame4")->setVisible(false);
    picture("Image1")->setBorder(false);
    picture("Image2")->setBorder(false);
    picture("Image3")->setBorder(false);
    picture("Image4")->setBorder(false);
    picture("Image5")->setBorder(false);
}

void Form1::Image1_Click()
{
    更换框架();
    frame("Frame4")->setVisible(true);
    picture("Image1")->setBorder(true);
}

void Form1::Image2_Click()
{
    更换框架();
    frame("Frame3")->setVisible(true);
    picture("Image2")->setBorder(true);
}

void Form1::Image3_Click()
{
    更换框架();
    frame("Frame2")->setVisible(true);
    picture("Image3")->setBorder(true);
}

void Form1::Image4_Click()
{
    更换框架();
    frame("Frame1")->setVisible(true);
    picture("Image4")->setBorder(true);
}

void Form1::Image5_Click()
{
    更换框架();
    picture("Image5")->setBorder(true);
}

void Form1::清理垃圾文件()
{
    m_filesPage->loadList();
}

void Form1::Command1_Click() { m_filesPage->showEntryBox(); }
void Form1::Command5_Click() { m_filesPage->addEntry(); }
void Form1::Command2_Click() { m_filesPage->removeSelected(); }
void Form1::Command4_Click() { m_filesPage->saveList(); }
void Form1::Command3_Click() { m_filesPage->openHelp(); }
void Form1::Image9_Click() { m_filesPage->start(); }
void Form1::Wjqltm_Timer() { m_filesPage->tick(); }
void Form1::Label11_Click() { m_filesPage->stop(); }

void Form1::清理垃圾注册()
{
    m_registryPage->loadList();
}

void Form1::Command6_Click() { m_registryPage->showEntryBox(); }
void Form1::Command10_Click() { m_registryPage->addEntry(); }
void Form1::Command7_Click() { m_registryPage->removeSelected(); }
void Form1::Command9_Click() { m_registryPage->saveList(); }
void Form1::Command8_Click() { m_registryPage->openHelp(); }
void Form1::Image11_Click() { m_registryPage->start(); }
void Form1::Zcqltm_Timer() { m_registryPage->tick(); }
void Form1::Label12_Click() { m_registryPage->stop(); }

// The editors open the branding files where Windows keeps them; whether they exist is
// the editor's affair.
void Form1::OEMINFO_DblClick()
{
    platform::runCommandLine(sysinfo::oemInfoEditCommand, platform::ShowState::NormalFocus);
}

void Form1::OEMLOGO_DblClick()
{
    platform::runCommandLine(sysinfo::oemLogoEditCommand, platform::ShowState::NormalFocus);
}

void Form1::OEMLINKICON_DblClick()
{
    platform::runCommandLine(sysinfo::oemLinkIconEditCommand, platform::ShowState::NormalFocus);
}

void Form1::Bbscom()
{
    platform::openWebPage(branding::forumHome);
}

void Form1::Image6_Click() { Bbscom(); }
void Form1::Image14_Click() { Bbscom(); }

void Form1::Image12_Click()
{
    support::startTool(QStringLiteral("Pifu.exe"), this, m_services.showMessage);
}

void Form1::Image13_Click()
{
    support::startTool(QStringLiteral("Filefs.exe"), this, m_services.showMessage);
}

// The start pictures take their looks from the hidden picture store.
void Form1::Image9_MouseDown() { picture("Image9")->setPixmap(picture("Img2")->pixmap()); }
void Form1::Image9_MouseUp() { picture("Image9")->setPixmap(picture("Img1")->pixmap()); }
void Form1::Image11_MouseDown() { picture("Image11")->setPixmap(picture("Img2")->pixmap()); }
void Form1::Image11_MouseUp() { picture("Image11")->setPixmap(picture("Img1")->pixmap()); }
void Form1::Image12_MouseDown() { picture("Image12")->setBorder(true); }
void Form1::Image12_MouseUp() { picture("Image12")->setBorder(false); }
void Form1::Image13_MouseDown() { picture("Image13")->setBorder(true); }
void Form1::Image13_MouseUp() { picture("Image13")->setBorder(false); }

void Form1::加载关于文本()
{
    if (const std::optional<QString> about = support::readAboutText())
        findChild<TextBox *>(QStringLiteral("Guanyutxt"))->setText(*about);
}
