#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

namespace skins {

// What a skin's style sheet may keep: colours, borders, backgrounds as colours or gradients,
// radii, and small paddings and margins. The sheet is tokenized as Qt's own scanner reads
// it (escapes decoded, strings and comments understood) and written anew from the tokens
// kept, so Qt never sees text that this filter read differently. Every url(), property,
// font and size declaration goes (sizes stay only on scroll bars and sub-controls), and so
// do the colours of a rule whose text would be below 3:1 against its background; where a
// rule gives only one of them, the other comes from `palette`.
QString safeStyleSheet(const QString &sheet, const QPalette &palette);

// Contrast of a text colour on a background, 1 to 21; a translucent text is blended into
// the background first.
double contrastRatio(const QColor &text, const QColor &background);

constexpr double minimumContrast = 3.0;

} // namespace skins
