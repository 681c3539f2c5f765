// Importing terminals' files: every reason a line is refused, repeats and
// re-runs that add nothing, the forms files come in, and runs stopped part
// way (by an exception, and by SIGKILL at random moments) and started again.
#include "tessaly/import/PunchImport.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

#include "import/PunchLines.h"
#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

constexpr const char* kNow = "2024-05-03 09:00:00";

// Two employees with cards and two terminals (a fresh database by default).
std::shared_ptr<db::Connection> Seeded(
    std::shared_ptr<db::Connection> c = testing::AttendanceDb()) {
  c->Execute("INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) "
             "VALUES ('E1','Ann O''Neil','Ops','1001',1,0)");
  c->Execute("INSERT INTO T_Emp (F_EmpID,F_Name,F_Dept,F_CardID,F_IsKQ,F_IsRatifier) "
             "VALUES ('E2','Bo','Ops','1002',1,0)");
  c->Execute("INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Gate','1','on')");
  c->Execute("INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Dock','2','on')");
  return c;
}

// The rows of a query, each as its fields joined by '|'.
std::vector<std::string> Rows(const std::shared_ptr<db::Connection>& c, const std::string& sql) {
  db::Recordset rs;
  rs.Open(sql, c, db::adOpenForwardOnly, db::adLockReadOnly);
  std::vector<std::string> rows;
  for (; !rs.IsEOF(); rs.MoveNext()) {
    std::string row;
    for (int32_t i = 0; i < rs.Fields().Count(); ++i) {
      row += (i ? "|" : "") + rs.Fields().Item(i).Value().ToText();
    }
    rows.push_back(row);
  }
  return rows;
}

// Everything a run leaves: punches, rejected punches, staged lines.
std::vector<std::string> Outcome(const std::shared_ptr<db::Connection>& c) {
  std::vector<std::string> all = Rows(
      c, "SELECT F_Date,F_Time,F_CardID,F_DcuID,F_Door,F_EmpID,F_Name,F_Dept,F_IsEnter,F_IsExit,"
         "F_IsKQ FROM T_Trans ORDER BY F_CardID,F_Date,F_Time");
  for (std::string& r : Rows(c, "SELECT F_LoadDate,F_ErrMsg,F_CardID,F_Year,F_Month,F_Day,F_Hour,"
                                "F_Minute,F_Date,F_Time,F_EmpID,F_DcuID,F_Door,F_IsEnter,F_IsExit "
                                "FROM T_TransLost ORDER BY F_ErrMsg,F_CardID,F_Date,F_Time")) {
    all.push_back("lost|" + r);
  }
  all.push_back("staged|" + Scalar(c, "SELECT COUNT(*) FROM T_Collect"));
  return all;
}

std::vector<std::string_view> Views(const std::vector<std::string>& lines) {
  return {lines.begin(), lines.end()};
}

ImportOptions At(std::string now = kNow) {
  ImportOptions o;
  o.now = std::move(now);
  o.operator_name = "ops";
  return o;
}

ImportResult Import(const std::shared_ptr<db::Connection>& c, const std::vector<std::string>& lines,
                 const ImportOptions& o = At()) {
  const std::vector<std::string_view> v = Views(lines);
  return ImportPunches(*c, v, o);
}

int64_t By(const ImportCounts& c, RejectReason r) { return c.rejected_by[static_cast<size_t>(r)]; }

// A run stopped by its progress report, which throws at its `at`-th report
// while filing (the first comes before any chunk is committed).
void ImportStopped(const std::shared_ptr<db::Connection>& c, const std::vector<std::string>& lines,
                   const ImportOptions& o, int at) {
  const std::vector<std::string_view> v = Views(lines);
  int reports = 0;
  EXPECT_THROW(ImportPunches(*c, v, o,
                             [&](const ImportProgress& p) {
                               if (p.phase == ImportProgress::Phase::kFiling && ++reports == at) {
                                 throw std::runtime_error("stopped");
                               }
                             }),
               std::runtime_error);
}

// One line of every fate: the attendance log, PINs padded, CR LF ends.
const std::vector<std::string> kEveryFate = {
    "\xEF\xBB\xBF   1001\t2024-05-02 08:00:01\t1\t0\t1\t0\r",  // taken, entry
    "   1001\t2024-05-02 08:00:20\t1\t0\t1\t0\r",              // double tap
    "   1001\t2024-05-02 17:30:00\t1\t1\t1\t0\r",              // taken, exit
    "   9999\t2024-05-02 08:00:00\t1\t0\t1\t0\r",              // unknown card
    "   1002\t2024-05-02 12:00:00\t7\t0\t1\t0\r",              // unknown terminal
    "   1001\t2000-01-01 00:00:00\t1\t0\t1\t0\r",              // reset clock
    "   1001\t2063-01-01 00:00:00\t1\t0\t1\t0\r",              // clock ahead
    "   1001\t2024-02-30 08:00:00\t1\t0\t1\t0\r",              // no such day
    "   1001\t2024-05-02 24:10:00\t1\t0\t1\t0\r",              // no such hour
    "it's no punch\r",                                          // unreadable
    "   1002\t2024-05-02\t1\r",                                // no time: unreadable
    "   1001\t2024-05-02 17:30:00\t1\t1\t1\t0\r",              // repeated in the file
    "   1002\t2024-04-01 08:00:00\t2\t0\t1\t0\r",              // outside the period
    "   1002\t2024-05-02 08:00:00\t2\t1\t1\t0\r",              // taken, exit
    "",                                                         // blank: no line
};

ImportOptions EveryFateOptions() {
  ImportOptions o = At();
  o.from = "2024-04-02";
  return o;
}

TEST(PunchImport, EveryFateIsFiledOnceAndARunAgainAddsNothing) {
  auto c = Seeded();
  const ImportResult r = Import(c, kEveryFate, EveryFateOptions());
  EXPECT_EQ(r.counts.lines, 14);
  EXPECT_EQ(r.counts.added, 3);
  EXPECT_EQ(r.counts.skipped, 0);
  for (RejectReason reason : {RejectReason::kImpossibleTime, RejectReason::kUnreadable}) {
    EXPECT_EQ(By(r.counts, reason), 2) << ReasonText(reason);
  }
  for (RejectReason reason :
       {RejectReason::kBeforeFloor, RejectReason::kAheadOfNow, RejectReason::kOutsidePeriod,
        RejectReason::kRepeatedInFile, RejectReason::kUnknownCard, RejectReason::kUnknownTerminal,
        RejectReason::kDoublePunch}) {
    EXPECT_EQ(By(r.counts, reason), 1) << ReasonText(reason);
  }
  EXPECT_FALSE(r.resumed);
  EXPECT_EQ(r.stamp, kNow);

  // Taken punches carry the employee, the terminal's name and the direction;
  // a name with an apostrophe survives.
  EXPECT_EQ(Rows(c, "SELECT F_Date,F_Time,F_CardID,F_DcuID,F_Door,F_EmpID,F_Name,F_Dept,F_IsEnter,"
                    "F_IsExit,F_IsKQ FROM T_Trans ORDER BY F_CardID,F_Time"),
            (std::vector<std::string>{
                "2024-05-02|08:00:01|1001|1|Gate|E1|Ann O'Neil|Ops|1|0|1",
                "2024-05-02|17:30:00|1001|1|Gate|E1|Ann O'Neil|Ops|0|1|1",
                "2024-05-02|08:00:00|1002|2|Dock|E2|Bo|Ops|0|1|1"}));
  // Each reason's row: the moment split where it is one, the line's own text
  // where nothing could be read.
  EXPECT_EQ(Rows(c, "SELECT F_ErrMsg,F_CardID,F_Date,F_Time,F_Year,F_Hour,F_EmpID,F_DcuID,F_Door "
                    "FROM T_TransLost WHERE F_ErrMsg IN ('unknown terminal','impossible date or "
                    "time','unreadable line','unknown card') ORDER BY F_ErrMsg,F_Time"),
            (std::vector<std::string>{
                "impossible date or time|1001|2024-02-30|08:00:00|0|0|E1|1|Gate",
                "impossible date or time|1001|2024-05-02|24:10:00|0|0|E1|1|Gate",
                "unknown card|9999|2024-05-02|08:00:00|2024|8||1|Gate",
                "unknown terminal|1002|2024-05-02|12:00:00|2024|12|E2|7|",
                "unreadable line|||   1002\t2024-05-02\t1|0|0|||",
                "unreadable line|||it's no punch|0|0|||"}));
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_TransLost WHERE F_LoadDate='2024-05-03 09:00:00'"), "11");
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_Collect"), "0");
  // Unknown cards and terminals stay unknown: nothing is made for them.
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_Emp") + Scalar(c, "SELECT COUNT(*) FROM T_KQJ"), "22");
  EXPECT_EQ(Rows(c, "SELECT F_Date,F_Time,F_RecCnt,F_Operator,F_Note FROM T_Log"),
            std::vector<std::string>{
                "2024-05-03|09:00:00|14|ops|added 3 skipped 0 rejected 11: unread 2 time 2 "
                "floor 1 ahead 1 period 1 repeat 1 card 1 term 1 tap 1"});

  // The same file again: every line is a repeat of what is stored, and the
  // run is logged once more.
  const std::vector<std::string> before = Outcome(c);
  const ImportResult again = Import(c, kEveryFate, EveryFateOptions());
  EXPECT_EQ(again.counts.skipped, 14);
  EXPECT_EQ(again.counts.added + again.counts.rejected(), 0);
  EXPECT_EQ(Outcome(c), before);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_Log"), "2");
}

TEST(PunchImport, DoubleTapsAreJudgedInTimeOrderAcrossMidnightAndRuns) {
  auto c = Seeded();
  // Out of file order, the earlier punch is kept; a tap 59 s after a stored
  // punch of the night before is a double; 60 s apart, before or after it, is not.
  Import(c, {"1001\t2024-05-01 23:59:30\t1\t0"});
  const ImportResult r = Import(c, {"1001\t2024-05-02 08:00:40\t1\t0", "1001\t2024-05-02 08:00:00\t1\t0",
                                 "1001\t2024-05-02 00:00:29\t1\t0", "1001\t2024-05-02 08:01:40\t1\t1",
                                 "1001\t2024-05-01 23:58:30\t1\t0", "1001\t2024-05-02 00:00:30\t1\t0"});
  EXPECT_EQ(r.counts.added, 4);
  EXPECT_EQ(By(r.counts, RejectReason::kDoublePunch), 2);
  EXPECT_EQ(Rows(c, "SELECT F_Date & ' ' & F_Time FROM T_TransLost ORDER BY F_Date,F_Time"),
            (std::vector<std::string>{"2024-05-02 00:00:29", "2024-05-02 08:00:40"}));

  // With the window off, every distinct moment is a punch.
  auto off = Seeded();
  ImportOptions o = At();
  o.double_tap_seconds = 0;
  EXPECT_EQ(Import(off, {"1001\t2024-05-02 08:00:00\t1", "1001\t2024-05-02 08:00:01\t1"}, o).counts.added, 2);
  o.double_tap_seconds = -1;
  EXPECT_THROW(Import(off, {"1001\t2024-05-02 08:00:00\t1"}, o), std::invalid_argument);
  // Ten minutes ahead of now is the clocks' allowed skew.
  EXPECT_EQ(Import(off, {"1001\t2024-05-03 09:09:59\t1"}).counts.added, 1);
}

TEST(PunchImport, PushedAndCsvFormsReadTheirFields) {
  auto c = Seeded();
  ImportOptions push = At();
  push.format = PunchFormat::kPushed;
  EXPECT_THROW(Import(c, {"1001\t2024-05-02 08:00:00\t0\t1\t0"}, push), std::invalid_argument);
  push.terminal = "2";
  EXPECT_EQ(Import(c, {"1001\t2024-05-02 08:00:00\t0\t1\t0", "1002\t2024/5/2 9:05\t1"}, push).counts.added, 2);
  EXPECT_EQ(Rows(c, "SELECT F_CardID,F_Date,F_Time,F_DcuID,F_IsEnter,F_IsExit FROM T_Trans ORDER BY F_CardID"),
            (std::vector<std::string>{"1001|2024-05-02|08:00:00|2|1|0", "1002|2024-05-02|09:05:00|2|0|1"}));

  // An address of digits is found by its number, and the punch carries it as
  // the terminal list writes it; other addresses by their text.
  c->Execute("INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Yard','007','on')");
  c->Execute("INSERT INTO T_KQJ (F_Name,F_Address,F_State) VALUES ('Roof','A1','on')");
  const ImportResult addresses = Import(c, {"1001\t2024-05-03 07:00:00\t7\t0", "1001\t2024-05-03 07:10:00\t0007\t0",
                                            "1001\t2024-05-03 07:20:00\ta1\t0", "1001\t2024-05-03 07:30:00\t07a\t0"});
  EXPECT_EQ(addresses.counts.added, 3);
  EXPECT_EQ(By(addresses.counts, RejectReason::kUnknownTerminal), 1);
  EXPECT_EQ(Rows(c, "SELECT F_DcuID & ' ' & F_Door FROM T_Trans WHERE F_Date='2024-05-03' ORDER BY F_Time"),
            (std::vector<std::string>{"007 Yard", "007 Yard", "A1 Roof"}));

  // CSV: a BOM, quoted fields, date and time apart, a terminal column; the
  // default terminal fills an empty cell.
  ImportOptions csv = At();
  csv.format = PunchFormat::kCsv;
  csv.terminal = "1";
  const ImportResult r = Import(c, {"\xEF\xBB\xBFName,Card,Date,Time,Device,Direction\r",
                                 "\"Ann, O'Neil\",1001,2024-05-02,12:00:00,2,out\r",
                                 "Bo,\"1002\",2024-05-02,12:30,,in\r"},
                             csv);
  EXPECT_EQ(r.counts.added, 2);
  EXPECT_EQ(Rows(c, "SELECT F_CardID,F_Time,F_DcuID,F_IsEnter,F_IsExit FROM T_Trans "
                    "WHERE F_Time>='12:00' ORDER BY F_CardID"),
            (std::vector<std::string>{"1001|12:00:00|2|0|1", "1002|12:30:00|1|1|0"}));

  // A map naming a header the file lacks, or a field there is none of, or none
  // for headers of the file's own.
  csv.map = {{"person", "Nobody"}};
  EXPECT_THROW(Import(c, {"Badge,When"}, csv), std::invalid_argument);
  csv.map = {{"shoe", "Badge"}};
  EXPECT_THROW(Import(c, {"Badge,When"}, csv), std::invalid_argument);
  csv.map.clear();
  EXPECT_THROW(Import(c, {"Badge,When"}, csv), std::invalid_argument);
}

// A run stopped between chunks: its progress report throws once the first
// chunk is committed.
TEST(PunchImport, ARunStoppedBetweenChunksIsFinishedByTheNext) {
  std::vector<std::string> lines;
  for (int day = 1; day <= 9; ++day) {
    for (const char* card : {"1001", "1002", "1003", "1001"}) {
      lines.push_back(std::string(card) + "\t2024-05-0" + std::to_string(day) + " 08:00:" +
                      (lines.size() % 4 == 3 ? "30" : "00") + "\t1\t0");
    }
  }
  ImportOptions o = At();
  o.chunk_lines = 5;
  auto clean = Seeded();
  const ImportResult whole = Import(clean, lines, o);

  auto c = Seeded();
  ImportStopped(c, lines, o, 2);
  ASSERT_NE(Scalar(c, "SELECT COUNT(*) FROM T_Trans"), "0");
  ASSERT_NE(Scalar(c, "SELECT COUNT(*) FROM T_Collect"), "0");
  // A dry run now counts what finishing the stopped run gives, the filed
  // chunks included, and leaves it waiting as it was.
  const std::vector<std::string> stopped = Outcome(c);
  ImportOptions dry = o;
  dry.dry_run = true;
  const ImportResult seen = Import(c, lines, dry);
  EXPECT_TRUE(seen.resumed);
  EXPECT_EQ(seen.counts, whole.counts);
  EXPECT_EQ(Outcome(c), stopped);
  // Another "now" does not make it another run: the stamp is the first's.
  ImportOptions later = o;
  later.now = "2024-05-04 00:00:00";
  const ImportResult rest = Import(c, lines, later);
  EXPECT_TRUE(rest.resumed);
  EXPECT_EQ(rest.counts, whole.counts);
  EXPECT_EQ(Outcome(c), Outcome(clean));
  EXPECT_EQ(Rows(c, "SELECT F_RecCnt,F_Note FROM T_Log"), Rows(clean, "SELECT F_RecCnt,F_Note FROM T_Log"));
  // The mend file of the finished run holds the first attempt's rejects too.
  const std::vector<std::string_view> v = Views(lines);
  const std::string rejects = RejectedCsv(RejectedOfRun(*c, rest.stamp, v, o));
  EXPECT_EQ(rejects, RejectedCsv(RejectedOfRun(*clean, whole.stamp, v, o)));
  EXPECT_NE(rejects.find("unknown card"), std::string::npos);
}

// Cards that differ in the case of a letter beyond ASCII are two cards (and
// two chunks here); the server's texts match them as one, which must not
// take the second card's staged lines away with the first chunk.
TEST(PunchImport, AStoppedRunKeepsTheLinesOfCardsOnlyTheServerMatchesAsOne) {
  const std::vector<std::string> lines = {"\xC3\x89" "A1\t2024-05-02 08:00:00\t1\t0",
                                          "\xC3\xA9" "a1\t2024-05-02 09:00:00\t1\t0"};
  ImportOptions o = At();
  o.chunk_lines = 1;
  auto c = Seeded();
  ImportStopped(c, lines, o, 2);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_Collect WHERE F_Flag LIKE 'imp%:%'"), "1");
  // A run of other lines meanwhile leaves the stopped one's line waiting,
  // and says so.
  EXPECT_EQ(Import(c, {"1001\t2024-05-02 10:00:00\t1\t0"}).foreign_staged, 1);
  const ImportResult rest = Import(c, lines, o);
  EXPECT_TRUE(rest.resumed);
  EXPECT_EQ(rest.foreign_staged, 0);
  EXPECT_EQ(By(rest.counts, RejectReason::kUnknownCard), 2);
  EXPECT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_TransLost"), "2");
}

// Rows go to the engine with their values bound (COPY's text form on the
// server), staged lines too: the characters that form escapes must come back
// as they were, through staging, a stop and the run that finishes it.
TEST(PunchImport, TextsWithEscapesSurviveStagingAndFiling) {
  const std::vector<std::string> lines = {"back\\slash\\n\ttab 'quoted'",
                                          "10\\01\t2024-05-02 08:00:00\t1\t0",
                                          "1001\t2024-05-02 08:00:00\t1\t0"};
  auto c = Seeded();
  ImportStopped(c, lines, At(), 1);
  ASSERT_EQ(Scalar(c, "SELECT COUNT(*) FROM T_Collect"), "4");
  const ImportResult rest = Import(c, lines);
  EXPECT_TRUE(rest.resumed);
  EXPECT_EQ(rest.counts.added, 1);
  EXPECT_EQ(Rows(c, "SELECT F_ErrMsg,F_CardID,F_Time FROM T_TransLost ORDER BY F_ID"),
            (std::vector<std::string>{"unreadable line||back\\slash\\n\ttab 'quoted'",
                                      "unknown card|10\\01|08:00:00"}));
  EXPECT_EQ(Rows(c, "SELECT F_Name FROM T_Trans"), std::vector<std::string>{"Ann O'Neil"});
}

// A CSV field quoted over line breaks is part of its record, and the lines
// after it keep their numbers; a quote never closed spoils its own line only.
TEST(PunchImport, CsvRecordsRunOverLineBreaksInQuotes) {
  const std::vector<std::string> lines = {"card,date,time,note",
                                          "1001,2024-05-02,08:00:00,\"first",
                                          "",
                                          "and third\"",
                                          "1002,2024-05-02,09:30:00,\"a \"\"quote\"\"",
                                          "over\"\r",
                                          "\"1002,2024-05-02,09:00:00,x",
                                          "1001,2024-05-02,17:00:00,x"};
  ImportOptions o = At();
  o.format = PunchFormat::kCsv;
  o.terminal = "1";
  std::vector<import::Punch> read = import::ReadPunches(Views(lines), o, INT64_MAX);
  std::sort(read.begin(), read.end(), [](const auto& x, const auto& y) { return x.line < y.line; });
  std::vector<std::string> seen;
  for (const import::Punch& p : read) {
    seen.push_back(std::to_string(p.line) + " " + (p.verdict ? std::string(ReasonText(*p.verdict)) : p.card + " " + p.time));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"2 1001 08:00:00", "5 1002 09:30:00", "7 unreadable line",
                                            "8 1001 17:00:00"}));

  auto c = Seeded();
  const ImportResult r = Import(c, lines, o);
  EXPECT_EQ(r.counts.lines, 4);
  EXPECT_EQ(r.counts.added, 3);
  EXPECT_EQ(Rows(c, "SELECT F_Time FROM T_TransLost"), std::vector<std::string>{"\"1002,2024-05-02,09:00:00,x"});
}

// The log's note keeps every count: by name while that fits the column (the
// run of every fate shows that form), a letter each when every reason ran
// into the millions.
TEST(PunchImport, TheLogNoteKeepsEveryCount) {
  ImportCounts many;
  many.added = 1234567;
  many.skipped = 7654321;
  for (size_t i = 0; i < kRejectReasons; ++i) many.rejected_by[i] = 1000001 + static_cast<int64_t>(i);
  many.lines = many.added + many.skipped + many.rejected();
  ASSERT_LT(many.lines, 100000000);
  const std::string note = LogNote(many);
  EXPECT_LE(note.size(), 100u);
  EXPECT_EQ(note, "a1234567 s7654321: u1000001 i1000002 f1000003 n1000004 p1000005 r1000006 c1000007 "
                  "t1000008 d1000009");
}

TEST(PunchImport, MomentsAndFieldsReadAsTerminalsWriteThem) {
  using import::MomentOf;
  EXPECT_TRUE(MomentOf("2024-02-29", "23:59:59"));
  EXPECT_FALSE(MomentOf("2023-02-29", "08:00:00"));
  EXPECT_FALSE(MomentOf("2024-05-01", "08:60:00"));
  EXPECT_EQ(import::MomentText(*MomentOf("1969-12-31", "23:59:58")), "1969-12-31 23:59:58");
  EXPECT_EQ(import::MomentText(*MomentOf("2063-01-01", "00:00:00")), "2063-01-01 00:00:00");
  EXPECT_EQ(import::CsvFields("a,\"b,\"\"c\"\"\",,d"),
            (std::vector<std::string>{"a", "b,\"c\"", "", "d"}));
  EXPECT_EQ(import::CsvField(" x"), "\" x\"");
  // A byte that starts no character makes the line unreadable, and the text
  // kept is valid for the database.
  const std::vector<std::string_view> bad = {"1001\t2024-05-02 08:00:00\t1\xff"};
  const std::vector<import::Punch> p = import::ReadPunches(bad, At(), INT64_MAX);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].verdict, RejectReason::kUnreadable);
  EXPECT_EQ(p[0].raw, "1001\t2024-05-02 08:00:00\t1\xEF\xBF\xBD");
  // Dates may be written with dots; minutes and seconds take two digits.
  const std::vector<std::string_view> forms = {"1001\t2024.05.02 08:00:00\t1", "1001\t2024-05-02 08:5:00\t1"};
  const std::vector<import::Punch> read = import::ReadPunches(forms, At(), INT64_MAX);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_NE(read[0].verdict, RejectReason::kUnreadable);
  EXPECT_EQ(read[1].verdict, RejectReason::kUnreadable);
}

// --- stopped by SIGKILL --------------------------------------------------

// The database a child process opens: a file on SQLite, this process's
// schema on the server.
struct KillDb {
  std::string target;
  std::shared_ptr<db::Connection> Fresh() {
    if (testing::OnServer()) {
      target = testing::SchemaTarget(testing::ServerTarget(), testing::TestSchema());
      return Seeded();
    }
    const auto dir = std::filesystem::temp_directory_path() / ("tessaly_kill_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    target = (dir / "att.db").string();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(target + suffix);
    auto c = db::Connection::Open(target);
    db::CreateSchema(*c);
    return Seeded(c);
  }
  ~KillDb() {
    if (!testing::OnServer()) std::filesystem::remove_all(std::filesystem::path(target).parent_path());
  }
};

// Runs the import in a child process; kills it after `delay` unless it ends
// first. True when it was killed.
bool RunChild(const std::string& target, const std::vector<std::string>& lines,
              const ImportOptions& o, std::chrono::microseconds delay) {
  const pid_t child = fork();
  if (child == 0) {
    int status = 0;
    try {
      auto c = db::Connection::Open(target);
      const std::vector<std::string_view> v = Views(lines);
      ImportPunches(*c, v, o);
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  const auto end = std::chrono::steady_clock::now() + delay;
  int status = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(child, &status, WNOHANG) == child) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(child, SIGKILL);
  waitpid(child, &status, 0);
  return WIFSIGNALED(status);
}

TEST(PunchImport, RunsKilledAtRandomMomentsEndAsOneCleanRun) {
  // Every fate, repeated over cards and days, in small chunks.
  std::vector<std::string> lines;
  std::mt19937 random(27);
  for (int day = 1; day <= 28; ++day) {
    for (const std::string& l : kEveryFate) {
      std::string line = l;
      if (const size_t at = line.find("2024-05-02"); at != std::string::npos) {
        line.replace(at, 10, "2024-05-" + std::string(day < 10 ? "0" : "") + std::to_string(day));
      }
      for (const char* card : {"1001", "1002", "1003"}) {
        std::string copy = line;
        if (const size_t at = copy.find("1001"); at != std::string::npos) copy.replace(at, 4, card);
        lines.push_back(copy);
      }
    }
    lines.push_back("1002\t2024-05-" + std::string(day < 10 ? "0" : "") + std::to_string(day) +
                    " 18:00:0" + std::to_string(day % 10) + "\t1\t1");
  }
  ImportOptions o = EveryFateOptions();
  o.now = "2024-05-30 00:00:00";
  o.chunk_lines = 7;

  KillDb db;
  auto clean = db.Fresh();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_FALSE(RunChild(db.target, lines, o, std::chrono::seconds(60)));
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  const std::vector<std::string> expected = Outcome(clean);
  const std::vector<std::string> expected_log = Rows(clean, "SELECT F_RecCnt,F_Note FROM T_Log");
  clean.reset();

  // Rounds of up to five kills each, every round on a fresh database, then a
  // run to the end, until twenty kills landed. A child that ends before its
  // kill is no kill, and once one has ended the round has nothing left to stop;
  // the clean run's time is only a guess at a loaded machine's, so a round that
  // ended early halves the span kills are drawn from and another round makes
  // up the count.
  int killed = 0;
  int64_t span = took.count();
  for (int round = 0; killed < 20 && round < 40; ++round) {
    auto c = db.Fresh();
    int kills = 0;
    for (int tries = 0; kills < 5 && killed + kills < 20 && tries < 40; ++tries) {
      std::uniform_int_distribution<int64_t> at(0, span);
      if (RunChild(db.target, lines, o, std::chrono::microseconds(at(random)))) {
        ++kills;
      } else if (!Rows(c, "SELECT F_ID FROM T_Log").empty()) {
        span = std::max<int64_t>(span / 2, 1000);
        break;
      }
    }
    ASSERT_FALSE(RunChild(db.target, lines, o, std::chrono::seconds(60)));
    EXPECT_EQ(Outcome(c), expected) << "round " << round;
    // The first run to end logs the whole run; a later one found it done.
    const std::vector<std::string> log = Rows(c, "SELECT F_RecCnt,F_Note FROM T_Log ORDER BY F_ID");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], expected_log[0]) << "round " << round;
    killed += kills;
  }
  EXPECT_EQ(killed, 20);
}

// Two copies of one import started together: the first holds its staging
// open until the second has begun, which must neither stage the lines again
// nor file them beside the first. It waits for the run's lock and refuses;
// or, where the first took the lock back for every chunk until the run ended
// (SQLite's writer may), it comes after that run as a run again: all skipped.
TEST(PunchImport, TwoCopiesStartedTogetherEndAsOneRun) {
  std::vector<std::string> lines;
  for (int i = 0; i < 10000; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%d\t2024-%02d-%02d %02d:%02d:00\t1\t%d", 1001 + i % 3, 1 + i / 3 / 28 % 4,
                  1 + i / 3 % 28, 6 + i / 84 % 12, i / 1008 % 60, i % 2);
    lines.emplace_back(line);
  }
  ImportOptions o = At();
  o.chunk_lines = 500;
  KillDb db;
  auto clean = db.Fresh();
  ImportPunches(*clean, Views(lines), o);
  const std::vector<std::string> expected = Outcome(clean);
  const std::vector<std::string> expected_log = Rows(clean, "SELECT F_RecCnt,F_Note FROM T_Log");
  clean.reset();

  auto c = db.Fresh();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  // Exits 0 for a finished run, 3 for the refusal of a copy, 1 otherwise.
  auto start = [&](bool first) {
    const pid_t child = fork();
    if (child != 0) return child;
    int status = 1;
    try {
      auto own = db::Connection::Open(db.target);
      bool told = false;
      ImportOptions copy = o;
      copy.operator_name = first ? "first" : "second";
      ImportPunches(*own, Views(lines), copy, [&](const ImportProgress& p) {
        if (first && !told && p.phase == ImportProgress::Phase::kStaging) {
          told = true;
          (void)!write(ready[1], "s", 1);
          std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
      });
      status = 0;
    } catch (const std::runtime_error& e) {
      status = std::string_view(e.what()).starts_with("another run of these lines") ? 3 : 1;
    } catch (...) {
    }
    _exit(status);
  };
  const pid_t first = start(true);
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  const pid_t second = start(false);
  int first_status = 0, second_status = 0;
  waitpid(first, &first_status, 0);
  waitpid(second, &second_status, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(WEXITSTATUS(first_status), 0);
  EXPECT_EQ(Outcome(c), expected);
  // The first copy filed the run; the second logged nothing, or a run of
  // exact repeats after it.
  std::vector<std::string> log = Rows(c, "SELECT F_Operator,F_RecCnt,F_Note FROM T_Log ORDER BY F_ID");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0], "first|" + expected_log[0]);
  if (WEXITSTATUS(second_status) == 3) {
    EXPECT_EQ(log.size(), 1u);
  } else {
    EXPECT_EQ(WEXITSTATUS(second_status), 0);
    EXPECT_EQ(log, (std::vector<std::string>{log[0], "second|10000|added 0 skipped 10000 rejected 0"}));
  }
}

}  // namespace
}  // namespace tessaly
