#pragma once

#include <QString>

#include <optional>

// How a command line is taken apart, shared by the programs of every system.
namespace platform::detail {

struct CommandLine
{
    QString program;
    std::optional<QString> argument; // everything after the first blank, as one argument
};

// "program" or "program argument": the first blank separates them and everything after
// it is one argument, blanks, quotes and all; nothing is ever split further.
inline CommandLine splitCommandLine(const QString &commandLine)
{
    const qsizetype blank = commandLine.indexOf(u' ');
    if (blank < 0)
        return {commandLine, std::nullopt};
    QString argument = commandLine.mid(blank + 1);
    if (argument.isEmpty())
        return {commandLine.left(blank), std::nullopt};
    return {commandLine.left(blank), std::move(argument)};
}

// `name` is a bare program name such as "explorer"; Windows takes it with or without ".exe".
inline bool isProgram(const QString &program, QLatin1StringView name)
{
    if (program.compare(name, Qt::CaseInsensitive) == 0)
        return true;
    return program.size() == name.size() + 4
        && program.startsWith(name, Qt::CaseInsensitive)
        && program.endsWith(QLatin1StringView(".exe"), Qt::CaseInsensitive);
}

} // namespace platform::detail
