// A host outside the tree that moves an Access database file in through the
// installed tessaly_migrate: the file named on the command line into a new
// SQLite database, then its rows and saved queries read back through the
// public API alone.
#include <tessaly/tessaly.h>
#include <tessaly/migrate/Migrate.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: migrate_host FILE.mdb\n";
    return 2;
  }
  auto conn = tessaly::db::Connection::Open(":memory:");
  int64_t progressed = 0;
  tessaly::migrate::Report report;
  try {
    report = tessaly::migrate::Migrate(argv[1], *conn, {},
                                       [&](const tessaly::migrate::Progress& p) { progressed += p.rows; });
  } catch (const tessaly::Error& e) {
    std::cerr << "migrate_host: " << e.description() << '\n';
    return 1;
  }
  int64_t written = 0;
  for (const auto& table : report.tables) {
    tessaly::db::Recordset rs;
    rs.Open("select count(*) from [" + table.name + "]", conn, tessaly::db::adOpenStatic,
            tessaly::db::adLockReadOnly);
    if (rs.Fields().Item(0).Value().ToLong() != table.written) {
      std::cerr << "migrate_host: table " << table.name << " holds other rows than written\n";
      return 1;
    }
    written += table.written;
  }
  if (written == 0 || progressed < written) {
    std::cerr << "migrate_host: no rows moved\n";
    return 1;
  }
  std::cout << report.tables.size() << " tables, " << written << " rows\n";
  return 0;
}
