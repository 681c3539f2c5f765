// A literal value the translator lifted out of a statement's text. The
// statement names it by its number (1, 2, ...) and the engine binds it, so
// every statement of one shape, whatever its values, is the same text and
// is compiled once.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "tessaly/db/Date.h"

namespace tessaly::db {

struct Parameter {
  // A Currency is its ten-thousandths in `integer`, a Decimal its canonical
  // text (Decimal::Text) and an array of Bytes its bytes, both in `text`.
  enum class Kind : uint8_t { kInteger, kReal, kText, kDate, kCurrency, kDecimal, kBytes };
  Kind kind = Kind::kInteger;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  Date date;

  static Parameter Text(std::string text) {
    Parameter p;
    p.kind = Kind::kText;
    p.text = std::move(text);
    return p;
  }
};

}  // namespace tessaly::db
