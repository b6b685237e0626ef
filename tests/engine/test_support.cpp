#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace brevin::test {

MessageAnswer ScriptedHost::ShowMessage(const std::string& /*title*/, const std::string& text,
                                        MessageButtons buttons, MessageIcon /*icon*/) {
  messages.push_back(text);
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::Yes;
  const MessageAnswer a = answers.front();
  answers.pop_front();
  return a;
}

std::vector<std::uint8_t> BuildImage(const ImageSpec& spec) {
  constexpr int kPbase = 0x10;
  std::vector<std::uint8_t> object = spec.object;
  while (object.size() % 4 != 0) object.push_back(0);
  if (object.size() < 8) object.resize(8, 0);
  if (spec.setLength) {
    object[0] = static_cast<std::uint8_t>(object.size() & 0xFF);
    object[1] = static_cast<std::uint8_t>(object.size() >> 8);
  }

  const int vbase = kPbase + static_cast<int>(object.size());
  const int sbase = vbase + spec.varBytes + 8;
  const int pinit = spec.pinit >= 0 ? spec.pinit : kPbase + (object[4] | object[5] << 8);
  const int sinit = sbase + 4;

  std::vector<std::uint8_t> image(spec.eeprom ? 32768 : static_cast<std::size_t>(vbase), 0);
  auto put16 = [&](int at, int v) {
    image[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(v & 0xFF);
    image[static_cast<std::size_t>(at) + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  };
  for (int i = 0; i < 4; ++i) image[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(spec.clockFreq >> (8 * i));
  image[4] = spec.clockMode;
  put16(6, kPbase);
  put16(8, vbase);
  put16(10, sbase);
  put16(12, pinit);
  put16(14, sinit);
  std::copy(object.begin(), object.end(), image.begin() + kPbase);

  static constexpr std::uint8_t kFrame[] = {0xFF, 0xFF, 0xF9, 0xFF, 0xFF, 0xFF, 0xF9, 0xFF};
  unsigned sum = 0;
  for (std::uint8_t b : image) sum += b;
  if (spec.eeprom) {
    std::copy(std::begin(kFrame), std::end(kFrame), image.begin() + (sbase - 8));
    sum = 0;
    for (std::uint8_t b : image) sum += b;
  } else {
    for (std::uint8_t b : kFrame) sum += b;  // a .binary sums to 0 only with the frame supplied
  }
  image[5] = static_cast<std::uint8_t>((256 - (sum & 0xFF)) & 0xFF);
  return image;
}

ReportedFlags::ReportedFlags(const Engine& engine) {
  // "AAAA  CCCCCCCC  names": the address, the cell (flags and byte) and the flag names.
  std::istringstream report(engine.ListImageFlags());
  for (std::string line; std::getline(report, line);) {
    if (line.size() < 14 || line[4] != ' ' || line[5] != ' ') continue;
    if (!std::all_of(line.begin(), line.begin() + 4, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) continue;
    const std::size_t address = std::stoul(line.substr(0, 4), nullptr, 16);
    if (address != cells_.size()) {
      ADD_FAILURE() << "flags report out of order at " << line;
      continue;
    }
    cells_.push_back(static_cast<std::uint32_t>(std::stoul(line.substr(6, 8), nullptr, 16)) & ~0xFFu);
  }
}

std::uint32_t ReportedFlags::At(std::int64_t address) const {
  return address >= 0 && address < static_cast<std::int64_t>(cells_.size()) ? cells_[static_cast<std::size_t>(address)] : 0;
}

std::vector<std::uint8_t> ImageEndingWith(std::uint8_t at7FFE, std::uint8_t at7FFF) {
  std::vector<std::uint8_t> image(32768, 0);
  const std::uint16_t header[] = {0x10, 0x20, 0x30, 0x7FFC, 0x34};  // PINIT near the end
  for (int i = 0; i < 5; ++i) {
    image[static_cast<std::size_t>(6 + 2 * i)] = static_cast<std::uint8_t>(header[i] & 0xFF);
    image[static_cast<std::size_t>(7 + 2 * i)] = static_cast<std::uint8_t>(header[i] >> 8);
  }
  image[0x10] = 0x10;
  image[0x7FFC] = 0x35;
  image[0x7FFD] = 0x35;
  image[0x7FFE] = at7FFE;
  image[0x7FFF] = at7FFF;
  return image;
}

std::vector<std::uint8_t> AsmImage(const std::vector<std::uint32_t>& longs, int count) {
  ImageSpec spec;
  spec.object = {0, 0, 2, 0, 8, 0, 0, 0, 0x34, 0xC7, 0x10, 0x35, 0x2C, 0x32, 0, 0};
  for (const std::uint32_t value : longs) {
    for (int i = 0; i < 4; ++i) spec.object.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  spec.object.resize(std::max(spec.object.size(), 0x10 + 4 * static_cast<std::size_t>(count)), 0);
  spec.varBytes = 4;
  return BuildImage(spec);
}

AnalysisPtr ListImage(ScriptedHost& host, const std::vector<std::uint8_t>& image, const std::string& path) {
  Engine engine(host);
  const LoadResult result = engine.DisassembleBytes(path, image, false, true);
  EXPECT_EQ(result.status, LoadStatus::Listed) << result.message;
  return result.status == LoadStatus::Listed ? result.analysis : nullptr;
}

const ListingLine* CodeLineAt(const Analysis& analysis, std::int32_t address) {
  for (const ListingLine& line : analysis.lines) {
    if (line.address == address && line.size != 0) return &line;
  }
  return nullptr;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  for (const std::string& l : lines) EXPECT_EQ(l.find('\n'), std::string::npos) << "bare line feed in: " << l;
  return lines;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
  std::random_device seed;
  path_ = (std::filesystem::temp_directory_path() / ("brevin-test-" + std::to_string(seed()))).string();
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace brevin::test
