#include "access/Wire.h"

#include <cstring>

namespace tessaly::access::wire {

namespace {
constexpr size_t kBlock = 1 << 16;

// Numbers travel least significant byte first, whatever the machine.
template <class U>
void AppendLittleEndian(std::string& out, U v) {
  char bytes[sizeof(U)];
  for (size_t i = 0; i < sizeof(U); ++i) bytes[i] = static_cast<char>(v >> (8 * i));
  out.append(bytes, sizeof(U));
}

template <class U>
U FromLittleEndian(const unsigned char (&bytes)[sizeof(U)]) {
  U v = 0;
  for (size_t i = 0; i < sizeof(U); ++i) v |= static_cast<U>(bytes[i]) << (8 * i);
  return v;
}
}  // namespace

void Writer::U32(uint32_t v) { AppendLittleEndian(buffer_, v); }

void Writer::I64(int64_t v) { AppendLittleEndian(buffer_, static_cast<uint64_t>(v)); }

void Writer::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  I64(static_cast<int64_t>(bits));
}

void Writer::Text(std::string_view text) {
  U32(static_cast<uint32_t>(text.size()));
  buffer_.append(text);
}

void Writer::Flush(bool force) {
  if (buffer_.empty() || (!force && buffer_.size() < kBlock)) return;
  sink_(buffer_);
  buffer_.clear();
}

void Reader::Need(size_t n) {
  if (end_ - begin_ >= n) return;
  if (n > buffer_.size()) buffer_.resize(n);
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (end_ < n) {
    const size_t got = fill_(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) throw Broken("the stream ends inside a message");
    end_ += got;
  }
}

void Reader::Take(void* out, size_t n) {
  Need(n);
  std::memcpy(out, buffer_.data() + begin_, n);
  begin_ += n;
}

uint8_t Reader::Byte() {
  uint8_t b;
  Take(&b, 1);
  return b;
}

uint32_t Reader::U32() {
  unsigned char bytes[4];
  Take(bytes, 4);
  return FromLittleEndian<uint32_t>(bytes);
}

int64_t Reader::I64() {
  unsigned char bytes[8];
  Take(bytes, 8);
  return static_cast<int64_t>(FromLittleEndian<uint64_t>(bytes));
}

double Reader::F64() {
  const auto bits = static_cast<uint64_t>(I64());
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string Reader::Text(uint32_t limit) {
  const uint32_t n = U32();
  if (n > limit) throw Broken("a text longer than " + std::to_string(limit) + " bytes");
  // Read in blocks, so a length the stream does not back costs no more
  // memory than the bytes that came.
  std::string text;
  while (text.size() < n) {
    const size_t part = std::min<size_t>(n - text.size(), kBlock);
    Need(part);
    text.append(buffer_.data() + begin_, part);
    begin_ += part;
  }
  return text;
}

void Reader::Value(db::Variant* out) {
  switch (Byte()) {
    case kNull: *out = db::Variant::Null(); return;
    case kBoolean: *out = db::Variant(Byte() != 0); return;
    case kByte: *out = db::Variant(Byte()); return;
    case kInteger: *out = db::Variant(static_cast<int16_t>(I64())); return;
    case kLong: *out = db::Variant(static_cast<int32_t>(I64())); return;
    case kSingle: *out = db::Variant(static_cast<float>(F64())); return;
    case kDouble: *out = db::Variant(F64()); return;
    case kCurrency: *out = db::Variant(db::Currency{I64()}); return;
    case kDecimal: {
      std::optional<db::Decimal> d = db::Decimal::Parse(Text(kMaxDecimalText));
      if (!d) throw Broken("a Decimal that is no number of 28 digits or fewer");
      *out = db::Variant(std::move(*d));
      return;
    }
    case kBinary: {
      const std::string bytes = Text();
      *out = db::Variant(std::vector<uint8_t>(bytes.begin(), bytes.end()));
      return;
    }
    case kText: *out = db::Variant(Text()); return;
    case kNone: *out = db::Variant(); return;
    default: throw Broken("a value of an unknown kind");
  }
}

}  // namespace tessaly::access::wire
