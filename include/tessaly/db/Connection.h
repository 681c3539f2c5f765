// An open attendance database, in the place the host's data connection held.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/db/Variant.h"

namespace tessaly::db {

class Connection;

namespace internal {
class Backend;
class RowStream;
struct ResultData;
class SavedQueries;
}  // namespace internal
namespace jet {
class LiftedInsert;
}  // namespace jet
namespace internal {
// The engine behind a connection, for the schema and the tests only
// (declared in db/Backend.h's terms; hosts never see a Backend).
Backend& BackendOf(Connection& connection);
}  // namespace internal

class Recordset;

// One open database. Statements are written in the Jet dialect and translated
// before they reach the engine. Not thread-safe: one thread at a time.
class Connection {
 public:
  // Opens a database: a SQLite file path (created when missing) or ":memory:",
  // optionally followed by "?ansi89": LIKE then reads the wildcards of
  // Access's query designer (* ? # [!a-c]) instead of the provider's ANSI
  // ones (% _ [^a-c]), for statements copied from Access; and/or by
  // "?region=en-US" or "?region=zh-CN" (options joined by '&'): the named
  // formats, the names of months and days and the order of an all-number
  // date read from a text follow that regional setting instead of the
  // library's fixed one (year-month-day, English names). An unknown setting
  // throws 3001.
  // A file is opened with write-ahead journaling and waits up to a few seconds
  // for another process's lock. A file the process may only read opens for
  // reading, and a write to it raises -2147467259 "Cannot update.  Database or
  // object is read-only.". Throws tessaly::Error (-2147467259) when the target
  // cannot be opened, is a directory or is no database.
  static std::shared_ptr<Connection> Open(const std::string& target);
  // True when target names a PostgreSQL server: a "postgresql://" or
  // "postgres://" URI, or libpq's "key=value ..." form beginning with one of
  // its keywords (host=, dbname=, ...). Anything else is a database file.
  static bool IsServerTarget(std::string_view target);

  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs one Jet statement (INSERT, UPDATE, DELETE, or a SELECT whose rows are
  // dropped) and returns the number of rows it changed. options is accepted
  // and ignored (-1, "unspecified"). Throws tessaly::Error with the provider
  // number on any failure; a failed statement changes nothing.
  int32_t Execute(std::string_view sql, int32_t options = -1);

  // Keeps a saved query's Jet text under its name in the connected database,
  // replacing one of that name; inside the host's transaction when one is open.
  // The text is kept even when it cannot be translated. Throws tessaly::Error
  // only when the database cannot store it. Statements then read a kept
  // select query by name in FROM, and run any kept query with its values by
  // EXECUTE name value, ... (docs/JET_DIALECT.md); a statement that uses a
  // kept query whose text cannot be translated fails with the translator's
  // error for that text. A connection reads the kept queries when it first
  // needs them and afterwards sees the changes made through itself.
  void SaveQuery(std::string_view name, std::string_view jet_sql);

  // Host transactions. The library itself never opens one. CommitTrans and
  // RollbackTrans without an open transaction throw tessaly::Error.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  // Stops the statement this connection is running: it fails with
  // tessaly::Error 3712 "Operation has been cancelled by the user." and
  // changes nothing (on SQLite an interrupted write inside a host's
  // transaction undoes the whole transaction). The one call that may come
  // from another thread, or from a signal handler, while the connection's
  // thread waits on the engine. Does nothing when no statement runs; a
  // statement on the point of ending may still end.
  void Interrupt() noexcept;

  // Calls observer with every Jet statement the connection is asked to run,
  // as the library wrote it and before it is translated: a host's log of what
  // was sent. An empty function removes the observer.
  void Trace(std::function<void(std::string_view jet_sql)> observer) {
    trace_ = std::move(observer);
  }

  // Translates a Jet statement into the engine's own SQL without running it;
  // throws tessaly::Error as Execute would for a statement it cannot read.
  std::string Translate(std::string_view sql) const;

  // What a Jet statement becomes on this connection's engine, and what kind
  // of statement it is, without running it (a crosstab that lists no columns
  // reads its pivot's values first). Throws as Translate does.
  struct Kind {
    bool returns_rows = false;  // a query whose rows are read
    bool defines = false;       // CREATE, DROP or ALTER: no rows are counted
  };
  // The kind alone, from one translation (a shell asks it of every statement).
  Kind KindOf(std::string_view sql);
  struct Explanation : Kind {
    // The engine's statement, its values written in (Translate); empty for
    // a crosstab whose columns are its pivot's values.
    std::string sql;
    // The statement as the engine runs it: literal values lifted out as
    // placeholders, bound to `parameters` in order.
    std::string prepared;
    std::vector<Variant> parameters;
    // Statements the engine runs before and after it, as one unit with it
    // (an UPDATE of several joined tables on some engines).
    std::vector<std::string> before, after;
    std::string make_table;  // SELECT ... INTO: the table the query's rows fill
  };
  Explanation Explain(std::string_view sql);

  // Internal: runs a Jet statement and fills *out with its rows when it has
  // any (out may be null). Used by Recordset.
  int32_t Run(std::string_view sql, internal::ResultData* out);

  // Internal: runs the INSERT a record class adding a row handed over with
  // its literals already read (it keeps the engine's statement in it), as
  // Execute runs the statement `text` writes. text is called only when the
  // statement is traced or its shape has no translation kept yet (it is then
  // run from its text, which keeps one).
  void ExecuteLifted(jet::LiftedInsert& statement, const std::function<std::string()>& text);

  // Internal: runs a Jet statement and stands on its first row, reading no
  // further (null for a statement without columns, which has run); *columns
  // gets the column names. Used by a forward-only Recordset.
  std::unique_ptr<internal::RowStream> Stream(std::string_view sql,
                                              internal::ResultData* columns);

 private:
  friend internal::Backend& internal::BackendOf(Connection& connection);
  Connection(std::unique_ptr<internal::Backend> backend, bool ansi89);
  // CREATE / DROP PROCEDURE or VIEW: runs it and returns true.
  bool DefinedSavedQuery(std::string_view sql);
  std::unique_ptr<internal::Backend> backend_;
  bool ansi89_ = false;
  std::unique_ptr<internal::SavedQueries> saved_;
  std::function<void(std::string_view)> trace_;
};

}  // namespace tessaly::db
