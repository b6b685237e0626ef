// Colours of the recovered Spin source, in the listing's scheme: block names
// and the method names they declare as labels, Spin's words as mnemonics,
// numbers as the listing's cog addresses, strings as its source lines, and
// comments (' to the end of the line, { } and {{ }} over several lines) as its
// comments. The View menu's colours switch it on and off with the listing's.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace brevin {

class SpinSourceHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit SpinSourceHighlighter(QTextDocument* document);

  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  enum Part { Block, Keyword, Number, String, Comment, kParts };
  const QTextCharFormat& Format(Part part) const { return formats_[part]; }

 protected:
  void highlightBlock(const QString& text) override;

 private:
  bool enabled_ = true;
  QTextCharFormat formats_[kParts];
};

}  // namespace brevin
