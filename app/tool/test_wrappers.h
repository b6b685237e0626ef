// Test wrappers (developer mode only): a Spin file that makes every public
// method of an object callable, so the object can be compiled into a test
// image. The wrapper's last line names the wrapped source, which source
// inclusion reads back.
#pragma once

#include <QString>
#include <QStringList>

namespace brevin {

// "  o.name" or "  o.name(1,2,...)" for a source line declaring a public
// method ("PUB " in upper case), after its blanks are trimmed; empty for any
// other line.
QString WrapperCallLine(const QString& trimmedLine);

// The wrapper's text for the source file with these lines; CR LF line ends.
QString WrapperText(const QString& sourceFile, const QStringList& sourceLines);

// folder/Wrapper_<base name>.spin for the source file.
QString WrapperPath(const QString& sourceFile);

// Writes the wrapper beside the source, replacing an existing one, through a
// temporary file so a failure leaves no partial file. False with a message
// naming the file and the problem when the source cannot be read or the
// wrapper cannot be written; nothing is written then.
bool CreateWrapper(const QString& sourceFile, QString& error);

// Wrappers for every "*.spin" file of the folder except the wrappers
// themselves (names beginning with "Wrapper_" in any case). The messages of
// the files that failed are returned; the rest are written.
QStringList CreateWrappersForAll(const QString& folder);

// Deletes every "Wrapper_*" file of the folder (any extension, so compiled
// wrapper images go too). The messages of files that could not be deleted
// are returned.
QStringList DeleteWrappers(const QString& folder);

// The three Help items: each works in the folder of sourcePath and reports
// through the prompt.
void CreateTestWrapperCommand(const QString& sourcePath);
void CreateTestWrappersCommand(const QString& sourcePath);
void DeleteWrappersCommand(const QString& sourcePath);

}  // namespace brevin
