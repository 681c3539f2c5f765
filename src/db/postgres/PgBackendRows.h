// What the server's engine knows of a one-row INSERT before sending it inside
// a host's transaction: whether the row can fail only as a duplicate key.
//
// A failed statement aborts the server's whole transaction, where Jet's
// failed statement left the host's transaction as it was. A savepoint around
// each statement restores Jet's way, but every savepoint that writes takes a
// subtransaction of the server's: time on every statement, and past 64 in one
// transaction a slower visibility check for every other session. So a row
// whose every value is known to fit its column (width, range, Null, type) is
// written without one, with ON CONFLICT DO NOTHING standing in for the
// duplicate key; everything else still gets its savepoint.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/Parameter.h"

namespace tessaly::db::postgres {

// INSERT INTO "T" ("A", "B") VALUES ($1, NULL), as the translator writes a
// one-row insert whose values it lifted out.
struct RowInsert {
  std::string_view table;            // as written, in its quotes
  std::vector<std::string> columns;  // the names, out of their quotes
  std::vector<int> values;           // each column's parameter number, 0 for NULL
};
std::optional<RowInsert> ReadRowInsert(std::string_view sql);
// Whether sql is such an insert with values negated or not: one that does
// no arithmetic a number could overflow in.
bool InsertsValuesAlone(std::string_view sql);
// The table an INSERT the translator wrote adds rows to, as written in its
// quotes; none for any other statement.
std::optional<std::string_view> InsertTarget(std::string_view sql);

// The catalog's answer about a table, as texts (booleans "t" or "f").
struct TableFacts {
  // Whether the table is a plain one whose writes nothing else can refuse:
  // no trigger on insert, no reference, no index over an expression, a rule
  // or a row policy, in a transaction that reads committed rows, on a UTF-8
  // database.
  bool plain = false;
  bool unique = false;  // a key or unique index, which ON CONFLICT covers
  struct Column {
    std::string name, quoted;  // quoted as the catalog writes it
    std::string type;          // the base type's name
    int32_t modifier = -1;
    bool not_null = false;
    bool identity = false, generated = false;
    std::string default_text;   // "" for none
    std::string domain;         // "" for none
    std::string domain_checks;  // the domain's constraints' names, by ","
    bool insertable = true;     // the session may write it
    bool indexed = false;
  };
  std::vector<Column> columns;
  struct Check {
    std::string name, column, definition;  // column "" for one over several
  };
  std::vector<Check> checks;
};

class RowRules {
 public:
  explicit RowRules(const TableFacts& facts);
  // Whether a row may go without a savepoint (false: the table's checks are
  // not all known).
  bool usable() const { return usable_; }
  bool unique() const { return unique_; }
  // What the rows of one insert's text are checked by, read from the text
  // once: each value's column, or that no such row goes without its
  // savepoint (a column unknown, named twice or not to be written, a NULL
  // where none may stand, a column left out that takes no default).
  struct Plan;
  Plan PlanOf(const RowInsert& insert) const;
  // Whether the row's values certainly fit: the row then fails, if at all,
  // only as a duplicate of a key (or as the session fails).
  bool Admits(const Plan& plan, std::span<const Parameter> parameters) const;
  bool Admits(const RowInsert& insert, std::span<const Parameter> parameters) const {
    return Admits(PlanOf(insert), parameters);
  }

 private:
  enum class Holds : uint8_t { kOther, kText, kInteger, kReal4, kReal8, kNumeric, kDate, kBytes };
  struct Column {
    Holds holds = Holds::kOther;
    int64_t low = 0, high = 0;     // of a whole number
    int precision = 0, scale = 0;  // of a numeric; precision 0 for none
    int64_t width = -1;            // characters of a text, bytes of bytes; -1 for none
    bool dated = false;            // held to Jet's years 100 to 9999
    bool nullable = true;
    bool omittable = true;  // left out, it takes a default that fits
    bool insertable = true;
    bool indexed = false;
    size_t number = 0;  // in the order the catalog listed the columns
  };
  static bool Fits(const Column& column, const Parameter& value);

 public:
  struct Plan {
    bool usable = false;
    std::vector<std::pair<int, Column>> values;  // parameter number, its column
  };

 private:
  bool usable_ = false;
  bool unique_ = false;
  std::unordered_map<std::string, Column> columns_;
};

// The characters of a UTF-8 text, or -1 when it is no valid UTF-8.
int64_t Utf8Characters(std::string_view text);

}  // namespace tessaly::db::postgres
