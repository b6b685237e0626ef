// A small JSON reader for the sample images' facts files.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace brevin::test {

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  const Json& operator[](const std::string& key) const;
  long long Int() const { return static_cast<long long>(number); }
};

// Throws std::runtime_error on malformed input.
Json ParseJson(const std::string& text);

}  // namespace brevin::test
