// Keeping the reader's place when a listing is replaced by a new listing of the
// same image (Refresh, a view option, an auto-reload): the same address at the
// top of the view, else the same line number, and the caret on the same address.
#pragma once

#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace brevin {

// A line of the listing told by the address that begins it: the anchor is the
// first line at or after the line that starts with an address, `occurrence`
// counts earlier lines that start with the same address (one address may begin
// several lines), and `offset` is how many lines the line itself lies above it.
struct LineAnchor {
  int line = 0;        // the line number, used when no address is found
  QString address;     // four hexadecimal digits, empty when none follows
  int occurrence = 0;
  int offset = 0;
};

// The address a listing line begins with ("0034  38 17  S10  PUSH 23"), else empty.
QString LineAddress(const QString& line);

LineAnchor AnchorOf(const QStringList& lines, int line);
// The line the anchor stands for in another listing: the same address and
// occurrence (or its last occurrence) less the offset, else the same line number.
int LineOf(const QStringList& lines, const LineAnchor& anchor);

// The place in a text area: the top line of the view and the caret.
struct ViewPosition {
  LineAnchor top;
  LineAnchor caret;
  int caretColumn = 0;
  int horizontal = 0;
};

ViewPosition CaptureView(const QPlainTextEdit* area);
void RestoreView(QPlainTextEdit* area, const ViewPosition& position);

}  // namespace brevin
