// The stream in which the reading process hands an Access file's contents to
// the library: messages of a kind byte and little-endian fields, each value
// tagged with its kind. The library reads it as untrusted input: every length
// is checked against what is left and against the limits below, so a reading
// process that went wrong on a damaged file can only make the read fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/db/Variant.h"

namespace tessaly::access::wire {

// Message kinds.
inline constexpr uint8_t kTable = 'T';     // a table's definition
inline constexpr uint8_t kRow = 'W';       // a row's values
inline constexpr uint8_t kEnd = 'Z';       // the end of what was asked, with a count
inline constexpr uint8_t kFailure = 'E';   // the object that could not be read, and why
inline constexpr uint8_t kNotFound = 'N';  // no object of the name asked for

// Value tags.
inline constexpr uint8_t kNull = 0;
inline constexpr uint8_t kBoolean = 1;
inline constexpr uint8_t kByte = 2;
inline constexpr uint8_t kInteger = 3;
inline constexpr uint8_t kLong = 4;
inline constexpr uint8_t kCurrency = 5;  // its ten-thousandths
inline constexpr uint8_t kSingle = 6;
inline constexpr uint8_t kDouble = 7;
inline constexpr uint8_t kBinary = 9;  // an OLE object's or a binary field's bytes
inline constexpr uint8_t kText = 10;
inline constexpr uint8_t kNone = 11;  // a value the library keeps no kind of
inline constexpr uint8_t kDecimal = 16;  // its digits, as a Decimal reads them

// A Decimal's text longer than this is refused (28 digits, a sign, a point
// and an exponent fit with room to spare).
inline constexpr uint32_t kMaxDecimalText = 64;

// A text longer than this (a name, a memo) is refused rather than buffered.
inline constexpr uint32_t kMaxText = 64u << 20;
inline constexpr uint32_t kMaxCount = 1u << 16;  // fields, indexes, keys of one table

// A stream that broke its own rules (cut short, a length beyond the limits,
// an unknown tag).
struct Broken : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Builds messages and hands them on in blocks.
class Writer {
 public:
  explicit Writer(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}
  void Byte(uint8_t b) { buffer_.push_back(static_cast<char>(b)); }
  void U32(uint32_t v);
  void I64(int64_t v);
  void F64(double v);
  void Text(std::string_view text);
  // Hands on what is buffered once a block is full, or always with force.
  void Flush(bool force = false);

 private:
  std::function<void(std::string_view)> sink_;
  std::string buffer_;
};

// Reads messages from a source of bytes; fill reads at most n bytes into its
// buffer and returns how many (0 at the end). Throws Broken.
class Reader {
 public:
  explicit Reader(std::function<size_t(char*, size_t)> fill) : fill_(std::move(fill)) {}
  uint8_t Byte();
  uint32_t U32();
  int64_t I64();
  double F64();
  std::string Text(uint32_t limit = kMaxText);
  uint32_t Count() {
    const uint32_t n = U32();
    if (n > kMaxCount) throw Broken("a count beyond any table's");
    return n;
  }
  // A tagged value into *out.
  void Value(db::Variant* out);

 private:
  void Need(size_t n);
  void Take(void* out, size_t n);
  std::function<size_t(char*, size_t)> fill_;
  std::vector<char> buffer_ = std::vector<char>(1 << 16);
  size_t begin_ = 0, end_ = 0;
};

}  // namespace tessaly::access::wire
