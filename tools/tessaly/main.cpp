// tessaly: the command-line host of the attendance library.
//
//   tessaly init DB                       create the attendance database in the SQLite file DB
//                                         (or on the PostgreSQL server DB names:
//                                         postgresql://... or "host=... dbname=...")
//   tessaly sql DB [STATEMENT | - | -f FILE]
//                                         run Jet statements; queries print their rows
//   tessaly sql DB --explain STATEMENT    the engine's statement it becomes
//   tessaly list DB NAME [--where CONDITION]
//                                         a captioned listing (tessaly/Listings.h)
//   tessaly migrate SOURCE DB [--replace] [--lenient] [--report FILE]
//                                         move an Access database file into DB
//   tessaly typelib                       the published classes, members and enumerations
//   tessaly call DB PROGID MEMBER [ARG...] [--let PROPERTY=VALUE...]
//                                         create a published class, connect it to DB, invoke
//                                         a member by name as a late-binding host does
//   tessaly import DB FILE... [options]   punches from terminals' files (ImportCommand.h)
//   tessaly export DB punches|rejected|log
//                                         the punch tables out as tsv, csv or json
//
// Rows print as tsv, csv, json or an aligned table (Output.h); failures print
// "error NUMBER: description" on standard error.

#include <CLI/CLI.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ImportCommand.h"
#include "Migrate.h"
#include "Session.h"
#include "tessaly/server/Dispatch.h"
#include "tessaly/server/TypeLib.h"
#include "tessaly/tessaly.h"
#include "tessaly/tessaly_c.h"

namespace {

using namespace tessaly::tool;
using tessaly::NamedListing;
using tessaly::NamedListings;

struct Options {
  std::string database;
  std::string statement;  // "" when none was given, "-" for standard input
  std::optional<std::string> file;  // sql -f
  std::string listing;
  std::string where = "1=1";
  std::string format;  // "" until chosen: table on a terminal, tsv elsewhere
  bool no_header = false;
  bool field_names = false;
  bool quiet = false;
  bool ansi89 = false;  // LIKE with Access's * ? # wildcards
  std::string region;   // the regional setting's name, or empty for the fixed one
  bool explain = false;  // sql: print what the statement becomes instead of running it
  std::string null_text;
  std::string progid;              // call
  std::string member;              // call
  std::vector<std::string> args;   // call
  std::vector<std::string> lets;   // call: PROPERTY=VALUE, set before the member
  std::string source;              // migrate: the Access file
  std::string report;              // migrate --report
  tessaly::migrate::Options migrate;
};

OutputOptions OutputOf(const Options& o) {
  OutputOptions out;
  const std::string& f = o.format.empty() ? (isatty(STDOUT_FILENO) ? "table" : "tsv") : o.format;
  out.format = f == "csv" ? Format::kCsv
               : f == "json" ? Format::kJson
               : f == "table" ? Format::kTable
                              : Format::kTsv;
  out.header = !o.no_header;
  out.null_text = o.null_text;
  return out;
}

// --ansi89 and --region: how LIKE reads its patterns, and the regional setting
// the named formats, the names of months and days and dates read from texts follow.
void AddReadingOptions(CLI::App& app, Options& o) {
  app.add_flag("--ansi89", o.ansi89,
               "LIKE reads Access's wildcards (* ? # [!a-c]) instead of % _ [^a-c]");
  app.add_option("--region", o.region,
                 "Regional setting of named formats, month and day names and dates read from "
                 "text: en-US or zh-CN; default the fixed year-month-day setting")
      ->check(CLI::IsMember({"en-US", "zh-CN"}, CLI::ignore_case));
}

// Opens a database that exists: only `init` creates one, so a misspelt path
// is refused instead of becoming an empty database. A file init creates is
// made here first, so a place that cannot hold it is named with the reason.
std::shared_ptr<tessaly::db::Connection> OpenDatabase(const std::string& path, bool create,
                                                      bool ansi89 = false,
                                                      const std::string& region = {}) {
  if (path.empty()) throw Refusal{kUsage, "the database is an empty name"};
  // The connection's options follow the target, joined by '&'.
  std::string options;
  if (!region.empty()) options = "?region=" + region;
  if (ansi89) options += options.empty() ? "?ansi89" : "&ansi89";
  if (tessaly::db::Connection::IsServerTarget(path)) {
    // A server's database exists or the server says why not; the target is
    // not repeated, as it may hold a password.
    try {
      return tessaly::db::Connection::Open(path + options);
    } catch (const tessaly::Error& e) {
      throw Refusal{kNoDatabase, "cannot open database: " + e.description()};
    }
  }
  bool made = false;
  struct stat st;
  if (path != ":memory:") {
    if (::stat(path.c_str(), &st) != 0) {
      int error = errno;
      if (error == ENOENT && create) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) ::close(fd);
        made = fd >= 0;
        error = made ? 0 : errno;
      }
      if (error != 0) {
        const char* hint = !create && error == ENOENT ? " (`tessaly init` creates one)" : "";
        throw Refusal{kNoDatabase, std::string(create ? "cannot create" : "cannot open") +
                                       " database '" + path + "': " + std::strerror(error) + hint};
      }
    } else if (S_ISDIR(st.st_mode)) {
      throw Refusal{kNoDatabase, "cannot open database '" + path + "': it is a directory"};
    }
  }
  try {
    return tessaly::db::Connection::Open(path + options);
  } catch (const tessaly::Error& e) {
    if (made) ::unlink(path.c_str());
    throw Refusal{kNoDatabase, "cannot open database '" + path + "': " + e.description()};
  }
}

// Refuses (kUsage) a script that is a directory, the file named or standard
// input (null): it reads as nothing, which would pass for a script that ran.
void RefuseDirectory(const std::string* file) {
  struct stat st;
  const int found = file != nullptr ? ::stat(file->c_str(), &st) : ::fstat(STDIN_FILENO, &st);
  if (found == 0 && S_ISDIR(st.st_mode)) {
    throw Refusal{kUsage, "cannot read " + (file != nullptr ? "'" + *file + "'" : "standard input") +
                              ": it is a directory"};
  }
}

std::string ReadAll(std::istream& in) {
  std::ostringstream text;
  text << in.rdbuf();
  return std::move(text).str();
}

int Init(const Options& o) {
  tessaly::db::CreateSchema(*OpenDatabase(o.database, true));
  return kSuccess;
}

int Sql(const Options& o) {
  // Every statement is read and checked before the database is touched.
  std::string script;
  std::string source;
  if (o.explain && (o.statement.empty() || o.statement == "-")) {
    throw Refusal{kUsage, "--explain takes the STATEMENT to explain"};
  }
  if (o.file) {
    if (o.file->empty()) throw Refusal{kUsage, "the script file is an empty name"};
    RefuseDirectory(&*o.file);
    std::ifstream in(*o.file, std::ios::binary);
    if (!in) throw Refusal{kUsage, "cannot read '" + *o.file + "': " + std::strerror(errno)};
    script = ReadAll(in);
    source = *o.file;
  } else if (o.statement == "-" || (o.statement.empty() && !isatty(STDIN_FILENO))) {
    RefuseDirectory(nullptr);
    script = ReadAll(std::cin);
    source = "<stdin>";
  }
  if (!source.empty()) RequireUtf8(script, "'" + source + "'");
  // Editors on some systems start a UTF-8 file with a byte-order mark; it is no statement.
  if (script.starts_with("\xEF\xBB\xBF")) script.erase(0, 3);
  RequireUtf8(o.statement, "the statement");

  Session session(OpenDatabase(o.database, false, o.ansi89, o.region), OutputOf(o), o.quiet);
  if (o.explain) {
    session.Explain(o.statement);
    return kSuccess;
  }
  if (!source.empty()) return session.RunScript(script, source);
  if (o.statement.empty()) return session.RunInteractive();
  // A statement on the command line goes to the engine whole: it is one
  // statement, and text after a ';' is refused there.
  return session.RunOne(o.statement);
}

int List(const Options& o) {
  RequireUtf8(o.where, "the condition");
  const NamedListing* entry = nullptr;
  for (const NamedListing& e : NamedListings()) {
    if (e.name == o.listing) entry = &e;
  }
  const tessaly::framework::Listing& listing = entry->listing();
  const std::string where = entry->condition != nullptr ? entry->condition(o.where) : o.where;
  auto connection = OpenDatabase(o.database, false, o.ansi89, o.region);
  tessaly::db::Recordset rs;
  // A listing without a captioned select list (the roster list) prints its
  // search statement's own columns.
  const std::string statement = listing.captioned_select.empty()
                                    ? tessaly::framework::SearchText(listing, where)
                                    : tessaly::framework::CaptionedText(listing, where);
  rs.Open(statement, connection, tessaly::db::adOpenForwardOnly, tessaly::db::adLockReadOnly);
  std::vector<std::string> names;
  if (o.field_names && rs.Fields().Count() == static_cast<int32_t>(listing.row.size())) {
    for (const auto& column : listing.row) names.emplace_back(column.column);
  }
  Printer printer(OutputOf(o));
  PrintRows(rs, names, *printer.writer);
  printer.sink.Flush();
  return kSuccess;
}

int TypeLib(const Options&) {
  std::cout << tessaly::server::Describe(tessaly::server::Library());
  return kSuccess;
}

// What a failed late-bound call answered, in words.
std::string Failure(int32_t hr, const tessaly::server::ExcepInfo& info, uint32_t arg_err) {
  const std::string argument = " (argument " + std::to_string(arg_err + 1) + ")";
  switch (hr) {
    case TESSALY_DISP_E_UNKNOWNNAME: return "no such member";
    case TESSALY_DISP_E_MEMBERNOTFOUND: return "the member cannot be used so";
    case TESSALY_DISP_E_TYPEMISMATCH: return "type mismatch" + argument;
    case TESSALY_DISP_E_OVERFLOW: return "overflow" + argument;
    case TESSALY_DISP_E_PARAMNOTOPTIONAL: return "argument not optional" + argument;
    case TESSALY_DISP_E_BADPARAMCOUNT: return "wrong number of arguments";
    case TESSALY_DISP_E_EXCEPTION:
      return "error " + std::to_string(info.number) + ": " + info.description;
    default: break;
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
  return std::string("failed with ") + code;
}

// Whether a member's answer is a success for it: an eRESULT code of success,
// True, a recordset that is not Nothing, or any answer that is no result
// code. failure names what failed; it stays empty for a negative answer
// (RES_NOTFOUND, False, Nothing), as a search that finds nothing says nothing.
bool Succeeded(const tessaly::server::MemberInfo& member, const tessaly::server::Value& result,
               std::string& failure) {
  using tessaly::server::TypeKind;
  const tessaly::server::TypeRef& type = member.type;
  if (type.kind == TypeKind::kBoolean) return result.scalar.ToBoolean();
  if (type.kind == TypeKind::kRecordset) return result.object != nullptr;
  if (type.kind != TypeKind::kEnum || type.enum_name != "eRESULT") return true;
  const int32_t code = result.scalar.ToLong();
  switch (code) {
    case tessaly::RES_OK:
    case tessaly::RES_ADDOK:
    case tessaly::RES_UPDOK:
    case tessaly::RES_DELOK:
    case tessaly::RES_FOUND: return true;
    case tessaly::RES_NOTFOUND: return false;
    default: break;
  }
  failure = member.name + " answered " + std::to_string(code);
  for (const tessaly::server::EnumInfo& e : tessaly::server::Library().enums) {
    if (e.name != "eRESULT") continue;
    for (const auto& [name, value] : e.members) {
      if (value == code) failure += " (" + name + ")";
    }
  }
  return false;
}

// A listing's text, rows of cells between tabs each ended by a CR, as rows.
std::vector<std::vector<std::string_view>> ListingRows(std::string_view text) {
  std::vector<std::vector<std::string_view>> rows;
  for (size_t end; (end = text.find('\r')) != std::string_view::npos;) {
    std::string_view row = text.substr(0, end);
    text.remove_prefix(end + 1);
    std::vector<std::string_view>& cells = rows.emplace_back();
    for (size_t tab; (tab = row.find('\t')) != std::string_view::npos;) {
      cells.push_back(row.substr(0, tab));
      row.remove_prefix(tab + 1);
    }
    cells.push_back(row);
  }
  return rows;
}

// The recordset a value holds, open; null for any other value.
tessaly::db::Recordset* OpenRecordset(const tessaly::server::Value& v) {
  return v.is_object && v.object != nullptr ? v.object->OpenRecordset() : nullptr;
}

// Prints a result or by-reference argument: a text or number as it is, a
// listing's text as its rows one a line, a recordset as its rows.
void PrintValue(const std::string& label, const tessaly::server::Value& v, bool listing,
                const Options& o) {
  if (!v.is_object) {
    const std::string text = v.scalar.ToText();
    if (!listing) {
      std::cout << label << ": " << text << '\n';
      return;
    }
    std::cout << label << ":\n";
    for (const auto& cells : ListingRows(text)) {
      for (size_t i = 0; i < cells.size(); ++i) std::cout << (i > 0 ? "\t" : "") << cells[i];
      std::cout << '\n';
    }
    return;
  }
  std::cout << label << ": " << (v.object == nullptr ? "Nothing" : v.object->ClassName()) << '\n';
  if (tessaly::db::Recordset* rs = OpenRecordset(v)) {
    std::cout.flush();
    Printer printer(OutputOf(o));
    PrintRows(*rs, {}, *printer.writer);
    printer.sink.Flush();
  }
}

// The answer as one JSON object: "result", each by-reference argument by its
// name, and "rows" when a recordset or a listing's text came back.
void PrintJson(const std::vector<std::pair<std::string, const tessaly::server::Value*>>& values,
               bool listing) {
  std::string text = "{";
  tessaly::db::Recordset* rows = nullptr;
  for (const auto& [name, value] : values) {
    if (text.size() > 1) text += ',';
    AppendJsonString(name, text);
    text += ':';
    if (!value->is_object) {
      AppendJson(value->scalar, text);
    } else if (value->object == nullptr) {
      text += "null";
    } else {
      AppendJsonString(value->object->ClassName(), text);
      if (rows == nullptr) rows = OpenRecordset(*value);
    }
  }
  if (listing) {
    text += ",\"rows\":[";
    const std::string listing_text = values.front().second->scalar.ToText();
    const auto listed = ListingRows(listing_text);
    for (size_t r = 0; r < listed.size(); ++r) {
      text += r > 0 ? ",\n[" : "\n[";
      for (size_t c = 0; c < listed[r].size(); ++c) {
        if (c > 0) text += ',';
        AppendJsonString(listed[r][c], text);
      }
      text += ']';
    }
    text += listed.empty() ? "]" : "\n]";
  }
  Printer printer(OutputOptions{Format::kJson, true, {}});
  printer.sink.Write(text);
  if (rows != nullptr) {
    printer.sink.Write(",\"rows\":");
    PrintRows(*rows, {}, *printer.writer);
  }
  printer.sink.Write("}\n");
  printer.sink.Flush();
}

int Call(const Options& o) {
  using tessaly::server::Object;
  using tessaly::server::Value;
  RequireUtf8(o.member, "the member");
  for (const std::string& a : o.args) RequireUtf8(a, "an argument");
  for (const std::string& l : o.lets) RequireUtf8(l, "a property");
  std::shared_ptr<Object> object;
  if (Object::Create(o.progid, object) != TESSALY_S_OK) {
    throw Refusal{kUsage, "no published class '" + o.progid + "' (`tessaly typelib` lists them)"};
  }
  tessaly::server::ExcepInfo info;
  uint32_t arg_err = 0;
  auto invoke = [&](const std::string& name, uint16_t flags, std::vector<Value>& args,
                    Value* result) {
    const int32_t hr = object->Invoke(name, flags, args, result, &info, &arg_err);
    if (hr != TESSALY_S_OK) throw Refusal{kFailure, name + ": " + Failure(hr, info, arg_err)};
  };
  std::vector<Value> connection{Value::Of(Object::OfConnection(OpenDatabase(o.database, false)))};
  invoke("HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, connection, nullptr);
  for (const std::string& let : o.lets) {
    const size_t eq = let.find('=');
    if (eq == std::string::npos) throw Refusal{kUsage, "--let takes PROPERTY=VALUE: '" + let + "'"};
    std::vector<Value> value(1);
    value[0].scalar = tessaly::db::Variant(let.substr(eq + 1));
    invoke(let.substr(0, eq), TESSALY_DISPATCH_PROPERTYPUT, value, nullptr);
  }
  std::vector<Value> args(o.args.size());
  for (size_t i = 0; i < o.args.size(); ++i) args[i].scalar = tessaly::db::Variant(o.args[i]);
  Value result;
  invoke(o.member, TESSALY_DISPATCH_METHOD | TESSALY_DISPATCH_PROPERTYGET, args, &result);

  int32_t dispid = 0;
  object->GetIDOfName(o.member, dispid);
  const tessaly::server::MemberInfo* member = nullptr;
  for (const tessaly::server::MemberInfo& m : object->Members()) {
    if (m.dispid == dispid) member = &m;
  }
  // A member that lists rows answers them as one text, each row ended by a CR.
  const bool listing = member != nullptr &&
                       member->type.kind == tessaly::server::TypeKind::kString &&
                       member->name == "ExeSearch";
  std::vector<std::pair<std::string, const Value*>> values{{"result", &result}};
  for (size_t i = 0; member != nullptr && i < member->params.size() && i < args.size(); ++i) {
    if (member->params[i].by_ref) values.emplace_back(member->params[i].name, &args[i]);
  }
  if (o.format == "json") {
    PrintJson(values, listing);
  } else {
    for (size_t i = 0; i < values.size(); ++i) {
      PrintValue(values[i].first, *values[i].second, listing && i == 0, o);
    }
  }
  std::cout.flush();

  // A trap that caught an error says so, even where the member's by-value
  // error text could not.
  if (const tessaly::ErrorInfo* e = object->LastError()) {
    std::cerr << "error " << e->number << ": " << e->description << '\n';
    return kFailure;
  }
  std::string failure;
  if (member == nullptr || Succeeded(*member, result, failure)) return kSuccess;
  if (!failure.empty()) std::cerr << "error: " << failure << '\n';
  return kFailure;
}

// A database file the run made is removed again when the run fails.
int Migrate(const Options& o) {
  struct stat st;
  const bool made = !tessaly::db::Connection::IsServerTarget(o.database) && o.database != ":memory:" &&
                    ::stat(o.database.c_str(), &st) != 0;
  auto db = OpenDatabase(o.database, true);
  try {
    return RunMigrate(o.source, *db, o.migrate, o.report);
  } catch (...) {
    if (made) {
      db.reset();
      for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((o.database + suffix).c_str());
    }
    throw;
  }
}

void AddOutputOptions(CLI::App& app, Options& o) {
  app.add_option("--format", o.format,
                 "tsv, csv (RFC 4180), json (an array of objects) or table; "
                 "table on a terminal, tsv elsewhere")
      ->check(CLI::IsMember({"tsv", "csv", "json", "table"}));
  app.add_flag("--no-header", o.no_header, "Leave out the line of column names (tsv, csv, table)");
  app.add_option("--null", o.null_text, "Text printed for a Null (json prints null); default empty");
}

struct Tool {
  const char* name;
  const char* help;
  std::string footer;  // what --help shows after the options: examples and such
  std::function<void(CLI::App&, Options&)> arguments;
  int (*run)(const Options&);
};

std::string ListingNames() {
  std::string text = "Listings:\n";
  for (const NamedListing& e : NamedListings()) {
    text += "  " + std::string(e.name) + std::string(8 - std::min<size_t>(e.name.size(), 7), ' ') +
            std::string(e.help) + "\n";
  }
  return text;
}

const std::vector<Tool>& Tools() {
  static const std::vector<Tool> tools = {
      {"init", "Create the attendance database (tables and saved queries) in the SQLite file DB, or on "
       "the PostgreSQL server DB names (postgresql://... or \"host=... dbname=...\")",
       "Example:\n  tessaly init att.db",
       [](CLI::App& app, Options& o) {
         app.add_option("DB", o.database, "The SQLite file; created when missing")->required();
       },
       Init},
      {"sql", "Run Jet-dialect statements; a query prints its rows, a write how many it changed",
       "With no STATEMENT and a terminal on standard input, statements are read interactively,\n"
       "each ended by ';'. A script (FILE or standard input) runs statement after statement\n"
       "and stops at the first that fails, naming its line; '--' and '/* */' are comments.\n\n"
       "A definition (CREATE, DROP, ALTER) reports no count. --explain prints the engine's\n"
       "statement instead of running it (.explain STATEMENT interactively). Ctrl-C stops\n"
       "the running statement: interactively it returns to the prompt (and clears the\n"
       "input at a prompt); otherwise the run ends with 130.\n\n"
       "Examples:\n"
       "  tessaly sql att.db \"select F_EmpID, F_Date from T_KQ where F_Date >= #2003-05-01#\"\n"
       "  tessaly sql att.db --explain \"select * from T_KQ where F_EmpID='0001'\"\n"
       "  tessaly sql att.db --format csv -f month.sql\n"
       "  echo \"delete from T_KQ where F_EmpID='0001';\" | tessaly sql att.db -",
       [](CLI::App& app, Options& o) {
         tessaly::tool::AddDatabaseArgument(app, o.database);
         auto* statement = app.add_option(
             "STATEMENT", o.statement,
             "One Jet statement, or '-' to read statements from standard input");
         app.add_option("-f,--file", o.file, "Read statements from FILE")
             ->type_name("FILE")
             ->excludes(statement);
         AddOutputOptions(app, o);
         app.add_flag("-q,--quiet", o.quiet, "Do not report the rows a write changed");
         app.add_flag("--explain", o.explain,
                      "Print the engine's statement STATEMENT becomes instead of running it: "
                      "with its values written in, then as prepared with its parameters");
         AddReadingOptions(app, o);
       },
       Sql},
      {"list", "Print a captioned listing of the attendance database",
       ListingNames() +
           "\nExamples:\n  tessaly list att.db kq --where \"F_EmpID='0001'\"\n"
           "  tessaly list att.db mtj --field-names --format json",
       [](CLI::App& app, Options& o) {
         tessaly::tool::AddDatabaseArgument(app, o.database);
         std::vector<std::string> names;
         for (const NamedListing& e : NamedListings()) names.emplace_back(e.name);
         app.add_option("NAME", o.listing, "Which listing (below)")
             ->required()
             ->check(CLI::IsMember(names));
         app.add_option("--where", o.where, "Condition the rows must meet (Jet SQL); default all");
         app.add_flag("--field-names", o.field_names,
                      "Head the columns with their field names instead of the captions");
         AddReadingOptions(app, o);
         AddOutputOptions(app, o);
       },
       List},
      {"migrate", "Move an Access database file (.mdb, .accdb) into DB: its tables, indexes, "
       "relationships and saved queries, as one unit",
       "The attendance tables go into the library's own schema, each value converted to its\n"
       "column's kind; every other table is made with its fields, keys, indexes and\n"
       "relationships. The rows of every table are counted on both sides. A failure leaves\n"
       "DB as it was. The report (tables, rows, indexes, relationships, saved queries) goes\n"
       "to standard error; progress shows on a terminal.\n\n"
       "Examples:\n  tessaly migrate site.mdb att.db\n"
       "  tessaly migrate site.mdb \"host=/run/pg dbname=att\" --lenient --report moved.json",
       [](CLI::App& app, Options& o) {
         app.add_option("SOURCE", o.source, "The Access database file")->required();
         app.add_option("DB", o.database, "The SQLite file (created when missing) or server")
             ->required();
         app.add_flag("--replace", o.migrate.replace,
                      "Replace tables of DB that have the names of the file's");
         app.add_flag("--lenient", o.migrate.lenient,
                      "Skip (and report) an attendance row with a value that does not fit its "
                      "column, instead of failing");
         app.add_option("--report", o.report, "Write the report as JSON into FILE")
             ->type_name("FILE");
       },
       Migrate},
      {"typelib", "Print the type library: the published classes, their members and the enumerations",
       "Example:\n  tessaly typelib | less", [](CLI::App&, Options&) {}, TypeLib},
      {"call",
       "Create a published class, connect it to DB and invoke a member by name, printing the "
       "result and every by-reference argument",
       "Arguments are texts, converted to each parameter's kind as a late-binding host's\n"
       "were; trailing optional ones may be left out. Properties are set with --let first.\n"
       "A listing's text (ExeSearch) prints its rows one a line; --format json prints one\n"
       "object: \"result\", each by-reference argument by name, and \"rows\" when rows came.\n\n"
       "The status is 0 when the member's answer is a success for it: RES_OK, RES_ADDOK,\n"
       "RES_UPDOK, RES_DELOK, RES_FOUND, True, a recordset, or an answer that is no result\n"
       "code. It is 1 for an error, named on standard error (a code such as RES_ADDERR, or\n"
       "the error the member's trap caught), and for a negative answer, RES_NOTFOUND, False\n"
       "or Nothing, which prints nothing on standard error.\n\n"
       "Examples:\n"
       "  tessaly call att.db Tessaly.clsKQ Add --let FEmpID=0001 --let FDate=2003-05-01\n"
       "  tessaly call att.db Tessaly.clsKQ ExeSearch \"F_EmpID='0001'\" 0\n"
       "  tessaly call att.db clsKQ CalcKaoQinDays 2003 5 事假 0001 0",
       [](CLI::App& app, Options& o) {
         tessaly::tool::AddDatabaseArgument(app, o.database);
         app.add_option("PROGID", o.progid, "Tessaly.clsKQ, or the class name alone")->required();
         app.add_option("MEMBER", o.member, "A method or property, letter case not mattering")
             ->required();
         app.add_option("ARG", o.args, "The member's arguments in order");
         app.add_option("--let", o.lets, "PROPERTY=VALUE, set before the member is invoked")
             ->type_name("PROPERTY=VALUE");
         AddOutputOptions(app, o);
       },
       Call},
      {"import", "Import punches from attendance terminals' files into card punches and rejected punches",
       tessaly::tool::kImportFooter,
       [](CLI::App& app, Options&) { tessaly::tool::AddImportArguments(app); },
       [](const Options&) {
         return tessaly::tool::RunImport([](const std::string& db) { return OpenDatabase(db, false); });
       }},
      {"export", "Print card punches, rejected punches or the import log, one row each",
       tessaly::tool::kExportFooter,
       [](CLI::App& app, Options&) { tessaly::tool::AddExportArguments(app); },
       [](const Options&) {
         return tessaly::tool::RunExport([](const std::string& db) { return OpenDatabase(db, false); });
       }},
  };
  return tools;
}

constexpr const char* kExitStatuses =
    "Exit status: 0 success; 1 a statement failed; 2 usage (bad arguments, input that is\n"
    "not UTF-8, an empty name, a script that is a directory); 3 the database cannot be\n"
    "opened or created; 130 Ctrl-C stopped a statement (which then changed nothing).\n"
    "Output into a pipe that closes early (`| head`) ends the tool quietly with 0.\n";

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe shows as EPIPE on write, ended quietly, not as a signal.
  std::signal(SIGPIPE, SIG_IGN);
  // Statements and values are UTF-8 whatever the environment's locale; the
  // terminal's line editing and column widths read characters by it.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) std::setlocale(LC_CTYPE, "");

  CLI::App app{"tessaly: the attendance database from the command line"};
  app.set_version_flag("-V,--version", std::string("tessaly ") + TESSALY_VERSION,
                       "Print the library's version and exit");
  app.require_subcommand(1);
  app.footer(kExitStatuses);
  Options options;
  const Tool* chosen = nullptr;
  for (const Tool& tool : Tools()) {
    CLI::App* sub = app.add_subcommand(tool.name, tool.help);
    tool.arguments(*sub, options);
    sub->footer(tool.footer + "\n\n" + kExitStatuses);
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
  } catch (const OutputClosed&) {
    return kSuccess;
  } catch (const Refusal& r) {
    std::cerr << "error: " << r.message << '\n';
    return r.status;
  } catch (const tessaly::Error& e) {
    std::cerr << "error " << e.number() << ": " << e.description() << '\n';
    return kFailure;
  } catch (const std::exception& e) {
    std::cerr << "error " << tessaly::errnum::kFail << ": " << e.what() << '\n';
    return kFailure;
  }
}
