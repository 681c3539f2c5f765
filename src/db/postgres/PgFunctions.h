// Jet's functions for PostgreSQL, as SQL and PL/pgSQL functions in the
// session's own temporary schema.
#pragma once

namespace tessaly::db::postgres {

// The statements (one text, run as one) that create, in pg_temp, every
// function the PostgreSQL dialect calls. They live as long as the session, so
// the database holds no object of the library's besides its tables, saved
// queries and the Byte and Yes/No domains. Needs the citext extension.
const char* JetFunctionsSql();

}  // namespace tessaly::db::postgres
