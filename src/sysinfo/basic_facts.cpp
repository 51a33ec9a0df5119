#include "sysinfo/basic_facts.h"

#include "sysinfo/drive_source.h"
#include "sysinfo/environment.h"
#include "sysinfo/number_form.h"

#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include <optional>

namespace sysinfo {

namespace {

// The first character of the variable; a character beyond the BMP stays whole.
QString firstCharacter(const QString &text)
{
    if (text.size() >= 2 && text.at(0).isHighSurrogate() && text.at(1).isLowSurrogate())
        return text.left(2);
    return text.left(1);
}

double megabytes(double bytes)
{
    return bytes / 1024 / 1024;
}

void append(QLabel *label, const QString &value)
{
    if (label)
        label->setText(label->text() + value);
}

} // namespace

void showBasicFacts(QWidget *form, const DriveSource &drives)
{
    if (!form)
        return;
    const auto label = [form](const char *name) { return form->findChild<QLabel *>(QLatin1String(name)); };
    QLabel *const label3 = label("Label3");
    QLabel *const label4 = label("Label4");
    QLabel *const label5 = label("Label5");
    QLabel *const label6 = label("Label6");
    QLabel *const label7 = label("Label7");

    const QString systemDrive = firstCharacter(environmentValue(u"systemdrive"));
    if (label7)
        label7->setToolTip(QStringLiteral("系统盘为：") + systemDrive + QStringLiteral("盘"));

    append(label4, environmentValue(u"computername"));
    append(label5, environmentValue(u"username"));
    append(label3, environmentValue(u"os"));

    const std::optional<quint64> free =
        systemDrive.isEmpty() ? std::nullopt : drives.freeBytes(systemDrive);
    if (free)
        append(label7, generalNumber(megabytes(double(*free))) + QStringLiteral("MB"));

    double sum = 0;
    if (const auto *list = form->findChild<QComboBox *>(QStringLiteral("Drive1"))) {
        for (int i = 0; i < list->count(); ++i) {
            const QString drive = DriveSource::driveOfEntry(list->itemText(i));
            if (drive.isEmpty())
                continue;
            if (const std::optional<quint64> total = drives.totalBytes(drive))
                sum += throughTextForm(double(*total));
        }
    }
    append(label6, generalNumber(megabytes(sum)) + QStringLiteral("MB"));
}

} // namespace sysinfo
