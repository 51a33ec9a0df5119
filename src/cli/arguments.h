#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <optional>

namespace cli {

enum class Command { None, Preview, Clean, Restore, Shred, Wipe, Help };

// Which lists preview and clean work through.
enum class Lists { Both, Files, Registry };

// The command line, taken apart. Paths stay the bytes they were given as.
struct Arguments
{
    Command command = Command::None;
    Lists lists = Lists::Both;
    QByteArrayList workFolders; // each -C, in order
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool yes = false;     // shred, wipe: no question asked; given only before the subcommand
    bool zeroPass = false;
    std::optional<int> passes;
    bool unattended = false; // preview, clean: leave files in use and files changed recently
    std::optional<int> minAgeDays; // with unattended: how recent is recent (default 7 days)
    QString helpTopic;    // help SUBCOMMAND
    QByteArrayList paths; // restore, shred, wipe
};

// What was wrong with the command line, for stderr; empty when nothing was.
struct Parsed
{
    Arguments arguments;
    QString error;
};

// Takes apart the arguments after the program's name. Common options may come before or
// after the subcommand, -y only before it; "--" ends the options.
Parsed parseArguments(const QByteArrayList &arguments);

// The usage text of `topic` (a subcommand's name), or of the whole program when empty;
// empty for an unknown topic.
QString usageText(const QString &topic);

QString commandName(Command command);

} // namespace cli
