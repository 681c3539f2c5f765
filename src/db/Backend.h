// The seam between the database layer and an engine (SQLite now, PostgreSQL
// later). Everything engine-specific lives behind it.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "db/Parameter.h"
#include "db/Rules.h"

#include "tessaly/db/Variant.h"

namespace tessaly::db {
namespace jet {
class Dialect;
class Catalog;
struct TableEdit;
}

namespace internal {

struct Definitions;

// One cell of a result: the kind of its value and the value; a text points
// into the result's text arena. A Currency is its ten-thousandths in
// `integer`; a Decimal its canonical text (Decimal::Text), or, with length 0,
// the Double in `real` whose shortest text is its digits (an engine that
// keeps a Decimal of up to 15 digits as a Double); an array of Bytes its
// bytes as a text. A result of a hundred thousand daily rows
// would cost a Variant per cell, allocated and touched whether it is read or
// not; the store keeps each cell in nine bytes and the recordset makes
// Variants only for the cells it reads.
struct Cell {
  VarType kind = VarType::kEmpty;
  uint32_t length = 0;  // bytes of a text
  union {
    int64_t integer = 0;  // Boolean (0 or 1), Byte, Integer, Long; a Date packed
    float single;
    double real;
    const char* text;  // `length` bytes in the arena; null when empty
  };

  // The Variant the old runtime's recordset gave for this cell.
  Variant ToVariant() const {
    switch (kind) {
      case VarType::kNull: return Variant::Null();
      case VarType::kBoolean: return Variant(integer != 0);
      case VarType::kByte: return Variant(static_cast<uint8_t>(integer));
      case VarType::kInteger: return Variant(static_cast<int16_t>(integer));
      case VarType::kLong: return Variant(static_cast<int32_t>(integer));
      case VarType::kSingle: return Variant(single);
      case VarType::kDouble: return Variant(real);
      case VarType::kDate: return Variant(GetDate());
      case VarType::kString: return Variant(std::string_view(text, length));
      case VarType::kCurrency: return Variant(Currency{integer});
      case VarType::kDecimal: return Variant(GetDecimal());
      case VarType::kBytes: {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text);
        return Variant(std::vector<uint8_t>(bytes, bytes + length));
      }
      case VarType::kEmpty: break;
    }
    return Variant();
  }
  // The Decimal of a kDecimal cell.
  Decimal GetDecimal() const {
    if (length != 0) return Decimal::Parse(std::string_view(text, length)).value_or(Decimal());
    char shortest[32];
    const auto [end, ec] = std::to_chars(shortest, shortest + sizeof shortest, real);
    return Decimal::Parse(std::string_view(shortest, ec == std::errc() ? end : shortest))
        .value_or(Decimal());
  }
  // The Date packed by SetDate; only when kind is kDate.
  Date GetDate() const {
    const auto bits = static_cast<uint64_t>(integer);
    Date date;
    date.year = static_cast<int16_t>(static_cast<uint16_t>(bits & 0xffff));
    date.month = static_cast<uint8_t>(bits >> 16);
    date.day = static_cast<uint8_t>(bits >> 24);
    date.hour = static_cast<uint8_t>(bits >> 32);
    date.minute = static_cast<uint8_t>(bits >> 40);
    date.second = static_cast<uint8_t>(bits >> 48);
    return date;
  }
  // A Date packed into `integer`: the year in the low 16 bits, then a byte for
  // each of month, day, hour, minute and second.
  void SetDate(const Date& date) {
    kind = VarType::kDate;
    integer = static_cast<int64_t>(
        static_cast<uint64_t>(static_cast<uint16_t>(date.year)) |
        static_cast<uint64_t>(date.month) << 16 | static_cast<uint64_t>(date.day) << 24 |
        static_cast<uint64_t>(date.hour) << 32 | static_cast<uint64_t>(date.minute) << 40 |
        static_cast<uint64_t>(date.second) << 48);
  }
};
static_assert(sizeof(Cell) == 16);

// The texts of one result, copied side by side into chunks that never move,
// so a cell's pointer stays good for the life of the result. Each text is
// preceded by its length, so a cell needs only the pointer.
class TextArena {
 public:
  // The copy of text (null for an empty one); its length is in the four bytes
  // before it. The engine caps a value below 2 GB.
  const char* Add(std::string_view text) {
    if (text.empty()) return nullptr;
    const auto length = static_cast<uint32_t>(text.size());
    const size_t need = sizeof length + text.size();
    if (need > left_) {
      // Small results are the common case (a question's one or two rows):
      // chunks start small and double, so they do not cost a large block
      // the allocator hands back to the system after every query.
      const size_t grown = kFirstChunk << std::min<size_t>(chunks_.size(), kDoublings);
      const size_t size = std::max(grown, need);
      chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
      next_ = chunks_.back().get();
      left_ = size;
    }
    std::memcpy(next_, &length, sizeof length);
    char* at = next_ + sizeof length;
    std::memcpy(at, text.data(), text.size());
    next_ += need;
    left_ -= need;
    return at;
  }
  static uint32_t LengthOf(const char* text) {
    uint32_t length = 0;
    if (text != nullptr) std::memcpy(&length, text - sizeof length, sizeof length);
    return length;
  }

 private:
  static constexpr size_t kFirstChunk = 1024;
  static constexpr size_t kDoublings = 6;  // up to 64 KB a chunk
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* next_ = nullptr;
  size_t left_ = 0;
};

// The cells of a result, row after row, in blocks of whole rows: a result of
// any size is filled without moving the blocks already filled. A block keeps the
// kinds (a byte a cell) apart from the values (eight bytes a cell), so a large
// result touches little more memory than its values.
class CellStore {
 public:
  // Empties the store for rows of `columns` cells.
  void Reset(size_t columns) {
    columns_ = columns;
    blocks_.clear();
    size_ = 0;
    texts_ = TextArena();
  }
  // Adds a cell at the end; a text must have come from AddText.
  void Append(const Cell& cell) {
    if (size_ % (kRowsPerBlock * columns_) == 0) {
      Block& block = blocks_.emplace_back();
      // The first block grows with its rows (a few rows must not cost a whole
      // block); a result that needs a second one is large, and its later
      // blocks are taken whole. Growing moves only the current block's
      // values, which are copied out when read.
      if (blocks_.size() > 1) {
        block.kinds.reserve(kRowsPerBlock * columns_);
        block.values.reserve(kRowsPerBlock * columns_);
      }
    }
    Block& block = blocks_.back();
    block.kinds.push_back(KindCode(cell));
    uint64_t value;
    std::memcpy(&value, &cell.integer, sizeof value);  // whichever member is set
    block.values.push_back(value);
    ++size_;
  }
  // Copies a text into the store for a cell to point at.
  const char* AddText(std::string_view text) { return texts_.Add(text); }

  size_t size() const { return size_; }
  // Cell i of the row-major sequence: row i / columns, column i % columns.
  Cell cell(size_t i) const {
    const size_t per_block = kRowsPerBlock * columns_;
    const Block& block = blocks_[i / per_block];
    Cell cell;
    const uint8_t code = block.kinds[i % per_block];
    std::memcpy(&cell.integer, &block.values[i % per_block], sizeof cell.integer);
    switch (code) {
      case kBytesCode: cell.kind = VarType::kBytes; break;
      case kDecimalDoubleCode: cell.kind = VarType::kDecimal; return cell;
      default: cell.kind = static_cast<VarType>(code); break;
    }
    if (cell.kind == VarType::kString || cell.kind == VarType::kDecimal ||
        cell.kind == VarType::kBytes) {
      cell.length = TextArena::LengthOf(cell.text);
    }
    return cell;
  }
  // The value of cell i, made anew on each call.
  Variant operator[](size_t i) const { return cell(i).ToVariant(); }
  Variant at(size_t i) const {
    if (i >= size_) throw std::out_of_range("cell index");
    return (*this)[i];
  }

 private:
  // A byte a cell's kind: the VarType, but for the two that do not fit in a
  // byte or that hold no text in `text`.
  static constexpr uint8_t kBytesCode = 0xff;
  static constexpr uint8_t kDecimalDoubleCode = 0xfe;
  static uint8_t KindCode(const Cell& cell) {
    if (cell.kind == VarType::kBytes) return kBytesCode;
    if (cell.kind == VarType::kDecimal && cell.length == 0) return kDecimalDoubleCode;
    return static_cast<uint8_t>(cell.kind);
  }
  static constexpr size_t kRowsPerBlock = 1024;
  size_t columns_ = 1;
  size_t size_ = 0;
  struct Block {
    std::vector<uint8_t> kinds;  // VarType values, all below 256
    std::vector<uint64_t> values;
  };
  std::vector<Block> blocks_;
  TextArena texts_;
};

// The rows of one result, held whole. Shared between a recordset and the
// fields read from it, so a field view never outlives its data.
struct ResultData {
  std::vector<std::string> names;
  CellStore cells;  // row-major: row r, column c at r * names.size() + c
  size_t row_count = 0;
};

// The rows of one statement, read as the engine makes them: only the row the
// stream stands on is held, so a result of any size walks in constant memory.
// A cell is read from the engine when it is first asked for on a row, so a
// reader that names a few columns pays for those alone. A text cell points
// into the engine's own copy, good until the next move.
class RowStream {
 public:
  virtual ~RowStream() = default;
  bool AtEnd() const { return at_end_; }
  // The current row's cell of a column; only while !AtEnd().
  const Cell& cell(size_t column) const {
    if (read_on_[column] != row_number_) {
      row_[column] = Read(column);
      read_on_[column] = row_number_;
    }
    return row_[column];
  }
  // The next row, or the end. Throws tessaly::Error as Run would.
  virtual void Next() = 0;
  // Runs the statement again and stands on its first row (or the end).
  virtual void Restart() = 0;

 protected:
  // Sets the number of columns, before the first row.
  void SetColumns(size_t columns) {
    row_.assign(columns, Cell{});
    read_on_.assign(columns, 0);
  }
  // The stream stands on a new row: no cell of it is read yet.
  void Arrived() {
    at_end_ = false;
    ++row_number_;
  }
  // Reads a column of the current row from the engine, once per row.
  virtual Cell Read(size_t column) const = 0;
  bool at_end_ = true;

 private:
  mutable std::vector<Cell> row_;
  mutable std::vector<uint64_t> read_on_;  // the row each cell of row_ was read on
  uint64_t row_number_ = 0;                // rows arrived at; 0 before the first
};

// Rows written into one table in bulk (see Backend::Load).
class BulkLoad {
 public:
  virtual ~BulkLoad() = default;
  // One row: a value of its column's type beside each column, null[i] set
  // for a Null. May send the rows gathered so far.
  virtual void Add(std::span<const Parameter> values, std::span<const uint8_t> null) = 0;
  // Sends the rest and ends the load; throws the Jet error of a row the
  // engine refused, the load then having written nothing. A load dropped
  // unfinished writes nothing.
  virtual void Finish() = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // The SQL flavour the translator writes for this engine.
  virtual const jet::Dialect& dialect() const = 0;
  // The tables and saved queries the translator asks about, for an engine
  // whose SQL resolves less than Jet's (see jet::Catalog); null when the
  // engine resolves names as Jet did.
  virtual jet::Catalog* names() { return nullptr; }

  // Runs one statement in the engine's own SQL, with its lifted literals bound
  // to their placeholders. When it yields columns and
  // out is not null, every row goes into *out (names, cells,
  // row_count), each cell of the column's declared kind. Returns
  // the number of rows changed. Throws tessaly::Error with the Jet number and
  // wording for the engine's failure.
  virtual int32_t Run(const std::string& sql, std::span<const Parameter> parameters,
                      ResultData* out) = 0;
  int32_t Run(const std::string& sql, ResultData* out) { return Run(sql, {}, out); }

  // Runs one statement and stands on its first row without reading further.
  // Fills the names of *columns (never its cells). A statement
  // without columns runs to its end and gives null. The stream keeps the
  // parameters, which stay bound while it reads.
  virtual std::unique_ptr<RowStream> Stream(const std::string& sql,
                                            std::vector<Parameter> parameters,
                                            ResultData* columns) = 0;

  // The rows of a query the backend asks about the database itself (its
  // catalog), its parameters texts, each cell as text (Null as empty).
  std::vector<std::vector<std::string>> Texts(const std::string& sql,
                                              const std::vector<std::string>& parameters = {});

  // SELECT ... INTO table: makes the table with the columns of the query
  // sql (in the engine's SQL, its parameters bound) and fills it with the
  // query's rows. Returns how many rows it wrote. The table is made and
  // filled as one unit. The default writes CREATE TABLE ... AS.
  virtual int32_t MakeTable(const std::string& table, const std::string& sql,
                            std::span<const Parameter> parameters);

  // DROP TABLE table, whose statement in the engine's SQL is sql. Jet refuses
  // to drop a table another table refers to; the default leaves that to the
  // engine.
  virtual void DropTable(const std::string& table, const std::string& sql);

  // Changes an existing table's definition as edit says (see jet::TableEdit),
  // all of it or, when any part fails, nothing; throws the Jet error.
  virtual void AlterTable(const jet::TableEdit& edit) = 0;

  // After rows were written with numbers of their own into a counter (an
  // AutoNumber or an attendance table's F_ID): the counter gives next or more
  // from now on. SQLite's row key already counts on past the largest number
  // written, so the default does nothing.
  virtual void CountFrom(const std::string& /*table*/, const std::string& /*column*/,
                         int64_t /*next*/) {}

  // Many rows for the named columns of table, inside a host's transaction,
  // where the engine takes them faster in bulk than one INSERT a row; null
  // where it does not (SQLite's prepared INSERT is its fastest way).
  virtual std::unique_ptr<BulkLoad> Load(const std::string& /*table*/,
                                         const std::vector<std::string>& /*columns*/) {
    return nullptr;
  }

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Inside a transaction: holds the lock named `key` until the transaction
  // ends (committed, rolled back, or its session gone); a transaction asking
  // for the same key meanwhile waits. Work that two connections must not do
  // at once takes it where the engine would let both transactions go on.
  // The default does nothing: a SQLite transaction takes the database's one
  // write lock as it begins.
  virtual void LockUntilEnd(uint64_t /*key*/) {}

  // Asks the engine to stop the statement it is running; the statement then
  // fails with jeterr::Cancelled() and changes nothing. Called from another
  // thread or a signal handler while the connection's own thread waits in
  // the engine, so it touches only what the engine allows there and never
  // allocates. Does nothing when no statement runs.
  virtual void Interrupt() noexcept = 0;

  // The statements, in the engine's own SQL, that create where missing every
  // table, index and saved query described, in the order they must run.
  virtual std::vector<std::string> SchemaStatements(const Definitions& described) const = 0;
  // The column names of the table or saved query of that name, in order;
  // empty when the database holds none.
  virtual std::vector<std::string> ColumnsOf(std::string_view object) = 0;
  // Runs definitions as one unit, inside a host's transaction or not: all of
  // them, or, when one fails, none (its error is then rethrown).
  virtual void RunAsOne(std::span<const std::string> statements) = 0;
  // Runs before, then sql with its parameters bound, then after, as one
  // unit in the same way: a statement the translator writes in several
  // (Translation::before). Returns sql's count of changed rows.
  virtual int32_t RunGroup(std::span<const std::string> before, const std::string& sql,
                           std::span<const Parameter> parameters,
                           std::span<const std::string> after) = 0;
};

// Opens a SQLite database file (or ":memory:"), whose Jet functions answer
// in the regional setting region. Throws tessaly::Error.
std::unique_ptr<Backend> OpenSqlite(const std::string& target,
                                    rules::Region region = rules::Region::kFixed);
// Opens a session on a PostgreSQL server, the same. Throws tessaly::Error.
std::unique_ptr<Backend> OpenPostgres(const std::string& target,
                                      rules::Region region = rules::Region::kFixed);

}  // namespace internal
}  // namespace tessaly::db
