// A host migrating with the public headers alone: a file's name and a
// connection in, a report out.
#include <gtest/gtest.h>

#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/migrate/Migrate.h"

namespace {

TEST(MigrationHost, MovesAFileByItsName) {
  auto conn = tessaly::db::Connection::Open(":memory:");
  std::vector<std::string> progress;
  const tessaly::migrate::Report report = tessaly::migrate::Migrate(
      std::string(TESSALY_ACCESS_FIXTURES) + "/testUnicodeCompV2003.mdb", *conn, {},
      [&](const tessaly::migrate::Progress& p) {
        progress.push_back(std::string(p.table) + " " + std::to_string(p.rows) + "/" +
                           std::to_string(p.total));
      });
  ASSERT_EQ(report.tables.size(), 1u);
  EXPECT_EQ(report.tables[0].written, 8);
  EXPECT_EQ(progress, std::vector<std::string>{"Table 8/8"});

  tessaly::migrate::Report partial;
  EXPECT_THROW(tessaly::migrate::Migrate("/nowhere/site.mdb", *conn, {}, {}, &partial),
               tessaly::Error);
  EXPECT_EQ(partial.source, "/nowhere/site.mdb");
}

}  // namespace
