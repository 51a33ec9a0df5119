#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace cli {

// One file, registry key or value that a subcommand listed, deleted or failed on.
struct Item
{
    enum class Status { Listed, Deleted, Failed, Skipped, Stopped }; // Stopped: an interrupt came while it was worked on
    QByteArray path; // a file's bytes; a registry entry's text as UTF-8
    qint64 size = 0;
    QString mount;   // the mount point of the file system a file lies on; empty for the registry
    Status status = Status::Listed;
    QString reason;  // why it failed, or was skipped
    QString prefix;  // the Wine prefix a registry entry or a Windows-style file was found through
    QString holds;   // a registry item: what it holds, as text
    QJsonObject extra; // further keys a registry item has in JSON (its values)

    bool counts() const { return status == Status::Listed || status == Status::Deleted; }
};

// One line of a list, or one path given to shred or wipe.
struct Entry
{
    QString entry;
    QString list;  // "files", "registry", or the subcommand for shred and wipe
    std::vector<Item> items;
    QString error; // why the entry named nothing that could be looked at; empty otherwise
};

struct Totals
{
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 failed = 0;
    qint64 skipped = 0; // left by an unattended run: in use, or changed recently
    void add(const Item &item);
};

// Everything a subcommand did, printed as it goes (text) or at the end (JSON).
class Report
{
public:
    Report(QString subcommand, bool json, bool quiet);

    bool json() const { return m_json; }
    bool quiet() const { return m_quiet; }

    // An entry is printed as text once it is complete.
    void addEntry(Entry entry);
    // A message for stderr, kept in "errors" too.
    void addError(const QString &message);
    // A line for the text output only.
    void say(const QString &line) const;
    void setInterrupted(bool interrupted) { m_interrupted = interrupted; }
    // Further top-level keys of the JSON document.
    void setExtra(const QString &key, const QJsonValue &value) { m_extra.insert(key, value); }

    Totals totals() const;
    // Prints the totals (text) or the document (JSON).
    void finish();

    // The exit code the results ask for: 0, or 1 when an item failed or an error was met.
    int exitCode() const;

private:
    void printEntry(const Entry &entry) const;
    QJsonObject document() const;

    const QString m_subcommand;
    const bool m_json;
    const bool m_quiet;
    std::vector<Entry> m_entries;
    QStringList m_errors;
    bool m_interrupted = false;
    QJsonObject m_extra;
};

// `text` safe to show on a terminal: control characters (escape sequences, line breaks) and
// direction overrides that a file name may hold are written as \xHH or \uHHHH.
QString printable(QStringView text);

// Numbers and sizes the way the program shows them: "1,234", "56.7 MB".
QString countText(qint64 count);
QString sizeText(qint64 bytes);

} // namespace cli
