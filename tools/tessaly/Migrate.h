// tessaly migrate: an Access file into an attendance database.
#pragma once

#include <string>

#include "tessaly/db/Connection.h"
#include "tessaly/migrate/Migrate.h"

namespace tessaly::tool {

// Migrates the Access file source into target, printing progress on a
// terminal and the report on standard error, and as JSON into report_file
// when it is not empty (written on failure too, with "failed" giving the
// error). Returns the exit status; throws tessaly::Error when the run fails.
int RunMigrate(const std::string& source, db::Connection& target,
               const migrate::Options& options, const std::string& report_file);

}  // namespace tessaly::tool
