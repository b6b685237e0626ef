#include "recovery/dat_data.h"

#include <algorithm>

#include "recovery/asm_line.h"

namespace brevin::recovery {

namespace {

constexpr std::size_t kLabelColumn = 16;
constexpr std::size_t kOperandColumn = 8;
constexpr std::int32_t kMinString = 4;     // printable characters before a run is written as a string
constexpr std::int32_t kMaxString = 48;    // characters of one string per line
constexpr std::int32_t kBytesPerLine = 16;
constexpr std::int32_t kLongsPerLine = 4;
constexpr std::int32_t kWordsPerLine = 8;
constexpr std::int32_t kMinZeroLongs = 2;  // zero longs before "long 0[n]" is written
constexpr std::int32_t kMinZeroWords = 4;  // zero words before "word 0[n]" is written

bool Printable(std::uint8_t b) { return b >= 0x20 && b < 0x7F && b != '"'; }

std::int32_t PrintableRun(const ObjectBytes& object, std::int32_t x, std::int32_t end) {
  std::int32_t n = 0;
  while (x + n < end && Printable(object.At(x + n))) ++n;
  return n;
}

std::int32_t ZeroRun(const ObjectBytes& object, std::int32_t x, std::int32_t end) {
  std::int32_t n = 0;
  while (x + n < end && object.At(x + n) == 0) ++n;
  return n;
}

std::uint32_t LongAt(const ObjectBytes& object, std::int32_t x) {
  return static_cast<std::uint32_t>(object.At(x)) | static_cast<std::uint32_t>(object.At(x + 1)) << 8 |
         static_cast<std::uint32_t>(object.At(x + 2)) << 16 | static_cast<std::uint32_t>(object.At(x + 3)) << 24;
}

std::uint32_t WordAt(const ObjectBytes& object, std::int32_t x) {
  return static_cast<std::uint32_t>(object.At(x)) | static_cast<std::uint32_t>(object.At(x + 1)) << 8;
}

std::string ByteText(std::uint8_t b) { return SourceNumber(b); }

struct Chunk {
  std::string directive;
  std::string items;
  std::int32_t next = 0;
};

// A string with the line-end and terminator bytes that follow it.
Chunk StringChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end, std::int32_t run) {
  run = std::min(run, kMaxString);
  Chunk c{"byte", "\"", x};
  for (std::int32_t k = 0; k < run; ++k) c.items += static_cast<char>(object.At(x + k));
  c.items += '"';
  c.next = x + run;
  if (run < kMaxString) {
    for (int k = 0; k < 3 && c.next < end; ++k) {
      const std::uint8_t b = object.At(c.next);
      if (b != 0 && b != 10 && b != 13) break;
      c.items += ", " + ByteText(b);
      ++c.next;
      if (b == 0) break;
    }
  }
  return c;
}

Chunk ByteChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end, bool stopAtLong) {
  Chunk c{"byte", "", x};
  const std::int32_t zeros = ZeroRun(object, x, end);
  if (zeros >= kBytesPerLine / 2) {
    c.items = "0[" + std::to_string(zeros) + "]";
    c.next = x + zeros;
    return c;
  }
  while (c.next < end && c.next - x < kBytesPerLine) {
    if (c.next > x && PrintableRun(object, c.next, end) >= kMinString) break;
    if (c.next > x && stopAtLong && c.next % 4 == 0 && end - c.next >= 4) break;
    if (!c.items.empty()) c.items += ", ";
    c.items += ByteText(object.At(c.next));
    ++c.next;
  }
  return c;
}

Chunk LongChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end) {
  Chunk c{"long", "", x};
  const std::int32_t zeroLongs = ZeroRun(object, x, end) / 4;
  if (zeroLongs >= kMinZeroLongs) {
    c.items = "0[" + std::to_string(zeroLongs) + "]";
    c.next = x + 4 * zeroLongs;
    return c;
  }
  while (end - c.next >= 4 && c.next - x < 4 * kLongsPerLine) {
    if (c.next > x && (PrintableRun(object, c.next, end) >= kMinString ||
                       ZeroRun(object, c.next, end) >= 4 * kMinZeroLongs)) {
      break;
    }
    if (!c.items.empty()) c.items += ", ";
    c.items += DataItemText(LongAt(object, c.next), 8);
    c.next += 4;
  }
  return c;
}

Chunk WordChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end) {
  Chunk c{"word", "", x};
  const std::int32_t zeroWords = ZeroRun(object, x, end) / 2;
  if (zeroWords >= kMinZeroWords) {
    c.items = "0[" + std::to_string(zeroWords) + "]";
    c.next = x + 2 * zeroWords;
    return c;
  }
  while (end - c.next >= 2 && c.next - x < 2 * kWordsPerLine) {
    if (c.next > x && (PrintableRun(object, c.next, end) >= kMinString ||
                       ZeroRun(object, c.next, end) >= 2 * kMinZeroWords)) {
      break;
    }
    if (!c.items.empty()) c.items += ", ";
    c.items += DataItemText(WordAt(object, c.next), 4);
    c.next += 2;
  }
  return c;
}

// The next line's directive and items from x on; size forces the directive
// (1 byte, 2 word, 4 long) or leaves it to the bytes (0).
Chunk NextChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end, int size) {
  if (size == 4) return LongChunk(object, x, end);
  if (size == 2) return WordChunk(object, x, end);
  const std::int32_t run = PrintableRun(object, x, end);
  if (run >= kMinString || (size == 1 && run > 0)) return StringChunk(object, x, end, run);
  if (size == 0 && x % 4 == 0 && end - x >= 4) return LongChunk(object, x, end);
  return ByteChunk(object, x, end, size == 0);
}

// The next line after a label's first one: text stays a string, the rest
// keeps the label's size where the offset allows it.
Chunk ContinueChunk(const ObjectBytes& object, std::int32_t x, std::int32_t end, int style) {
  if (PrintableRun(object, x, end) >= kMinString) return NextChunk(object, x, end, 0);
  if (style == 2 && x % 2 == 0 && end - x >= 2) return WordChunk(object, x, end);
  if (style == 1) return ByteChunk(object, x, end, false);
  return NextChunk(object, x, end, 0);
}

}  // namespace

// Small values in decimal, others in hex with every digit of the size.
std::string DataItemText(std::uint32_t value, int digits) {
  if (value < 1024) return SourceNumber(value);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(static_cast<std::size_t>(digits), '0');
  for (int k = digits - 1; k >= 0; --k, value >>= 4) out[static_cast<std::size_t>(k)] = kDigits[value & 0xFU];
  return "$" + out;
}

std::string SourceLine(const std::string& label, const std::string& op, const std::string& operands) {
  std::string line = label;
  line.append(line.size() < kLabelColumn ? kLabelColumn - line.size() : 1, ' ');
  line += op;
  if (!operands.empty()) {
    line.append(op.size() < kOperandColumn ? kOperandColumn - op.size() : 1, ' ');
    line += operands;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void RecordLabel(DatSection& out, std::int32_t offset, const std::string& name, int size) {
  out.allLabels.emplace(offset, DatLabel{name, size});
  const auto it = out.labels.find(offset);
  if (it == out.labels.end() || it->second.size < size) out.labels[offset] = DatLabel{name, size};
}

const char* SizeDirective(int size) { return size == 4 ? "long" : size == 2 ? "word" : "byte"; }

bool WriteDataLines(const ObjectBytes& object, std::int32_t begin, std::int32_t end, const WantedLabels& labels,
                    DatSection& out) {
  bool allSized = true;
  std::int32_t x = begin;
  auto nextLabel = labels.lower_bound(begin);
  int style = 0;  // the size of the last label's directive
  while (x < end) {
    const std::int32_t segmentEnd = nextLabel != labels.end() && nextLabel->first < end ? nextLabel->first : end;
    if (x == segmentEnd) {
      // Labels here: the last one's line holds at least one item of its size.
      const std::int32_t after = std::next(nextLabel) != labels.end() ? std::min(std::next(nextLabel)->first, end) : end;
      const std::vector<WantedLabel>& group = nextLabel->second;
      for (std::size_t k = 0; k < group.size(); ++k) {
        const bool last = k + 1 == group.size();
        int size = group[k].size;
        if (size > 1 && x % size != 0) {
          allSized = false;
          size = 1;
        }
        if (size == 0) size = last && x % 4 == 0 && after - x >= 4 ? 0 : 1;
        if (!last || after - x < size) {
          out.lines.push_back(SourceLine(group[k].name, SizeDirective(size), ""));
          RecordLabel(out, x, group[k].name, size);
          style = 0;
          continue;
        }
        const Chunk c = NextChunk(object, x, after, size);
        if (size == 0) size = c.directive == "long" ? 4 : c.directive == "word" ? 2 : 1;
        out.lines.push_back(SourceLine(group[k].name, c.directive, c.items));
        RecordLabel(out, x, group[k].name, size);
        style = size;
        x = c.next;
      }
      ++nextLabel;
      continue;
    }
    const Chunk c = ContinueChunk(object, x, segmentEnd, style);
    out.lines.push_back(SourceLine("", c.directive, c.items));
    x = c.next;
  }
  return allSized;
}

}  // namespace brevin::recovery
