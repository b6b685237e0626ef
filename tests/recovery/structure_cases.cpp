// The structure recovery on small hand-made methods: each case of a one-line
// data file is a Spin source; it is compiled with the compiler from the shared
// tools, its image recovered with the names of that source, and the recovered
// text (after the header comment) must be the source again. A case may go on
// with " ## " and the source of an object "child.spin" its OBJ block names
// (compiled and read beside it), and " ## " and the text to expect when it
// is not the source's. A case written "alone: SOURCE" is recovered without
// its source, as a user who lost it has it: SOURCE is then written with the
// names the recovery gives, and the case checks what the recovery chooses
// alone (PUB or PRI, how constants read).
//
//   spin_structure_cases CASES_FILE SHARED_DIR WORK_DIR
//
// Exits 77 (skipped) when SHARED_DIR is absent.
#include "spin_compiler.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "brevin/spin_source.h"

namespace fs = std::filesystem;
using brevin::test::SharedSpinCompiler;
const auto& Quote = brevin::test::ShellQuote;

namespace {

std::string Unescape(const std::string& line) {
  std::string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'n') {
      text += '\n';
      ++i;
    } else if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
      text += '\\';
      ++i;
    } else {
      text += line[i];
    }
  }
  return text + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: spin_structure_cases CASES_FILE SHARED_DIR WORK_DIR\n";
    return 2;
  }
  const fs::path shared = argv[2];
  const fs::path work = argv[3];
  if (!fs::is_directory(shared / "tools")) {
    std::cout << "skipped: " << shared.string() << " with the compiler is absent\n";
    return 77;
  }
  fs::create_directories(work);
  const fs::path compiler = SharedSpinCompiler(shared, work);
  if (compiler.empty()) return 1;
  std::ifstream cases(argv[1]);
  std::string line;
  int number = 0, failed = 0;
  while (std::getline(cases, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++number;
    const std::string alonePrefix = "alone: ";
    const bool alone = line.compare(0, alonePrefix.size(), alonePrefix) == 0;
    if (alone) line = line.substr(alonePrefix.size());
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t sep; (sep = line.find(" ## ", at)) != std::string::npos; at = sep + 4) parts.push_back(line.substr(at, sep - at));
    parts.push_back(line.substr(at));
    const std::string source = Unescape(parts[0]);
    const std::string child = parts.size() > 1 ? Unescape(parts[1]) : std::string();
    const std::string expected = parts.size() > 2 ? Unescape(parts[2]) : source;
    const fs::path spin = work / "case.spin";
    const fs::path image = work / "case.binary";
    std::ofstream(spin, std::ios::binary) << source;
    std::ofstream(work / "child.spin", std::ios::binary) << child;
    fs::remove(image);
    const std::string command = Quote(compiler.string()) + " -q -b -L " + Quote(work.string()) + " -o " +
                                Quote(image.string()) + " " + Quote(spin.string()) + " > " +
                                Quote((work / "compile.log").string()) + " 2>&1";
    if (std::system(command.c_str()) != 0) {
      std::cout << "case " << number << ": the compiler rejects the case itself\n";
      ++failed;
      continue;
    }
    std::ifstream in(image, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    brevin::SpinSourceRequest request;
    request.image = bytes;
    request.topName = "case";
    if (!alone) request.sourceText = source;
    request.objectSource = [&child](const std::string& file) { return file == "child" ? child : std::string(); };
    const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
    std::string text = project.files.empty() ? project.error : project.files.front().text;
    // The header comment and the blank line after it.
    const std::size_t body = text.find("\n\n");
    text = body == std::string::npos ? text : text.substr(body + 2);
    if (text != expected || project.InexactMethods() != 0) {
      std::cout << "case " << number << " differs:\n--- expected\n" << expected << "--- recovered\n" << text;
      for (const brevin::SpinSourceMethod& m : project.methods)
        if (!m.exact) std::cout << "(" << m.name << ": " << m.difference << ")\n";
      ++failed;
    }
  }
  std::cout << number - failed << " of " << number << " cases recovered as written\n";
  return failed == 0 && number > 0 ? 0 : 1;
}
