#pragma once

#include <QImage>

#include <optional>

class QLabel;

namespace sysinfo {
struct BasicFacts;
}

namespace app {

// The labels of the system information page's lower block; a missing one is passed over.
struct FactLabels
{
    QLabel *os = nullptr;              // Label3
    QLabel *computerName = nullptr;    // Label4
    QLabel *userName = nullptr;        // Label5
    QLabel *drivesTotal = nullptr;     // Label6
    QLabel *systemDriveFree = nullptr; // Label7, whose tooltip names the system drive
};

// Appends each fact to its label's heading; a fact that couldn't be worked out leaves its
// label as it was.
void showBasicFacts(const FactLabels &labels, const sysinfo::BasicFacts &facts);

// Makes `image` the picture of `target`; without an image `target` stays as it was.
void showPicture(QLabel *target, const std::optional<QImage> &image);

} // namespace app
