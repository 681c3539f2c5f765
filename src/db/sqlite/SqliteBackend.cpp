#include "db/sqlite/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "db/Definitions.h"
#include "db/JetErrors.h"
#include "db/Rules.h"
#include "db/jet/Translator.h"
#include "db/sqlite/JetFunctions.h"
#include "db/sqlite/SqliteDialect.h"
#include "db/sqlite/SqliteShared.h"
#include "db/sqlite/TableDefinition.h"
#include "tessaly/Error.h"
#include "tessaly/db/Date.h"

namespace tessaly::db {
namespace sqlite {
namespace {

using internal::ResultData;


// ---------------------------------------------------------------------------
// Errors: the engine's failures in the words the Jet engine used, so a host's
// error trap sees the numbers and messages it always saw.

using jeterr::Quoted;


// The name the engine puts after "no such table: " may carry its schema.
std::string_view WithoutSchema(std::string_view name) {
  for (std::string_view schema : {"main.", "temp."}) {
    if (name.starts_with(schema)) return name.substr(schema.size());
  }
  return name;
}

// The engine's own message for a failure Jet had no wording for; the engine's
// name never reaches the host.
std::string Scrubbed(std::string_view message) {
  std::string s;
  s.reserve(message.size());
  constexpr std::string_view kName = "sqlite";
  size_t i = 0;
  while (i < message.size()) {
    if (rules::StartsWithNoCase(message, i, kName)) {
      s += "engine";
      i += kName.size();
    } else {
      s += message[i++];
    }
  }
  return s;
}

// "jet-error <number>: <description>", raised by the functions that stand for
// Jet's own functions.
bool ParseJetError(std::string_view message, Error* out) {
  if (!Consume(&message, "jet-error ")) return false;
  int32_t number = 0;
  const auto [end, ec] = std::from_chars(message.data(), message.data() + message.size(), number);
  if (ec != std::errc() || number == 0) return false;
  std::string_view rest = message.substr(static_cast<size_t>(end - message.data()));
  if (!Consume(&rest, ": ")) return false;
  *out = Error(number, std::string(rest));
  return true;
}

// Messages of a statement the engine could not compile, and Jet's words for
// them. Everything else that fails to compile is a syntax error too: it is the
// command text that is wrong (-2147217900), never the data.
Error CompileError(sqlite3* db, std::string_view message, std::string_view sql) {
  std::string_view rest = message;
  // The saved queries are read-only views here; writing through one is what
  // Jet refused for a query it could not update.
  if (Consume(&rest, "cannot modify ") && rest.ends_with(" because it is a view")) {
    return jeterr::NotUpdatable();
  }
  rest = message;
  if (Consume(&rest, "no such column: ")) {
    // Jet read an unknown name as a parameter nobody gave, and said no more;
    // the name tells the host which one it was (ALTER TABLE ... DROP COLUMN
    // names it in quotes).
    return jeterr::UnknownName(Unquoted(rest));
  }
  if (Consume(&rest, "duplicate column name: ")) {
    // Only ADD COLUMN gets here: the translator refuses a CREATE TABLE that
    // names a field twice. The table is the statement's third word.
    const std::vector<Word> words = WordsOf(sql);
    return jeterr::FieldExists(rest, words.size() > 2 ? Unquoted(words[2].text) : "");
  }
  if (Consume(&rest, "no such function: ")) {
    return jeterr::UndefinedFunction(rest);
  }
  if (Consume(&rest, "ambiguous column name: ")) {
    return jeterr::Ambiguous(rest);
  }
  if (Consume(&rest, "wrong number of arguments to function ")) {
    return Error(
        errnum::kSyntax,
        "Wrong number of arguments used with function in query expression " + Quoted(rest) + ".");
  }
  if (Consume(&rest, "no such index: ")) {
    // Jet names an index within its table ("Table.index" here).
    if (const size_t dot = rest.rfind('.'); dot != std::string_view::npos) {
      rest.remove_prefix(dot + 1);
    }
    return Error(errnum::kFail, Quoted(rest) + " is not an index in this table.");
  }
  if (message.starts_with("SELECTs to the left and right of ")) {
    return Error(errnum::kFail,
                 "The number of columns in the two selected tables or queries of a union query "
                 "do not match.");
  }
  constexpr std::string_view kExists = " already exists";
  if (Consume(&rest, "table ") && rest.ends_with(kExists)) {
    rest.remove_suffix(kExists.size());
    // Named as the database holds it, which may differ in letter case.
    std::string name(rest);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE name = ?1 COLLATE NOCASE", -1,
                           &raw, nullptr) == SQLITE_OK) {
      const StatementPtr found(raw);
      sqlite3_bind_text(raw, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      if (sqlite3_step(raw) == SQLITE_ROW) {
        name = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
      }
    }
    return Error(errnum::kSyntax, "Table " + Quoted(name) + " already exists.");
  }
  constexpr std::string_view kNoColumn = " has no column named ";
  if (const size_t at = message.find(kNoColumn); at != std::string_view::npos) {
    return jeterr::UnknownInsertField(message.substr(at + kNoColumn.size()));
  }
  // "table T has 3 columns but 2 values were supplied", "2 values for 3 columns"
  if (message.ends_with(" values were supplied") ||
      (message.find(" values for ") != std::string_view::npos && message.ends_with(" columns"))) {
    return jeterr::ValueCountMismatch();
  }
  constexpr std::string_view kSyntaxTail = "\": syntax error";
  rest = message;
  if (Consume(&rest, "near \"") && rest.ends_with(kSyntaxTail)) {
    rest.remove_suffix(kSyntaxTail.size());
    return jeterr::SyntaxIn(rest);
  }
  if (message == "incomplete input") {
    return Error(errnum::kSyntax, "Syntax error in query.  Incomplete query clause.");
  }
  return Error(errnum::kSyntax, Scrubbed(message));
}

enum class Phase { kCompile, kStep };

// Turns the connection's last failure (code rc) into the error a Jet database
// reported for it.
Error EngineError(sqlite3* db, int rc, Phase phase, const std::string& target,
                  std::string_view sql = {}) {
  const std::string_view message = sqlite3_errmsg(db);
  Error jet(0, {});
  if (ParseJetError(message, &jet)) return jet;
  if (std::string_view table = message; Consume(&table, "no such table: ")) {
    return jeterr::NoTable(WithoutSchema(table));
  }
  // ALTER TABLE ... DROP COLUMN of a field a saved query names: the engine
  // reads the saved query again without it and stops at the first that fails.
  if (std::string_view view = message; Consume(&view, "error in view ")) {
    const size_t after = view.find(" after drop column: no such column: ");
    if (after != std::string_view::npos) {
      const std::string_view field = view.substr(view.rfind(' ') + 1);
      return jeterr::ReadBySavedQueries(field, Quoted(view.substr(0, after)), 1);
    }
  }
  // An interrupt that lands while the engine compiles a statement reading a
  // pragma (a table's columns) comes back as a plain error with the
  // interrupt's own words.
  if (message == "interrupted") return jeterr::Cancelled();
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return jeterr::Locked();
    case SQLITE_MISMATCH: return jeterr::TypeMismatch();
    case SQLITE_READONLY: return jeterr::ReadOnly();
    case SQLITE_INTERRUPT: return jeterr::Cancelled();
    case SQLITE_NOTADB:
      return Error(errnum::kFail, "Unrecognized database format " + Quoted(target) + ".");
    case SQLITE_CONSTRAINT:
      switch (rc) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
        case SQLITE_CONSTRAINT_ROWID: return jeterr::Duplicate();
        case SQLITE_CONSTRAINT_NOTNULL: {
          std::string_view field = message;
          if (!Consume(&field, "NOT NULL constraint failed: ")) field = {};
          return jeterr::Required(field);
        }
        case SQLITE_CONSTRAINT_CHECK: {
          std::string_view name = message;
          if (Consume(&name, "CHECK constraint failed: ")) return jeterr::Check(name);
          break;
        }
        default: break;
      }
      break;
    case SQLITE_ERROR:
      if (phase == Phase::kCompile) return CompileError(db, message, sql);
      break;
    default: break;
  }
  return Error(errnum::kFail, Scrubbed(message));
}

// ---------------------------------------------------------------------------
// Reading rows: each column's declared type chooses the kind of its values.



// A text cell: copied into the store of a held result, or, with no store,
// pointing at the engine's copy for a streamed row.
void SetText(internal::CellStore* store, internal::Cell& cell, std::string_view text) {
  cell.kind = VarType::kString;
  cell.length = static_cast<uint32_t>(text.size());
  cell.text = store != nullptr ? store->AddText(text) : (text.empty() ? nullptr : text.data());
}

// A value by its storage class alone (expressions, aggregates, and values a
// typed column holds that its type cannot take).
void ByStorage(sqlite3_stmt* stmt, int column, int storage, internal::CellStore* store,
               internal::Cell& cell) {
  switch (storage) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
      if (v >= INT32_MIN && v <= INT32_MAX) {
        cell.kind = VarType::kLong;
        cell.integer = v;
      } else {
        cell.kind = VarType::kDouble;
        cell.real = static_cast<double>(v);
      }
      return;
    }
    case SQLITE_FLOAT:
      cell.kind = VarType::kDouble;
      cell.real = sqlite3_column_double(stmt, column);
      return;
    case SQLITE_NULL: cell.kind = VarType::kNull; return;
    default: SetText(store, cell, TextOf(stmt, column)); return;
  }
}

// The cell of the current row's column, of the kind its declared type chooses
// (a text is copied into the store when there is one).
internal::Cell ReadCell(sqlite3_stmt* stmt, int column, Kind kind, internal::CellStore* store) {
  internal::Cell cell;
  if (kind == Kind::kString) {
    // Most cells of a listing are texts: the text itself tells a Null (no
    // text) from a value, without asking for the storage class first.
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    if (text == nullptr && sqlite3_column_type(stmt, column) == SQLITE_NULL) {
      cell.kind = VarType::kNull;
    } else {
      const size_t length = text ? static_cast<size_t>(sqlite3_column_bytes(stmt, column)) : 0;
      SetText(store, cell, std::string_view(text ? text : "", length));
    }
    return cell;
  }
  const int storage = sqlite3_column_type(stmt, column);
  if (storage == SQLITE_NULL) {
    cell.kind = VarType::kNull;
    return cell;
  }
  const bool integer = storage == SQLITE_INTEGER;
  const bool number = integer || storage == SQLITE_FLOAT;
  switch (kind) {
    case Kind::kString: break;  // read above
    case Kind::kByte:
    case Kind::kInteger:
    case Kind::kLong: {
      if (!integer) break;
      const sqlite3_int64 v = sqlite3_column_int64(stmt, column);
      cell.integer = v;
      if (kind == Kind::kByte && v >= 0 && v <= UINT8_MAX) {
        cell.kind = VarType::kByte;
        return cell;
      }
      if (kind == Kind::kInteger && v >= INT16_MIN && v <= INT16_MAX) {
        cell.kind = VarType::kInteger;
        return cell;
      }
      if (kind == Kind::kLong && v >= INT32_MIN && v <= INT32_MAX) {
        cell.kind = VarType::kLong;
        return cell;
      }
      break;
    }
    case Kind::kSingle:
      if (!number) break;
      cell.kind = VarType::kSingle;
      cell.single = static_cast<float>(sqlite3_column_double(stmt, column));
      return cell;
    case Kind::kDouble:
      if (!number) break;
      cell.kind = VarType::kDouble;
      cell.real = sqlite3_column_double(stmt, column);
      return cell;
    case Kind::kBoolean:
      if (!number) break;
      cell.kind = VarType::kBoolean;
      cell.integer = sqlite3_column_double(stmt, column) != 0.0 ? 1 : 0;
      return cell;
    case Kind::kDate:
      if (storage == SQLITE_TEXT) {
        const std::string_view text = TextOf(stmt, column);
        if (const std::optional<Date> date = Date::ParseStored(text)) {
          cell.SetDate(*date);
        } else {
          SetText(store, cell, text);
        }
        return cell;
      }
      break;
    case Kind::kCurrency:
    case Kind::kDecimal: {
      // A Double or whole number (see Bind), or the text of one too long
      // for a Double, in a blob.
      std::optional<Decimal> value;
      if (storage == SQLITE_FLOAT || storage == SQLITE_INTEGER) {
        const double real = sqlite3_column_double(stmt, column);
        if (kind == Kind::kDecimal) {
          cell.kind = VarType::kDecimal;
          cell.length = 0;
          cell.real = real;
          return cell;
        }
        char shortest[32];
        const auto [end, ec] = std::to_chars(shortest, shortest + sizeof shortest, real);
        value = Decimal::Parse(std::string_view(shortest, ec == std::errc() ? end : shortest));
      }
      std::string_view stored;
      if (!value) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        stored = std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
        value = Decimal::Parse(stored);
      }
      if (!value) break;
      if (kind == Kind::kDecimal) {
        // The library writes a blob's text canonical; a streamed row points
        // at the engine's copy, so one that is not is read as a text.
        if (store != nullptr) {
          SetText(store, cell, value->Text());
        } else if (stored == value->Text()) {
          SetText(nullptr, cell, stored);
        } else {
          break;
        }
        cell.kind = VarType::kDecimal;
        return cell;
      }
      try {
        cell.integer = Variant(*value).ToCurrency().scaled;
      } catch (const Error&) {
        break;
      }
      cell.kind = VarType::kCurrency;
      return cell;
    }
    case Kind::kBytes:
      if (storage == SQLITE_BLOB || storage == SQLITE_TEXT) {
        const void* bytes = sqlite3_column_blob(stmt, column);
        const auto length = static_cast<size_t>(sqlite3_column_bytes(stmt, column));
        SetText(store, cell, std::string_view(static_cast<const char*>(bytes), length));
        cell.kind = VarType::kBytes;
        return cell;
      }
      break;
    case Kind::kUntyped:
      // An expression's date comes as the stored text dates are kept in: it
      // is a date, as the server's timestamp is, when the function that made
      // it marked it so, or when it holds a time ("yyyy-mm-dd hh:mm:ss", as
      // a date sorted by ORDER BY, which loses the mark, or Max of a date
      // field). A day's text alone may be Format's or CStr's text, and stays
      // a text.
      if (storage == SQLITE_TEXT) {
        const std::string_view text = TextOf(stmt, column);
        const bool dated = text.size() == 19 ||
                           sqlite3_value_subtype(sqlite3_column_value(stmt, column)) == kDateSubtype;
        if (const std::optional<Date> date = dated ? Date::ParseStored(text) : std::nullopt) {
          cell.SetDate(*date);
          return cell;
        }
      }
      break;
  }
  ByStorage(stmt, column, storage, store, cell);
  return cell;
}

bool OnlyBlanks(const char* tail) {
  for (; *tail != '\0'; ++tail) {
    if (*tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n' && *tail != ';') {
      return false;
    }
  }
  return true;
}

// The columns of a statement that yields rows: names and the
// kind each column's declared type chooses. Read after the first step, which
// recompiles a cached statement whose tables changed since.
std::vector<Kind> ReadColumns(sqlite3_stmt* stmt, ResultData& out) {
  const auto n = static_cast<size_t>(sqlite3_column_count(stmt));
  out.names.reserve(n);
  std::vector<Kind> kinds;
  kinds.reserve(n);
  for (size_t c = 0; c < n; ++c) {
    const int column = static_cast<int>(c);
    const char* name = sqlite3_column_name(stmt, column);
    out.names.emplace_back(name ? name : "");
    kinds.push_back(KindOfDeclaredType(sqlite3_column_decltype(stmt, column)));
  }
  return kinds;
}

// A path as a URI file name: the characters a URI gives a meaning are escaped.
std::string UriOf(std::string_view path) {
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[static_cast<unsigned char>(c) >> 4];
      uri += kHex[static_cast<unsigned char>(c) & 15];
    } else {
      uri += c;
    }
  }
  return uri;
}

}  // namespace

// The rows of one statement, stepped as they are read. The stream owns its
// compiled statement while it reads (another run of the same text compiles its
// own) and hands it back to the cache when it ends.
class SqliteStream final : public internal::RowStream {
 public:
  SqliteStream(SqliteBackend& owner, std::string sql, StatementPtr stmt,
               std::vector<Parameter> parameters)
      : owner_(owner),
        sql_(std::move(sql)),
        stmt_(std::move(stmt)),
        parameters_(std::move(parameters)) {}
  ~SqliteStream() override { owner_.Keep(std::move(sql_), std::move(stmt_)); }
  SqliteStream(const SqliteStream&) = delete;
  SqliteStream& operator=(const SqliteStream&) = delete;

  // Takes the result of a step: the row it reached, or the end, which also
  // ends the statement's read of the database at once.
  void Took(int rc) {
    if (rc == SQLITE_ROW) {
      Arrived();
      return;
    }
    at_end_ = true;
    sqlite3_reset(stmt_.get());
    if (rc != SQLITE_DONE) throw EngineError(owner_.handle(), rc, Phase::kStep, owner_.target_);
  }
  const std::vector<Parameter>& parameters() const { return parameters_; }
  void Columns(std::vector<Kind> kinds) {
    kinds_ = std::move(kinds);
    SetColumns(kinds_.size());
  }
  void Next() override { Took(sqlite3_step(stmt_.get())); }
  void Restart() override {
    sqlite3_reset(stmt_.get());
    Next();
  }

 private:
  internal::Cell Read(size_t column) const override {
    return ReadCell(stmt_.get(), static_cast<int>(column), kinds_[column], nullptr);
  }

  SqliteBackend& owner_;
  std::string sql_;
  StatementPtr stmt_;
  std::vector<Parameter> parameters_;  // bound to stmt_ without a copy
  std::vector<Kind> kinds_;
};

namespace {

// Waits for another connection's lock in even steps of a millisecond until
// the limit. The engine's own wait sleeps longer the longer it waits, so among
// many writers the one that has waited longest tries least often and can lose
// every try until its time runs out; waiting in even steps gives every waiter
// the same chance at each release of the lock.
int WaitForLock(void* backend, int attempt) {
  auto& self = *static_cast<SqliteBackend*>(backend);
  return self.Waited(attempt) ? 1 : 0;
}

}  // namespace

bool SqliteBackend::Waited(int attempt) {
  const auto now = std::chrono::steady_clock::now();
  if (attempt == 0) wait_started_ = now;
  if (now - wait_started_ >= lock_wait_) return false;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void SqliteBackend::Closer::operator()(sqlite3* db) const noexcept {
  // close_v2 defers the close until the last statement is finalized and never
  // fails on a valid handle; there is nothing to report from a destructor.
  sqlite3_close_v2(db);
}

void SqliteBackend::OpenHandle(const std::string& name, int flags) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(raw);  // a handle comes back even on failure, and must be closed
  if (rc != SQLITE_OK) {
    if (raw != nullptr && sqlite3_system_errno(raw) == ENOENT) {
      throw Error(errnum::kFail, "Could not find file " + Quoted(target_) + ".");
    }
    throw Error(errnum::kFail, "The database engine cannot open the file " + Quoted(target_) +
                                   ".  It is already opened exclusively by another user, or you "
                                   "need permission to view its data.");
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_handler(raw, WaitForLock, this);
}

SqliteBackend::SqliteBackend(const std::string& target, rules::Region region)
    : target_(target), region_(region) {
  std::error_code ignored;
  if (target != ":memory:" && std::filesystem::is_directory(target, ignored)) {
    throw Error(errnum::kFail, "The database engine cannot open the file " + Quoted(target) +
                                   ".  It is a directory, not a database file.");
  }
  OpenHandle(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (sqlite3_db_readonly(db_.get(), "main") == 1) {
    // A file the process may only read. Its journal mode is the writer's
    // business; reading needs the shared index beside a WAL file, which a
    // reader cannot make in a folder it cannot write. With no log file there
    // nothing is waiting to be merged, and the file is read as it stands.
    const std::string log = target + "-wal";
    if (sqlite3_exec(db_.get(), "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
            SQLITE_OK &&
        !std::filesystem::exists(log, ignored)) {
      OpenHandle(UriOf(target) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    }
    Exec("SELECT count(*) FROM sqlite_master");  // a file that is no database fails here
  } else {
    // The first statement reads the file header, so a file that is no
    // database fails here. WAL with synchronous=NORMAL keeps every committed
    // transaction when the process dies; only a power loss may cost the last
    // ones. A database in memory keeps its own journal and ignores both.
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
  }
  // References between tables hold as Jet's relationships held; the engine
  // checks them only when asked, per connection.
  Exec("PRAGMA foreign_keys=ON");
  RegisterJetFunctions(db_.get());
}

SqliteBackend::~SqliteBackend() = default;

void Finalizer::operator()(sqlite3_stmt* stmt) const noexcept {
  sqlite3_finalize(stmt);
}

StatementPtr SqliteBackend::Compile(const std::string& sql) {
  sqlite3* db = db_.get();
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size() + 1), &raw, &tail);
  StatementPtr stmt(raw);
  if (rc != SQLITE_OK) throw EngineError(db, rc, Phase::kCompile, target_, sql);
  if (!OnlyBlanks(tail))
    throw Error(errnum::kSyntax, "Characters found after end of SQL statement.");
  return stmt;  // null for blanks or a comment: nothing to run
}

void SqliteBackend::Cache(std::string sql, StatementPtr stmt) {
  if (cache_.size() == kCachedStatements) {
    cache_index_.erase(cache_.back().first);
    cache_.pop_back();
  }
  cache_.emplace_front(std::move(sql), std::move(stmt));
  cache_index_.emplace(cache_.front().first, cache_.begin());
}

sqlite3_stmt* SqliteBackend::Prepared(const std::string& sql) {
  // The engine would read the statement only up to a character 0.
  if (sql.find('\0') != std::string::npos) throw jeterr::CharacterZero();
  if (auto found = cache_index_.find(sql); found != cache_index_.end()) {
    cache_.splice(cache_.begin(), cache_, found->second);
    return found->second->second.get();
  }
  StatementPtr stmt = Compile(sql);
  sqlite3_stmt* raw = stmt.get();
  if (raw != nullptr) Cache(sql, std::move(stmt));
  return raw;
}

StatementPtr SqliteBackend::CheckOut(const std::string& sql) {
  auto found = cache_index_.find(sql);
  if (found == cache_index_.end()) return Compile(sql);
  const auto entry = found->second;
  StatementPtr stmt = std::move(entry->second);
  cache_index_.erase(found);
  cache_.erase(entry);
  return stmt;
}

void SqliteBackend::Keep(std::string sql, StatementPtr stmt) {
  sqlite3_reset(stmt.get());
  sqlite3_clear_bindings(stmt.get());
  // One compiled again meanwhile stays; this one is finalized.
  if (!cache_index_.contains(sql)) Cache(std::move(sql), std::move(stmt));
}

const jet::Dialect& SqliteBackend::dialect() const { return SqliteDialect(region_); }

void SqliteBackend::Exec(const char* sql) {
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw EngineError(db_.get(), sqlite3_extended_errcode(db_.get()), Phase::kStep, target_);
  }
}

void SqliteBackend::Restore(const char* sql) {
  // The interrupt flag clears once no statement runs, so a second try runs;
  // a caller that keeps interrupting gets its error after a bounded number.
  constexpr int kTries = 100;
  for (int tries = 1;; ++tries) {
    const int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    if (rc != SQLITE_INTERRUPT || tries == kTries) {
      throw EngineError(db_.get(), sqlite3_extended_errcode(db_.get()), Phase::kStep, target_);
    }
  }
}

void SqliteBackend::Bind(sqlite3_stmt* stmt, std::span<const Parameter> parameters) {
  for (size_t i = 0; i < parameters.size(); ++i) {
    const Parameter& p = parameters[i];
    const int index = static_cast<int>(i + 1);
    int rc = SQLITE_OK;
    switch (p.kind) {
      case Parameter::Kind::kInteger: rc = sqlite3_bind_int64(stmt, index, p.integer); break;
      case Parameter::Kind::kReal: rc = sqlite3_bind_double(stmt, index, p.real); break;
      // The parameters outlive the run, which ends with the bindings cleared.
      case Parameter::Kind::kText:
        if (p.text.find('\0') != std::string::npos) throw jeterr::CharacterZero();
        rc = sqlite3_bind_text(stmt, index, p.text.data(), static_cast<int>(p.text.size()),
                               SQLITE_STATIC);
        break;
      case Parameter::Kind::kDate: {
        // Dates live in the database as their stored text, which orders as
        // the dates do.
        const std::string stored = p.date.ToStored();
        rc = sqlite3_bind_text(stmt, index, stored.data(), static_cast<int>(stored.size()),
                               SQLITE_TRANSIENT);
        break;
      }
      case Parameter::Kind::kCurrency:
      case Parameter::Kind::kDecimal: {
        // A Double where it holds the number exactly (15 significant digits
        // or fewer), so that the column compares, sorts and adds up as
        // numbers do; a longer one as its text in a blob, which no column
        // affinity turns into a Double that would lose its last digits.
        const std::string text =
            p.kind == Parameter::Kind::kCurrency ? Currency{p.integer}.ToText() : p.text;
        const std::optional<Decimal> exact = Decimal::Parse(text);
        if (exact && exact->Digits() <= 15) {
          rc = sqlite3_bind_double(stmt, index, std::strtod(text.c_str(), nullptr));
        } else {
          rc = sqlite3_bind_blob(stmt, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_TRANSIENT);
        }
        break;
      }
      case Parameter::Kind::kBytes:
        rc = sqlite3_bind_blob(stmt, index, p.text.data(), static_cast<int>(p.text.size()),
                               SQLITE_STATIC);
        break;
    }
    if (rc != SQLITE_OK) throw EngineError(db_.get(), rc, Phase::kStep, target_);
  }
}

int32_t SqliteBackend::Run(const std::string& sql, std::span<const Parameter> parameters,
                           ResultData* out) {
  sqlite3* db = db_.get();
  sqlite3_stmt* raw = Prepared(sql);
  if (raw == nullptr) return 0;
  // A cached statement is reset and unbound when the run ends, however it
  // ends: one left standing would hold its read snapshot open.
  struct Rewind {
    sqlite3_stmt* stmt;
    ~Rewind() {
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  } rewind{raw};
  Bind(raw, parameters);

  const int changes_before = sqlite3_total_changes(db);
  int rc = sqlite3_step(raw);
  const bool collect = out != nullptr && sqlite3_column_count(raw) > 0;
  std::vector<Kind> kinds;
  if (collect) {
    *out = ResultData();
    kinds = ReadColumns(raw, *out);
    out->cells.Reset(kinds.size());
  }
  for (; rc == SQLITE_ROW; rc = sqlite3_step(raw)) {
    if (!collect) continue;
    for (size_t c = 0; c < kinds.size(); ++c) {
      out->cells.Append(ReadCell(raw, static_cast<int>(c), kinds[c], &out->cells));
    }
    ++out->row_count;
  }
  if (rc == SQLITE_CONSTRAINT_FOREIGNKEY) throw RelationshipError(sql);
  if (rc == SQLITE_INTERRUPT && !sqlite3_stmt_readonly(raw) && !sqlite3_get_autocommit(db)) {
    // SQLite undoes the whole transaction of a write it stops once the write
    // has begun, and the statement alone when it stops it sooner: undone
    // whole either way, the host finds one outcome whenever the stop came.
    sqlite3_reset(raw);
    Restore("ROLLBACK");
  }
  if (rc != SQLITE_DONE) throw EngineError(db, rc, Phase::kStep, target_);
  // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE, so a
  // SELECT or CREATE after one would report its count again.
  if (sqlite3_total_changes(db) == changes_before) return 0;
  const sqlite3_int64 changed = sqlite3_changes64(db);
  return changed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(changed);
}

std::unique_ptr<internal::RowStream> SqliteBackend::Stream(const std::string& sql,
                                                           std::vector<Parameter> parameters,
                                                           ResultData* columns) {
  StatementPtr owned = CheckOut(sql);
  sqlite3_stmt* raw = owned.get();
  if (raw == nullptr) return nullptr;
  // From here the statement is the stream's, or goes back to the cache.
  auto stream = std::make_unique<SqliteStream>(*this, sql, std::move(owned), std::move(parameters));
  Bind(raw, stream->parameters());
  const int rc = sqlite3_step(raw);
  if (sqlite3_column_count(raw) == 0) {
    int last = rc;
    while (last == SQLITE_ROW) last = sqlite3_step(raw);
    if (last != SQLITE_DONE) throw EngineError(db_.get(), last, Phase::kStep, target_);
    return nullptr;
  }
  *columns = ResultData();
  stream->Columns(ReadColumns(raw, *columns));
  stream->Took(rc);
  return stream;
}

// IMMEDIATE takes the write lock now (waiting for it like any writer). A
// deferred transaction that read first would find its snapshot stale when
// another connection wrote meanwhile, and its first write would fail at once
// instead of waiting.
void SqliteBackend::Begin() { Exec("BEGIN IMMEDIATE"); }

// sqlite3_interrupt may be called from any thread while the handle is open,
// and is safe in a signal handler: it sets a flag the running statement reads.
void SqliteBackend::Interrupt() noexcept { sqlite3_interrupt(db_.get()); }

void SqliteBackend::Commit() {
  if (sqlite3_get_autocommit(db_.get())) {
    throw Error(errnum::kFail, "CommitTrans was called without an open transaction.");
  }
  Exec("COMMIT");
}

void SqliteBackend::Rollback() {
  if (sqlite3_get_autocommit(db_.get())) {
    throw Error(errnum::kFail, "RollbackTrans was called without an open transaction.");
  }
  Restore("ROLLBACK");
}

std::vector<std::string> SqliteBackend::SchemaStatements(
    const internal::Definitions& described) const {
  // SQLite's own counter is its row number alone; the attendance keys it
  // numbers keep the checks of a Long beside it.
  static constexpr internal::DefinitionForms kForms = {
      "CREATE VIEW IF NOT EXISTS ", "", static_cast<uint8_t>(jet::JetType::kLong),
      " PRIMARY KEY AUTOINCREMENT"};
  return internal::DefinitionStatements(described, SqliteDialect(), kForms);
}

const jet::NamedObject& SqliteBackend::Find(std::string_view name) {
  found_.columns = ColumnsOf(name);
  found_.found = !found_.columns.empty();
  return found_;
}

std::vector<std::string> SqliteBackend::ColumnsOf(std::string_view object) {
  internal::ResultData rows;
  Run("SELECT name FROM pragma_table_info(" + rules::Delimited(object, '\'') + ")", &rows);
  std::vector<std::string> names;
  names.reserve(rows.row_count);
  for (size_t i = 0; i < rows.row_count; ++i) names.push_back(rows.cells[i].ToText());
  return names;
}

// A savepoint nests inside a host's transaction, and is a transaction of its
// own outside one; definitions take part in both.
void SqliteBackend::RunAsOne(std::span<const std::string> statements) {
  InSavepoint("tessaly_schema", [&] {
    for (const std::string& sql : statements) Run(sql, nullptr);
  });
}

int32_t SqliteBackend::RunGroup(std::span<const std::string> before, const std::string& sql,
                                std::span<const Parameter> parameters,
                                std::span<const std::string> after) {
  int32_t count = 0;
  InSavepoint("tessaly_group", [&] {
    for (const std::string& statement : before) Run(statement, nullptr);
    count = Run(sql, parameters, nullptr);
    for (const std::string& statement : after) Run(statement, nullptr);
  });
  return count;
}

}  // namespace sqlite

namespace internal {

std::unique_ptr<Backend> OpenSqlite(const std::string& target, rules::Region region) {
  return std::make_unique<sqlite::SqliteBackend>(target, region);
}

}  // namespace internal
}  // namespace tessaly::db
