#include "platform/message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace platform {

void showMessage(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowTitle(title);
    // Texts carry file paths and system messages: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.exec();
}

} // namespace platform
