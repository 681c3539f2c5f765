// The attendance database described once, whatever the engine: its tables
// (most of them with the columns their record classes declare), keys and
// indexes, and its saved queries.
#pragma once

#include "db/Definitions.h"

namespace tessaly::schema {

// The tables and saved queries, in the order they are created. Built once.
const db::internal::Definitions& Attendance();

}  // namespace tessaly::schema
