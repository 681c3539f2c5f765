// What a column of the attendance database holds, in the old database's
// terms, whatever the engine: the record classes declare their columns in
// these kinds and each engine's backend writes its own definitions from them.
#pragma once

#include <cstdint>

namespace tessaly::db {

enum class ColumnKind : uint8_t {
  kText,    // text of at most `width` characters; width 0: a text without limit
  kByte,    // 8-bit unsigned whole number
  kInt16,   // 16-bit signed whole number (Jet Integer)
  kInt32,   // 32-bit signed whole number (Jet Long)
  kSingle,  // single-precision number
  kDate,    // date and time, kept in the stored form of Date::ToStored
};

// How a column is constrained beyond its kind.
enum ColumnFlag : uint8_t {
  kPrimaryKey = 1,   // the row's key: required and unique
  kAutoNumber = 2,   // with kPrimaryKey: numbered by the database on insert
  kZeroDefault = 4,  // required, 0 unless written (the statistics flag F_IsTJ)
};

}  // namespace tessaly::db
