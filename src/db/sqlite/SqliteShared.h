// What the file database's engine files share: reading a column's text and
// kind, and a prefix taken off a message or a definition.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

namespace tessaly::db::sqlite {

// The kind of the values of a column, by its declared type.
enum class Kind : uint8_t {
  kUntyped,
  kString,
  kByte,
  kInteger,
  kLong,
  kSingle,
  kDouble,
  kDate,
  kBoolean,
  kCurrency,
  kDecimal,
  kBytes
};

Kind KindOfDeclaredType(const char* declared);

// Removes prefix from *text when it is there.
inline bool Consume(std::string_view* text, std::string_view prefix) {
  if (!text->starts_with(prefix)) return false;
  text->remove_prefix(prefix.size());
  return true;
}

// A column's text in the engine's copy (empty for Null).
inline std::string_view TextOf(sqlite3_stmt* stmt, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(stmt, column)))
              : std::string_view();
}

}  // namespace tessaly::db::sqlite
