#include "tessaly/migrate/Migrate.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "access/AccessFile.h"
#include "db/Backend.h"
#include "schema/Attendance.h"
#include "db/Rules.h"
#include "migrate/RowWriter.h"
#include "migrate/Source.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Schema.h"
#include "tessaly/db/Vb.h"

namespace tessaly::migrate {

namespace {

using db::Parameter;
using db::Variant;
using Kind = Parameter::Kind;

constexpr int64_t kProgressEvery = 4096;

std::string Bracket(std::string_view name) { return "[" + std::string(name) + "]"; }

// The attendance database's own table of that name, or null: the one place
// the migration reads the library's schema. Jet's names meet in any letter
// case, so a file's "t_kq" is the attendance table T_KQ.
const db::internal::TableDef* AttendanceTable(const std::string& name) {
  for (const db::internal::TableDef& table : schema::Attendance().tables) {
    if (db::rules::EqualsNoCase(table.name, name)) return &table;
  }
  return nullptr;
}

// A value that does not fit its column: why, for the report or the error.
struct Misfit {
  std::string column, reason;
};

// --- the attendance tables ---------------------------------------------------

Kind KindOf(db::ColumnKind kind) {
  switch (kind) {
    case db::ColumnKind::kText: return Kind::kText;
    case db::ColumnKind::kSingle: return Kind::kReal;
    case db::ColumnKind::kDate: return Kind::kDate;
    default: return Kind::kInteger;
  }
}

// A date from the file: a Date, or the serial number a Date/Time field holds.
std::optional<db::Date> DateOf(const Variant& v) {
  if (const db::Date* d = v.AsDate()) return *d;
  if (v.Type() == db::VarType::kDouble) return db::Date::FromSerial(v.ToDouble());
  return std::nullopt;
}

// Converts v to the column's kind as the runtime's CStr, CByte, CInt, CLng,
// CSng and CDate do, into *out; a Null stays Null (*null), except in a
// column that is 0 until written. Throws Misfit.
void Convert(const db::internal::ColumnDef& column, const Field& field, const Variant& value,
             Parameter* out, uint8_t* null) {
  *null = 0;
  // A Date/Time field's serial number is the Date the runtime read from it.
  Variant date;
  if (field.type == FieldType::kDateTime && value.Type() == db::VarType::kDouble) {
    std::optional<db::Date> d = db::Date::FromSerial(value.ToDouble());
    if (!d) {
      throw Misfit{column.name, "the date number " + vb::DoubleText(value.ToDouble()) +
                                    " lies outside the years 100 to 9999"};
    }
    date = Variant(*d);
  }
  const Variant& v = date.IsEmpty() ? value : date;
  if (v.IsNull() || v.IsEmpty()) {
    if ((column.flags & db::kZeroDefault) != 0) {
      out->kind = Kind::kInteger;
      out->integer = 0;
      return;
    }
    if ((column.flags & db::kPrimaryKey) != 0) throw Misfit{column.name, "the key is Null"};
    *null = 1;
    return;
  }
  try {
    out->kind = KindOf(column.kind);
    switch (column.kind) {
      case db::ColumnKind::kText: {
        // A date becomes the text the library writes for it.
        out->text = v.ToString();
        if (column.width > 0 && vb::Len(out->text) > static_cast<size_t>(column.width)) {
          throw Misfit{column.name, "a text of " + std::to_string(vb::Len(out->text)) +
                                        " characters is longer than the field's " +
                                        std::to_string(column.width)};
        }
        return;
      }
      case db::ColumnKind::kByte: out->integer = v.ToByte(); return;
      case db::ColumnKind::kInt16: out->integer = v.ToInteger(); return;
      case db::ColumnKind::kInt32: out->integer = v.ToLong(); return;
      case db::ColumnKind::kSingle: out->real = v.ToSingle(); return;
      case db::ColumnKind::kDate: out->date = v.ToDate(); return;
    }
  } catch (const Error& e) {
    throw Misfit{column.name, e.description() + " (the value " + v.ToText() + ")"};
  }
}

// --- every other table -------------------------------------------------------

// A complex field (attachments, several values in one field) is a table of
// its own inside the file, which the reader does not follow.
bool Unkept(FieldType type) { return type == FieldType::kComplex; }

Kind KindOf(FieldType type) {
  switch (type) {
    case FieldType::kYesNo:
    case FieldType::kByte:
    case FieldType::kInteger:
    case FieldType::kLong: return Kind::kInteger;
    case FieldType::kSingle:
    case FieldType::kDouble: return Kind::kReal;
    case FieldType::kCurrency: return Kind::kCurrency;
    case FieldType::kDecimal: return Kind::kDecimal;
    case FieldType::kBinary:
    case FieldType::kOle: return Kind::kBytes;
    case FieldType::kDateTime: return Kind::kDate;
    default: return Kind::kText;
  }
}

// The field's type in Jet's data definition.
std::string JetType(const Field& f, bool counter, int64_t seed) {
  switch (f.type) {
    case FieldType::kYesNo: return "YESNO";
    case FieldType::kByte: return "BYTE";
    case FieldType::kInteger: return "SHORT";
    case FieldType::kLong:
      if (!counter) return "LONG";
      return seed > 1 ? "COUNTER(" + std::to_string(seed) + ", 1)" : "COUNTER";
    case FieldType::kCurrency: return "CURRENCY";
    case FieldType::kSingle: return "SINGLE";
    case FieldType::kDouble: return "DOUBLE";
    case FieldType::kDecimal:
      // A file's precision of 0 (which Access does not write) is Jet's default.
      if (f.precision == 0) return "DECIMAL";
      {
        const int precision = std::min<int>(f.precision, 28);
        return "DECIMAL(" + std::to_string(precision) + ", " +
               std::to_string(std::min<int>(f.scale, precision)) + ")";
      }
    case FieldType::kBinary: return "BINARY(" + std::to_string(std::clamp(f.size, 1, 255)) + ")";
    case FieldType::kOle: return "LONGBINARY";
    case FieldType::kDateTime: return "DATETIME";
    case FieldType::kMemo: return "MEMO";
    case FieldType::kGuid: return "TEXT(38)";
    default: return "TEXT(" + std::to_string(std::clamp(f.size, 1, 255)) + ")";
  }
}

// A value of the file into the field's kind, unchanged.
void Plain(const Field& f, const Variant& v, Parameter* out, uint8_t* null) {
  *null = 0;
  if (v.IsNull() || v.IsEmpty()) {
    *null = 1;
    return;
  }
  try {
    out->kind = KindOf(f.type);
    switch (out->kind) {
      case Kind::kInteger:
        // Jet's Yes is -1.
        out->integer = f.type == FieldType::kYesNo ? (v.ToBoolean() ? -1 : 0) : v.ToLong();
        return;
      case Kind::kReal: out->real = v.ToDouble(); return;
      case Kind::kCurrency: out->integer = v.ToCurrency().scaled; return;
      case Kind::kDecimal: out->text = v.ToDecimal().Text(); return;
      case Kind::kBytes:
        if (const std::vector<uint8_t>* bytes = v.AsBytes()) {
          out->text.assign(bytes->begin(), bytes->end());
          return;
        }
        throw Misfit{f.name, "a " + std::string(v.AsString() ? "text" : "number") +
                                 " where the field holds bytes"};
      case Kind::kText: out->text = v.ToString(); return;
      case Kind::kDate:
        if (std::optional<db::Date> d = DateOf(v)) {
          out->date = *d;
          return;
        }
        throw Misfit{f.name, "the date number " + v.ToText() + " lies outside the years 100 to 9999"};
    }
  } catch (const Error& e) {
    throw Misfit{f.name, e.description()};
  }
}

// --- the run -------------------------------------------------------------------

class Run {
 public:
  Run(Source& source, db::Connection& target, const Options& options,
      const std::function<void(const Progress&)>& progress, Report& report)
      : source_(source), target_(target), engine_(db::internal::BackendOf(target)),
        options_(options), progress_(progress), report_(report) {}

  void Go() {
    tables_ = source_.Tables();
    relationships_ = source_.Relationships();
    Order();
    RefuseClashes();
    bool attendance = false;
    for (const Table& t : tables_) attendance |= AttendanceTable(t.name) != nullptr;
    if (attendance) db::CreateSchema(target_);
    for (const Table* t : order_) {
      if (const db::internal::TableDef* schema = AttendanceTable(t->name)) {
        if (options_.replace) target_.Execute("DELETE FROM " + Bracket(schema->name));
        CopyAttendance(*t, *schema);
      } else {
        Create(*t);
        CopyPlain(*t);
      }
    }
    Check();
    Queries();
  }

 private:
  // Tables that others refer to come first, so that each reference is made
  // with its table and each row finds the rows it refers to. A circle of
  // references is broken where it closes, and that relationship is not made.
  void Order() {
    std::map<std::string, const Table*> by_name;
    for (const Table& t : tables_) by_name[t.name] = &t;
    std::set<std::string> done, open;
    std::function<void(const Table&)> visit = [&](const Table& t) {
      if (done.contains(t.name)) return;
      open.insert(t.name);
      for (const Relationship& r : relationships_) {
        if (r.table != t.name || r.referenced == t.name) continue;
        auto p = by_name.find(r.referenced);
        if (p == by_name.end()) continue;
        if (open.contains(r.referenced)) {
          circular_.insert(r.name);
          continue;
        }
        visit(*p->second);
      }
      open.erase(t.name);
      done.insert(t.name);
      order_.push_back(&t);
    };
    for (const Table& t : tables_) visit(t);
  }

  void RefuseClashes() {
    std::vector<const Table*> existing;
    for (const Table* t : order_) {
      if (!engine_.ColumnsOf(t->name).empty()) existing.push_back(t);
    }
    if (existing.empty()) return;
    if (!options_.replace) {
      throw Error(errnum::kFail, "The target already holds a table '" + existing.front()->name +
                                     "' that the file holds too; nothing was written (replace "
                                     "them with --replace).");
    }
    // Those that refer to others go first.
    for (auto t = existing.rbegin(); t != existing.rend(); ++t) {
      if (AttendanceTable((*t)->name) == nullptr) target_.Execute("DROP TABLE " + Bracket((*t)->name));
    }
  }

  void Create(const Table& t) {
    TableReport& report = report_.tables.emplace_back();
    report.name = t.name;
    const Index* key = nullptr;
    for (const Index& x : t.indexes) {
      if (x.primary && !x.columns.empty()) key = &x;
    }
    std::string sql = "CREATE TABLE " + Bracket(t.name) + " (";
    bool first = true;
    for (const Field& f : t.fields) {
      if (Unkept(f.type)) {
        report.dropped_columns.push_back(f.name + " (a complex field: its attachments or several "
                                         "values are not read)");
        continue;
      }
      // The engines number a counter that is the table's key, or one of a
      // table without key; another stays a Long holding its numbers.
      bool counter = f.autonumber && f.type == FieldType::kLong;
      if (counter && key != nullptr && (key->columns.size() != 1 || key->columns[0] != f.name)) {
        counter = false;
        report.notes.push_back(f.name + ": an AutoNumber beside the table's key is kept as a Long "
                               "that numbers no more");
      }
      if (counter) counters_.insert(t.name + '.' + f.name);
      if (!first) sql += ", ";
      first = false;
      sql += Bracket(f.name) + ' ' + JetType(f, counter, t.next_autonumber);
    }
    if (key != nullptr) {
      sql += ", CONSTRAINT " + Bracket(key->name) + " PRIMARY KEY (" + Columns(*key) + ')';
    }
    std::vector<const Relationship*> made;
    for (const Relationship& r : relationships_) {
      if (r.table != t.name) continue;
      if (circular_.contains(r.name) || !Known(r.referenced)) {
        report_.relationships.push_back(
            {r.table, r.name, false,
             circular_.contains(r.name) ? "the tables refer to each other in a circle"
                                        : "table '" + r.referenced + "' is not copied"});
        continue;
      }
      sql += ", CONSTRAINT " + Bracket(r.name) + " FOREIGN KEY (" + Names(r.columns) +
             ") REFERENCES " + Bracket(r.referenced) + " (" + Names(r.referenced_columns) + ')';
      if (r.cascade_update) sql += " ON UPDATE CASCADE";
      if (r.cascade_delete) sql += " ON DELETE CASCADE";
      made.push_back(&r);
    }
    sql += ')';
    target_.Execute(sql);
    for (const Relationship* r : made) report_.relationships.push_back({r->table, r->name, true, {}});
    for (const Index& x : t.indexes) {
      if (&x == key) {
        report_.indexes.push_back({t.name, x.name, true, "the table's key"});
        continue;
      }
      std::string reason = x.columns.empty() ? "it names no field the table still has" : "";
      for (const std::string& c : x.columns) {
        for (const Field& f : t.fields) {
          if (f.name == c && Unkept(f.type)) reason = "its field '" + c + "' is not copied";
        }
      }
      if (!reason.empty()) {
        report_.indexes.push_back({t.name, x.name, false, reason});
        continue;
      }
      target_.Execute(std::string("CREATE ") + (x.unique ? "UNIQUE " : "") + "INDEX " +
                      Bracket(x.name) + " ON " + Bracket(t.name) + " (" + Columns(x) + ')');
      report_.indexes.push_back({t.name, x.name, true, {}});
    }
  }

  bool Known(const std::string& table) const {
    return std::any_of(tables_.begin(), tables_.end(),
                       [&](const Table& t) { return t.name == table; });
  }
  static std::string Names(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : ", ") + Bracket(n);
    return out;
  }
  static std::string Columns(const Index& x) {
    std::string out;
    for (size_t i = 0; i < x.columns.size(); ++i) {
      out += (i == 0 ? "" : ", ") + Bracket(x.columns[i]);
      if (i < x.descending.size() && x.descending[i]) out += " DESC";
    }
    return out;
  }

  void Tick(const Table& t, int64_t written, bool end) {
    if (progress_ && (end || written % kProgressEvery == 0)) progress_({t.name, written, t.rows});
  }

  // How the file's fields become the columns of a table of the target.
  struct Plan {
    std::string into;  // the target's table: the schema's spelling for an attendance table
    std::vector<RowWriter::Column> columns;
    std::vector<size_t> from;       // the field of each column
    std::optional<size_t> counter;  // the column the database numbers
    std::vector<size_t> key;        // the fields that name a row in messages
    // Converts the value of column k; throws Misfit.
    std::function<void(size_t k, const Variant&, Parameter*, uint8_t*)> convert;
  };

  void CopyPlain(const Table& t) {
    Plan plan;
    plan.into = t.name;
    for (size_t i = 0; i < t.fields.size(); ++i) {
      if (Unkept(t.fields[i].type)) continue;
      if (counters_.contains(t.name + '.' + t.fields[i].name)) plan.counter = plan.columns.size();
      plan.columns.push_back({t.fields[i].name, KindOf(t.fields[i].type)});
      plan.from.push_back(i);
    }
    plan.convert = [&](size_t k, const Variant& v, Parameter* out, uint8_t* null) {
      Plain(t.fields[plan.from[k]], v, out, null);
    };
    Copy(t, ReportOf(t.name), plan);
  }

  void CopyAttendance(const Table& t, const db::internal::TableDef& schema) {
    TableReport& report = report_.tables.emplace_back();
    report.name = t.name;
    report.attendance = true;
    // Each column of the schema takes the file's field of its name, in any
    // letter case; the schema's others are left to their defaults.
    Plan plan;
    plan.into = schema.name;
    std::vector<const db::internal::ColumnDef*> schema_columns;
    for (const db::internal::ColumnDef& c : schema.columns) {
      for (size_t i = 0; i < t.fields.size(); ++i) {
        if (!db::rules::EqualsNoCase(t.fields[i].name, c.name)) continue;
        if ((c.flags & db::kPrimaryKey) != 0) plan.key.push_back(i);
        if ((c.flags & db::kAutoNumber) != 0) plan.counter = plan.columns.size();
        plan.columns.push_back({c.name, KindOf(c.kind)});
        plan.from.push_back(i);
        schema_columns.push_back(&c);
        break;
      }
    }
    for (const Field& f : t.fields) {
      const bool known = std::any_of(schema.columns.begin(), schema.columns.end(), [&](const auto& c) {
        return db::rules::EqualsNoCase(c.name, f.name);
      });
      if (!known) report.dropped_columns.push_back(f.name + " (the attendance database has no such column)");
    }
    plan.convert = [&](size_t k, const Variant& v, Parameter* out, uint8_t* null) {
      Convert(*schema_columns[k], t.fields[plan.from[k]], v, out, null);
    };
    Copy(t, report, plan);
  }

  // Copies the rows. A value that does not fit its column fails the run, or
  // in a lenient one skips its row, named in the report by its key (or its
  // place in the table).
  void Copy(const Table& t, TableReport& report, const Plan& plan) {
    int64_t next = t.next_autonumber;
    RowWriter writer(target_, plan.into, plan.columns);
    std::vector<Parameter> values(plan.columns.size());
    std::vector<uint8_t> null(plan.columns.size());
    std::vector<Variant> row;
    auto rows = source_.Rows(t);
    while (rows->Next(&row)) {
      ++report.read;
      try {
        for (size_t k = 0; k < plan.from.size(); ++k) {
          plan.convert(k, row[plan.from[k]], &values[k], &null[k]);
        }
      } catch (const Misfit& m) {
        std::string where;
        for (size_t i : plan.key) where += (where.empty() ? "" : ", ") + row[i].ToText();
        if (!options_.lenient) {
          throw Error(errnum::kFail, "Table '" + t.name + "', " +
                                         (where.empty() ? "row " + std::to_string(report.read)
                                                        : "the row of key " + where) +
                                         ", column '" + m.column + "': " + m.reason +
                                         ". Nothing was written (a lenient run skips such rows).");
        }
        report.skipped.push_back(
            {where.empty() ? "row " + std::to_string(report.read) : where, m.column, m.reason});
        continue;
      }
      if (plan.counter && !null[*plan.counter]) {
        next = std::max(next, values[*plan.counter].integer + 1);
      }
      Write(writer, values, null, plan.into, report.read);
      Tick(t, ++report.written, false);
    }
    Finish(writer, plan.into);
    if (plan.counter) engine_.CountFrom(plan.into, plan.columns[*plan.counter].name, next);
    Tick(t, report.written, true);
  }

  // A row the engine refuses fails the run, named.
  static void Write(RowWriter& writer, std::vector<Parameter>& values,
                    const std::vector<uint8_t>& null, const std::string& table, int64_t row) {
    try {
      writer.Write(values, null);
    } catch (const Error& e) {
      throw Error(e.number(), "Table '" + table + "', row " + std::to_string(row) + ": " +
                                  e.description());
    }
  }

  static void Finish(RowWriter& writer, const std::string& table) {
    try {
      writer.Finish();
    } catch (const Error& e) {
      throw Error(e.number(), "Table '" + table + "': " + e.description());
    }
  }

  TableReport& ReportOf(const std::string& name) {
    for (TableReport& r : report_.tables) {
      if (r.name == name) return r;
    }
    TableReport& r = report_.tables.emplace_back();
    r.name = name;
    return r;
  }

  // Every table's rows counted on both sides: the source's own count of them
  // must be the rows read (a reader that lost rows on the way is caught
  // here), and the target must hold every row written (a trigger or rule of
  // the target's that drops rows is caught here).
  void Check() {
    for (const TableReport& r : report_.tables) {
      const auto source = std::find_if(tables_.begin(), tables_.end(),
                                       [&](const Table& t) { return t.name == r.name; });
      const int64_t held_by_source = source != tables_.end() ? source->rows : r.read;
      db::internal::ResultData result;
      target_.Run("SELECT Count(*) FROM " + Bracket(r.name), &result);
      const int64_t held = result.row_count == 1 ? result.cells[0].ToDouble() : -1;
      if (held != r.written || r.read != held_by_source ||
          r.read != r.written + static_cast<int64_t>(r.skipped.size())) {
        throw Error(errnum::kFail, "Table '" + r.name + "': '" + source_.Name() + "' holds " +
                                       std::to_string(held_by_source) + " rows, " +
                                       std::to_string(r.read) + " were read, " +
                                       std::to_string(r.written) + " written, but the target holds " +
                                       std::to_string(held) + "; nothing was written.");
      }
    }
  }

  void Queries() {
    std::map<int32_t, std::vector<access::QueryRow>> by_id;
    for (access::QueryRow& row : source_.QueryRows()) by_id[row.object_id].push_back(std::move(row));
    std::vector<std::pair<size_t, std::string>> kept;
    for (const auto& [id, name] : source_.QueryNames()) {
      // Access keeps the record sources of forms and controls as hidden
      // queries named ~sq_...; they are no saved queries of the site's.
      if (name.starts_with("~")) continue;
      QueryReport& q = report_.queries.emplace_back();
      q.name = name;
      const auto& rows = by_id[id];
      std::string text;
      try {
        text = access::RebuildQuery(name, rows);
        target_.SaveQuery(name, text);
      } catch (const Error& e) {
        q.reason = e.description();
        continue;
      }
      q.kept = true;
      kept.emplace_back(report_.queries.size() - 1, std::move(text));
    }
    // Once all are kept, a query reading another finds it.
    for (auto& [i, text] : kept) {
      try {
        target_.Translate(text);
        report_.queries[i].runs = true;
      } catch (const Error& e) {
        report_.queries[i].reason = e.description();
      }
    }
  }

  Source& source_;
  db::Connection& target_;
  db::internal::Backend& engine_;
  const Options& options_;
  const std::function<void(const Progress&)>& progress_;
  Report& report_;
  std::vector<Table> tables_;
  std::vector<Relationship> relationships_;
  std::vector<const Table*> order_;
  std::set<std::string> circular_;
  std::set<std::string> counters_;  // table.field of each counter made
};

}  // namespace

// The whole run is one transaction on either engine (the server's data
// definition is transactional too): a failure, or a run killed half-way,
// leaves the target as it was.
Report Migrate(Source& source, db::Connection& target, const Options& options,
               const std::function<void(const Progress&)>& progress, Report* partial) {
  Report report;
  report.source = source.Name();
  target.BeginTrans();
  try {
    Run(source, target, options, progress, report).Go();
    target.CommitTrans();
  } catch (...) {
    try {
      target.RollbackTrans();
    } catch (const Error&) {
      // The engine ended the transaction itself (an interrupted write).
    }
    if (partial != nullptr) *partial = std::move(report);
    throw;
  }
  return report;
}

Report Migrate(const std::string& source_file, db::Connection& target, const Options& options,
               const std::function<void(const Progress&)>& progress, Report* partial) {
  try {
    access::AccessFile source(source_file);
    return Migrate(source, target, options, progress, partial);
  } catch (const Error&) {
    if (partial != nullptr && partial->source.empty()) partial->source = source_file;
    throw;
  }
}

}  // namespace tessaly::migrate
