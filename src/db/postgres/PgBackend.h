// The PostgreSQL engine behind a Connection, through libpq.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/Backend.h"
#include "db/jet/Translator.h"
#include "db/postgres/PgBackendRows.h"
#include "db/postgres/PgDialect.h"

struct pg_conn;
struct pg_result;
struct pg_cancel;

namespace tessaly::db::postgres {

class Bound;

// One session with a PostgreSQL server, owned alone. The session installs
// Jet's functions (in a schema of their own) and the citext extension when
// the database lacks them. Nothing it needs lives in the server session
// between two transactions, so a pooler in transaction mode may stand between
// it and the server: statements are sent unnamed, or, with the target's
// option "tessaly_statements=named", prepared once by name at the protocol's
// level (for a direct session, or a pooler that keeps track of them). Inside
// a host's transaction a statement runs under a savepoint sent with it, so
// one failing statement leaves the transaction as it was, as Jet's did; a
// one-row insert whose values are known to fit goes without one (see
// PgBackendRows.h). A lost connection is reported on the
// call that finds it and on every later one; nothing is retried. Not
// thread-safe.
class PgBackend final : public internal::Backend, private jet::Catalog, private NameSpellings {
 public:
  // Opens a session on a "postgresql://..." URI or a "key=value ..." string
  // (which may hold tessaly_statements=named or =unnamed, the default).
  // Throws tessaly::Error -2147467259 naming what failed (server, database,
  // user or password) when the session cannot be opened.
  explicit PgBackend(const std::string& target, rules::Region region = rules::Region::kFixed);
  ~PgBackend() override;

  const jet::Dialect& dialect() const override;
  jet::Catalog* names() override { return this; }
  using internal::Backend::Run;
  int32_t Run(const std::string& sql, std::span<const Parameter> parameters,
              internal::ResultData* out) override;
  std::unique_ptr<internal::RowStream> Stream(const std::string& sql,
                                              std::vector<Parameter> parameters,
                                              internal::ResultData* columns) override;
  void AlterTable(const jet::TableEdit& edit) override;
  void CountFrom(const std::string& table, const std::string& column, int64_t next) override;
  std::unique_ptr<internal::BulkLoad> Load(const std::string& table,
                                           const std::vector<std::string>& columns) override;
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  void LockUntilEnd(uint64_t key) override;
  void Interrupt() noexcept override;
  std::vector<std::string> SchemaStatements(const internal::Definitions& described) const override;
  std::vector<std::string> ColumnsOf(std::string_view object) override;
  void RunAsOne(std::span<const std::string> statements) override;
  int32_t RunGroup(std::span<const std::string> before, const std::string& sql,
                   std::span<const Parameter> parameters,
                   std::span<const std::string> after) override;

  // The native handle, for tests that reach the server directly.
  // (A walk outside a host's transaction reads on a session of its own.)
  pg_conn* handle() const { return conn_.get(); }

  // Lets go of what libpq made: a result, the session, its cancel object.
  struct PqFree {
    void operator()(pg_result* result) const noexcept;
    void operator()(pg_conn* conn) const noexcept;
    void operator()(pg_cancel* cancel) const noexcept;
  };
  using Result = std::unique_ptr<pg_result, PqFree>;

  // How a result's column is read: the kind of its values.
  enum class Kind : uint8_t {
    kText,
    kByte,
    kInteger,
    kLong,
    kWide,
    kSingle,
    kDouble,
    kDate,
    kBool,
    kYesNo,  // a number, Jet's -1 or 0, read as a Boolean
    kVariant,  // IIf's text or number (pg_temp.jet_variant), read as the one it holds
    kCurrency,  // a numeric(19, 4)
    kDecimal,   // a numeric of another precision or scale
    kBytes      // a bytea
  };
  // Reads the domains of the columns again first when the schema changed.
  std::vector<Kind> KindsOf(const pg_result* result);

 private:
  class Walk;
  // A session of a walk's own, with its cancel object.
  struct Session {
    std::unique_ptr<pg_conn, PqFree> conn;
    std::unique_ptr<pg_cancel, PqFree> cancel;
  };
  std::unique_ptr<Session> TakeSession();
  void GiveBack(std::unique_ptr<Session> session, bool usable);
  void HoldWalks();
  void DropWalks();
  // Runs one statement of the engine's own SQL without parameters; throws
  // the mapped error.
  Result Exec(const char* sql);
  // Runs a statement with its parameters, under a savepoint inside a host's
  // transaction unless it is a row that fits; the result has rows or none,
  // never an error.
  Result Execute(const std::string& sql, std::span<const Parameter> parameters);
  Result ExecuteOnce(const std::string& sql, std::span<const Parameter> parameters);
  // After an insert refused as a duplicate: moves the counter of the table
  // it wrote past the numbers its rows hold, true when it was behind them.
  bool CounterMovedPast(const std::string& insert);
  // Runs it under a savepoint inside a host's transaction (guard), or as it
  // stands; describe names a table whose rules are read after the statement.
  Result Send(const std::string& sql, std::span<const Parameter> parameters, bool guard,
              const std::string* describe);
  // The rules of the table described by the three results.
  static RowRules ReadRules(const pg_result* table, const pg_result* columns,
                            const pg_result* checks);
  // Runs body as one unit: in savepoint within a host's transaction, in a
  // transaction of its own outside one; undone when body throws.
  void AsOne(const std::string& savepoint, const std::function<void()>& body);
  Result Checked(Result result);
  [[noreturn]] void Fail(const pg_result* result);
  class CopyLoad;
  // The name of the prepared statement for a text and its parameters' types,
  // or null for one sent unnamed; *fresh when it is yet to be prepared.
  std::string* Prepared(const std::string& sql, const Bound& bound, bool* fresh);
  // Sends the statement of name (Prepared's) unnamed from now on; its name
  // is not reused.
  void Unname(std::string& name);
  void Setup();
  void MakeTextType(bool public_on_path);
  // The version and digest of the Jet functions a database holds.
  struct Installation {
    int version = 0;
    std::string digest;
  };
  static std::string InstalledSql();
  static Installation Installed(std::string_view recorded);
  static bool Current(const Installation& installed);
  void InstallFunctions();
  // The transaction lock installers take turns under (any fixed number).
  static constexpr int64_t kInstallLock = 0x7465737361;
  // Reads which columns are of the Byte and Yes/No domains.
  void LoadTypes();
  // After a statement that may have changed the schema: what was read of
  // it is read again when next needed.
  void SchemaChanged();
  // jet::Catalog: a table or saved query of the search path, read from the
  // catalog once until the schema changes.
  const jet::NamedObject& Find(std::string_view name) override;
  uint64_t Generation() const override { return generation_; }
  // A generation no backend of the process has had.
  static uint64_t NextGeneration();
  // NameSpellings: the names of the search path's tables, saved queries
  // and columns, read from the catalog once until the schema changes.
  const std::string* Spelling(const std::string& lowered) override;
  // Jet's name of a table or saved query as the text to_regclass() reads.
  Parameter RegclassText(std::string_view name);

  std::unique_ptr<jet::Dialect> dialect_;

  std::string conninfo_;  // the target as libpq reads it
  std::unique_ptr<pg_conn, PqFree> conn_;
  // Made when the session opens, so Interrupt has nothing to allocate.
  std::unique_ptr<pg_cancel, PqFree> cancel_;
  bool in_transaction_ = false;
  // The host's transaction was aborted by the server: a statement sent
  // without a savepoint failed. It only rolls back now.
  bool undone_ = false;
  // Statements run inside a unit of their own savepoint (RunGroup).
  bool grouped_ = false;
  // The tables the host's transaction inserted rows into: how many, and
  // their rules, read with the kRowsBeforeRules-th row, which holds the
  // table's lock, so no other session changes the table until the
  // transaction ends. Reading them costs the server about what half a dozen
  // rows under savepoints do, so a transaction of a few rows keeps its
  // savepoints, and each table of a long one takes at most that many
  // subtransactions.
  struct Writes {
    int rows = 0;
    std::optional<RowRules> rules;
  };
  static constexpr int kRowsBeforeRules = 8;
  std::unordered_map<std::string, Writes> rules_;
  // Moves on whenever rules_ is emptied, so what was planned by the rules
  // it held is planned again.
  uint64_t rules_epoch_ = 0;
  void ForgetRules();
  // One-row insert texts as read once (the translator writes one text per
  // shape, so a long run of adds reads its text once), with the text that
  // stands in for the savepoint and the plan their rows are checked by.
  struct KnownInsert {
    RowInsert row;  // its table a view of the map's key
    std::string unique_sql;
    uint64_t epoch = ~uint64_t{0};  // of writes and plan
    Writes* writes = nullptr;
    std::optional<RowRules::Plan> plan;
  };
  static constexpr size_t kKnownInserts = 256;
  std::unordered_map<std::string, KnownInsert> inserts_;
  // The entry found last; an insertion (which may rehash) sets it again.
  std::unordered_map<std::string, KnownInsert>::iterator last_insert_ = inserts_.end();
  KnownInsert* Known(const std::string& sql);
  // The columns (table, column number) of the Byte and Yes/No domains, which
  // the server reports as their base type; read after each change of the
  // schema, not for each result.
  std::map<std::pair<unsigned, int>, Kind> domains_;
  unsigned variant_oid_ = 0;  // the session's pg_temp.jet_variant
  bool domains_stale_ = true;
  // The tables and saved queries the translator asked about, by name as
  // written.
  std::unordered_map<std::string, jet::NamedObject> objects_;
  // Each name's spelling by its lower-case form; empty for a name spelled
  // in several ways.
  std::unordered_map<std::string, std::string> spellings_;
  bool spellings_stale_ = true;
  // Moves on with every change of the schema and every reading of the
  // spellings: the translator keeps a one-row insert's text by its shape
  // only while it stands.
  uint64_t generation_ = NextGeneration();
  // The walks of cursors of the host's transaction, read to their end
  // before it ends.
  std::set<Walk*> walks_;
  std::set<int> cursor_numbers_;  // of their cursors
  // The session the last walk of its own gave back, kept for the next one,
  // and the cancel object of the one walking, for Interrupt.
  std::unique_ptr<Session> spare_;
  std::atomic<pg_cancel*> side_cancel_{nullptr};
  // Whether statements are prepared by name; else each is sent unnamed.
  bool named_ = false;
  // Prepared statements by text and parameter types; an empty name for one
  // sent unnamed. The first 64 shapes are prepared, the rest sent unnamed:
  // no statement is ever deallocated, which a pooler keeping track of
  // prepared statements could not follow, and no name is given twice.
  static constexpr size_t kPreparedStatements = 64;
  std::unordered_map<std::string, std::string> prepared_;
  // The entries of prepared_ found last, the last first (entries never move
  // or go).
  std::array<std::pair<const std::string, std::string>*, 4> last_prepared_{};
};

}  // namespace tessaly::db::postgres
