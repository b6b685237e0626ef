// Help's "&System ..." box: the program's version, the running system, the
// themes state and where the program runs from.
#pragma once

#include <QString>

namespace brevin {

// The box's text, with the system's name given (CR LF line ends, TAB after
// each label).
QString SystemInformationText(const QString& systemVersion);
// The text for the running system.
QString SystemInformationText();
void ShowSystemInformation();

}  // namespace brevin
