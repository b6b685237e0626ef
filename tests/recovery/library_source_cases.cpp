// The library's names in the recovered source, on small hand-made programs:
// each case of a one-line data file is a child object's file name and source
// and a parent's source. The child alone is compiled and learned into a
// library; the parent is compiled with the child beside it, its image
// analysed with that library and recovered without any source. The
// recovered parent (after the header comment) must be the expected text,
// the child's file must carry the library's file name, and the recovered
// files must compile to the image again.
//
//   library_source_cases CASES_FILE SHARED_DIR WORK_DIR
//
// A case line: CHILD || child source || parent source || expected parent [||
// lines the recovered child holds], with "\n" for a line end. Exits 77 (skipped) when SHARED_DIR is absent.
#include "spin_compiler.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "brevin/engine.h"
#include "brevin/library.h"
#include "brevin/spin_source.h"

namespace fs = std::filesystem;
using brevin::test::SharedSpinCompiler;
const auto& Quote = brevin::test::ShellQuote;

namespace {

std::string Unescape(const std::string& field) {
  std::string text;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == 'n') {
      text += '\n';
      ++i;
    } else {
      text += field[i];
    }
  }
  return text;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (std::size_t bar = line.find(" || "); bar != std::string::npos; bar = line.find(" || ", from)) {
    fields.push_back(line.substr(from, bar - from));
    from = bar + 4;
  }
  fields.push_back(line.substr(from));
  return fields;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Compile(const fs::path& compiler, const fs::path& source, const fs::path& image) {
  fs::remove(image);
  const std::string command = Quote(compiler.string()) + " -q -b -L " + Quote(source.parent_path().string()) +
                              " -o " + Quote(image.string()) + " " + Quote(source.string()) + " > " +
                              Quote((source.parent_path() / "compile.log").string()) + " 2>&1";
  return std::system(command.c_str()) == 0 && fs::exists(image);
}

class LibraryHost : public brevin::Host {
 public:
  std::string library;
  brevin::Options LoadOptions() override {
    brevin::Options options;
    options.IncludeSourceCode = false;
    return options;
  }
  bool WantsModel() override { return true; }
  brevin::MessageAnswer ShowMessage(const std::string&, const std::string&, brevin::MessageButtons,
                                    brevin::MessageIcon) override {
    return brevin::MessageAnswer::Yes;
  }
  void DebugWrite(const std::string&) override {}
  std::vector<LibraryFile> LibraryFiles() override { return {{library, false}}; }
};

// One case; an empty string when it holds, else what went wrong.
std::string RunCase(const std::vector<std::string>& f, const fs::path& compiler, const fs::path& work) {
  const std::string child = f[0], childSource = Unescape(f[1]), parentSource = Unescape(f[2]);
  const std::string expected = Unescape(f[3]);
  fs::remove_all(work);
  fs::create_directories(work / "learn");
  fs::create_directories(work / "program");
  fs::create_directories(work / "recovered");
  std::ofstream(work / "learn" / (child + ".spin"), std::ios::binary) << childSource;
  std::ofstream(work / "program" / (child + ".spin"), std::ios::binary) << childSource;
  std::ofstream(work / "program" / "parent.spin", std::ios::binary) << parentSource;
  if (!Compile(compiler, work / "learn" / (child + ".spin"), work / "learn" / "child.binary"))
    return "the compiler rejects the child";
  if (!Compile(compiler, work / "program" / "parent.spin", work / "program" / "parent.binary"))
    return "the compiler rejects the parent";
  const std::string childImage = ReadFile(work / "learn" / "child.binary");
  brevin::ObjectLibrary library;
  const brevin::ObjectLibrary::Learned learned =
      library.Learn(std::span(reinterpret_cast<const std::uint8_t*>(childImage.data()), childImage.size()),
                    child + ".spin", childSource, [](const std::string&) { return std::string(); });
  if (!learned.problem.empty()) return "not learned: " + learned.problem;
  LibraryHost host;
  host.library = (work / "library.tsv").string();
  std::ofstream(host.library, std::ios::binary) << library.Text();
  const std::string image = ReadFile(work / "program" / "parent.binary");
  const std::vector<std::uint8_t> bytes(image.begin(), image.end());
  brevin::Engine engine(host);
  const brevin::LoadResult listed = engine.DisassembleBytes("parent.binary", bytes, false, true);
  brevin::SpinSourceRequest request;
  request.image = bytes;
  request.analysis = listed.analysis.get();
  request.topName = "parent";
  const brevin::SpinSourceProject project = brevin::RecoverSpinSource(request);
  if (project.files.size() < 2) return "not recovered: " + project.error;
  std::string text = project.files.front().text;
  const std::size_t body = text.find("\n\n");
  text = body == std::string::npos ? text : text.substr(body + 2);
  if (text != expected) return "differs:\n--- expected\n" + expected + "--- recovered\n" + text;
  if (project.files[1].name != child + ".spin") return "the child is written as " + project.files[1].name;
  // Lines the child's file must hold.
  const std::string childText = "\n" + project.files[1].text;
  if (f.size() == 5) {
    const std::string lines = Unescape(f[4]);
    for (std::size_t from = 0; from < lines.size();) {
      std::size_t end = lines.find('\n', from);
      if (end == std::string::npos) end = lines.size();
      const std::string wanted = lines.substr(from, end - from);
      if (childText.find("\n" + wanted + "\n") == std::string::npos)
        return "the child lacks the line \"" + wanted + "\":\n" + project.files[1].text;
      from = end + 1;
    }
  }
  for (const brevin::SpinSourceFile& file : project.files)
    std::ofstream(work / "recovered" / file.name, std::ios::binary) << brevin::SpinSourceFileBytes(file);
  if (!Compile(compiler, work / "recovered" / "parent.spin", work / "recovered" / "again.binary"))
    return "the compiler rejects the recovered source:\n" + project.files[1].text;
  if (ReadFile(work / "recovered" / "again.binary") != image) return "the recovered source compiles to other bytes";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: library_source_cases CASES_FILE SHARED_DIR WORK_DIR\n";
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
    const std::vector<std::string> fields = Fields(line);
    const std::string problem = fields.size() == 4 || fields.size() == 5 ? RunCase(fields, compiler, work / "case")
                                                                         : std::string("not four or five fields");
    if (!problem.empty()) {
      std::cout << "case " << number << " (line \"" << line.substr(0, 40) << "...\"): " << problem << "\n";
      ++failed;
    }
  }
  std::cout << number - failed << " of " << number << " cases hold\n";
  return failed == 0 && number > 0 ? 0 : 1;
}
