// The Access files of tests/fixtures/access read and copied to each engine,
// every value compared with what mdb-export (an independent reader) prints;
// damaged files and broken reader output refused with the file named.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

#include "access/AccessFile.h"
#include "db/Rules.h"
#include "support/Csv.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/migrate/Migrate.h"

namespace tessaly::testing {
namespace {

using migrate::FieldType;
using Row = std::vector<std::optional<std::string>>;

// The wire as the reading process would send bytes (which outlive the reader).
access::wire::Reader ReaderOver(const std::string& bytes) {
  return access::wire::Reader([&bytes, at = size_t{0}](char* out, size_t n) mutable {
    const size_t k = std::min(n, bytes.size() - at);
    std::copy_n(bytes.data() + at, k, out);
    at += k;
    return k;
  });
}

std::string Fixture(const std::string& name) { return std::string(TESSALY_ACCESS_FIXTURES) + "/" + name; }

// The rows mdb-export prints for a table: Null as nullopt, dates in full.
std::vector<Row> Export(const std::string& file, const std::string& table) {
  const std::string command = "mdb-export -H -0 '<NULL>' -b hex -D '%Y-%m-%d %H:%M:%S' "
                              "-T '%Y-%m-%d %H:%M:%S' '" + file + "' '" + table + "'";
  FILE* pipe = popen(command.c_str(), "r");
  std::string text;
  char block[4096];
  for (size_t n; (n = fread(block, 1, sizeof block, pipe)) > 0;) text.append(block, n);
  EXPECT_EQ(pclose(pipe), 0) << command;
  std::vector<Row> rows;
  for (const auto& cells : ReadCsv(text)) {
    Row& row = rows.emplace_back();
    for (const CsvCell& c : cells) {
      row.push_back(!c.quoted && c.text == "<NULL>" ? std::nullopt : std::optional(c.text));
    }
  }
  return rows;
}

// Compares a value copied into the target with mdb-export's text of it.
void ExpectSame(FieldType type, const std::optional<std::string>& exported, const db::Variant& v,
                const std::string& where) {
  if (!exported) {
    EXPECT_TRUE(v.IsNull()) << where << ": " << v.ToText();
    return;
  }
  ASSERT_FALSE(v.IsNull()) << where << ": expected " << *exported;
  switch (type) {
    case FieldType::kYesNo: EXPECT_EQ(v.ToBoolean(), *exported == "1") << where; break;
    // Exact: mdb-export prints a Currency with 4 decimals and a Decimal with
    // its scale's, the same numbers as the canonical texts.
    case FieldType::kCurrency:
    case FieldType::kDecimal: {
      EXPECT_EQ(v.Type(), type == FieldType::kCurrency ? db::VarType::kCurrency : db::VarType::kDecimal)
          << where;
      const std::optional<db::Decimal> expected = db::Decimal::Parse(*exported);
      ASSERT_TRUE(expected) << where << ": " << *exported;
      EXPECT_EQ(v.ToText(), expected->Text()) << where;
      break;
    }
    case FieldType::kBinary:
    case FieldType::kOle: {
      ASSERT_NE(v.AsBytes(), nullptr) << where;
      std::string hex;
      for (uint8_t b : *v.AsBytes()) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        hex += kDigits[b >> 4];
        hex += kDigits[b & 0xf];
      }
      EXPECT_EQ(hex, *exported) << where;
      break;
    }
    case FieldType::kByte:
    case FieldType::kInteger:
    case FieldType::kLong:
    case FieldType::kDouble:
    case FieldType::kSingle: {
      const double expected = std::stod(*exported);
      const double tolerance = type == FieldType::kSingle ? 1e-6 : 1e-12;
      EXPECT_LE(std::fabs(v.ToDouble() - expected), tolerance * std::max(1.0, std::fabs(expected)))
          << where << ": " << v.ToText() << " against " << *exported;
      break;
    }
    case FieldType::kDateTime: {
      ASSERT_NE(v.AsDate(), nullptr) << where;
      std::string stored = v.AsDate()->ToStored();
      if (stored.size() == 10) stored += " 00:00:00";
      EXPECT_EQ(stored, *exported) << where;
      break;
    }
    default: EXPECT_EQ(v.ToText(), *exported) << where; break;
  }
}

class Fixtures : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "postgres" && ServerTarget().empty()) GTEST_SKIP() << "no server named";
  }
  std::shared_ptr<db::Connection> Target() {
    return GetParam() == "postgres" ? EmptyServerDb() : db::Connection::Open(":memory:");
  }
};

TEST_P(Fixtures, EveryFieldTypeReadsAsMdbExportPrintsIt) {
  std::set<FieldType> seen;
  for (const char* name : {"test2V2003.mdb", "testUnicodeCompV2003.mdb", "fixedNumericTestV2003.mdb",
                           "delColTestV2003.mdb", "overflowTestV2003.mdb", "indexTestV2003.mdb",
                           "testV1997.mdb", "queryTestV2007.accdb"}) {
    SCOPED_TRACE(name);
    const std::string file = Fixture(name);
    auto conn = Target();
    access::AccessFile source(file);
    const migrate::Report report = migrate::Migrate(source, *conn, {});
    for (const migrate::Table& table : source.Tables()) {
      const std::vector<Row> exported = Export(file, table.name);
      db::internal::ResultData copied;
      conn->Run("SELECT * FROM [" + table.name + "]", &copied);
      ASSERT_EQ(copied.row_count, exported.size()) << table.name;
      size_t column = 0;
      for (size_t f = 0; f < table.fields.size(); ++f) {
        const migrate::Field& field = table.fields[f];
        seen.insert(field.type);
        ASSERT_LT(column, copied.names.size());
        EXPECT_TRUE(db::rules::EqualsNoCase(copied.names[column], field.name));
        for (size_t r = 0; r < exported.size(); ++r) {
          ExpectSame(field.type, exported[r].at(f), copied.cells[r * copied.names.size() + column],
                     table.name + "." + field.name + " row " + std::to_string(r + 1));
        }
        ++column;
      }
    }
  }
  for (FieldType type : {FieldType::kYesNo, FieldType::kByte, FieldType::kInteger, FieldType::kLong,
                         FieldType::kDouble, FieldType::kDateTime, FieldType::kText, FieldType::kMemo,
                         FieldType::kDecimal, FieldType::kCurrency, FieldType::kOle}) {
    EXPECT_TRUE(seen.contains(type)) << "no fixture field of type " << static_cast<int>(type);
  }
}

// mdb-export cannot print dates before 1900; the file's own serial numbers
// say which days they are.
TEST_P(Fixtures, DatesBefore1900ReadRight) {
  auto conn = Target();
  access::AccessFile source(Fixture("oldDatesV2007.accdb"));
  migrate::Migrate(source, *conn, {});
  db::internal::ResultData rows;
  conn->Run("SELECT DateField FROM Table1 ORDER BY ID", &rows);
  std::vector<std::string> dates;
  for (size_t r = 0; r < rows.row_count; ++r) dates.push_back(rows.cells[r].ToText());
  EXPECT_EQ(dates, (std::vector<std::string>{"1582-10-15", "1582-10-14", "1492-01-10", "1392-01-10"}));
}

TEST_P(Fixtures, KeysIndexesAndRelationshipsHoldInTheTarget) {
  auto conn = Target();
  access::AccessFile source(Fixture("indexTestV2003.mdb"));
  const migrate::Report report = migrate::Migrate(source, *conn, {});
  ASSERT_EQ(report.relationships.size(), 2u);
  for (const migrate::ObjectReport& r : report.relationships) EXPECT_TRUE(r.made) << r.name;
  // Table1.otherfk1 refers to Table2.id, a key.
  EXPECT_THROW(conn->Execute("insert into Table2 (id, data) values (0, 'again')"), Error);
  EXPECT_THROW(conn->Execute("insert into Table1 (id, otherfk1, otherfk2, otherfk3) values (9, 77, 10, 0)"),
               Error);
  conn->Execute("insert into Table2 (id, data) values (77, 'new')");
  conn->Execute("insert into Table1 (id, otherfk1, otherfk2, otherfk3) values (9, 77, 10, 0)");
  EXPECT_EQ(Scalar(conn, "select count(*) from Table1"), "5");
}

// Saved queries are rebuilt, kept under their names and used by name.
TEST_P(Fixtures, SavedQueriesAreKeptAndRunByName) {
  auto conn = Target();
  access::AccessFile source(Fixture("queryTestV2003.mdb"));
  const migrate::Report report = migrate::Migrate(source, *conn, {});
  ASSERT_EQ(report.queries.size(), 9u);
  for (const migrate::QueryReport& q : report.queries) {
    EXPECT_TRUE(q.kept) << q.name << ": " << q.reason;
    if (!q.runs) EXPECT_FALSE(q.reason.empty()) << q.name;
  }
  EXPECT_EQ(Scalar(conn, "select count(*) from [SelectQuery]"), "0");
}

INSTANTIATE_TEST_SUITE_P(Engines, Fixtures, ::testing::Values("sqlite", "postgres"));

// A damaged file ends in an error that names it; it never takes the caller
// down or holds it.
TEST(DamagedFiles, AreRefusedWithTheFileNamed) {
  const std::string good = FileText(Fixture("indexTestV2003.mdb"));
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("tessaly_damaged_" + std::to_string(getpid()) + ".mdb")).string();
  std::vector<std::string> variants = {"no database at all", good.substr(0, 100),
                                       good.substr(0, 4096), good.substr(0, 4096 * 3),
                                       good.substr(0, good.size() / 2)};
  std::mt19937 random(7);
  for (int i = 0; i < 12; ++i) {
    std::string bad = good;
    // Bytes changed on the pages past the header, where tables and rows lie.
    for (int k = 0; k < 40; ++k) {
      bad[4096 + random() % (bad.size() - 4096)] = static_cast<char>(random());
    }
    variants.push_back(bad);
  }
  int refused = 0;
  for (size_t i = 0; i < variants.size(); ++i) {
    SCOPED_TRACE(i);
    std::ofstream(path, std::ios::binary) << variants[i];
    auto conn = db::Connection::Open(":memory:");
    try {
      access::AccessFile source(path, std::chrono::milliseconds(5000));
      migrate::Migrate(source, *conn, {});
    } catch (const Error& e) {
      ++refused;
      EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
      // The target is as it was.
      EXPECT_TRUE(db::internal::BackendOf(*conn).ColumnsOf("Table1").empty());
    }
  }
  // The cut files cannot all pass.
  EXPECT_GE(refused, 4);
  std::filesystem::remove(path);
  // A pipe that nothing writes would hold a reader forever; a directory
  // reads as nothing.
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  for (const std::string& odd : {path, std::filesystem::temp_directory_path().string()}) {
    EXPECT_EQ(Caught([&] { access::AccessFile source(odd); }).description(),
              "Cannot read '" + odd + "': it is no regular file.");
  }
  std::filesystem::remove(path);
}

// Currency, Decimal and binary values cross the stream exactly; a Decimal
// that is no number of 28 digits, or a longer text than one can be, is
// refused.
TEST(ReaderStream, ExactValuesCrossAndBadDecimalsAreRefused) {
  auto rows = [](const std::function<void(access::wire::Writer&)>& value) {
    std::string bytes;
    access::wire::Writer w([&bytes](std::string_view block) { bytes.append(block); });
    w.Byte(access::wire::kRow);
    value(w);
    w.Byte(access::wire::kEnd);
    w.I64(1);
    w.Flush(true);
    access::wire::Reader in = ReaderOver(bytes);
    access::RowDecoder decoder(in, "f.mdb", "T", 1);
    std::vector<db::Variant> row;
    EXPECT_TRUE(decoder.Next(&row));
    EXPECT_FALSE(decoder.Next(&row));
    return row.at(0);
  };
  EXPECT_EQ(rows([](auto& w) { w.Byte(access::wire::kCurrency); w.I64(INT64_MIN); }),
            db::Variant(db::Currency{INT64_MIN}));
  EXPECT_EQ(rows([](auto& w) { w.Byte(access::wire::kDecimal); w.Text("-0012.50"); }),
            db::Variant(*db::Decimal::Parse("-12.5")));
  EXPECT_EQ(rows([](auto& w) { w.Byte(access::wire::kBinary); w.Text(std::string("\0\xff", 2)); }),
            db::Variant(std::vector<uint8_t>{0, 0xff}));
  for (const std::string& bad : {std::string("1.2.3"), std::string("12e"), std::string(65, '1'),
                                 std::string(29, '9')}) {
    EXPECT_THROW(rows([&](auto& w) { w.Byte(access::wire::kDecimal); w.Text(bad); }),
                 access::wire::Broken)
        << bad;
  }
}

// A reading process that falls silent (a file whose pages send the file
// library round in circles) is stopped once it has said nothing for the
// limit, and the run fails naming the file and the part being read. Here
// the reading process begins the list of tables and then stalls.
void Stall(const std::string& /*path*/, const std::string& /*table*/, access::wire::Writer& out) {
  out.Byte(access::wire::kTable);
  out.Flush(true);
  pause();
}

TEST(ReaderStream, AReaderThatFallsSilentIsStopped) {
  const std::string file = Fixture("testV1997.mdb");
  auto conn = db::Connection::Open(":memory:");
  conn->Execute("create table Before (ID long)");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Caught([&] {
              access::AccessFile source(file, std::chrono::milliseconds(300), Stall);
              migrate::Migrate(source, *conn, {});
            }).description(),
            "Cannot read '" + file + "': the list of tables: reading it stopped making progress "
            "(the file's pages may loop).");
  // Stopped at the limit, not at the default's 30 seconds (a bound far
  // above the limit, so a loaded machine does not fail it).
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(db::internal::BackendOf(*conn).ColumnsOf("Before").size(), 1u);
}

// What the reading process hands over is checked as it is read.
TEST(ReaderStream, BrokenStreamsAreRefused) {
  std::string good;
  access::wire::Writer w([&good](std::string_view block) { good.append(block); });
  w.Byte(access::wire::kTable);
  w.Byte(0);
  w.Text("People");
  w.I64(3);
  w.I64(8);
  w.U32(1);
  w.Text("ID");
  w.Byte(static_cast<uint8_t>(FieldType::kLong));
  w.U32(0);
  w.Byte(1);
  w.Byte(0);
  w.Byte(0);
  w.U32(1);
  w.Text("PrimaryKey");
  w.Byte(1);
  w.Byte(1);
  w.U32(1);
  w.Text("ID");
  w.Byte(1);
  w.Byte(access::wire::kEnd);
  w.I64(0);
  w.Flush(true);
  auto read = [](const std::string& bytes) {
    access::wire::Reader in = ReaderOver(bytes);
    return access::ReadCatalog(in, "f.mdb");
  };
  const access::Catalog catalog = read(good);
  ASSERT_EQ(catalog.tables.size(), 1u);
  EXPECT_EQ(catalog.tables[0].next_autonumber, 8);
  EXPECT_TRUE(catalog.tables[0].fields[0].autonumber);
  EXPECT_TRUE(catalog.tables[0].indexes[0].primary);
  EXPECT_TRUE(catalog.tables[0].indexes[0].descending[0]);

  // Cut anywhere, the stream is refused.
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_THROW(read(good.substr(0, n)), access::wire::Broken) << n;
  }
  // A length beyond the limits (the table's name here) is refused before
  // anything of that size is read.
  std::string huge = good;
  huge[2 + 3] = '\x7f';
  EXPECT_THROW(read(huge), access::wire::Broken);
  // A failure the reading process reports names what it was reading.
  std::string failed;
  access::wire::Writer f([&failed](std::string_view block) { failed.append(block); });
  f.Byte(access::wire::kFailure);
  f.Text("table 'People': its pages cannot be read");
  f.Flush(true);
  EXPECT_EQ(Caught([&] { read(failed); }).description(),
            "Cannot read 'f.mdb': table 'People': its pages cannot be read.");
}

}  // namespace
}  // namespace tessaly::testing
