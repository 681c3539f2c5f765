// The tables and saved queries of the attendance database.
#pragma once

namespace tessaly::db {

class Connection;

// Creates every table, index and saved query of the attendance database that
// does not exist yet, all or none; running it again changes nothing. Throws
// tessaly::Error (and creates nothing) when the database refuses a definition
// or already holds a table or saved query of one of those names with other
// columns (the error names it).
void CreateSchema(Connection& connection);

}  // namespace tessaly::db
