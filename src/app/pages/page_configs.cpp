#include "app/pages/cleanup_page.h"

// The two cleanup pages: what each reads and writes, says and links to. Their controls
// are the window's (List1, Text1, Command5, Wjqltm, ... and List2, Text2, Command10,
// Zcqltm, ...), handed over by main_window.cpp.
namespace cleanup {

PageConfig filesPageConfig(const QString &forum)
{
    PageConfig config;
    config.readName = QStringLiteral("Wjql.ini");
    config.writeName = QStringLiteral("Wjql.ini");
    config.listName = QStringLiteral("清理文件对象列表");
    config.readFailureText = QStringLiteral("清理文件对象列表读取失败！");
    config.helpUrl = forum + QStringLiteral("thread-82-1-1.html");
    config.completionText = QStringLiteral("系统垃圾文件清理完成！");
    return config;
}

PageConfig registryPageConfig(const QString &forum)
{
    PageConfig config;
    config.readName = QStringLiteral("ZCql.ini");
    config.anyCaseLookup = true;
    config.writeName = QStringLiteral("Zcql.ini");
    config.listName = QStringLiteral("清理注册对象列表");
    config.readFailureText = QStringLiteral("清理注册对象列表读取失败！");
    config.helpUrl = forum + QStringLiteral("thread-105-1-1.html");
    config.completionText = QStringLiteral("垃圾注册表项清理完成！");
    return config;
}

} // namespace cleanup
