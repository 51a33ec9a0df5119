#pragma once

#include "platform/message_box.h"
#include "skin_changer/skin_catalogue.h"

#include <QWidget>

#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

// Pifu's window: the skins on offer, a preview of the selected one, and the buttons that
// put a skin in force, restore the standard look or import a skin.
class SkinChanger : public QWidget
{
    Q_OBJECT

public:
    explicit SkinChanger(skin_changer::SkinPlaces places, platform::MessageFunction showMessage = platform::showMessage,
                         QWidget *parent = nullptr);

    // Each does what its button does; failures go to the message function.
    void applySelected();
    void restoreDefault();
    void importFrom(const QString &path);

private:
    void refresh(const QString &selectPath);
    void showPreview();
    void chooseImport();
    const skin_changer::SkinEntry *selected() const;
    void fail(const QString &text);

    skin_changer::SkinPlaces m_places;
    platform::MessageFunction m_showMessage;
    std::vector<skin_changer::SkinEntry> m_entries;

    QListWidget *m_list;
    QWidget *m_preview;
    QLabel *m_about;
    QLabel *m_status;
    QPushButton *m_apply;
};
