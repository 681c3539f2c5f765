// tessaly: the command-line host of the attendance library.
//
//   tessaly init DB               create the attendance database in the SQLite file DB
//   tessaly sql DB STATEMENT      run one Jet statement; a query prints its rows
//   tessaly list DB NAME [--where CONDITION]
//                                 a listing of the classes (the names are in Listings()):
//                                 captioned rows, the roster list, or every row of a
//                                 table in its class's own order (no condition)
//
// Rows are printed as tab-separated lines under a header line of field names.
// A failure prints "error NUMBER: description" on standard error.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "tessaly/tessaly.h"

namespace {

enum ExitStatus : int { kSuccess = 0, kFailure = 1, kUsage = 2 };

struct Options {
  std::string database;
  std::string statement;
  std::string listing;
  std::string where = "1=1";
  bool where_given = false;
};

void PrintRows(tessaly::db::Recordset& rs, std::ostream& out) {
  const tessaly::db::Fields fields = rs.Fields();
  const int32_t count = fields.Count();
  std::string line;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) line += '\t';
    line += fields.Item(i).Name();
  }
  out << line << '\n';
  for (; !rs.IsEOF(); rs.MoveNext()) {
    line.clear();
    for (int32_t i = 0; i < count; ++i) {
      if (i > 0) line += '\t';
      line += fields.Item(i).ValueRef().ToText();
    }
    out << line << '\n';
  }
}

int Init(const Options& o) {
  auto conn = tessaly::db::Connection::Open(o.database);
  tessaly::db::CreateSchema(*conn);
  return kSuccess;
}

int Sql(const Options& o) {
  auto conn = tessaly::db::Connection::Open(o.database);
  tessaly::db::Recordset rs;
  rs.Open(o.statement, conn, tessaly::db::adOpenStatic, tessaly::db::adLockReadOnly);
  if (rs.State() != 0) PrintRows(rs, std::cout);
  return kSuccess;
}

// The listings a host's grids show, by the name the command takes.
using Conn = std::shared_ptr<tessaly::db::Connection>;

[[noreturn]] void Raise(const tessaly::ErrorInfo& error) {
  throw tessaly::Error(error.number, error.description);
}

// ExeSearchWithRecord: the captioned rows under their captions.
template <class Record>
void Captioned(const Conn& conn, const Options& o) {
  Record record;
  record.HConnect(conn);
  auto rs = record.ExeSearchWithRecord(o.where);
  if (record.LastError()) Raise(record.LastError());
  if (rs) PrintRows(*rs, std::cout);
}

// ExeSearch: the class's own tab-separated lines, under the names of the
// fields they show.
template <class Record>
void Lines(const Conn& conn, const Options& o) {
  Record record;
  record.HConnect(conn);
  int32_t rows = 0;
  const std::string text = record.ExeSearch(o.where, rows);
  if (record.LastError()) Raise(record.LastError());
  if (rows == 0) return;
  std::string header;
  for (const auto& column : Record::SearchListing().row) {
    if (!header.empty()) header += '\t';
    header += column.column;
  }
  std::cout << header << '\n';
  for (char c : text) std::cout << (c == '\r' ? '\n' : c);
}

// DoSearch(-1): every row of the class's table in its own order; these
// searches take no condition.
template <class Record>
void EveryRow(Record& record, const Conn& conn) {
  record.HConnect(conn);
  std::string err;
  const tessaly::eRESULT found = record.DoSearch(err, -1);
  if (found == tessaly::RES_SEARCHERR) Raise(record.LastError());
  if (found == tessaly::RES_FOUND) PrintRows(*record.HRecordset(), std::cout);
}
template <class Record>
void EveryRow(const Conn& conn, const Options&) {
  Record record;
  EveryRow(record, conn);
}
template <tessaly::C_ITEM_INDEX List>
void EveryItem(const Conn& conn, const Options&) {
  tessaly::clsItem item;
  item.TableIndex(List);
  EveryRow(item, conn);
}

struct ListingLine {
  const char* name;
  const char* what;
  void (*print)(const Conn&, const Options&);
  bool takes_condition = true;
};

// One line per listing, in the order the help names them.
constexpr ListingLine kListings[] = {
    {"kq", "daily attendance records, captioned", Captioned<tessaly::clsKQ>},
    {"mtj", "monthly attendance statistics, captioned", Captioned<tessaly::clsMTJ>},
    {"shift", "every shift by name", EveryRow<tessaly::clsShift>, false},
    {"plan", "every schedule plan by name", EveryRow<tessaly::clsPBSet>, false},
    {"roster", "rosters with the employee, department and rotation-code names (aliases A-D)",
     Lines<tessaly::clsRoster>},
    {"bctype", "every shift type by name", EveryItem<tessaly::C_ITEM_BCTYPE>, false},
    {"dept", "every department by name", EveryItem<tessaly::C_ITEM_DEPT>, false},
    {"rostcode", "every rotation code by name", EveryItem<tessaly::C_ITEM_ROSTCODE>, false},
    {"holiday", "every public holiday by identifier", EveryRow<tessaly::clsHoliday>, false},
};

std::string ListingHelp() {
  std::string text = "Print a listing of the attendance database:";
  for (const ListingLine& line : kListings) {
    text += std::string("\n  ") + line.name + ": " + line.what;
    if (!line.takes_condition) text += " (no --where)";
  }
  return text;
}

int List(const Options& o) {
  for (const ListingLine& line : kListings) {
    if (o.listing != line.name) continue;
    if (o.where_given && !line.takes_condition) {
      std::cerr << "the " << line.name << " listing takes no condition (--where)\n";
      return kUsage;
    }
    line.print(tessaly::db::Connection::Open(o.database), o);
    return kSuccess;
  }
  return kUsage;  // refused by the argument check before
}

struct Tool {
  const char* name;
  std::string help;
  std::function<void(CLI::App&, Options&)> arguments;
  int (*run)(const Options&);
};

const std::vector<Tool>& Tools() {
  static const std::vector<Tool> tools = {
      {"init", "Create the attendance database in the SQLite file DB",
       [](CLI::App& app, Options& o) { app.add_option("DB", o.database)->required(); }, Init},
      {"sql", "Run one Jet-dialect statement; a query prints its rows",
       [](CLI::App& app, Options& o) {
         app.add_option("DB", o.database)->required();
         app.add_option("STATEMENT", o.statement)->required();
       },
       Sql},
      {"list", ListingHelp(),
       [](CLI::App& app, Options& o) {
         std::vector<std::string> names;
         for (const ListingLine& line : kListings) names.emplace_back(line.name);
         app.add_option("DB", o.database)->required();
         app.add_option("LISTING", o.listing)->required()->check(CLI::IsMember(names));
         app.add_option_function<std::string>(
             "--where",
             [&o](const std::string& where) {
               o.where = where;
               o.where_given = true;
             },
             "Condition the rows must meet (Jet SQL)");
       },
       List},
  };
  return tools;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"tessaly: the attendance database from the command line"};
  app.require_subcommand(1);
  Options options;
  const Tool* chosen = nullptr;
  for (const Tool& tool : Tools()) {
    CLI::App* sub = app.add_subcommand(tool.name, tool.help);
    tool.arguments(*sub, options);
    sub->callback([&chosen, &tool] { chosen = &tool; });
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? kSuccess : kUsage;
  }
  try {
    return chosen->run(options);
  } catch (const tessaly::Error& e) {
    std::cerr << "error " << e.number() << ": " << e.description() << '\n';
    return kFailure;
  } catch (const std::exception& e) {
    std::cerr << "error " << tessaly::errnum::kFail << ": " << e.what() << '\n';
    return kFailure;
  }
}
