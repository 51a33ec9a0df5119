#pragma once

class QWidget;

namespace skins {

// The first widget in `window` (itself included) whose text, in the colours it really ends
// up with, is below 3:1 against what is really painted behind it; none when every text can
// be read. What it gets is read from the widgets themselves after Qt has applied the palette
// and the style sheet's cascade, so no rule of the sheet is second-guessed. Hidden widgets
// count too: a page shown later must be readable as well; widgets under a style sheet of
// their own don't, as what they show is their owner's choice.
const QWidget *firstIllegibleText(QWidget *window);

} // namespace skins
