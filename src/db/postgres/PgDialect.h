// The SQL flavour written for PostgreSQL, with the functions of PgFunctions.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "db/jet/Dialect.h"

namespace tessaly::db::postgres {

// The spellings of the tables, saved queries, indexes and columns a
// database holds, by their lower-case form, so that those made by
// statements are found in any letter case too: the server finds a quoted
// name only in the letter case it was made with.
class NameSpellings {
 public:
  // Null for a name the database does not hold, or holds in several spellings.
  virtual const std::string* Spelling(const std::string& lowered) = 0;

 protected:
  ~NameSpellings() = default;
};

// The PostgreSQL dialect. Names are double-quoted in the database's own
// spelling, so a statement may spell them in any letter case as Jet allowed
// and the rows come back named as the tables declare them; placeholders are
// $1, $2, ...; Jet's functions are the pg_temp.jet_... functions each
// connection creates. PgDialect() writes each name as given; a connection's
// dialect asks its database how it spells them, and writes its regional
// setting into the calls of the functions that answer by it.
const jet::Dialect& PgDialect();
std::unique_ptr<jet::Dialect> PgDialect(NameSpellings& names,
                                        rules::Region region = rules::Region::kFixed);

// The database's own spelling of a table, saved query or column name given
// in any letter case, or the name as given when it holds none (an alias).
std::string_view CatalogSpelling(std::string_view name, NameSpellings* names = nullptr);

}  // namespace tessaly::db::postgres
