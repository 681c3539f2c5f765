// The tables and saved queries of the attendance database.
#pragma once

namespace tessaly::db {

class Connection;

// Creates every table, index and saved query of the attendance database that
// does not exist yet; running it again changes nothing. Throws tessaly::Error
// when the database refuses a definition.
void CreateSchema(Connection& connection);

}  // namespace tessaly::db
