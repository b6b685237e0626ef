// Colours of the listing: addresses, instruction bytes, labels, mnemonics,
// operands, comments and source lines, with unreached "; ----" lines dimmed.
// The columns come from the analysis model, so no line is parsed twice.
#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include "brevin/analysis.h"

namespace brevin {

class ListingHighlighter : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit ListingHighlighter(QTextDocument* document);

  // The model of the text now in the document (null: plain text, no colours).
  // Colours the blocks the next time they are laid out; call before setting the text.
  void SetAnalysis(AnalysisPtr analysis);
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  // The formats, for tests and the legend.
  enum Part { Address, Cog, Bytes, Label, Mnemonic, Operand, Comment, Source, Unreached, kParts };
  const QTextCharFormat& Format(Part part) const { return formats_[part]; }
  // The program's colour scheme: one format a part, shared by every view that
  // colours code (the listing and the recovered Spin source).
  static QTextCharFormat SchemeFormat(Part part);

 protected:
  void highlightBlock(const QString& text) override;

 private:
  AnalysisPtr analysis_;
  bool enabled_ = true;
  QTextCharFormat formats_[kParts];
};

}  // namespace brevin
