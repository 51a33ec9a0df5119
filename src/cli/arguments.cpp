#include "cli/arguments.h"

#include <QHash>

namespace cli {

namespace {

const QHash<QString, Command> &commands()
{
    static const QHash<QString, Command> names = {
        {QStringLiteral("preview"), Command::Preview}, {QStringLiteral("clean"), Command::Clean},
        {QStringLiteral("restore"), Command::Restore}, {QStringLiteral("shred"), Command::Shred},
        {QStringLiteral("wipe"), Command::Wipe},       {QStringLiteral("help"), Command::Help},
    };
    return names;
}

QString shown(const QByteArray &argument)
{
    return QString::fromUtf8(argument);
}

class Parser
{
public:
    explicit Parser(const QByteArrayList &arguments) : m_in(arguments) {}

    Parsed run()
    {
        bool optionsEnded = false;
        while (m_error.isEmpty() && m_next < m_in.size()) {
            const QByteArray argument = m_in.at(m_next++);
            if (!optionsEnded && argument == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && argument.startsWith("--")) {
                longOption(argument);
            } else if (!optionsEnded && argument.startsWith('-') && argument.size() > 1) {
                shortOptions(argument);
            } else {
                operand(argument);
            }
        }
        if (m_error.isEmpty())
            check();
        return {m_out, m_error};
    }

private:
    void fail(const QString &message) { m_error = message; }

    bool optionAllowed(Command only, const QString &name)
    {
        if (m_out.command == only)
            return true;
        fail(QStringLiteral("选项 %1 只能用于 %2 子命令。").arg(name, commandName(only)));
        return false;
    }

    // The value of an option: the rest of its argument, else the next argument.
    std::optional<QByteArray> value(const QString &name, const QByteArray &attached)
    {
        if (!attached.isEmpty())
            return attached;
        if (m_next < m_in.size())
            return m_in.at(m_next++);
        fail(QStringLiteral("选项 %1 需要一个值。").arg(name));
        return std::nullopt;
    }

    void passes(const QByteArray &text)
    {
        bool ok = false;
        const int count = QString::fromLatin1(text).toInt(&ok);
        // A file is never removed without being overwritten: 0 is refused, not quietly made one.
        if (!ok || count < 1 || count > 35 || text.startsWith('+'))
            return fail(QStringLiteral("覆写次数必须是 1 到 35 之间的整数：%1").arg(shown(text)));
        m_out.passes = count;
    }

    void minAge(const QByteArray &text)
    {
        bool ok = false;
        const int days = QString::fromLatin1(text).toInt(&ok);
        if (!ok || days < 0 || days > 3650 || text.startsWith('+'))
            return fail(QStringLiteral("天数必须是 0 到 3650 之间的整数：%1").arg(shown(text)));
        m_out.minAgeDays = days;
    }

    bool previewOrClean(const QString &name)
    {
        if (m_out.command == Command::Preview || m_out.command == Command::Clean)
            return true;
        fail(QStringLiteral("选项 %1 只能用于 preview 和 clean 子命令。").arg(name));
        return false;
    }

    void longOption(const QByteArray &argument)
    {
        const qsizetype equals = argument.indexOf('=');
        const QByteArray name = equals < 0 ? argument : argument.left(equals);
        const std::optional<QByteArray> attached =
            equals < 0 ? std::nullopt : std::optional<QByteArray>(argument.mid(equals + 1));
        const QString shownName = shown(name);
        const auto noValue = [&] {
            if (attached)
                fail(QStringLiteral("选项 %1 不带值。").arg(shownName));
            return !attached;
        };
        if (name == "--json") {
            m_out.json = noValue();
        } else if (name == "--quiet") {
            m_out.quiet = noValue();
        } else if (name == "--help") {
            m_out.help = noValue();
        } else if (name == "--version") {
            m_out.version = noValue();
        } else if (name == "--yes") {
            if (noValue())
                yes(shownName);
        } else if (name == "--zero") {
            if (noValue() && optionAllowed(Command::Shred, shownName))
                m_out.zeroPass = true;
        } else if (name == "--unattended") {
            if (noValue() && previewOrClean(shownName))
                m_out.unattended = true;
        } else if (name == "--min-age") {
            if (!previewOrClean(shownName))
                return;
            if (attached) {
                minAge(*attached);
            } else if (const std::optional<QByteArray> text = value(shownName, {})) {
                minAge(*text);
            }
        } else if (name == "--passes") {
            if (!optionAllowed(Command::Shred, shownName))
                return;
            if (attached) {
                passes(*attached);
            } else if (const std::optional<QByteArray> text = value(shownName, {})) {
                passes(*text);
            }
        } else {
            fail(QStringLiteral("未知选项：%1").arg(shownName));
        }
    }

    // An option that skips the question counts only before the subcommand, where no
    // wildcard the user types can put a file's name: `shred *` may expand to "-y" first.
    void yes(const QString &name)
    {
        if (m_out.command == Command::None) {
            m_out.yes = true;
        } else if (shredOrWipe(name)) {
            fail(QStringLiteral("选项 %1 要写在子命令之前，例如 brisquel %1 %2 路径；写在子命令之后的可能是通配符展开出的文件名。")
                     .arg(name, commandName(m_out.command)));
        }
    }

    bool shredOrWipe(const QString &name)
    {
        if (m_out.command == Command::Shred || m_out.command == Command::Wipe)
            return true;
        fail(QStringLiteral("选项 %1 只能用于 shred 和 wipe 子命令。").arg(name));
        return false;
    }

    void shortOptions(const QByteArray &argument)
    {
        for (qsizetype i = 1; i < argument.size() && m_error.isEmpty(); ++i) {
            const char letter = argument.at(i);
            const QString name = QStringLiteral("-") + QLatin1Char(letter);
            switch (letter) {
            case 'C':
                if (const std::optional<QByteArray> folder = value(name, argument.mid(i + 1))) {
                    if (folder->isEmpty())
                        fail(QStringLiteral("选项 -C 需要一个文件夹。"));
                    else
                        m_out.workFolders.append(*folder);
                }
                return;
            case 'n':
                if (!optionAllowed(Command::Shred, name))
                    return;
                if (const std::optional<QByteArray> text = value(name, argument.mid(i + 1)))
                    passes(*text);
                return;
            case 'q':
                m_out.quiet = true;
                break;
            case 'h':
                m_out.help = true;
                break;
            case 'y':
                yes(name);
                break;
            case 'z':
                if (optionAllowed(Command::Shred, name))
                    m_out.zeroPass = true;
                break;
            default:
                fail(QStringLiteral("未知选项：%1").arg(name));
            }
        }
    }

    void operand(const QByteArray &argument)
    {
        const QString text = shown(argument);
        switch (m_out.command) {
        case Command::None:
            if (!commands().contains(text))
                return fail(QStringLiteral("未知的子命令：%1").arg(text));
            m_out.command = commands().value(text);
            return;
        case Command::Preview:
        case Command::Clean:
            if (m_listGiven)
                return fail(QStringLiteral("多余的参数：%1").arg(text));
            m_listGiven = true;
            if (text == QLatin1String("files"))
                m_out.lists = Lists::Files;
            else if (text == QLatin1String("registry"))
                m_out.lists = Lists::Registry;
            else
                fail(QStringLiteral("未知的列表：%1（可用 files 或 registry）").arg(text));
            return;
        case Command::Help:
            if (!m_out.helpTopic.isEmpty())
                return fail(QStringLiteral("多余的参数：%1").arg(text));
            if (!commands().contains(text))
                return fail(QStringLiteral("未知的子命令：%1").arg(text));
            m_out.helpTopic = text;
            return;
        case Command::Restore:
        case Command::Wipe:
            if (argument.isEmpty() && m_out.command == Command::Wipe)
                return fail(QStringLiteral("路径不能是空的。"));
            if (!m_out.paths.isEmpty())
                return fail(QStringLiteral("多余的参数：%1").arg(text));
            m_out.paths.append(argument);
            return;
        case Command::Shred:
            // An empty name would be taken as the current folder.
            if (argument.isEmpty())
                return fail(QStringLiteral("路径不能是空的。"));
            m_out.paths.append(argument);
            return;
        }
    }

    // What only the whole command line can tell.
    void check()
    {
        if (m_out.help || m_out.version || m_out.command == Command::Help)
            return;
        if (m_out.minAgeDays && !m_out.unattended)
            return fail(QStringLiteral("选项 --min-age 只能与 --unattended 一起使用。"));
        if (m_out.yes && m_out.command != Command::None && m_out.command != Command::Shred
            && m_out.command != Command::Wipe)
            return fail(QStringLiteral("选项 -y 只能用于 shred 和 wipe 子命令。"));
        switch (m_out.command) {
        case Command::None:
            return fail(QStringLiteral("缺少子命令。"));
        case Command::Restore:
            if (m_out.paths.isEmpty())
                fail(QStringLiteral("restore 需要一个备份文件（.reg）。"));
            return;
        case Command::Shred:
            if (m_out.paths.isEmpty())
                fail(QStringLiteral("shred 需要至少一个路径。"));
            return;
        case Command::Wipe:
            if (m_out.paths.isEmpty())
                fail(QStringLiteral("wipe 需要一个路径。"));
            return;
        default:
            return;
        }
    }

    const QByteArrayList &m_in;
    qsizetype m_next = 0;
    Arguments m_out;
    QString m_error;
    bool m_listGiven = false;
};

} // namespace

Parsed parseArguments(const QByteArrayList &arguments)
{
    return Parser(arguments).run();
}

QString commandName(Command command)
{
    return commands().key(command);
}

QString usageText(const QString &topic)
{
    const QString common = QStringLiteral(
        "\n通用选项（可写在子命令之前或之后）：\n"
        "  -C 文件夹       使用该文件夹中的 Wjql.ini、Zcql.ini 和 注册表备份/\n"
        "  --json          输出一份 JSON 文档\n"
        "  -q, --quiet     只输出错误\n"
        "  -h, --help      显示帮助\n"
        "  --version       显示版本\n");
    if (topic.isEmpty()) {
        return QStringLiteral(
                   "用法：brisquel [-C 文件夹] 子命令 [选项] [参数]\n"
                   "\n子命令：\n"
                   "  preview [files|registry]   列出一次清理将删除的内容，不做任何改动\n"
                   "  clean [files|registry] [--unattended [--min-age 天数]]\n"
                   "                             按列表清理垃圾文件和垃圾注册表项\n"
                   "  restore 备份.reg           把注册表备份导回它所来自的 Wine 前缀\n"
                   "  [-y] shred [-n 次数] [-z] 路径...   粉碎文件或文件夹\n"
                   "  [-y] wipe 路径             擦除路径所在文件系统的空闲空间\n"
                   "  help [子命令]              显示子命令的帮助\n")
            + common;
    }
    if (topic == QLatin1String("preview"))
        return QStringLiteral("用法：brisquel preview [files|registry] [--unattended [--min-age 天数]]\n\n"
                              "列出清理将删除的每个文件（含大小和所在文件系统）和每个注册表项或值（含其内容），\n"
                              "按列表项、按文件系统和总计汇总。不做任何改动。不带参数时两个列表都列出。\n"
                              "  --unattended        列出无人值守的清理会跳过哪些文件及原因\n"
                              "  --min-age 天数      与 --unattended 一起：多少天内改动或访问过算作最近（默认 7）\n")
            + common;
    if (topic == QLatin1String("clean"))
        return QStringLiteral("用法：brisquel clean [files|registry] [--unattended [--min-age 天数]]\n\n"
                              "按 Wjql.ini 和 Zcql.ini 清理，与主窗口的清理相同；删除的注册表内容先备份到\n"
                              "注册表备份/。逐项列出已删除和失败的内容及原因，最后给出释放的总量。\n"
                              "  --unattended        无人值守（定时清理用）：跳过有进程打开着的文件，\n"
                              "                      以及最近改动或访问过的文件，逐个说明原因\n"
                              "  --min-age 天数      与 --unattended 一起：多少天内改动或访问过算作最近（默认 7）\n")
            + common;
    if (topic == QLatin1String("restore"))
        return QStringLiteral("用法：brisquel restore 备份.reg\n\n"
                              "把本程序写下的注册表备份导回它所来自的 Wine 前缀（WINEPREFIX 优先）。\n"
                              "不是本程序的备份或无法解析的文件会被拒绝，不做任何改动。\n")
            + common;
    if (topic == QLatin1String("shred"))
        return QStringLiteral("用法：brisquel [-y] shred [-n 次数] [-z] 路径...\n\n"
                              "用随机数据覆写文件后删除；文件夹连同其中的内容一并粉碎。\n"
                              "  -n, --passes 次数   随机数据覆写的次数，1 到 35\n"
                              "  -z, --zero          最后再用零覆写一次\n"
                              "  -y, --yes           不再询问确认（标准输入不是终端时必须给出）；\n"
                              "                      只在子命令之前有效，免得通配符展开出的文件名被当成它\n")
            + common;
    if (topic == QLatin1String("wipe"))
        return QStringLiteral("用法：brisquel [-y] wipe 路径\n\n"
                              "用随机数据填满路径所在文件系统的空闲空间，然后释放。\n"
                              "  -y, --yes           不再询问确认（标准输入不是终端时必须给出）；\n"
                              "                      只在子命令之前有效\n")
            + common;
    if (topic == QLatin1String("help"))
        return QStringLiteral("用法：brisquel help [子命令]\n\n显示程序或子命令的帮助。\n") + common;
    return {};
}

} // namespace cli
