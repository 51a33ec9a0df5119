#pragma once

#include "shredder/shredder.h"
#include "shredder/wipe.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <string>

// What the shredder and the wipe say to the user, the same in the window and on the command
// line. Qt Core only.
namespace shredder::texts {

QString sizeText(std::uint64_t bytes);
// The bytes an item's overwrite destroys: a sparse file's holes hold nothing, so its data.
std::uint64_t dataBytes(const shredder::Plan &plan);
// Those bytes, with the length beside them where holes make it larger.
QString dataSizeText(const shredder::Plan &plan);
QString durationText(qint64 seconds);
// Why an item couldn't be shredded, or a wipe failed.
QString failureReason(int error);
// Why overwriting may leave old data behind, one sentence per warning bit.
QStringList warningTexts(unsigned warnings, const QString &fsType);
// What the scan found that will not be shredded, or not where the list says.
QStringList noteTexts(const shredder::Plan &plan, const std::string &listed);
// Where named fills are recorded until they are removed; none without a home.
std::string wipeLedger();
QString passesText(const shredder::Options &options);
// The question before a wipe, with everything the wipe can't do.
QString wipeQuestion(const shredder::FreeSpace &space, const shredder::Options &options);
// Why this file system is not wiped at all (one in memory); empty when it may be.
QString wipeRefusal(const shredder::FreeSpace &space);
// How much a fill that stopped short of the free space wiped, and why; empty when it didn't.
QString wipeShortfall(const shredder::WipeOutcome &outcome);

} // namespace shredder::texts
