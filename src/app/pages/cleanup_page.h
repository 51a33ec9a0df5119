#pragma once

#include "app/pages/prefix_search.h"
#include "cleanup/entry_deleter.h"
#include "platform/message_box.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace cleanup {

// A page's controls, resolved once by the window.
struct PageControls
{
    QListWidget *list;
    QLineEdit *entryBox;
    QPushButton *okButton;
    QTimer *timer;
    QLineEdit *runIndex; // the hidden text box that holds the run's position
    QProgressBar *progressBar;
    QLabel *status;
    QWidget *startPicture;
};

// What tells the junk-file page and the junk-registry page apart besides their controls;
// both are set in page_configs.cpp.
struct PageConfig
{
    // The list file: the name it is read under, whether that name is looked up without
    // regard to letter case, and the name a save creates when no file was found.
    QString readName;
    bool anyCaseLookup = false;
    QString writeName;
    QString listName; // what the messages call the list
    QString readFailureText;
    QString helpUrl;
    QString completionText;
};

// One cleanup page: a list of targets kept in a list file, edited by the user, and
// worked through one entry per timer tick. The page's controls hold all of its state.
class CleanupPage : public QObject
{
    Q_OBJECT
public:
    // A list holds at most this many entries: positions are 16-bit signed numbers.
    static constexpr int maxEntries = 32767;
    // How long a run's start waits for the Wine prefixes to be found and their hives read.
    static constexpr std::chrono::milliseconds prefixWait{2000};
    using PrefixSearchFunction = std::function<PrefixSearch()>;

    // `form` is the parent of the page's messages.
    CleanupPage(QWidget *form, const PageControls &controls, PageConfig config, std::unique_ptr<EntryDeleter> deleter,
                platform::MessageFunction showMessage, QObject *parent = nullptr);
    ~CleanupPage() override;

    void loadList();      // at start-up
    void showEntryBox();  // the custom-target button
    void addEntry();      // the entry box's OK button
    void removeSelected();// the delete button
    void saveList();      // the save button
    void openHelp();      // the help button
    void start();         // the start picture
    void tick();          // one timer tick
    void stop();          // the stop label

    // How a run finds its prefixes: the user's, within prefixWait, unless replaced.
    void setPrefixSearch(PrefixSearchFunction search);

private:
    // The file a save writes to: the one loading found, or the configured name.
    QString saveTarget() const;
    void complete();
    QString findListFile() const;

    QWidget *m_form;
    const PageControls m_controls;
    PageConfig m_config;
    std::unique_ptr<EntryDeleter> m_deleter;
    platform::MessageFunction m_showMessage;
    PrefixSearchFunction m_searchPrefixes;
    QString m_loadedFrom; // the file name loading found, when it differs in case
};

// The junk-file page's and the junk-registry page's list files, texts and help pages;
// `forum` is the address the help pages lie under.
PageConfig filesPageConfig(const QString &forum);
PageConfig registryPageConfig(const QString &forum);

} // namespace cleanup
