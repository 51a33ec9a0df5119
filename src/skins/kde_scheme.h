#pragma once

#include "skins/skin_file.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace skins {

// Converts a KDE colour scheme (a ".colors" INI file: [Colors:Window], [Colors:View],
// [Colors:Button], [Colors:Selection], [Colors:Tooltip], [General] Name) into a skin.
// std::nullopt when the file holds none of the colours the palette needs.
std::optional<Skin> skinFromKdeScheme(const QByteArray &bytes, const QString &fallbackName);

} // namespace skins
