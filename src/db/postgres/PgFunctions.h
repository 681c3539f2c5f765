// Jet's functions for PostgreSQL, as SQL and PL/pgSQL functions in a schema
// of the library's own in the database.
#pragma once

#include <string>

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
inline constexpr int kJetFunctionsVersion = 4;

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
// the library's one table of them, run before the rest; and the functions
// that take the setting before Jet's arguments, run after those they call.
std::string RegionalSettingsSql();
const char* RegionalFunctionsSql();

}  // namespace tessaly::db::postgres
