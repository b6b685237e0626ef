// The constants of a Spin source as the compiler works them out: the source
// cut into the compiler's elements, constant expressions evaluated with its
// operator precedence on 32-bit values, and the CON blocks read ("NAME =
// expression" and enumerations "#start, A, B[step], C", each block counting
// from 0). A name whose value cannot be given here (a float, a child
// object's constant no caller supplies) is left out.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brevin::recovery {

enum class SourceElementKind { Word, Number, String, Symbol, End };

// One element of a source as the compiler reads it.
struct SourceElement {
  SourceElementKind kind = SourceElementKind::End;
  std::string text;                   // a word in upper case; an operator; a string's characters
  std::optional<std::int64_t> value;  // an integer's value
  std::optional<float> real;          // a float's value, as the compiler rounds it
  std::size_t begin = 0, end = 0;     // where it stands in the source
};

using SourceElements = std::span<const SourceElement>;

// The elements of a source: comments skipped ("{ }" nests, "{{" ends at the
// first "}}"), every line's end an End element, the text's end one more.
std::vector<SourceElement> CutSource(std::string_view text);

// CON, VAR, OBJ, PUB, PRI or DAT.
bool IsBlockWord(const SourceElement& element);

// The value of a name or expression the evaluator cannot work out itself (a
// CON name, "obj#NAME", or a whole expression holding one); nullopt when
// unknown.
using SourceExpressionValue = std::function<std::optional<std::int64_t>(std::string_view expression)>;

// The value of the elements of one constant expression of text, names through evaluate.
std::optional<std::int64_t> EvaluateElements(SourceElements elements, std::string_view text,
                                             const SourceExpressionValue& evaluate);

// The value of one constant expression of a source as the compiler works it
// out (32-bit, with its operator precedence), names through evaluate.
std::optional<std::int64_t> EvaluateSourceExpression(std::string_view expression,
                                                     const SourceExpressionValue& evaluate = {});

struct SourceConstant {
  std::string name;        // as the source spells it
  std::int64_t value = 0;  // 32 bits, sign-extended (a float's bits when real)
  bool real = false;       // a float constant ("ALPHA = 0.3", "RAD = PI / 180.0")
  std::string text;        // the expression as the source writes it; empty for an enumeration's
                           // member and for a value that needs a name from outside the source
};

class SourceConstants {
 public:
  // Reads the CON blocks of a source (UTF-8; lines may end in CR, LF or CR
  // LF). outside gives the values of names the source does not define (a
  // child's "obj#NAME").
  void Read(std::string_view text, SourceExpressionValue outside = {});

  // The value of an integer expression over numbers, the integer constants
  // read and outside's names.
  std::optional<std::int64_t> Evaluate(std::string_view expression) const;
  std::optional<std::int64_t> Value(std::string_view name) const;
  // A float constant's value.
  std::optional<float> RealValue(std::string_view name) const;

  const std::vector<SourceConstant>& All() const { return constants_; }

 private:
  bool Item(SourceElements item, std::string_view text, std::optional<std::int64_t>& next);
  std::optional<std::int64_t> Name(std::string_view name, bool& outsideUsed) const;

  std::vector<SourceConstant> constants_;
  std::map<std::string, std::size_t> byUpperName_;
  SourceExpressionValue outside_;
};

}  // namespace brevin::recovery
