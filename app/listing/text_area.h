// Commands shared by the two text areas, the listing and the debug window's text:
// copy, select all and the font.
#pragma once

#include <QString>

class QFont;
class QPlainTextEdit;

namespace brevin {

// The selected text, or the whole text when nothing is selected, with LF line
// ends (the clipboard convention on Linux).
QString SelectionOrAllText(const QPlainTextEdit* area);

// Clears the clipboard and puts SelectionOrAllText on it as plain text.
void CopyToClipboard(const QPlainTextEdit* area);

// Selects the whole text with painting held, so the view does not flicker.
void SelectAllWithoutFlicker(QPlainTextEdit* area);

// The parts of a font the program keeps: family, size, bold and italic.
void ApplyListingFont(QPlainTextEdit* area, const QFont& font);

}  // namespace brevin
