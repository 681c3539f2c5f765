// What the server's failures mean: each in Jet's number and words, as the
// old provider reported the same failure of a file database.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <string_view>

#include "tessaly/Error.h"

namespace tessaly::db::postgres {

// A host's transaction the server aborted after a statement sent without a
// savepoint failed (a deadlock, an interrupt): nothing of it is kept.
Error Undone();
// One field of a failed result's report (PG_DIAG_...), "" when it has none.
std::string_view Field(const PGresult* result, int code);
// A text without the line ends and blanks the server leaves after it.
std::string Trimmed(std::string_view text);
// The session to the server is gone, with the server's reason when known.
Error Lost(std::string_view why);
// Whether the session to the server is gone (or never was).
inline bool IsLost(pg_conn* conn) { return conn == nullptr || PQstatus(conn) == CONNECTION_BAD; }
// A failed result (or a session's own message) as Jet's error.
Error Mapped(const PGresult* result, std::string_view connection_message);
// A prepared statement whose tables changed shape since it was prepared;
// it never ran, and is prepared anew.
bool Stale(const PGresult* result);

}  // namespace tessaly::db::postgres
