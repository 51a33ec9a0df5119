#include "app/pages/system_page.h"

#include "sysinfo/basic_facts.h"

#include <QLabel>
#include <QPixmap>

namespace app {

namespace {

void append(QLabel *label, const QString &value)
{
    if (label)
        label->setText(label->text() + value);
}

} // namespace

void showBasicFacts(const FactLabels &labels, const sysinfo::BasicFacts &facts)
{
    if (labels.systemDriveFree)
        labels.systemDriveFree->setToolTip(facts.systemDriveTip);
    append(labels.computerName, facts.computerName);
    append(labels.userName, facts.userName);
    append(labels.os, facts.os);
    if (facts.systemDriveFree)
        append(labels.systemDriveFree, *facts.systemDriveFree);
    append(labels.drivesTotal, facts.drivesTotal);
}

void showPicture(QLabel *target, const std::optional<QImage> &image)
{
    if (!target || !image)
        return;
    const QPixmap pixmap = QPixmap::fromImage(*image);
    if (!pixmap.isNull())
        target->setPixmap(pixmap);
}

} // namespace app
