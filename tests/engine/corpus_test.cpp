// Checks over every sample image: the methods its sources reach are traced as
// method entries, traced instructions never overlap, and the object tables
// agree with the facts read from the images.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "brevin/engine.h"
#include "brevin/text.h"
#include "json_lite.h"
#include "image/image_flags.h"
#include "test_support.h"

namespace brevin {
namespace {

using test::Json;
using test::ScriptedHost;

const std::string kData = BREVIN_TEST_DATA;

// What the tests need of a Spin source: methods in table order, objects, bodies.
struct SpinSource {
  std::vector<std::string> methods;              // PUB methods in order, then PRI
  std::map<std::string, std::string> objects;    // alias -> source base name
  std::map<std::string, std::string> bodies;     // method -> its code, comments removed
};

std::string WithoutComments(const std::string& src) {
  std::string out;
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < src.size(); ++i) {
    const char c = src[i];
    if (depth > 0) {
      if (c == '{') ++depth;
      if (c == '}') --depth;
      if (c == '\n') out += c;
    } else if (inString) {
      out += c;
      if (c == '"' || c == '\n') inString = false;
    } else if (c == '"') {
      inString = true;
      out += c;
    } else if (c == '{') {
      ++depth;
    } else if (c == '\'') {
      while (i + 1 < src.size() && src[i + 1] != '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

SpinSource Scan(const std::string& name) {
  SpinSource s;
  std::vector<std::string> pubs, pris;
  const std::regex section(R"(^(CON|VAR|OBJ|PUB|PRI|DAT)\b\s*(\w*)(.*))", std::regex::icase);
  const std::regex object(R"((\w+)\s*(?:\[[^\]]*\])?\s*:\s*\"([^\"]+)\")");
  std::string current, kind;
  std::istringstream in(WithoutComments(test::ReadText(kData + "/" + name + ".spin")));
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, section)) {
      kind = m[1].str();
      for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (kind == "PUB" || kind == "PRI") {
        current = m[2].str();
        (kind == "PUB" ? pubs : pris).push_back(current);
        continue;
      }
      line = m[2].str() + m[3].str();
    }
    if (kind == "OBJ") {
      for (std::sregex_iterator it(line.begin(), line.end(), object), end; it != end; ++it) {
        std::string file = (*it)[2].str();
        if (file.size() > 5 && file.substr(file.size() - 5) == ".spin") file.resize(file.size() - 5);
        s.objects[(*it)[1].str()] = file;
      }
    } else if ((kind == "PUB" || kind == "PRI") && !current.empty()) {
      s.bodies[current] += line + "\n";
    }
  }
  s.methods = pubs;
  s.methods.insert(s.methods.end(), pris.begin(), pris.end());
  return s;
}

// Methods reachable from the top object's first method, by the calls written
// in the sources (including Spin methods started in a new cog).
std::set<std::pair<std::string, std::string>> Reachable(const std::string& top, std::map<std::string, SpinSource>& sources) {
  auto source = [&](const std::string& name) -> SpinSource& {
    if (!sources.count(name)) sources[name] = Scan(name);
    return sources[name];
  };
  std::set<std::pair<std::string, std::string>> seen;
  std::vector<std::pair<std::string, std::string>> todo{{top, source(top).methods.at(0)}};
  while (!todo.empty()) {
    auto item = todo.back();
    todo.pop_back();
    if (!seen.insert(item).second) continue;
    SpinSource& s = source(item.first);
    const std::string& body = s.bodies[item.second];
    for (const std::string& m : s.methods) {
      if (std::regex_search(body, std::regex("(^|[^.@#\\w])" + m + "\\b"))) todo.push_back({item.first, m});
    }
    for (const auto& [alias, file] : s.objects) {
      const std::regex call("\\b" + alias + "(?:\\[[^\\]]*\\])?\\.(\\w+)");
      for (std::sregex_iterator it(body.begin(), body.end(), call), end; it != end; ++it) {
        todo.push_back({file, (*it)[1].str()});
      }
      source(file);
    }
  }
  return seen;
}

std::vector<std::string> Programs() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kData)) {
    const std::string file = entry.path().filename().string();
    const std::string suffix = ".facts.json";
    if (file.size() > suffix.size() && file.substr(file.size() - suffix.size()) == suffix) {
      names.push_back(file.substr(0, file.size() - suffix.size()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Corpus, ReachedMethodsAreTracedAndInstructionsDoNotOverlap) {
  const auto programs = Programs();
  ASSERT_GE(programs.size(), 20u);
  for (const std::string& program : programs) {
    const Json facts = test::ParseJson(test::ReadText(kData + "/" + program + ".facts.json"));
    std::map<std::string, SpinSource> sources;
    const auto reachable = Reachable(program, sources);
    for (const char* kind : {"binary", "eeprom"}) {
      SCOPED_TRACE(program + "." + kind);
      ScriptedHost host;
      // Unfolded, so that every instruction stands on a line of its own.
      host.options.FoldOpcodes = host.options.FoldOperators = host.options.FoldArguments = false;
      host.options.FoldSpr = host.options.FoldIndexes = false;
      Engine e(host);
      const LoadResult r = e.LoadAndDisassemble(kData + "/" + program + "." + kind, false);
      ASSERT_EQ(r.status, LoadStatus::Listed) << r.message;
      const test::ReportedFlags flags(e);

      const Json& image = facts["images"][kind];
      std::map<long long, const Json*> objects;
      for (const Json& o : image["objects"].items) objects[o["address"].Int()] = &o;
      for (const Json& instance : image["instances"].items) {
        std::string file = instance["source"].text;
        file.resize(file.size() - 5);
        const Json& object = *objects.at(instance["object"].Int());
        const SpinSource& s = sources[file];
        for (const Json& method : object["method_entries"].items) {
          const std::string& name = s.methods.at(static_cast<std::size_t>(method["index"].Int() - 1));
          if (!reachable.count({file, name})) continue;
          const std::int64_t entry = method["address"].Int();
          EXPECT_TRUE(flags.Has(entry, flag::Call) && flags.Has(entry, flag::Spin))
              << instance["path"].text << "." << name << " at " << entry;
        }
      }

      // Every traced instruction start is listed as a line of its own.
      std::set<std::int64_t> listed;
      std::istringstream lines(r.analysis->listing);
      for (std::string line; std::getline(lines, line);) {
        if (line.size() > 13 && line[4] == ' ' && std::isxdigit(static_cast<unsigned char>(line[0])))
          listed.insert(std::stoll(line.substr(0, 4), nullptr, 16));
      }
      for (std::int64_t a = 0; a <= flags.End(); ++a) {
        if (flags.Has(a, flag::Spin) && flags.Has(a, flag::Done)) {
          EXPECT_TRUE(listed.count(a)) << "overlapped at " << a;
        }
      }
    }
  }
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

TEST(Corpus, LabelsSymbolTableAndObjectListAgreeWithTheImages) {
  for (const std::string& program : Programs()) {
    const Json facts = test::ParseJson(test::ReadText(kData + "/" + program + ".facts.json"));
    for (const char* kind : {"binary", "eeprom"}) {
      SCOPED_TRACE(program + "." + kind);
      ScriptedHost host;
      host.options.SymbolTable = true;
      Engine e(host);
      const LoadResult r = e.LoadAndDisassemble(kData + "/" + program + "." + kind, false);
      ASSERT_EQ(r.status, LoadStatus::Listed);
      const test::ReportedFlags flags(e);
      std::map<std::int64_t, std::string> symbolAt;
      for (const Symbol& symbol : r.analysis->symbols) symbolAt.emplace(symbol.address, symbol.name);

      for (std::int64_t a = 0; a <= flags.End(); ++a) {
        const std::uint32_t f = flags.At(a);
        if (!(f & flag::AnyDest)) continue;
        const auto named = symbolAt.find(a);
        ASSERT_NE(named, symbolAt.end()) << "no symbol at " << a;
        const char letter = named->second[0];
        if (f & flag::Asmb) {
          EXPECT_TRUE(letter == 'A' || letter == 'R') << a;  // R: a return location of an unknown routine
        } else if (f & flag::Call) {
          EXPECT_TRUE(letter == (f & flag::Xfun ? 'F' : 'S')) << a;
        } else {
          EXPECT_TRUE(letter == 'J' || letter == 'T' || letter == 'N') << a;
        }
      }

      // The symbol table names each symbol once.
      const std::string& listing = r.analysis->listing;
      const auto table = listing.find("\r\nSymbol Table\r\n");
      const auto objects = listing.find("\r\nObject List\r\n");
      ASSERT_NE(table, std::string::npos);
      ASSERT_NE(objects, std::string::npos);
      std::set<std::string> names;
      int rows = 0;
      std::istringstream symbols(listing.substr(table, objects - table));
      const std::regex row(R"(^[0-9A-F]{4}   ([A-Z]\w*))");
      for (std::string line; std::getline(symbols, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row) && line.find("   PBASE    Base") == std::string::npos &&
            line.compare(4, 9, "   VBASE ") != 0 && line.compare(4, 9, "   SBASE ") != 0 &&
            line.compare(4, 9, "   PINIT ") != 0 && line.compare(4, 9, "   SINIT ") != 0) {
          ++rows;
          EXPECT_TRUE(names.insert(m[1].str()).second) << "listed twice: " << m[1].str();
        }
      }
      // Every symbol counted in the heading has its row, besides the five header names.
      std::smatch used;
      const std::string head = listing.substr(table, 80);
      ASSERT_TRUE(std::regex_search(head, used, std::regex(R"((\d+) symbols used)")));
      EXPECT_GT(rows, 5);
      EXPECT_EQ(rows + 5, std::stoi(used[1].str()));

      // The object list has one block per object of the chain, in the image's order.
      std::vector<long long> listed;
      std::istringstream list(listing.substr(objects));
      for (std::string line; std::getline(list, line);) {
        if (line.size() > 17 && line[4] == ' ' && line[7] != '+' && line.compare(0, 4, "0000") != 0) {
          if (line[7] != ' ') listed.push_back(std::stoll(line.substr(0, 4), nullptr, 16));
        }
      }
      std::vector<long long> chain;
      for (const Json& o : facts["images"][kind]["objects"].items) chain.push_back(o["address"].Int());
      std::sort(chain.begin(), chain.end());
      EXPECT_EQ(listed, chain);
    }
  }
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

TEST(Corpus, TopObjectMethodsShowTheirOwnSourceHeader) {
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    const Json facts = test::ParseJson(test::ReadText(kData + "/" + program + ".facts.json"));
    const SpinSource source = Scan(program);
    ScriptedHost host;
    Engine e(host);
    const LoadResult r = e.LoadAndDisassemble(kData + "/" + program + ".binary", false);
    ASSERT_EQ(r.status, LoadStatus::Listed);
    const test::ReportedFlags flags(e);
    const std::string& listing = r.analysis->listing;
    const Json& top = facts["images"]["binary"]["objects"].items.at(0);
    for (const Json& method : top["method_entries"].items) {
      const std::int64_t entry = method["address"].Int();
      if (!flags.Has(entry, flag::Spin) || !flags.Has(entry, flag::Call)) continue;
      const std::string name = source.methods.at(static_cast<std::size_t>(method["index"].Int() - 1));
      // The last source header before the entry's first instruction line.
      // (the first line at that address with bytes: markers stand there too)
      const std::string address = "\n" + HexText(static_cast<std::uint32_t>(entry), 4) + std::string(9, ' ');
      auto at = listing.find(address);
      while (at != std::string::npos && listing[at + address.size()] == ' ') at = listing.find(address, at + 1);
      ASSERT_NE(at, std::string::npos) << name;
      const auto pub = listing.rfind("; PUB ", at);
      const auto pri = listing.rfind("; PRI ", at);
      const auto header = pub == std::string::npos ? pri : pri == std::string::npos ? pub : std::max(pub, pri);
      ASSERT_NE(header, std::string::npos) << name;
      const std::string line = listing.substr(header + 6, listing.find('\r', header) - header - 6);
      const std::regex own("^\\s*" + name + "\\b", std::regex::icase);
      EXPECT_TRUE(std::regex_search(line, own)) << name << " shows: " << line;
    }
  }
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

// Every sample's source saved as UTF-16 (LE, BE) or UTF-8 with a mark, as the
// Propeller Tool may save it, gives the listing the plain source gives.
TEST(Corpus, SourcesInEveryEncodingListAlike) {
  test::TempDir dir;
  const std::string image = dir.File("prog.binary");
  for (const std::string& program : Programs()) {
    SCOPED_TRACE(program);
    test::WriteBytes(image, test::ReadBytes(kData + "/" + program + ".binary"));
    const std::string plain = test::ReadText(kData + "/" + program + ".spin");
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (const char c : plain) {
      le += {c, '\0'};
      be += {'\0', c};
    }
    const std::pair<const char*, std::string> sources[] = {
        {"8-bit", plain}, {"UTF-16 LE", le}, {"UTF-16 BE", be}, {"UTF-8 with its mark", "\xEF\xBB\xBF" + plain}};
    std::string expected;
    for (const auto& [encoding, text] : sources) {
      SCOPED_TRACE(encoding);
      test::WriteBytes(dir.File("prog.spin"), std::vector<std::uint8_t>(text.begin(), text.end()));
      ScriptedHost host;
      host.options.InhibitWarnings = true;
      Engine e(host);
      const LoadResult r = e.LoadAndDisassemble(image, false);
      ASSERT_EQ(r.status, LoadStatus::Listed);
      if (expected.empty()) {
        expected = r.analysis->listing;
        ASSERT_NE(expected.find("\r\n====  "), std::string::npos) << "no source lines";
      } else {
        EXPECT_EQ(r.analysis->listing, expected);
      }
    }
  }
}

}  // namespace
}  // namespace brevin

namespace brevin {
namespace {

// The real programs beside the project: every header passes the checks of a
// compiled image, and no line outside Spin code is pushed off the opcode
// column by the indentation of Spin guesses before it.
TEST(RealPrograms, HeadersPassAndNonSpinLinesStartAtTheOpcodeColumn) {
  const std::filesystem::path folder = kData + "/../../../shared/realworld";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no real programs at " << folder;
  auto hex = [](std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  };
  auto pushedRight = [&](const std::string& line) {
    if (line.size() < 40 || !hex(line.substr(0, 4)) || line[37] != ' ' || line[38] != ' ') return false;
    if (line.compare(4, 6, "      ") == 0) {
      // No cog register: a data, link or marker word after blanks where the opcode column starts.
      const auto first = line.find_first_not_of(' ', 38);
      if (first == std::string::npos) return false;
      for (const std::string_view word : {"ALIGN", "LONG", "WORD", "BYTE", "LINK"}) {
        const std::size_t end = first + word.size();
        if (line.compare(first, word.size(), word) == 0 && (end == line.size() || line[end] == ' ')) return true;
      }
      return false;
    }
    // A cog line: the condition column (38) and the mnemonic column (54) both blank.
    return line.size() > 55 && line.compare(4, 3, "   ") == 0 && hex(line.substr(7, 3)) && line[54] == ' ';
  };
  struct TextOnlyHost : ScriptedHost {
    bool WantsModel() override { return false; }
  };
  int images = 0;
  std::vector<std::string> faults;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".binary") continue;
    ++images;
    TextOnlyHost host;
    host.options.IncludeSourceCode = false;
    Engine e(host);
    const std::string name = entry.path().filename().string();
    const LoadResult r = e.LoadAndDisassemble(entry.path().string(), false);
    if (r.status != LoadStatus::Listed || !host.messages.empty()) {
      faults.push_back(name + ": " + (host.messages.empty() ? r.message : host.messages[0]));
      continue;
    }
    for (const std::string& line : test::Lines(r.analysis->listing)) {
      if (pushedRight(line)) {
        faults.push_back(name + ": " + line);
        break;
      }
    }
  }
  EXPECT_GT(images, 0);
  EXPECT_TRUE(faults.empty()) << faults.size() << " images, the first: " << (faults.empty() ? "" : faults.front());
}

}  // namespace
}  // namespace brevin
