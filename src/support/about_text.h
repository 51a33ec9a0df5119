#pragma once

#include <QString>

#include <optional>

namespace support {

// The about text, Guanyu.dat in the working folder, as the support page shows it (at most
// its first MiB); std::nullopt when the file can't be opened.
std::optional<QString> readAboutText();

} // namespace support
