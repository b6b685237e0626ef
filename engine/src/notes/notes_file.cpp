// The notes file: a small JSON document read with a reader of its own (the
// engine takes no JSON library) and written in one fixed layout, so that a
// file kept under version control changes only where a note changed.
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <map>
#include <memory>

#include "brevin/notes.h"

namespace brevin {

namespace {

constexpr std::array<std::string_view, 8> kKindNames = {"method", "jump", "local", "variable",
                                                         "dat",    "asm",  "object", "comment"};

// A text from the file as a message shows it: on one line, each control
// character as a JSON escape, at most 40 characters.
std::string Shown(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, 40)) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += "\\u00";
      shown += kHex[u >> 4];
      shown += kHex[u & 15];
    } else {
      shown += c;
    }
  }
  return text.size() > 40 ? shown + "..." : shown;
}

// ---- Reading: a JSON value tree, depth-limited, with one-line reasons.

struct Value {
  enum class Type { Null, Bool, Number, String, Array, Object } type = Type::Null;
  bool boolean = false;
  double number = 0;
  bool integral = false;
  std::int64_t integer = 0;
  std::string text;
  std::vector<Value> items;
  // An object's members: keys[i] names values[i] (two vectors: a vector may
  // hold the type it is a member of, a pair may not).
  std::vector<std::string> keys;
  std::vector<Value> values;

  const Value* Member(std::string_view key) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == key) return &values[i];
    return nullptr;
  }
};

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Document(Value& value) {
    // A byte-order mark some editors put first is no JSON, but harmless.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    if (!Parse(value, 0)) return false;
    Blanks();
    if (at_ != text_.size()) return Fail("text after the JSON document");
    return true;
  }
  const std::string& Problem() const { return problem_; }

 private:
  static constexpr int kMaxDepth = 16;

  bool Fail(const std::string& what) {
    if (problem_.empty()) problem_ = what + " at line " + std::to_string(Line()) + " column " + std::to_string(Column());
    return false;
  }
  std::size_t Line() const { return 1 + static_cast<std::size_t>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(at_), '\n')); }
  std::size_t Column() const {
    const std::size_t nl = text_.rfind('\n', at_ == 0 ? 0 : at_ - 1);
    return at_ - (nl == std::string_view::npos || at_ == 0 ? 0 : nl + 1) + 1;
  }
  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) ++at_;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return Fail("not JSON");
    at_ += word.size();
    return true;
  }

  bool Parse(Value& v, int depth) {
    if (depth > kMaxDepth) return Fail("nested too deeply");
    Blanks();
    if (at_ >= text_.size()) return Fail("the text ends early");
    const char c = text_[at_];
    if (c == '{') return ParseObject(v, depth);
    if (c == '[') return ParseArray(v, depth);
    if (c == '"') {
      v.type = Value::Type::String;
      return ParseString(v.text);
    }
    if (c == 't' || c == 'f') {
      v.type = Value::Type::Bool;
      v.boolean = c == 't';
      return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n') return Word("null");
    if (c == '-' || (c >= '0' && c <= '9')) return ParseNumber(v);
    return Fail("not JSON");
  }

  bool ParseObject(Value& v, int depth) {
    v.type = Value::Type::Object;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      return true;
    }
    for (;;) {
      Blanks();
      if (at_ >= text_.size() || text_[at_] != '"') return Fail("a key expected");
      std::string key;
      if (!ParseString(key)) return false;
      Blanks();
      if (at_ >= text_.size() || text_[at_] != ':') return Fail("':' expected");
      ++at_;
      Value member;
      if (!Parse(member, depth + 1)) return false;
      if (v.Member(key) != nullptr) return Fail("the key \"" + Shown(key) + "\" given twice");
      v.keys.push_back(std::move(key));
      v.values.push_back(std::move(member));
      Blanks();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == '}') {
        ++at_;
        return true;
      }
      return Fail("',' or '}' expected");
    }
  }

  bool ParseArray(Value& v, int depth) {
    v.type = Value::Type::Array;
    ++at_;
    Blanks();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      Value item;
      if (!Parse(item, depth + 1)) return false;
      v.items.push_back(std::move(item));
      Blanks();
      if (at_ < text_.size() && text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < text_.size() && text_[at_] == ']') {
        ++at_;
        return true;
      }
      return Fail("',' or ']' expected");
    }
  }

  static void PutUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  bool Hex4(std::uint32_t& unit) {
    if (at_ + 4 > text_.size()) return Fail("a bad \\u escape");
    unit = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = text_[at_++];
      const int d = h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
      if (d < 0) return Fail("a bad \\u escape");
      unit = unit * 16 + static_cast<std::uint32_t>(d);
    }
    return true;
  }

  bool ParseString(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return Fail("a control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) break;
      const char e = text_[at_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t unit = 0;
          if (!Hex4(unit)) return false;
          if (unit >= 0xD800 && unit < 0xDC00 && text_.substr(at_, 2) == "\\u") {
            at_ += 2;
            std::uint32_t low = 0;
            if (!Hex4(low)) return false;
            if (low < 0xDC00 || low >= 0xE000) return Fail("a bad \\u escape");
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          } else if (unit >= 0xD800 && unit < 0xE000) {
            unit = 0xFFFD;  // a lone surrogate stands for no character
          }
          PutUtf8(out, unit);
          break;
        }
        default: return Fail("a bad escape in a string");
      }
    }
    return Fail("a string without its closing quote");
  }

  // A JSON number: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool ParseNumber(Value& v) {
    v.type = Value::Type::Number;
    const std::size_t start = at_;
    const auto digits = [this] {
      const std::size_t from = at_;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
      return at_ - from;
    };
    if (text_[at_] == '-') ++at_;
    const std::size_t whole = at_;
    if (digits() == 0 || (text_[whole] == '0' && at_ - whole > 1)) return Fail("a bad number");
    bool fraction = false;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (digits() == 0) return Fail("a bad number");
      fraction = true;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (digits() == 0) return Fail("a bad number");
      fraction = true;
    }
    const std::string_view number = text_.substr(start, at_ - start);
    v.integral = !fraction && number.size() <= 12;
    if (v.integral) {
      const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), v.integer);
      v.integral = ec == std::errc() && end == number.data() + number.size();
    }
    return true;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::string problem_;
};

bool IsPrint(const std::string& text) {
  return text.size() == 16 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// One note of the "names" or "comments" array; the reason when it is none.
std::string ReadNote(const Value& v, bool isName, Note& note) {
  if (v.type != Value::Type::Object) return "an entry that is no object";
  const auto string = [&](std::string_view key, std::string& out, bool required) -> std::string {
    const Value* m = v.Member(key);
    if (m == nullptr) return required ? "an entry without \"" + std::string(key) + "\"" : std::string();
    if (m->type != Value::Type::String) return "\"" + std::string(key) + "\" is no string";
    out = m->text;
    return {};
  };
  const auto integer = [&](std::string_view key, std::int64_t low, std::int64_t high, auto& out) -> std::string {
    const Value* m = v.Member(key);
    if (m == nullptr) return {};
    if (m->type != Value::Type::Number || !m->integral || m->integer < low || m->integer > high)
      return "\"" + std::string(key) + "\" is no number from " + std::to_string(low) + " to " + std::to_string(high);
    out = static_cast<std::remove_reference_t<decltype(out)>>(m->integer);
    return {};
  };
  std::string problem;
  if (isName) {
    std::string kind;
    if (!(problem = string("kind", kind, true)).empty()) return problem;
    const std::optional<NoteKind> k = NoteKindFromName(kind == "parameter" ? "local" : kind);
    if (!k || *k == NoteKind::Comment) return "an unknown kind \"" + Shown(kind) + "\"";
    note.kind = *k;
    if (!(problem = string("name", note.text, true)).empty()) return problem;
    if (!IsSpinIdentifier(note.text)) return "\"" + Shown(note.text) + "\" is no Spin name";
  } else {
    note.kind = NoteKind::Comment;
    if (!(problem = string("text", note.text, true)).empty()) return problem;
    for (const char c : note.text)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "a comment with a line break or control character";
  }
  NoteAnchor& at = note.at;
  std::int32_t address = -1, cog = -1;
  if (!(problem = string("label", note.label, false)).empty()) return problem;
  if (!(problem = integer("address", 0, 0xFFFF, address)).empty()) return problem;
  if (!(problem = integer("cog", 0, 0x1FF, cog)).empty()) return problem;
  for (const auto& [key, field] : {std::pair<std::string_view, std::string*>{"object", &at.object},
                                   {"data", &at.data}, {"method", &at.method}}) {
    if (!(problem = string(key, *field, false)).empty()) return problem;
    if (!field->empty() && !IsPrint(*field)) return "\"" + std::string(key) + "\" is no print of 16 hex digits";
  }
  if (!(problem = integer("object_number", 0, 4095, at.objectNumber)).empty()) return problem;
  if (!(problem = integer("instance", 0, 4095, at.instance)).empty()) return problem;
  if (!(problem = integer("method_index", 0, 255, at.methodIndex)).empty()) return problem;
  if (!(problem = integer("offset", -0x8000, 0xFFFF, at.offset)).empty()) return problem;
  if (address >= 0) at.address = address;
  if (cog >= 0) at.cog = cog;
  if (!at.address && !at.Anchored()) return "a note without an address or a print";
  return {};
}

// ---- Writing

void PutString(std::string& out, std::string_view s) {
  out += '"';
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

void PutNote(std::string& out, const Note& note, bool isName) {
  const NoteAnchor& at = note.at;
  std::vector<std::pair<std::string, std::string>> fields;  // key, JSON value
  const auto str = [](std::string_view s) {
    std::string v;
    PutString(v, s);
    return v;
  };
  if (isName) {
    fields.emplace_back("kind", str(NoteKindName(note.kind)));
    fields.emplace_back("name", str(note.text));
    if (!note.label.empty()) fields.emplace_back("label", str(note.label));
  } else {
    fields.emplace_back("text", str(note.text));
  }
  if (at.address) fields.emplace_back("address", std::to_string(*at.address));
  if (at.cog) fields.emplace_back("cog", std::to_string(*at.cog));
  if (!at.object.empty()) fields.emplace_back("object", str(at.object));
  if (!at.data.empty()) fields.emplace_back("data", str(at.data));
  if (!at.method.empty()) fields.emplace_back("method", str(at.method));
  if (at.Anchored()) {
    fields.emplace_back("object_number", std::to_string(at.objectNumber));
    if (at.instance != 0) fields.emplace_back("instance", std::to_string(at.instance));
    if (at.methodIndex != 0) fields.emplace_back("method_index", std::to_string(at.methodIndex));
    fields.emplace_back("offset", std::to_string(at.offset));
  }
  out += "    {\n";
  for (std::size_t k = 0; k < fields.size(); ++k) {
    out += "      ";
    PutString(out, fields[k].first);
    out += ": " + fields[k].second + (k + 1 < fields.size() ? ",\n" : "\n");
  }
  out += "    }";
}

// The order notes are written in: by kind, then place, then text.
bool NoteBefore(const Note& x, const Note& y) {
  const auto key = [](const Note& n) {
    return std::make_tuple(static_cast<int>(n.kind), n.at.address.value_or(-1), n.at.objectNumber, n.at.instance,
                           n.at.methodIndex, n.at.offset);
  };
  if (key(x) != key(y)) return key(x) < key(y);
  return x.text < y.text;
}

}  // namespace

std::string_view NoteKindName(NoteKind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

std::optional<NoteKind> NoteKindFromName(std::string_view name) {
  for (std::size_t k = 0; k < kKindNames.size(); ++k)
    if (kKindNames[k] == name) return static_cast<NoteKind>(k);
  return std::nullopt;
}

std::string NotesPathFor(const std::string& imagePath) { return imagePath + ".brevin.json"; }

std::optional<Notes> ParseNotes(std::string_view text, std::string& problem) {
  Value root;
  Reader reader(text);
  if (!reader.Document(root)) {
    problem = reader.Problem();
    return std::nullopt;
  }
  if (root.type != Value::Type::Object) {
    problem = "no JSON object";
    return std::nullopt;
  }
  const Value* format = root.Member("format");
  if (format == nullptr || format->type != Value::Type::String || format->text != "brevin-notes") {
    problem = "no \"format\": \"brevin-notes\"";
    return std::nullopt;
  }
  const Value* version = root.Member("version");
  if (version == nullptr || version->type != Value::Type::Number || !version->integral || version->integer != 1) {
    problem = "a version other than 1";
    return std::nullopt;
  }
  Notes notes;
  for (const auto& [key, isName] : {std::pair<std::string_view, bool>{"names", true}, {"comments", false}}) {
    const Value* list = root.Member(key);
    if (list == nullptr) continue;
    if (list->type != Value::Type::Array) {
      problem = "\"" + std::string(key) + "\" is no array";
      return std::nullopt;
    }
    for (std::size_t i = 0; i < list->items.size(); ++i) {
      Note note;
      if (std::string why = ReadNote(list->items[i], isName, note); !why.empty()) {
        problem = std::string(key) + " entry " + std::to_string(i + 1) + ": " + why;
        return std::nullopt;
      }
      (isName ? notes.names : notes.comments).push_back(std::move(note));
    }
  }
  return notes;
}

std::string NotesText(const Notes& notes) {
  std::string out = "{\n  \"format\": \"brevin-notes\",\n  \"version\": 1,\n";
  for (const auto& [key, list, isName] : {std::tuple<const char*, const std::vector<Note>*, bool>{"names", &notes.names, true},
                                          {"comments", &notes.comments, false}}) {
    std::vector<const Note*> sorted;
    for (const Note& n : *list) sorted.push_back(&n);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Note* x, const Note* y) { return NoteBefore(*x, *y); });
    out += "  \"" + std::string(key) + "\": [";
    for (std::size_t k = 0; k < sorted.size(); ++k) {
      out += k == 0 ? "\n" : ",\n";
      PutNote(out, *sorted[k], isName);
    }
    out += sorted.empty() ? "]" : "\n  ]";
    out += isName ? ",\n" : "\n";
  }
  out += "}\n";
  return out;
}

bool IsSpinIdentifier(std::string_view name) {
  if (name.empty() || name.size() > 30 || std::isdigit(static_cast<unsigned char>(name[0])) != 0) return false;
  for (const char c : name)
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') return false;
  // The words of the language and the names the compiler defines.
  static constexpr std::string_view kReserved[] = {
      "ABORT", "ABS", "ABSNEG", "ADD", "ADDABS", "ADDS", "ADDSX", "ADDX", "AND", "ANDN", "BYTE", "BYTEFILL",
      "BYTEMOVE", "CALL", "CASE", "CHIPVER", "CLKFREQ", "CLKMODE", "CLKSET", "CMP", "CMPS", "CMPSUB", "CMPSX",
      "CMPX", "CNT", "COGID", "COGINIT", "COGNEW", "COGSTOP", "CON", "CONSTANT", "CTRA", "CTRB", "DAT", "DIRA",
      "DIRB", "DJNZ", "ELSE", "ELSEIF", "ELSEIFNOT", "ENC", "FALSE", "FILE", "FIT", "FLOAT", "FROM", "FRQA", "FRQB",
      "HUBOP", "IF", "IFNOT", "IF_A", "IF_AE", "IF_ALWAYS", "IF_B", "IF_BE", "IF_C", "IF_C_AND_NZ", "IF_C_AND_Z",
      "IF_C_EQ_Z", "IF_C_NE_Z", "IF_C_OR_NZ", "IF_C_OR_Z", "IF_E", "IF_NC", "IF_NC_AND_NZ", "IF_NC_AND_Z",
      "IF_NC_OR_NZ", "IF_NC_OR_Z", "IF_NE", "IF_NEVER", "IF_NZ", "IF_NZ_AND_C", "IF_NZ_AND_NC", "IF_NZ_OR_C",
      "IF_NZ_OR_NC", "IF_Z", "IF_Z_AND_C", "IF_Z_AND_NC", "IF_Z_EQ_C", "IF_Z_NE_C", "IF_Z_OR_C", "IF_Z_OR_NC",
      "INA", "INB", "JMP", "JMPRET", "LOCKCLR", "LOCKNEW", "LOCKRET", "LOCKSET", "LONG", "LONGFILL", "LONGMOVE",
      "LOOKDOWN", "LOOKDOWNZ", "LOOKUP", "LOOKUPZ", "MAX", "MAXS", "MIN", "MINS", "MOV", "MOVD", "MOVI", "MOVS",
      "MUL", "MULS", "MUXC", "MUXNC", "MUXNZ", "MUXZ", "NEG", "NEGC", "NEGNC", "NEGNZ", "NEGX", "NEGZ", "NEXT",
      "NOP", "NOT", "NR", "OBJ", "ONES", "OR", "ORG", "ORGX", "OTHER", "OUTA", "OUTB", "PAR", "PHSA", "PHSB", "PI",
      "PLL1X", "PLL2X", "PLL4X", "PLL8X", "PLL16X", "POSX", "PRI", "PUB", "QUIT", "RCFAST", "RCL", "RCR", "RCSLOW",
      "RDBYTE", "RDLONG", "RDWORD", "REBOOT", "REPEAT", "RES", "RESULT", "RET", "RETURN", "REV", "ROL", "ROR",
      "ROUND", "SAR", "SHL", "SHR", "SPR", "STEP", "STRCOMP", "STRING", "STRSIZE", "SUB", "SUBABS", "SUBS", "SUBSX",
      "SUBX", "SUMC", "SUMNC", "SUMNZ", "SUMZ", "TEST", "TESTN", "TJNZ", "TJZ", "TO", "TRUE", "TRUNC", "UNTIL",
      "VAR", "VCFG", "VSCL", "WAITCNT", "WAITPEQ", "WAITPNE", "WAITVID", "WC", "WHILE", "WORD", "WORDFILL",
      "WORDMOVE", "WR", "WRBYTE", "WRLONG", "WRWORD", "WZ", "XINPUT", "XOR", "XTAL1", "XTAL2", "XTAL3",
      "_CLKFREQ", "_CLKMODE", "_FREE", "_STACK", "_XINFREQ"};
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return std::find(std::begin(kReserved), std::end(kReserved), upper) == std::end(kReserved);
}

}  // namespace brevin
