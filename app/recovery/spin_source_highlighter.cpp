#include "recovery/spin_source_highlighter.h"

#include <QSet>
#include <algorithm>

#include "listing/listing_highlighter.h"

namespace brevin {

namespace {

// What a line's end leaves open for the next: nothing, a { } comment (the
// state counts its depth, as the compiler nests them) or a {{ }} comment.
constexpr int kPlain = 0;
constexpr int kDocComment = 1000;

const QSet<QString>& BlockWords() {
  static const QSet<QString> words{"CON", "VAR", "OBJ", "PUB", "PRI", "DAT"};
  return words;
}

// Spin's own words, the ones a reader looks for (compared in upper case).
const QSet<QString>& Keywords() {
  static const QSet<QString> words{
      "IF",       "IFNOT",    "ELSEIF",   "ELSEIFNOT", "ELSE",     "CASE",     "OTHER",    "REPEAT",   "FROM",
      "TO",       "STEP",     "WHILE",    "UNTIL",     "NEXT",     "QUIT",     "RETURN",   "ABORT",    "RESULT",
      "LOOKUP",   "LOOKUPZ",  "LOOKDOWN", "LOOKDOWNZ", "AND",      "OR",       "NOT",      "BYTE",     "WORD",
      "LONG",     "CONSTANT", "FLOAT",    "TRUNC",     "ROUND",    "STRING",   "STRSIZE",  "STRCOMP",  "BYTEFILL",
      "WORDFILL", "LONGFILL", "BYTEMOVE", "WORDMOVE",  "LONGMOVE", "COGNEW",   "COGINIT",  "COGSTOP",  "COGID",
      "WAITCNT",  "WAITPEQ",  "WAITPNE",  "WAITVID",   "CLKSET",   "REBOOT",   "LOCKNEW",  "LOCKRET",  "LOCKSET",
      "LOCKCLR",  "SPR",      "TRUE",     "FALSE",     "NEGX",     "POSX",     "PI",       "ORG",      "ORGX",
      "RES",      "FIT",      "FILE",     "CLKMODE",   "CLKFREQ",  "CHIPVER",  "CNT",      "INA",      "INB",
      "OUTA",     "OUTB",     "DIRA",     "DIRB",      "CTRA",     "CTRB",     "FRQA",     "FRQB",     "PHSA",
      "PHSB",     "VCFG",     "VSCL",     "PAR"};
  return words;
}

bool NameChar(QChar c) { return c.isLetterOrNumber() || c == '_'; }

// The end of a number starting at i ($hex, %bin, %%quaternary, decimal or
// float); i itself when none starts there.
qsizetype NumberEnd(const QString& text, qsizetype i) {
  const qsizetype n = text.size();
  auto digits = [&](qsizetype from, auto isDigit) {
    qsizetype j = from;
    while (j < n && (isDigit(text[j]) || (j > from && text[j] == '_'))) ++j;
    return j;
  };
  const auto hex = [](QChar c) { return c.isDigit() || (c.toUpper() >= 'A' && c.toUpper() <= 'F'); };
  const auto bin = [](QChar c) { return c == '0' || c == '1'; };
  const auto quad = [](QChar c) { return c >= '0' && c <= '3'; };
  const auto dec = [](QChar c) { return c.isDigit(); };
  if (text[i] == '$') {
    const qsizetype j = digits(i + 1, hex);
    return j > i + 1 ? j : i;
  }
  if (text[i] == '%') {
    const bool quaternary = i + 1 < n && text[i + 1] == '%';
    const qsizetype from = i + (quaternary ? 2 : 1);
    const qsizetype j = quaternary ? digits(from, quad) : digits(from, bin);
    return j > from ? j : i;
  }
  if (!text[i].isDigit() || (i > 0 && NameChar(text[i - 1]))) return i;
  qsizetype j = digits(i, dec);
  if (j + 1 < n && text[j] == '.' && text[j + 1].isDigit()) j = digits(j + 1, dec);
  return j;
}

}  // namespace

SpinSourceHighlighter::SpinSourceHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  using Scheme = ListingHighlighter;
  formats_[Block] = Scheme::SchemeFormat(Scheme::Label);
  formats_[Keyword] = Scheme::SchemeFormat(Scheme::Mnemonic);
  formats_[Number] = Scheme::SchemeFormat(Scheme::Cog);
  formats_[String] = Scheme::SchemeFormat(Scheme::Source);
  formats_[Comment] = Scheme::SchemeFormat(Scheme::Comment);
}

void SpinSourceHighlighter::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  rehighlight();
}

void SpinSourceHighlighter::highlightBlock(const QString& text) {
  int state = std::max(previousBlockState(), kPlain);
  const qsizetype n = text.size();
  qsizetype i = 0;
  bool declares = false;  // after PUB or PRI: the next name is the method's
  while (i < n) {
    // Inside a comment left open by an earlier line.
    if (state == kDocComment) {
      const qsizetype end = text.indexOf("}}", i);
      const qsizetype stop = end < 0 ? n : end + 2;
      if (enabled_) setFormat(static_cast<int>(i), static_cast<int>(stop - i), formats_[Comment]);
      if (end >= 0) state = kPlain;
      i = stop;
      continue;
    }
    if (state > kPlain) {
      const qsizetype from = i;
      while (i < n && state > kPlain) {
        if (text[i] == '{') ++state;
        if (text[i] == '}') --state;
        ++i;
      }
      if (enabled_) setFormat(static_cast<int>(from), static_cast<int>(i - from), formats_[Comment]);
      continue;
    }
    const QChar c = text[i];
    if (c == '\'') {
      if (enabled_) setFormat(static_cast<int>(i), static_cast<int>(n - i), formats_[Comment]);
      break;
    }
    if (c == '{') {
      state = i + 1 < n && text[i + 1] == '{' ? kDocComment : 1;
      if (enabled_) setFormat(static_cast<int>(i), state == kDocComment ? 2 : 1, formats_[Comment]);
      i += state == kDocComment ? 2 : 1;
      continue;
    }
    if (c == '"') {
      qsizetype end = text.indexOf('"', i + 1);
      end = end < 0 ? n : end + 1;
      if (enabled_) setFormat(static_cast<int>(i), static_cast<int>(end - i), formats_[String]);
      i = end;
      continue;
    }
    if (const qsizetype end = NumberEnd(text, i); end > i) {
      if (enabled_) setFormat(static_cast<int>(i), static_cast<int>(end - i), formats_[Number]);
      i = end;
      continue;
    }
    if (NameChar(c)) {
      qsizetype end = i;
      while (end < n && NameChar(text[end])) ++end;
      const QString word = text.mid(i, end - i).toUpper();
      Part part = kParts;  // none
      if (i == 0 && BlockWords().contains(word)) {
        part = Block;
        declares = word == "PUB" || word == "PRI";
      } else if (declares) {
        part = Block;
        declares = false;
      } else if (Keywords().contains(word)) {
        part = Keyword;
      }
      if (part != kParts && enabled_) setFormat(static_cast<int>(i), static_cast<int>(end - i), formats_[part]);
      i = end;
      continue;
    }
    ++i;
  }
  setCurrentBlockState(state);
}

}  // namespace brevin
