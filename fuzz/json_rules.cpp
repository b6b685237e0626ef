#include "json_rules.h"

#include <cstdint>
#include <initializer_list>

namespace brevin::fuzz {

namespace {

using nlohmann::json;

// Collects the first broken rule; every check after it is skipped.
class Rules {
 public:
  bool Ok() const { return problem_.empty(); }
  const std::string& Problem() const { return problem_; }

  bool Fail(const std::string& path, const std::string& what) {
    if (problem_.empty()) problem_ = path + ": " + what;
    return false;
  }

  bool Object(const json& v, const std::string& path, std::initializer_list<const char*> required) {
    if (!v.is_object()) return Fail(path, "not an object");
    for (const char* key : required) {
      if (!v.contains(key)) return Fail(path, std::string("no \"") + key + "\"");
    }
    return true;
  }

  bool Array(const json& v, const std::string& path) { return v.is_array() || Fail(path, "not an array"); }

  bool Int(const json& v, const std::string& path, std::int64_t low, std::int64_t high) {
    if (!v.is_number_integer()) return Fail(path, "not an integer");
    const std::int64_t n = v.get<std::int64_t>();
    if (n < low || n > high) return Fail(path, std::to_string(n) + " outside " + std::to_string(low) + ".." + std::to_string(high));
    return true;
  }

  bool IntOrNull(const json& v, const std::string& path) {
    return v.is_null() || v.is_number_integer() || Fail(path, "neither an integer nor null");
  }

  bool Bool(const json& v, const std::string& path) { return v.is_boolean() || Fail(path, "not a boolean"); }

  // A non-empty string.
  bool Name(const json& v, const std::string& path) {
    return (v.is_string() && !v.get_ref<const std::string&>().empty()) || Fail(path, "not a name");
  }

  // A label or null, never an address text such as "$1A2C".
  bool NameOrNull(const json& v, const std::string& path) {
    if (v.is_null()) return true;
    return (v.is_string() && !v.get_ref<const std::string&>().empty() && v.get_ref<const std::string&>()[0] != '$') ||
           Fail(path, "neither a label nor null");
  }

 private:
  std::string problem_;
};

constexpr std::int64_t kLastAddress = 32767;

bool HexPairs(const std::string& s) {
  if (s.empty() || s.size() % 2 != 0) return false;
  for (const char c : s) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

void CheckImage(Rules& r, const json& im) {
  if (!r.Object(im, "image", {"path", "size", "checksum_ok", "clock_freq", "clock_mode", "pbase", "vbase", "sbase",
                              "pinit", "sinit"})) {
    return;
  }
  if (!im["path"].is_string()) r.Fail("image/path", "not a string");
  r.Int(im["size"], "image/size", 0, INT64_MAX);
  r.Bool(im["checksum_ok"], "image/checksum_ok");
  r.Int(im["clock_freq"], "image/clock_freq", 0, 0xFFFFFFFF);
  r.Int(im["clock_mode"], "image/clock_mode", 0, 0xFFFFFFFF);
  for (const char* word : {"pbase", "vbase", "sbase", "pinit", "sinit"}) r.Int(im[word], std::string("image/") + word, 0, 0xFFFF);
}

void CheckRegions(Rules& r, const json& regions) {
  if (!r.Array(regions, "regions")) return;
  if (regions.empty()) r.Fail("regions", "empty");
  for (std::size_t i = 0; i < regions.size() && r.Ok(); ++i) {
    const json& g = regions[i];
    const std::string at = "regions/" + std::to_string(i);
    if (!r.Object(g, at, {"start", "end", "kind", "name"})) return;
    r.Int(g["start"], at + "/start", 0, kLastAddress);
    r.Int(g["end"], at + "/end", 1, kLastAddress + 1);
    const json& kind = g["kind"];
    bool known = false;
    for (const char* k : {"header", "object_table", "spin", "asm", "data", "variables", "stack", "free"}) {
      known = known || (kind.is_string() && kind.get_ref<const std::string&>() == k);
    }
    if (!known) r.Fail(at + "/kind", "not a region kind");
    r.NameOrNull(g["name"], at + "/name");
  }
}

void CheckObjects(Rules& r, const json& objects) {
  if (!r.Array(objects, "objects")) return;
  for (std::size_t i = 0; i < objects.size() && r.Ok(); ++i) {
    const json& o = objects[i];
    const std::string at = "objects/" + std::to_string(i);
    if (!r.Object(o, at, {"address", "methods"})) return;
    r.Int(o["address"], at + "/address", 0, kLastAddress);
    if (o.contains("traced")) r.Bool(o["traced"], at + "/traced");
    if (!r.Array(o["methods"], at + "/methods")) return;
    for (std::size_t k = 0; k < o["methods"].size() && r.Ok(); ++k) {
      const json& m = o["methods"][k];
      const std::string mat = at + "/methods/" + std::to_string(k);
      if (!r.Object(m, mat, {"index", "address", "label", "source_name"})) return;
      r.Int(m["index"], mat + "/index", 1, INT64_MAX);
      r.Int(m["address"], mat + "/address", 0, 98302);
      r.NameOrNull(m["label"], mat + "/label");
      if (!m["source_name"].is_string() && !m["source_name"].is_null()) r.Fail(mat + "/source_name", "neither a string nor null");
      if (m.contains("traced")) r.Bool(m["traced"], mat + "/traced");
    }
  }
}

void CheckBlocksAndSymbols(Rules& r, const json& blocks, const json& symbols) {
  if (!r.Array(blocks, "asm_blocks") || !r.Array(symbols, "symbols")) return;
  for (std::size_t i = 0; i < blocks.size() && r.Ok(); ++i) {
    const std::string at = "asm_blocks/" + std::to_string(i);
    if (!r.Object(blocks[i], at, {"hub_address", "label", "longs"})) return;
    r.Int(blocks[i]["hub_address"], at + "/hub_address", 0, kLastAddress);
    r.NameOrNull(blocks[i]["label"], at + "/label");
    r.Int(blocks[i]["longs"], at + "/longs", 0, INT64_MAX);
  }
  for (std::size_t i = 0; i < symbols.size() && r.Ok(); ++i) {
    const json& s = symbols[i];
    const std::string at = "symbols/" + std::to_string(i);
    if (!r.Object(s, at, {"name", "address", "referenced_from"})) return;
    r.Name(s["name"], at + "/name");
    r.Int(s["address"], at + "/address", 0, kLastAddress);
    if (!r.Array(s["referenced_from"], at + "/referenced_from")) return;
    for (const json& from : s["referenced_from"]) {
      if (!from.is_number_integer()) r.Fail(at + "/referenced_from", "not an integer");
    }
  }
}

void CheckLine(Rules& r, const json& l, const std::string& at) {
  if (!r.Object(l, at, {"text", "address", "cog", "defines", "refs"})) return;
  if (!l["text"].is_string()) {
    r.Fail(at + "/text", "not a string");
    return;
  }
  if (l["text"].get_ref<const std::string&>().find_first_of("\r\n") != std::string::npos) {
    r.Fail(at + "/text", "holds a CR or LF");
  }
  r.IntOrNull(l["address"], at + "/address");
  r.IntOrNull(l["cog"], at + "/cog");
  if (!l["defines"].is_null()) r.Name(l["defines"], at + "/defines");
  // A code line has all of its instruction keys, each of its kind.
  if (l.contains("size")) {
    for (const char* key : {"bytes", "mnemonic", "operands"}) {
      if (!l.contains(key)) r.Fail(at, std::string("\"size\" without \"") + key + "\"");
    }
    if (!r.Ok()) return;
    r.Int(l["size"], at + "/size", 1, INT64_MAX);
    if (!r.Name(l["mnemonic"], at + "/mnemonic")) return;
    if (!l["operands"].is_string()) r.Fail(at + "/operands", "not a string");
  }
  if (l.contains("bytes") && !(l["bytes"].is_string() && HexPairs(l["bytes"].get_ref<const std::string&>()))) {
    r.Fail(at + "/bytes", "not hex digit pairs");
  }
  if (l.contains("condition") &&
      !(l["condition"].is_string() && l["condition"].get_ref<const std::string&>().starts_with("IF_"))) {
    r.Fail(at + "/condition", "not a condition");
  }
  if (!r.Array(l["refs"], at + "/refs")) return;
  for (std::size_t k = 0; k < l["refs"].size() && r.Ok(); ++k) {
    const json& ref = l["refs"][k];
    const std::string rat = at + "/refs/" + std::to_string(k);
    if (!r.Object(ref, rat, {"start", "end", "name", "target"})) return;
    r.Int(ref["start"], rat + "/start", 0, INT64_MAX);
    r.Int(ref["end"], rat + "/end", 1, INT64_MAX);
    r.Name(ref["name"], rat + "/name");
    r.Int(ref["target"], rat + "/target", 0, kLastAddress);
  }
}

}  // namespace

std::string JsonSchemaProblems(const nlohmann::json& doc) {
  Rules r;
  if (!r.Object(doc, "(document)", {"format", "version", "image", "bytecode_listing", "regions", "objects",
                                    "asm_blocks", "symbols", "lines"})) {
    return r.Problem();
  }
  if (doc["format"] != "brevin-analysis") r.Fail("format", "not \"brevin-analysis\"");
  if (doc["version"] != 1) r.Fail("version", "not 1");
  CheckImage(r, doc["image"]);
  r.Bool(doc["bytecode_listing"], "bytecode_listing");
  CheckRegions(r, doc["regions"]);
  CheckObjects(r, doc["objects"]);
  CheckBlocksAndSymbols(r, doc["asm_blocks"], doc["symbols"]);
  if (r.Ok() && r.Array(doc["lines"], "lines")) {
    for (std::size_t i = 0; i < doc["lines"].size() && r.Ok(); ++i) CheckLine(r, doc["lines"][i], "lines/" + std::to_string(i));
  }
  return r.Problem();
}

}  // namespace brevin::fuzz
