// The database objects that the classes above the database layer hold and
// pass on without looking inside, declared for their headers.
#pragma once

namespace tessaly::db {
class Connection;
class Recordset;
class Fields;
}  // namespace tessaly::db
