#include "json_output.h"

#include <nlohmann/json.hpp>

namespace brevin::cli {

namespace {
using Json = nlohmann::ordered_json;

template <typename T>
Json OrNull(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}
}  // namespace

std::string AnalysisJson(const Analysis& a) {
  Json root;
  root["format"] = "brevin-analysis";
  root["version"] = 1;
  root["image"] = {{"path", a.image.path},     {"size", a.image.size},   {"checksum_ok", a.image.checksumOk},
                   {"clock_freq", a.image.clockFreq}, {"clock_mode", a.image.clockMode}, {"pbase", a.image.pbase},
                   {"vbase", a.image.vbase},   {"sbase", a.image.sbase}, {"pinit", a.image.pinit},
                   {"sinit", a.image.sinit}};
  root["bytecode_listing"] = a.bytecodeListing;

  Json& regions = root["regions"] = Json::array();
  for (const Region& r : a.regions) {
    regions.push_back({{"start", r.start}, {"end", r.end}, {"kind", RegionKindName(r.kind)}, {"name", r.name}});
  }

  Json& objects = root["objects"] = Json::array();
  for (const ObjectInfo& o : a.objects) {
    Json methods = Json::array();
    for (const Method& m : o.methods) {
      methods.push_back(
          {{"index", m.index}, {"address", m.address}, {"label", m.label}, {"source_name", OrNull(m.sourceName)}});
    }
    objects.push_back({{"address", o.address}, {"methods", std::move(methods)}});
  }

  Json& blocks = root["asm_blocks"] = Json::array();
  for (const AsmBlock& b : a.asmBlocks) {
    blocks.push_back({{"hub_address", b.hubAddress},
                      {"label", b.label.empty() ? Json(nullptr) : Json(b.label)},
                      {"longs", b.longs}});
  }

  Json& symbols = root["symbols"] = Json::array();
  for (const Symbol& s : a.symbols) {
    symbols.push_back({{"name", s.name}, {"address", s.address}, {"referenced_from", s.referencedFrom}});
  }

  Json& lines = root["lines"] = Json::array();
  for (const ListingLine& l : a.lines) {
    Json refs = Json::array();
    for (const LineReference& r : l.refs) {
      refs.push_back({{"start", r.start}, {"end", r.end}, {"name", r.name}, {"target", r.target}});
    }
    lines.push_back({{"text", l.text},
                     {"address", OrNull(l.address)},
                     {"cog", OrNull(l.cog)},
                     {"defines", OrNull(l.defines)},
                     {"refs", std::move(refs)}});
  }
  // Listing texts are printable ASCII, but a path may not be UTF-8: replace, never throw.
  return root.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace brevin::cli
