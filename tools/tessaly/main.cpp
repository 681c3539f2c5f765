// tessaly: the command-line host of the attendance library.
//
//   tessaly init DB               create the attendance database in the SQLite file DB
//   tessaly sql DB STATEMENT      run one Jet statement; a query prints its rows
//   tessaly list DB NAME [--where CONDITION]
//                                 a captioned listing (kq, mtj, trans, translost, collect,
//                                 kqj, log; `tessaly list --help` names them all)
//
// Rows are printed as tab-separated lines under a header line of field names.
// A failure prints "error NUMBER: description" on standard error.

#include <CLI/CLI.hpp>

#include <cstdio>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
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

// The listings a host's grids show, one line each, by the name the command
// takes: the class's captioned listing, or the rows its search by mode gives.
struct ListingEntry {
  std::string_view name;
  std::string_view help;
  const tessaly::framework::Listing& (*listing)();
};

constexpr ListingEntry kListings[] = {
    {"kq", "daily attendance records", &tessaly::clsKQ::CaptionedListing},
    {"mtj", "monthly attendance statistics", &tessaly::clsMTJ::CaptionedListing},
    {"trans", "card punches", &tessaly::clsTrans::CaptionedListing},
    {"translost", "rejected punches", &tessaly::clsTransLost::SearchListing},
    {"collect", "collected raw punches", &tessaly::clsCollect::CollectedListing},
    {"kqj", "attendance terminals", &tessaly::clsKQJ::TerminalListing},
    {"log", "import log", &tessaly::clsLog::CaptionedListing},
};

int List(const Options& o) {
  const ListingEntry* entry = nullptr;
  for (const ListingEntry& e : kListings) {
    if (e.name == o.listing) entry = &e;
  }
  auto conn = tessaly::db::Connection::Open(o.database);
  tessaly::db::Recordset rs;
  rs.Open(tessaly::framework::CaptionedText(entry->listing(), o.where), conn,
          tessaly::db::adOpenStatic, tessaly::db::adLockReadOnly);
  if (rs.RecordCount() > 0) PrintRows(rs, std::cout);
  return kSuccess;
}

std::vector<std::string> ListingNames() {
  std::vector<std::string> names;
  for (const ListingEntry& e : kListings) names.emplace_back(e.name);
  return names;
}

std::string ListingHelp() {
  std::string text = "Print a captioned listing:";
  for (const ListingEntry& e : kListings) {
    text.append(" ").append(e.name).append(" (").append(e.help).append(")");
  }
  return text;
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
         app.add_option("DB", o.database)->required();
         app.add_option("LISTING", o.listing)->required()->check(CLI::IsMember(ListingNames()));
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
