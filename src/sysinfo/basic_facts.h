#pragma once

class QWidget;

namespace sysinfo {

class DriveSource;

// Fills the lower block of the system information page, found by name among `form`'s
// children: the operating system (Label3), computer name (Label4) and user (Label5)
// appended to their headings, the system drive's free space (Label7, with the tooltip
// naming the drive) and the total size of the drives listed in Drive1 (Label6), both in
// megabytes. Each fact that can't be worked out is passed over on its own and leaves its
// label as it was: a drive without a size adds nothing to the total.
void showBasicFacts(QWidget *form, const DriveSource &drives);

} // namespace sysinfo
