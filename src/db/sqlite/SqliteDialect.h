// The SQL flavour written for SQLite, with the functions of JetFunctions.h.
#pragma once

#include "db/jet/Dialect.h"

namespace tessaly::db::sqlite {

// The SQLite dialect object of a regional setting, shared by all connections
// with it. Dates become their stored text, True -1; Jet's functions and the &
// operator become the jet_... functions that RegisterJetFunctions installs;
// text comparisons that involve no column get COLLATE NOCASE.
const jet::Dialect& SqliteDialect(rules::Region region = rules::Region::kFixed);

}  // namespace tessaly::db::sqlite
