// Jet's functions for PostgreSQL, as SQL and PL/pgSQL functions in a schema
// of the library's own in the database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/JetFunctionTable.h"

namespace tessaly::db::postgres {

// The schema that holds the functions. They are the database's, installed
// once (by the first session that finds them missing or older and may create
// them), never a session's: a pooler may hand each transaction of a host to
// another server session, and every one of them must find the same functions.
inline constexpr char kJetSchema[] = "tessaly_jet";

// The functions' version. A library finding an older version (or none)
// installs its own over it; finding a newer one, it refuses the database,
// whose saved queries may call what it does not know. Raised whenever the
// functions change in a released library.
inline constexpr int kJetFunctionsVersion = 6;

// The statements (one text, run as one) that create or replace, in
// kJetSchema, every function the PostgreSQL dialect calls. Running them again
// changes nothing. Needs the citext extension and the schema.
const std::string& JetFunctionsSql();

// A digest of that text, recorded beside the version: two builds of one
// version whose functions differ (as while they are being written) still
// tell each other apart.
std::string JetFunctionsDigest();

// Its parts that answer by the regional setting (PgRegionalFunctions.cpp):
// jet_setting and jet_name, the settings' patterns and names written from
// the library's one table of them; and the helpers that take the setting
// before their arguments.
std::string RegionalSettingsSql();
const char* RegionalFunctionsSql();

// What an overload's head says beside what the function table gives it.
enum OverloadNote : uint8_t {
  kPlain = 0,
  // STABLE, not IMMUTABLE: it reads a text as a date, which the session's
  // DateStyle decides.
  kStable = 1,
  // Not STRICT though Null gives Null: the body answers a Null itself (a
  // Null after the first argument raises, or the planner is to inline it).
  kNullsInBody = 2,
  // STRICT though the function has a Null rule of its own: on this overload
  // a Null argument of any kind gives Null.
  kStrict = 4,
};

// One overload of a Jet function on the server. The function table gives
// its head: the name, the regional setting first (r integer) where the
// answer depends on it, the volatility, STRICT where a Null gives Null, and
// the overloads that read a text or a date as its kinds say. The overload
// gives what the table cannot: its arguments' types, what it returns, and
// its body (a SQL expression, or a PL/pgSQL block).
struct Overload {
  JetFunction function;
  std::string_view arguments;  // after the setting: "s text, n double precision"
  std::string_view returns;
  uint8_t notes;
  std::string body;
};

// Every overload written by hand (PgOverloads.cpp), and the statements that
// create them and those the kinds imply.
const std::vector<Overload>& JetOverloads();
std::string JetOverloadsSql();

}  // namespace tessaly::db::postgres
