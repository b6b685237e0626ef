#include "system_version.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "brevin/version_text.h"

namespace brevin::platform {

namespace {

// An os-release value: shell quoting with '...' or "..." and backslash escapes.
std::string UnquoteValue(const std::string& raw) {
  std::string out;
  char quote = 0;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (c == quote) {
      quote = 0;
    } else if (c == '\\' && quote != '\'' && i + 1 < raw.size()) {
      out += raw[++i];
    } else {
      out += c;
    }
  }
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string OsPrettyName(const std::string& osReleaseText) {
  std::string pretty;
  std::string name;
  std::istringstream lines(osReleaseText);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("PRETTY_NAME=", 0) == 0) pretty = UnquoteValue(line.substr(12));
    if (line.rfind("NAME=", 0) == 0) name = UnquoteValue(line.substr(5));
  }
  return pretty.empty() ? name : pretty;
}

std::string KernelRelease() {
  utsname names {};
  if (uname(&names) != 0) return std::string();
  return std::string(names.sysname) + " " + names.release;
}

std::string SystemVersionName(const std::string& osReleasePath) {
  std::string text = ReadFile(osReleasePath);
  if (text.empty() && osReleasePath == "/etc/os-release") text = ReadFile("/usr/lib/os-release");
  const std::string system = OsPrettyName(text);
  const std::string kernel = KernelRelease();
  if (system.empty()) return kernel.empty() ? std::string("Unknown") : kernel;
  return kernel.empty() ? system : system + ", " + kernel;
}

bool ThemesActive() { return false; }

void EnsureVisualStyles() {}

std::string ManifestText() {
  const char* const lines[] = {
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
      R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
      "<assemblyIdentity",
      R"(version="1.0.0.0")",
      R"(processorArchitecture="X86")",
      R"(name="Zorvik.Brevin.Disassembler")",
      R"(type="win32")",
      "/>",
      nullptr,  // the description, built below
      "<dependency>",
      "<dependentAssembly>",
      "<assemblyIdentity",
      R"(type="win32")",
      R"(name="Microsoft.Windows.Common-Controls")",
      R"(version="6.0.0.0")",
      R"(processorArchitecture="X86")",
      R"(publicKeyToken="6595b64144ccf1df")",
      R"(language="*")",
      "/>",
      "</dependentAssembly>",
      "</dependency>",
      "</assembly>",
  };
  std::string text;
  for (const char* line : lines) {
    text += line != nullptr ? std::string(line)
                            : "<description>Zorvik Manifest for " + std::string(ProductTitle) + "</description>";
    text += "\r\n";
  }
  return text;
}

bool WriteManifest(const std::string& folder, const std::string& exeName, std::string& error) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  const std::string target = base + exeName + ".exe.manifest";
  const std::string temp = target + ".tmp" + std::to_string(getpid());
  const std::string text = ManifestText();
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "Cannot write " + target + ": " + std::strerror(errno);
      return false;
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      error = "Cannot write " + target + ": " + std::strerror(errno);
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    error = "Cannot write " + target + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace brevin::platform
