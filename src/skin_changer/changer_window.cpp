#include "skin_changer/changer_window.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

using skin_changer::Origin;
using skin_changer::SkinEntry;

namespace {

QString shownName(const SkinEntry &entry)
{
    switch (entry.origin) {
    case Origin::Current:
        return QStringLiteral("当前使用：%1").arg(entry.skin.name);
    case Origin::Imported:
        return QStringLiteral("%1（已导入）").arg(entry.skin.name);
    case Origin::Shipped:
        break;
    }
    return entry.skin.name;
}

// The standard look, for when the shipped standard skin is missing.
skins::Skin standardSkin()
{
    skins::Skin skin;
    skin.name = QStringLiteral("标准外观");
    skin.author = QStringLiteral("Brisquel");
    const QPalette standard = QApplication::style()->standardPalette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colourRole = QPalette::ColorRole(role);
        if (colourRole != QPalette::NoRole && !skins::roleName(colourRole).isEmpty())
            skin.colours[QPalette::Active][colourRole] = standard.color(QPalette::Active, colourRole);
    }
    return skin;
}

// Sample controls that wear the selected skin.
QWidget *makePreview(QWidget *parent)
{
    auto *preview = new QWidget(parent);
    preview->setObjectName(QStringLiteral("preview"));
    preview->setAutoFillBackground(true);
    auto *frame = new QGroupBox(QStringLiteral("示例框架"), preview);
    auto *label = new QLabel(QStringLiteral("这是一段示例文字。"), frame);
    auto *list = new QListWidget(frame);
    list->addItems({QStringLiteral("临时文件/*.tmp"), QStringLiteral("日志/*.log"), QStringLiteral("缓存/*.cache")});
    list->setCurrentRow(1);
    auto *edit = new QLineEdit(QStringLiteral("示例文本"), frame);
    auto *button = new QPushButton(QStringLiteral("按钮"), frame);
    auto *disabled = new QPushButton(QStringLiteral("不可用"), frame);
    disabled->setEnabled(false);
    auto *bar = new QProgressBar(frame);
    bar->setRange(0, 100);
    bar->setValue(60);
    // The sample takes no focus: the keyboard stays with the real controls.
    for (QWidget *widget : {static_cast<QWidget *>(list), static_cast<QWidget *>(edit),
                            static_cast<QWidget *>(button), static_cast<QWidget *>(disabled)})
        widget->setFocusPolicy(Qt::NoFocus);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(button);
    buttons->addWidget(disabled);
    buttons->addStretch();
    auto *inner = new QVBoxLayout(frame);
    inner->addWidget(label);
    inner->addWidget(list);
    inner->addWidget(edit);
    inner->addLayout(buttons);
    inner->addWidget(bar);
    auto *outer = new QVBoxLayout(preview);
    outer->addWidget(frame);
    return preview;
}

// Under the application's style sheet (the skin in force) the preview would show that skin's
// buttons and boxes where the selected skin says nothing of them: these plain rules, in the
// selected skin's colours, come first.
QString plainSheet(const QPalette &palette)
{
    const auto colour = [&palette](QPalette::ColorRole role) { return palette.color(role).name(); };
    return QStringLiteral("QPushButton { color: %1; background-color: %2; border: 1px solid %3; border-radius: 2px;"
                          " padding: 3px 8px; }\n"
                          "QPushButton:disabled { color: %8; }\n"
                          "QListWidget, QLineEdit { color: %4; background-color: %5; border: 1px solid %3;"
                          " selection-color: %6; selection-background-color: %7; }\n"
                          "QProgressBar { color: %4; background-color: %5; border: 1px solid %3; text-align: center; }\n"
                          "QProgressBar::chunk { background-color: %7; }\n")
        .arg(colour(QPalette::ButtonText), colour(QPalette::Button), colour(QPalette::Mid), colour(QPalette::Text),
             colour(QPalette::Base), colour(QPalette::HighlightedText), colour(QPalette::Highlight))
        .arg(palette.color(QPalette::Disabled, QPalette::ButtonText).name());
}

// The buttons keep their captions as they are; Alt and a letter presses them all the same.
void addShortcut(QPushButton *button, Qt::Key key, const QString &toolTip)
{
    const QKeySequence keys(Qt::ALT | key);
    button->setToolTip(QStringLiteral("%1（%2）").arg(toolTip, keys.toString(QKeySequence::NativeText)));
    QObject::connect(new QShortcut(keys, button), &QShortcut::activated, button, [button] { button->animateClick(); });
}

} // namespace

SkinChanger::SkinChanger(skin_changer::SkinPlaces places, platform::MessageFunction showMessage, QWidget *parent)
    : QWidget(parent)
    , m_places(std::move(places))
    , m_showMessage(std::move(showMessage))
{
    setObjectName(QStringLiteral("SkinChanger"));
    setWindowTitle(QStringLiteral("更换皮肤"));

    auto *listLabel = new QLabel(QStringLiteral("皮肤(&S)："), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("skinList"));
    listLabel->setBuddy(m_list);

    auto *previewBox = new QGroupBox(QStringLiteral("预览"), this);
    m_preview = makePreview(previewBox);
    (new QVBoxLayout(previewBox))->addWidget(m_preview);
    m_about = new QLabel(this);
    m_about->setObjectName(QStringLiteral("about"));
    m_about->setTextFormat(Qt::PlainText);
    m_about->setWordWrap(true);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);

    auto *importButton = new QPushButton(QStringLiteral("导入…"), this);
    importButton->setObjectName(QStringLiteral("importButton"));
    addShortcut(importButton, Qt::Key_I, QStringLiteral("导入 .she 皮肤文件或 KDE 配色方案（.colors）"));
    auto *restoreButton = new QPushButton(QStringLiteral("恢复默认"), this);
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    addShortcut(restoreButton, Qt::Key_D, QStringLiteral("恢复标准外观"));
    m_apply = new QPushButton(QStringLiteral("应用"), this);
    m_apply->setObjectName(QStringLiteral("applyButton"));
    addShortcut(m_apply, Qt::Key_A, QStringLiteral("使用选中的皮肤"));
    m_apply->setDefault(true);
    m_apply->setAutoDefault(true);
    auto *closeButton = new QPushButton(QStringLiteral("关闭"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    auto *left = new QVBoxLayout;
    left->addWidget(listLabel);
    left->addWidget(m_list);
    auto *right = new QVBoxLayout;
    right->addWidget(previewBox, 1);
    right->addWidget(m_about);
    auto *top = new QHBoxLayout;
    top->addLayout(left, 2);
    top->addLayout(right, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(importButton);
    bottom->addWidget(restoreButton);
    bottom->addStretch();
    bottom->addWidget(m_apply);
    bottom->addWidget(closeButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(m_status);
    layout->addLayout(bottom);

    setTabOrder(m_list, m_apply);
    setTabOrder(m_apply, closeButton);
    setTabOrder(closeButton, importButton);
    setTabOrder(importButton, restoreButton);

    connect(m_list, &QListWidget::currentRowChanged, this, &SkinChanger::showPreview);
    connect(m_list, &QListWidget::itemActivated, this, &SkinChanger::applySelected);
    connect(m_apply, &QPushButton::clicked, this, &SkinChanger::applySelected);
    connect(restoreButton, &QPushButton::clicked, this, &SkinChanger::restoreDefault);
    connect(importButton, &QPushButton::clicked, this, &SkinChanger::chooseImport);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    closeButton->setToolTip(QStringLiteral("关闭（Esc）"));
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    refresh(QFileInfo(m_places.skinFile).absoluteFilePath());
    m_list->setFocus();
    resize(640, 420);
}

const SkinEntry *SkinChanger::selected() const
{
    const int row = m_list->currentRow();
    return row >= 0 && size_t(row) < m_entries.size() ? &m_entries[row] : nullptr;
}

void SkinChanger::refresh(const QString &selectPath)
{
    m_entries = skin_changer::listSkins(m_places);
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    int row = m_entries.empty() ? -1 : 0;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        m_list->addItem(shownName(m_entries[i]));
        if (m_entries[i].path == selectPath)
            row = int(i);
    }
    m_list->setCurrentRow(row);
    showPreview();
}

void SkinChanger::showPreview()
{
    const int row = m_list->currentRow();
    SkinEntry *entry = row >= 0 && size_t(row) < m_entries.size() ? &m_entries[row] : nullptr;
    // The list holds only the skins' starts: the one shown is read whole now.
    const skins::SkinStatus status = entry ? skin_changer::completeEntry(*entry) : skins::SkinStatus::Ok;
    m_apply->setEnabled(entry != nullptr && status == skins::SkinStatus::Ok);
    if (!entry || status != skins::SkinStatus::Ok) {
        m_preview->setStyleSheet(QString());
        m_preview->setPalette(QPalette());
        m_about->setText(entry ? skin_changer::statusText(status) : QString());
        return;
    }
    // The style sheet first: changing it restores the palettes the widgets had before. The
    // palette goes on every sample: under a style sheet a child no longer follows its parent.
    const QPalette palette = entry->skin.palette(QApplication::style()->standardPalette());
    m_preview->setStyleSheet(qApp->styleSheet().isEmpty() ? entry->skin.styleSheet
                                                          : plainSheet(palette) + entry->skin.styleSheet);
    m_preview->setPalette(palette);
    for (QWidget *sample : m_preview->findChildren<QWidget *>())
        sample->setPalette(palette);
    m_about->setText(entry->skin.author.isEmpty()
                         ? QStringLiteral("名称：%1").arg(entry->skin.name)
                         : QStringLiteral("名称：%1    作者：%2").arg(entry->skin.name, entry->skin.author));
}

void SkinChanger::fail(const QString &text)
{
    m_status->clear();
    m_showMessage(this, text, platform::errorTitle());
}

void SkinChanger::applySelected()
{
    const SkinEntry *entry = selected();
    if (!entry)
        return;
    const QString name = entry->skin.name;
    const QString path = entry->path;
    const skin_changer::Outcome outcome = skin_changer::applySkin(m_places, path);
    if (!outcome.ok)
        return fail(outcome.error);
    m_status->setText(QStringLiteral("已应用皮肤“%1”。").arg(name));
    refresh(path);
}

void SkinChanger::restoreDefault()
{
    const QString standardFile = QDir(m_places.shippedDir).filePath(QStringLiteral("standard.she"));
    QByteArray bytes;
    if (skins::loadSkin(standardFile, &bytes).status != skins::SkinStatus::Ok)
        bytes = skins::skinText(standardSkin());
    const skin_changer::Outcome outcome = skin_changer::applySkinText(m_places, bytes);
    if (!outcome.ok)
        return fail(outcome.error);
    m_status->setText(QStringLiteral("已恢复默认外观。"));
    refresh(QFileInfo(m_places.skinFile).absoluteFilePath());
}

void SkinChanger::importFrom(const QString &path)
{
    const skin_changer::Outcome outcome = skin_changer::importSkin(m_places, path);
    if (!outcome.ok)
        return fail(outcome.error);
    m_status->setText(QStringLiteral("已导入“%1”，选中后按“应用”即可使用。").arg(QFileInfo(path).fileName()));
    refresh(outcome.path);
}

void SkinChanger::chooseImport()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("导入皮肤"), QDir::homePath(),
                                                      QStringLiteral("皮肤文件或 KDE 配色方案 (*.she *.colors);;所有文件 (*)"));
    if (!path.isEmpty())
        importFrom(path);
}
