#pragma once

#include <QString>

// The maker's details, kept in one place. The numbers are placeholders that belong to
// nobody and the addresses sit under a reserved domain.
namespace branding {

inline const QString productName = QStringLiteral("Brisquel");
inline const QString author = QStringLiteral("Brisquel 开发组");
inline const QString qqNumber = QStringLiteral("012345678");
inline const QString email = QStringLiteral("support@brisquel.example");
inline const QString mobile = QStringLiteral("10000000000");
inline const QString forumHome = QStringLiteral("http://bbs.brisquel.example/");
inline const QString productPage = QStringLiteral("http://www.brisquel.example/kelvane/");

// The window title: product, author and forum.
inline QString windowTitle()
{
    return productName + QStringLiteral("  By:") + author + QStringLiteral("  ") + forumHome;
}

// The footer line under every page.
inline QString footerLine()
{
    return QStringLiteral("官方网址：") + forumHome + QStringLiteral("  软件作者：") + author
        + QStringLiteral("  QQ：") + qqNumber;
}

// The banner's tooltip: the forum's name and slogan, then its address.
inline QString bannerTooltip()
{
    return QStringLiteral("Brisquel 技术论坛——让电脑轻装上阵 ") + forumHome;
}

// The support page's contact block: eight lines joined by CR LF, none after the last.
inline QString contactBlock()
{
    const QString crlf = QStringLiteral("\r\n");
    return productName + crlf
        + QStringLiteral("技术中心：") + forumHome + crlf
        + QStringLiteral("软件作者：") + author + crlf
        + QStringLiteral("联系方式↓") + crlf
        + QStringLiteral("QQ：") + qqNumber + crlf
        + QStringLiteral("E-Mail：") + email + crlf
        + QStringLiteral("手机：") + mobile + QStringLiteral("(短信)") + crlf
        + QStringLiteral("官方网址：") + forumHome;
}

} // namespace branding
