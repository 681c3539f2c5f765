// Stand-ins for the rebuilding and keeping of saved queries, which come
// with their own part of the library; until then every saved query is
// reported as not kept.
#include "access/QueryText.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"

namespace tessaly {

std::string access::RebuildQuery(std::string_view, std::span<const QueryRow>) {
  throw Error(errnum::kFail, "saved queries are not built yet");
}

void db::Connection::SaveQuery(std::string_view, std::string_view) {
  throw Error(errnum::kFail, "saved queries are not built yet");
}

}  // namespace tessaly
