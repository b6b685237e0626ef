#include "json_output.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <concepts>
#include <algorithm>
#include <optional>
#include <string_view>

#include "brevin/hub_memory.h"

namespace brevin::cli {

namespace {

// Appends JSON pieces to a buffer; with a sink, hands the buffer over whenever
// it passes kChunk so only one chunk is ever held.
class JsonWriter {
 public:
  static constexpr std::size_t kChunk = 64 * 1024;

  JsonWriter(std::string& buffer, TextSink* sink) : buffer_(buffer), sink_(sink) {}

  void Raw(std::string_view text) { buffer_ += text; }

  template <std::integral T>
  void Int(T n) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
  }

  void Bool(bool b) { Raw(b ? "true" : "false"); }

  template <typename T>
  void IntOrNull(const std::optional<T>& n) {
    if (n) {
      Int(*n);
    } else {
      Raw("null");
    }
  }

  void StringOrNull(const std::optional<std::string>& s) {
    if (s) {
      String(*s);
    } else {
      Raw("null");
    }
  }

  // A label the engine wrote as an address text ("$1A2C", "ORG $0040") because
  // nothing names that place: a real label starts with a letter.
  void LabelOrNull(std::string_view label) {
    if (label.empty() || label.front() == '$' || label.starts_with("ORG $")) {
      Raw("null");
    } else {
      String(label);
    }
  }

  void String(std::string_view s);

  // Called between array elements: passes a full chunk on.
  void Pass() {
    if (sink_ != nullptr && buffer_.size() >= kChunk) {
      sink_->Write(buffer_);
      buffer_.clear();
    }
  }

  void Finish() {
    if (sink_ != nullptr && !buffer_.empty()) {
      sink_->Write(buffer_);
      buffer_.clear();
    }
  }

 private:
  std::string& buffer_;
  TextSink* sink_;
};

// Length of the well-formed UTF-8 sequence at s[i] (Unicode's table of
// well-formed byte sequences), or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte(i);
  const std::size_t left = s.size() - i;
  const auto cont = [&](std::size_t k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < left && byte(i + k) >= lo && byte(i + k) <= hi;
  };
  if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
  if (b == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if (b == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (b >= 0xE1 && b <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (b == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (b >= 0xF1 && b <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (b == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

// True when one of the eight bytes needs more than copying: a control
// character, a byte of a multi-byte sequence, '"' or '\\'. Listing lines are
// printable ASCII, so this passes over them eight bytes at a time.
bool AnySpecial(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHigh = 0x8080808080808080u;
  const auto hasZero = [&](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
  const std::uint64_t below20 = (x - kOnes * 0x20) & ~x & kHigh;
  return (below20 | (x & kHigh) | hasZero(x ^ (kOnes * '"')) | hasZero(x ^ (kOnes * '\\'))) != 0;
}

void JsonWriter::String(std::string_view s) {
  buffer_ += '"';
  std::size_t plain = 0;  // start of the run of bytes copied as they are
  std::size_t i = 0;
  const auto flushRun = [&] { buffer_.append(s.data() + plain, i - plain); };
  while (i < s.size()) {
    if (s.size() - i >= 8) {
      std::uint64_t eight;
      std::memcpy(&eight, s.data() + i, 8);
      if (!AnySpecial(eight)) {
        i += 8;
        continue;
      }
    }
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {  // listing texts are nearly all this
      ++i;
      continue;
    }
    if (c >= 0x80) {
      if (const std::size_t n = Utf8Length(s, i); n != 0) {
        i += n;
        continue;
      }
      flushRun();
      buffer_ += "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER
      plain = ++i;
      continue;
    }
    flushRun();
    switch (c) {
      case '"': buffer_ += "\\\""; break;
      case '\\': buffer_ += "\\\\"; break;
      case '\b': buffer_ += "\\b"; break;
      case '\f': buffer_ += "\\f"; break;
      case '\n': buffer_ += "\\n"; break;
      case '\r': buffer_ += "\\r"; break;
      case '\t': buffer_ += "\\t"; break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        const char escape[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        buffer_.append(escape, sizeof escape);
      }
    }
    plain = ++i;
  }
  flushRun();
  buffer_ += '"';
}

// The instruction keys of a code line: its bytes as hex digits, their count,
// the mnemonic and operands. The bytes are those the line stands for, as the
// analysis read them: hub memory past the end of a short (truncated) file
// holds zeros, which the listing shows and decodes, so they are written as 00.
void WriteInstructionFields(JsonWriter& w, const std::vector<std::uint8_t>& image, std::int32_t address,
                            const ListingLine& line) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t from = static_cast<std::size_t>(std::max(address, 0));
  const std::size_t to = std::min(static_cast<std::size_t>(kImageSize), from + static_cast<std::size_t>(line.size));
  w.Raw(",\"bytes\":\"");
  for (std::size_t i = from; i < to; ++i) {
    const std::uint8_t byte = i < image.size() ? image[i] : 0;
    const char pair[2] = {kDigits[byte >> 4], kDigits[byte & 0xF]};
    w.Raw(std::string_view(pair, 2));
  }
  w.Raw("\",\"size\":");
  w.Int(to - from);
  if (!line.condition().empty()) {
    w.Raw(",\"condition\":");
    w.String(line.condition());
  }
  w.Raw(",\"mnemonic\":");
  w.String(line.mnemonic());
  w.Raw(",\"operands\":");
  w.String(line.operands());
}

void Write(const Analysis& a, JsonWriter& w) {
  const ImageInfo& im = a.image;
  w.Raw(R"({"format":"brevin-analysis","version":1,"image":{"path":)");
  w.String(im.path);
  w.Raw(",\"size\":");
  w.Int(im.size);
  w.Raw(",\"checksum_ok\":");
  w.Bool(im.checksumOk);
  w.Raw(",\"clock_freq\":");
  w.Int(im.clockFreq);
  w.Raw(",\"clock_mode\":");
  w.Int(im.clockMode);
  w.Raw(",\"pbase\":");
  w.Int(im.pbase);
  w.Raw(",\"vbase\":");
  w.Int(im.vbase);
  w.Raw(",\"sbase\":");
  w.Int(im.sbase);
  w.Raw(",\"pinit\":");
  w.Int(im.pinit);
  w.Raw(",\"sinit\":");
  w.Int(im.sinit);
  w.Raw("},\"bytecode_listing\":");
  w.Bool(a.bytecodeListing);

  w.Raw(",\"regions\":[");
  for (std::size_t i = 0; i < a.regions.size(); ++i) {
    const Region& r = a.regions[i];
    w.Raw(i == 0 ? "{\"start\":" : ",{\"start\":");
    w.Int(r.start);
    w.Raw(",\"end\":");
    w.Int(r.end);
    w.Raw(",\"kind\":\"");
    w.Raw(RegionKindName(r.kind));
    w.Raw("\",\"name\":");
    w.LabelOrNull(r.name);
    w.Raw("}");
    w.Pass();
  }

  w.Raw("],\"objects\":[");
  for (std::size_t i = 0; i < a.objects.size(); ++i) {
    const ObjectInfo& o = a.objects[i];
    w.Raw(i == 0 ? "{\"address\":" : ",{\"address\":");
    w.Int(o.address);
    w.Raw(",\"library_name\":");
    w.StringOrNull(o.libraryName);
    if (o.libraryAbstained) w.Raw(",\"library_abstained\":true");
    w.Raw(",\"methods\":[");
    for (std::size_t k = 0; k < o.methods.size(); ++k) {
      const Method& m = o.methods[k];
      w.Raw(k == 0 ? "{\"index\":" : ",{\"index\":");
      w.Int(m.index);
      w.Raw(",\"address\":");
      w.Int(m.address);
      w.Raw(",\"label\":");
      w.LabelOrNull(m.label);
      w.Raw(",\"given_name\":");
      w.StringOrNull(m.givenName);
      w.Raw(",\"library_name\":");
      w.StringOrNull(m.libraryName);
      if (m.libraryAbstained) w.Raw(",\"library_abstained\":true");
      w.Raw(",\"source_name\":");
      w.StringOrNull(m.sourceName);
      w.Raw(m.traced ? ",\"traced\":true}" : ",\"traced\":false}");
    }
    w.Raw(o.traced ? "],\"traced\":true}" : "],\"traced\":false}");
    w.Pass();
  }

  w.Raw("],\"asm_blocks\":[");
  for (std::size_t i = 0; i < a.asmBlocks.size(); ++i) {
    const AsmBlock& b = a.asmBlocks[i];
    w.Raw(i == 0 ? "{\"hub_address\":" : ",{\"hub_address\":");
    w.Int(b.hubAddress);
    w.Raw(",\"label\":");
    w.LabelOrNull(b.label);
    w.Raw(",\"longs\":");
    w.Int(b.longs);
    w.Raw("}");
  }

  w.Raw("],\"symbols\":[");
  for (std::size_t i = 0; i < a.symbols.size(); ++i) {
    const Symbol& s = a.symbols[i];
    w.Raw(i == 0 ? "{\"name\":" : ",{\"name\":");
    w.String(s.name);
    w.Raw(",\"given_name\":");
    w.StringOrNull(s.givenName);
    w.Raw(",\"library_name\":");
    w.StringOrNull(s.libraryName);
    w.Raw(",\"address\":");
    w.Int(s.address);
    w.Raw(",\"referenced_from\":[");
    for (std::size_t k = 0; k < s.referencedFrom.size(); ++k) {
      if (k != 0) w.Raw(",");
      w.Int(s.referencedFrom[k]);
    }
    w.Raw("]}");
    w.Pass();
  }

  w.Raw("],\"slots\":[");
  for (std::size_t i = 0; i < a.namedSlots.size(); ++i) {
    const NamedSlot& s = a.namedSlots[i];
    w.Raw(i == 0 ? "{\"label\":" : ",{\"label\":");
    w.String(s.label);
    w.Raw(",\"given_name\":");
    w.StringOrNull(s.givenName);
    w.Raw(s.local ? ",\"kind\":\"local\",\"address\":" : ",\"kind\":\"cog_variable\",\"address\":");
    w.Int(s.address);
    w.Raw(",\"offset\":");
    w.Int(s.offset);
    w.Raw("}");
  }

  w.Raw("],\"lines\":[");
  for (std::size_t i = 0; i < a.lines.size(); ++i) {
    const ListingLine& l = a.lines[i];
    w.Raw(i == 0 ? "{\"text\":" : ",{\"text\":");
    w.String(l.text);
    w.Raw(",\"address\":");
    w.IntOrNull(l.address);
    w.Raw(",\"cog\":");
    w.IntOrNull(l.cog);
    w.Raw(",\"defines\":");
    w.StringOrNull(l.defines);
    if (l.noteSpan.length != 0) {
      w.Raw(",\"comment\":");
      w.String(l.note());
    }
    if (l.size != 0 && l.address && *l.address >= 0 && *l.address < kImageSize) {
      WriteInstructionFields(w, a.image.bytes, *l.address, l);
    }
    w.Raw(",\"refs\":[");
    for (std::size_t k = 0; k < l.refs.size(); ++k) {
      const LineReference& r = l.refs[k];
      w.Raw(k == 0 ? "{\"start\":" : ",{\"start\":");
      w.Int(r.start);
      w.Raw(",\"end\":");
      w.Int(r.end);
      w.Raw(",\"name\":");
      w.String(r.name);
      w.Raw(",\"target\":");
      w.Int(r.target);
      w.Raw("}");
    }
    w.Raw("]}");
    w.Pass();
  }
  w.Raw("]}\n");
  w.Finish();
}

}  // namespace

void WriteAnalysisJson(const Analysis& analysis, TextSink& out) {
  std::string buffer;
  buffer.reserve(JsonWriter::kChunk + 4096);
  JsonWriter w(buffer, &out);
  Write(analysis, w);
}

std::string AnalysisJson(const Analysis& analysis) {
  // Sized once from what the text will hold (each line's text and its keys),
  // so the string is never copied as it grows.
  std::string text;
  text.reserve(analysis.listing.size() + 72 * analysis.lines.size() + 48 * analysis.symbols.size() +
               64 * analysis.regions.size() + 4096);
  JsonWriter w(text, nullptr);
  Write(analysis, w);
  return text;
}

}  // namespace brevin::cli
