#include "json_lite.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace brevin::test {

const Json& Json::operator[](const std::string& key) const {
  static const Json kMissing;
  auto it = fields.find(key);
  return it == fields.end() ? kMissing : it->second;
}

namespace {
class Parser {
 public:
  explicit Parser(const std::string& t) : t_(t) {}
  Json Value() {
    Skip();
    if (i_ >= t_.size()) throw std::runtime_error("json: unexpected end");
    const char c = t_[i_];
    Json v;
    if (c == '{') {
      v.kind = Json::Object;
      ++i_;
      Skip();
      if (Peek('}')) return ++i_, v;
      do {
        Skip();
        std::string key = Str();
        Skip();
        Expect(':');
        v.fields[key] = Value();
        Skip();
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      v.kind = Json::Array;
      ++i_;
      Skip();
      if (Peek(']')) return ++i_, v;
      do v.items.push_back(Value());
      while ((Skip(), Take(',')));
      Skip();
      Expect(']');
    } else if (c == '"') {
      v.kind = Json::String;
      v.text = Str();
    } else if (t_.compare(i_, 4, "true") == 0 || t_.compare(i_, 5, "false") == 0) {
      v.kind = Json::Bool;
      v.boolean = t_[i_] == 't';
      i_ += v.boolean ? 4 : 5;
    } else if (t_.compare(i_, 4, "null") == 0) {
      i_ += 4;
    } else {
      char* end = nullptr;
      v.kind = Json::Number;
      v.number = std::strtod(t_.c_str() + i_, &end);
      if (end == t_.c_str() + i_) throw std::runtime_error("json: bad value");
      i_ = static_cast<std::size_t>(end - t_.c_str());
    }
    return v;
  }

 private:
  void Skip() {
    while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
  }
  bool Peek(char c) const { return i_ < t_.size() && t_[i_] == c; }
  bool Take(char c) { return Peek(c) ? (++i_, true) : false; }
  void Expect(char c) {
    if (!Take(c)) throw std::runtime_error(std::string("json: expected ") + c);
  }
  std::string Str() {
    Expect('"');
    std::string s;
    while (i_ < t_.size() && t_[i_] != '"') {
      if (t_[i_] == '\\' && i_ + 1 < t_.size()) ++i_;
      s += t_[i_++];
    }
    Expect('"');
    return s;
  }
  const std::string& t_;
  std::size_t i_ = 0;
};
}  // namespace

Json ParseJson(const std::string& text) { return Parser(text).Value(); }

}  // namespace brevin::test
