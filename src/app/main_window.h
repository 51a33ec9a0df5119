#pragma once

#include "app/pages/prefix_search.h"
#include "cleanup/entry_deleter.h"
#include "platform/message_box.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class ClickLabel;
class QGroupBox;
class TextBox;

namespace cleanup {
class CleanupPage;
}
namespace sysinfo {
class DriveSource;
}

// What the window takes from outside. The defaults are the real thing; tests replace
// the seams: the message box, the deletion of an entry, the drive source and the
// program folder where the skin library is looked for first.
struct FormServices
{
    platform::MessageFunction showMessage;
    std::function<std::unique_ptr<cleanup::EntryDeleter>()> makeFileDeleter;
    std::function<std::unique_ptr<cleanup::EntryDeleter>()> makeRegistryDeleter;
    std::function<cleanup::PrefixSearch()> searchPrefixes; // empty: the user's prefixes
    std::shared_ptr<const sysinfo::DriveSource> drives;
    QString programDir; // empty: the folder of the running program
};

// The one window. Its controls are built from the stored layout and hold all the
// state; the handlers below carry the names of the control and event they serve.
class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(FormServices services = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // The window's outer size, frame included.
    static constexpr int outerWidth = 9015;
    static constexpr int outerHeight = 6300;

    // Page switching.
    void Image1_Click();
    void Image2_Click();
    void Image3_Click();
    void Image4_Click();
    void Image5_Click();

    // Junk-file page.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Image9_Click();
    void Label11_Click();
    void Wjqltm_Timer();

    // Junk-registry page.
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Image11_Click();
    void Label12_Click();
    void Zcqltm_Timer();

    // System information page.
    void OEMINFO_DblClick();
    void OEMLOGO_DblClick();
    void OEMLINKICON_DblClick();

    // Picture buttons and tools.
    void Image6_Click();
    void Image14_Click();
    void Image12_Click();
    void Image13_Click();
    void Image9_MouseDown();
    void Image9_MouseUp();
    void Image11_MouseDown();
    void Image11_MouseUp();
    void Image12_MouseDown();
    void Image12_MouseUp();
    void Image13_MouseDown();
    void Image13_MouseUp();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void 初始化();
    void 更换框架();
    void 清理垃圾文件();
    void 清理垃圾注册();
    void 加载关于文本();
    void Bbscom();

    void showBasicFacts();
    void connectHandlers();
    ClickLabel *picture(const char *name) const;
    QGroupBox *frame(const char *name) const;
    void setClientSizeForOuter(QSize frameMargins);
    void centreOnScreen();

    FormServices m_services;
    std::unique_ptr<cleanup::CleanupPage> m_filesPage;
    std::unique_ptr<cleanup::CleanupPage> m_registryPage;
    bool m_sizeChecked = false;
};
