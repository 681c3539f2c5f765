// Moving a site's Access database file into an attendance database of the
// library (a SQLite file or a PostgreSQL server), for hosts that do it
// themselves; `tessaly migrate` is the command that calls it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tessaly/db/Handles.h"

namespace tessaly::migrate {

struct Options {
  // Drop and remake a table of the target that has the name of one the source
  // holds; without it such a target is refused before anything is written.
  bool replace = false;
  // A value that does not fit its attendance column (a text longer than its
  // field, a number out of range, an unreadable date) skips its row, which
  // the report names, instead of failing the run.
  bool lenient = false;
};

// Called as the rows of a table are written (every few thousand rows and at
// the end of the table).
struct Progress {
  std::string_view table;
  int64_t rows = 0;   // written so far
  int64_t total = 0;  // the rows the source says the table holds
};

// A row that was not written (only with Options::lenient): its key (the
// values of the table's key columns joined by ", ", or its place in the
// table, "row 12"), the column and why.
struct SkippedRow {
  std::string key;
  std::string column;
  std::string reason;
};

struct TableReport {
  std::string name;
  bool attendance = false;  // one of the attendance database's own tables
  int64_t read = 0;
  int64_t written = 0;
  std::vector<SkippedRow> skipped;
  // Columns of the file that the target has no place for: in an attendance
  // table those the library's schema lacks, elsewhere those of a kind the
  // library keeps no values of (complex fields), each with the reason.
  std::vector<std::string> dropped_columns;
  // What the target keeps otherwise than the file (an AutoNumber that
  // numbers no more).
  std::vector<std::string> notes;
};

// An index or a relationship: made in the target, or not and why.
struct ObjectReport {
  std::string table;
  std::string name;
  bool made = false;
  std::string reason;
};

struct QueryReport {
  std::string name;
  bool kept = false;  // its Jet text is kept in the target under its name
  bool runs = false;  // and the target's engine can run it
  std::string reason;  // why it was not kept, or why it cannot run
};

struct Report {
  std::string source;
  std::vector<TableReport> tables;
  std::vector<ObjectReport> indexes;
  std::vector<ObjectReport> relationships;
  std::vector<QueryReport> queries;
};

// Copies every table of the Access database file source_file (.mdb of Jet 3
// or Jet 4, .accdb) into target as one unit: the tables of the
// attendance database into the library's own schema, each value converted to
// its column's kind as the old runtime converted it; every other table with
// its fields, indexes, relationships and AutoNumber made through Jet's data
// definition; then the saved queries. Every table's rows are counted on both
// sides afterwards. On any failure (and on a mismatch) target is left as it
// was and tessaly::Error says what failed; the report up to that point is in
// *partial when it is not null. Not inside a host's transaction.
//
// The file is read by a process of its own for each part read, so a damaged
// or hostile file ends in tessaly::Error naming the file and the object being
// read, never in a crash or a hang of the caller.
Report Migrate(const std::string& source_file, db::Connection& target, const Options& options,
               const std::function<void(const Progress&)>& progress = {},
               Report* partial = nullptr);

}  // namespace tessaly::migrate
