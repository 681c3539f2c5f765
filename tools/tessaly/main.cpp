// tessaly: the command-line host of the attendance library.
//
//   tessaly init DB               create the attendance database in the SQLite file DB
//   tessaly sql DB STATEMENT      run one Jet statement; a query prints its rows
//   tessaly list DB kq|mtj|emp|user [--where CONDITION]
//                                 a listing: daily records, monthly statistics (captioned),
//                                 employees (CONDITION: a type-ahead search text), users
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

// The listings a host's grids show.
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

// A search by mode: the rows the object found, from the first.
template <class Record>
void PrintSearch(Record& record, int32_t mode) {
  std::string err;
  const tessaly::eRESULT result = record.DoSearch(err, mode);
  if (result == tessaly::RES_SEARCHERR) {
    throw tessaly::Error(record.LastError().number, record.LastError().description);
  }
  if (result == tessaly::RES_FOUND) PrintRows(*record.HRecordset(), std::cout);
}

// The employees: everybody by department and number, or with a condition the
// type-ahead search for that text anywhere in the number, letter key or name
// (chosen by its first character), as number, name and department.
void ListEmployees(std::shared_ptr<tessaly::db::Connection> conn, const Options& o) {
  tessaly::clsEmp emp;
  emp.HConnect(std::move(conn));
  if (!o.where_given) return PrintSearch(emp, -1);
  int32_t rows = 0;
  std::string text = emp.ExeSearch(o.where, true, rows);
  if (emp.LastError()) throw tessaly::Error(emp.LastError().number, emp.LastError().description);
  for (char& c : text) {
    if (c == '\r') c = '\n';
  }
  std::cout << "F_EmpID\tF_Name\tF_Dept\n" << text;
}

// The users, by user ID; there is no condition to give.
void ListUsers(std::shared_ptr<tessaly::db::Connection> conn, const Options& o) {
  if (o.where_given) throw CLI::ValidationError("--where", "the user listing takes no condition");
  tessaly::clsUser user;
  user.HConnect(std::move(conn));
  PrintSearch(user, -1);
}

struct Listing {
  const char* name;
  const char* help;
  void (*print)(std::shared_ptr<tessaly::db::Connection>, const Options&);
};

const std::vector<Listing>& Listings() {
  static const std::vector<Listing> listings = {
      {"kq", "daily records",
       [](std::shared_ptr<tessaly::db::Connection> conn, const Options& o) {
         if (auto rs = Captioned<tessaly::clsKQ>(std::move(conn), o.where)) PrintRows(*rs, std::cout);
       }},
      {"mtj", "monthly statistics",
       [](std::shared_ptr<tessaly::db::Connection> conn, const Options& o) {
         if (auto rs = Captioned<tessaly::clsMTJ>(std::move(conn), o.where)) PrintRows(*rs, std::cout);
       }},
      {"emp", "employees; --where TEXT: the type-ahead search for TEXT", ListEmployees},
      {"user", "users", ListUsers},
  };
  return listings;
}

int List(const Options& o) {
  auto conn = tessaly::db::Connection::Open(o.database);
  for (const Listing& listing : Listings()) {
    if (o.listing == listing.name) listing.print(conn, o);
  }
  return kSuccess;
}

std::string ListingNames() {
  std::string names;
  for (const Listing& listing : Listings()) {
    names += names.empty() ? "" : ", ";
    names += std::string(listing.name) + " (" + listing.help + ")";
  }
  return names;
}

std::vector<std::string> ListingKeys() {
  std::vector<std::string> keys;
  for (const Listing& listing : Listings()) keys.emplace_back(listing.name);
  return keys;
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
      {"list", "Print a listing: " + ListingNames(),
       [](CLI::App& app, Options& o) {
         app.add_option("DB", o.database)->required();
         app.add_option("LISTING", o.listing, ListingNames())
             ->required()
             ->check(CLI::IsMember(ListingKeys()));
         app.add_option("--where", o.where, "Condition the rows must meet (Jet SQL)")
             ->each([&o](const std::string&) { o.where_given = true; });
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
  } catch (const CLI::ParseError& e) {  // arguments a listing cannot take
    return app.exit(e) == 0 ? kSuccess : kUsage;
  } catch (const std::exception& e) {
    std::cerr << "error " << tessaly::errnum::kFail << ": " << e.what() << '\n';
    return kFailure;
  }
}
