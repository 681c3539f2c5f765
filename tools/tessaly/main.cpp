// tessaly: the command-line host of the attendance library.
//
//   tessaly init DB               create the attendance database in the SQLite file DB
//   tessaly sql DB STATEMENT      run one Jet statement; a query prints its rows
//   tessaly list DB kq|mtj [--where CONDITION]
//                                 a captioned listing: daily records or monthly statistics
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
template <class Record>
std::shared_ptr<tessaly::db::Recordset> Captioned(std::shared_ptr<tessaly::db::Connection> conn,
                                                  const std::string& where) {
  Record record;
  record.HConnect(std::move(conn));
  auto rs = record.ExeSearchWithRecord(where);
  if (record.LastError()) {
    throw tessaly::Error(record.LastError().number, record.LastError().description);
  }
  return rs;
}

int List(const Options& o) {
  auto conn = tessaly::db::Connection::Open(o.database);
  auto rs = o.listing == "kq" ? Captioned<tessaly::clsKQ>(conn, o.where)
                              : Captioned<tessaly::clsMTJ>(conn, o.where);
  if (rs) PrintRows(*rs, std::cout);
  return kSuccess;
}

struct Tool {
  const char* name;
  const char* help;
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
      {"list", "Print a captioned listing of daily records (kq) or monthly statistics (mtj)",
       [](CLI::App& app, Options& o) {
         app.add_option("DB", o.database)->required();
         app.add_option("LISTING", o.listing)->required()->check(CLI::IsMember({"kq", "mtj"}));
         app.add_option("--where", o.where, "Condition the rows must meet (Jet SQL)");
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
