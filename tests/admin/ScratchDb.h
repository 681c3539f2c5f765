// An attendance database from which a test can take a table away behind the
// library's back (the Jet dialect has no DROP TABLE), on the test engine.
#pragma once

#include <memory>
#include <string>

#include "db/Backend.h"
#include "support/TestDb.h"

namespace tessaly::testing {

class ScratchDb {
 public:
  explicit ScratchDb(const std::string& missing_table) : conn_(AttendanceDb()) {
    // The saved queries over the table go with it.
    db::internal::BackendOf(*conn_).Run(
        "DROP TABLE \"" + missing_table + "\"" + (OnServer() ? " CASCADE" : ""), nullptr);
  }
  const std::shared_ptr<db::Connection>& conn() const { return conn_; }

 private:
  std::shared_ptr<db::Connection> conn_;
};

}  // namespace tessaly::testing
