// The recordset as the record classes walk it: cursor moves, counts, fields
// and the kinds of the values they hold.
#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "db/DbContract.h"

namespace tessaly::db::testing {
namespace {

class RecordsetContract : public DbContract {};
TESSALY_INSTANTIATE_DB_CONTRACT(RecordsetContract);

// Where the cursor stands: "BOF", "EOF" or the F_ID of the row.
std::string Where(const Recordset& rs) {
  if (rs.IsBOF()) return "BOF";
  if (rs.IsEOF()) return "EOF";
  return rs.Fields().Item("F_ID").Value().ToText();
}

TEST_P(RecordsetContract, MovesBothWaysAndRaises3021OnlyPastTheEnds) {
  AddEmployees(3);
  Recordset rs;
  rs.Open("SELECT F_ID FROM T_Emp ORDER BY F_ID", conn_, adOpenKeyset, adLockReadOnly);
  ASSERT_EQ(Where(rs), "1");
  const auto next = &Recordset::MoveNext, prev = &Recordset::MovePrevious,
             first = &Recordset::MoveFirst, last = &Recordset::MoveLast;
  // A move and where the cursor stands after it; "!" marks a move that raised
  // 3021 and left the cursor where it was.
  const std::pair<void (Recordset::*)(), std::string> steps[] = {
      {next, "2"},   {next, "3"},   {next, "EOF"},  {next, "!EOF"}, {prev, "3"},
      {first, "1"},  {prev, "BOF"}, {prev, "!BOF"}, {next, "1"},    {last, "3"},
      {next, "EOF"}, {first, "1"},  {prev, "BOF"},  {last, "3"}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& [move, where] = steps[i];
    const bool raises = where[0] == '!';
    EXPECT_EQ(Caught([&] { (rs.*move)(); }).number(), raises ? errnum::kNoCurrentRecord : 0)
        << "step " << i;
    EXPECT_EQ(Where(rs), raises ? where.substr(1) : where) << "step " << i;
  }
  rs.MoveNext();
  const Error at_eof = Caught([&] { rs.Fields().Item("F_ID").Value(); });
  EXPECT_EQ(at_eof.number(), errnum::kNoCurrentRecord);
  EXPECT_EQ(at_eof.description(), RuntimeErrorDescription(errnum::kNoCurrentRecord));
}

TEST_P(RecordsetContract, EmptyResultIsBofAndEofAndRefusesEveryMoveAndRead) {
  for (const auto& [cursor, count] : {std::pair{adOpenStatic, 0}, {adOpenForwardOnly, -1}}) {
    Recordset rs;
    rs.Open("SELECT F_ID, F_Name FROM T_Emp", conn_, cursor, adLockReadOnly);
    EXPECT_TRUE(rs.IsBOF() && rs.IsEOF());
    EXPECT_EQ(rs.RecordCount(), count);
    EXPECT_EQ(rs.Fields().Item(1).Name(), "F_Name");
    const std::pair<const char*, std::function<void()>> moves[] = {
        {"MoveNext", [&] { rs.MoveNext(); }},
        {"MovePrevious", [&] { rs.MovePrevious(); }},
        {"MoveFirst", [&] { rs.MoveFirst(); }},
        {"MoveLast", [&] { rs.MoveLast(); }},
        {"Value", [&] { rs.Fields().Item("F_ID").Value(); }}};
    for (const auto& [what, move] : moves) {
      EXPECT_EQ(Caught(move).number(), errnum::kNoCurrentRecord) << what << " cursor " << cursor;
      EXPECT_TRUE(rs.IsBOF() && rs.IsEOF()) << what << " cursor " << cursor;
    }
  }
}

// A forward-only cursor reads the engine's rows as it moves: it goes ahead,
// goes back to the start by running the statement again (so it sees what was
// written meanwhile), and cannot go back a row or jump to the end.
TEST_P(RecordsetContract, ForwardOnlyStepsAheadAndStartsAgainButGoesNoOtherWay) {
  AddEmployees(3);
  Recordset rs;
  rs.Open("SELECT F_ID, F_Name FROM T_Emp ORDER BY F_ID", conn_);
  const Field name = rs.Fields().Item("F_Name");
  EXPECT_EQ(rs.RecordCount(), -1);
  EXPECT_EQ(name.ValueRef().ToText(), "e1");
  rs.MoveNext();
  EXPECT_EQ(Where(rs), "2");
  for (auto back : {&Recordset::MovePrevious, &Recordset::MoveLast}) {
    const Error e = Caught([&] { (rs.*back)(); });
    EXPECT_EQ(e.number(), errnum::kFeatureNotAvailable);
    EXPECT_EQ(e.description(), "Object or provider is not able to perform requested operation.");
  }
  EXPECT_EQ(Where(rs), "2");
  conn_->Execute("UPDATE T_Emp SET F_Name = 'again' WHERE F_ID = 1");
  rs.MoveFirst();
  EXPECT_EQ(name.ValueRef().ToText(), "again");
  std::string seen;
  for (; !rs.IsEOF(); rs.MoveNext()) seen += Where(rs);
  EXPECT_EQ(seen, "123");
  EXPECT_EQ(Caught([&] { rs.MoveNext(); }).number(), errnum::kNoCurrentRecord);
  rs.MoveFirst();  // from EOF too
  EXPECT_EQ(Where(rs), "1");
}

// A keyset cursor that streams its rows (a listing's) answers every question
// and move as one that held its rows from the start, whichever point of its
// walk the host takes it up at: counts, moves both ways, the ends, and the
// moves and reads that raise.
TEST_P(RecordsetContract, StreamedKeysetAnswersAsAHeldOneFromAnyPointOfItsWalk) {
  const char* sql = "SELECT F_ID FROM T_Emp ORDER BY F_ID";
  // What the host sees after each step: the error it raised (0 for none) and
  // where the cursor stands, or the count.
  using Step = std::function<std::string(Recordset&)>;
  const auto moving = [](void (Recordset::*move)()) -> Step {
    return [move](Recordset& rs) {
      return std::to_string(Caught([&] { (rs.*move)(); }).number()) + ":" + Where(rs);
    };
  };
  const std::pair<const char*, Step> steps[] = {
      {"next", moving(&Recordset::MoveNext)},
      {"previous", moving(&Recordset::MovePrevious)},
      {"first", moving(&Recordset::MoveFirst)},
      {"last", moving(&Recordset::MoveLast)},
      {"count", [](Recordset& rs) { return std::to_string(rs.RecordCount()); }},
      {"read", [](Recordset& rs) {
         return std::to_string(Caught([&] { rs.Fields().Item("F_ID").Value(); }).number());
       }}};
  // After the first step, the same walk through every end.
  const char* const rest[] = {"previous", "previous", "count", "first", "previous", "previous",
                              "next",     "last",     "next",  "next",  "read",     "previous"};
  const auto step = [&](const char* name) -> const Step& {
    for (const auto& [n, s] : steps)
      if (std::string_view(n) == name) return s;
    throw std::logic_error(name);
  };
  for (const int rows : {0, 1, 3}) {
    Native("DELETE FROM T_Emp");
    AddEmployees(rows);
    for (int ahead = 0; ahead <= rows; ++ahead) {
      for (const auto& [first, first_step] : steps) {
        std::string seen[2];
        for (const bool streamed : {false, true}) {
          Recordset rs;
          if (streamed) {
            internal::OpenStreamed(rs, sql, conn_);
          } else {
            rs.Open(sql, conn_, adOpenKeyset, adLockReadOnly);
          }
          for (int i = 0; i < ahead; ++i) rs.MoveNext();
          std::string& out = seen[streamed];
          out = first_step(rs);
          for (const char* name : rest) out += std::string(" ") + step(name)(rs);
        }
        EXPECT_EQ(seen[1], seen[0]) << rows << " rows, " << ahead << " ahead, then " << first;
      }
    }
  }
}

// Streamed to its end, the cursor has counted its rows without holding them;
// only a move back runs the statement again, and a field taken before reads
// the held rows. A statement that then fails raises its error and leaves the
// cursor as it stood.
TEST_P(RecordsetContract, StreamedKeysetRunsItsStatementAgainOnlyToGoBack) {
  AddEmployees(3);
  const char* sql = "SELECT F_ID FROM T_Emp ORDER BY F_ID";
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view text) { sent.emplace_back(text); });
  Recordset rs, failing;
  internal::OpenStreamed(rs, sql, conn_);
  const Field id = rs.Fields().Item("F_ID");
  const std::string& name = id.Name();
  internal::OpenStreamed(failing, sql, conn_);
  for (Recordset* walked : {&rs, &failing}) {
    while (!walked->IsEOF()) walked->MoveNext();
  }
  EXPECT_EQ(rs.RecordCount(), 3);
  EXPECT_EQ(sent.size(), 2u);
  rs.MovePrevious();
  EXPECT_EQ(sent.size(), 3u);
  EXPECT_EQ(id.ValueRef().ToText(), "3");
  EXPECT_EQ(name, "F_ID");

  Native("DROP TABLE T_Emp");
  EXPECT_EQ(Caught([&] { failing.MovePrevious(); }).number(), errnum::kNoTable);
  EXPECT_EQ(Where(failing), "EOF");
  EXPECT_EQ(failing.RecordCount(), 3);
  EXPECT_EQ(Caught([&] { failing.MoveNext(); }).number(), errnum::kNoCurrentRecord);
  rs.MoveFirst();  // the held rows stay
  EXPECT_EQ(Where(rs), "1");
  conn_->Trace({});
}

// A stream owns its compiled statement while it reads: the same text opened
// again meanwhile, streamed or held, runs on its own and leaves the first
// where it stood.
TEST_P(RecordsetContract, TheSameStatementStreamedTwiceAtOnceReadsTwice) {
  AddEmployees(3);
  const char* sql = "SELECT F_ID FROM T_Emp WHERE F_ID > 0 ORDER BY F_ID";
  Recordset first;
  first.Open(sql, conn_, adOpenForwardOnly);
  first.MoveNext();
  for (const CursorTypeEnum cursor : {adOpenForwardOnly, adOpenKeyset, adOpenForwardOnly}) {
    Recordset again;
    again.Open(sql, conn_, cursor);
    std::string seen;
    for (; !again.IsEOF(); again.MoveNext()) seen += Where(again);
    EXPECT_EQ(seen, "123") << "cursor " << cursor;
  }
  EXPECT_EQ(Where(first), "2");
  first.MoveNext();
  EXPECT_EQ(Where(first), "3");
}

TEST_P(RecordsetContract, ClosedRecordsetAndItsFieldsRaise3704) {
  AddEmployees(1);
  Recordset never_opened, closed;
  closed.Open("SELECT F_ID FROM T_Emp", conn_, adOpenKeyset, adLockReadOnly);
  const Field kept = closed.Fields().Item("F_ID");
  closed.Close();
  EXPECT_EQ(closed.State(), 0);
  std::optional<Field> orphan;
  {
    Recordset gone;
    gone.Open("SELECT F_ID FROM T_Emp", conn_, adOpenKeyset, adLockReadOnly);
    orphan = gone.Fields().Item(0);
  }
  for (Recordset* rs : {&never_opened, &closed}) {
    for (const auto& op : std::initializer_list<std::function<void()>>{
             [&] { rs->Close(); }, [&] { rs->RecordCount(); }, [&] { rs->IsEOF(); },
             [&] { rs->IsBOF(); }, [&] { rs->MoveNext(); }, [&] { rs->MovePrevious(); },
             [&] { rs->MoveFirst(); }, [&] { rs->MoveLast(); }, [&] { rs->Fields(); }}) {
      EXPECT_EQ(Caught(op).number(), errnum::kObjectClosed);
    }
  }
  // A field never reads rows of a later opening, nor of a recordset that is gone.
  closed.Open("SELECT F_Name FROM T_Emp", conn_, adOpenKeyset, adLockReadOnly);
  EXPECT_EQ(Caught([&] { kept.Value(); }).number(), errnum::kObjectClosed);
  EXPECT_EQ(Caught([&] { orphan->Value(); }).number(), errnum::kObjectClosed);
  EXPECT_EQ(closed.Fields().Item(0).Value().ToText(), "e1");
}

TEST_P(RecordsetContract, OpenRefusesAnOpenRecordsetOrNoConnectionAndStaysClosedWithoutRows) {
  Recordset rs;
  EXPECT_EQ(Caught([&] { rs.Open("SELECT * FROM T_Emp", nullptr); }).number(),
            errnum::kInvalidConnection);
  rs.Open(InsertSql(1), conn_, adOpenKeyset, adLockReadOnly);  // runs, yields no rows
  EXPECT_EQ(rs.State(), 0);
  EXPECT_EQ(Caught([&] { rs.IsEOF(); }).number(), errnum::kObjectClosed);
  Native(InsertSql(2));
  rs.Open("SELECT F_ID FROM T_Emp ORDER BY F_ID", conn_, adOpenKeyset, adLockReadOnly);
  rs.MoveNext();
  EXPECT_EQ(Caught([&] { rs.Open("SELECT * FROM T_Src", conn_); }).number(), errnum::kObjectOpen);
  EXPECT_EQ(Where(rs), "2");  // the open recordset is untouched
}

TEST_P(RecordsetContract, FieldNamesMatchWithoutRegardToCase) {
  AddEmployees(1);
  Recordset rs;
  rs.Open("SELECT F_ID, F_Name AS 员工Name FROM T_Emp", conn_, adOpenKeyset, adLockReadOnly);
  EXPECT_EQ(rs.Fields().Item("f_id").Value().ToText(), "1");
  EXPECT_EQ(rs.Fields().Item("F_ID").Name(), "F_ID");
  EXPECT_EQ(rs.Fields().Item("员工NAME").Name(), "员工Name");
  EXPECT_EQ(rs.Fields().IndexOf("F_IDX"), -1);
  for (const auto& f : std::initializer_list<std::function<void()>>{
           [&] { rs.Fields().Item("F_Nowhere"); }, [&] { rs.Fields().Item(2); },
           [&] { rs.Fields().Item(-1); }}) {
    const Error e = Caught(f);
    EXPECT_EQ(e.number(), errnum::kItemNotFound);
    EXPECT_EQ(e.description(), RuntimeErrorDescription(errnum::kItemNotFound));
  }
}

TEST_P(RecordsetContract, ValuesTakeTheKindOfTheirColumnTypeOrElseOfTheStoredValue) {
  struct Case {
    const char* declared;  // nullptr: an expression, typed by what it holds
    const char* value;     // native literal or expression
    VarType kind;
    const char* text;
  };
  const Case cases[] = {
      {"VARCHAR(10)", "'abc'", VarType::kString, "abc"},
      {"TEXT", "12", VarType::kString, "12"},
      {"MEMO", "'m'", VarType::kString, "m"},
      {"CHAR(2)", "'c'", VarType::kString, "c"},
      {"TINYINT", "200", VarType::kByte, "200"},
      {"BYTE", "7", VarType::kByte, "7"},
      {"SMALLINT", "-5", VarType::kInteger, "-5"},
      {"short", "3", VarType::kInteger, "3"},
      {"INTEGER", "100000", VarType::kLong, "100000"},
      {"LONG", "-2", VarType::kLong, "-2"},
      {"COUNTER", "9", VarType::kLong, "9"},
      {"SINGLE", "7.3", VarType::kSingle, "7.3"},
      {"DOUBLE", "0.1", VarType::kDouble, "0.1"},
      {"CURRENCY", "12.5", VarType::kCurrency, "12.5"},
      {"CURRENCY", "3", VarType::kCurrency, "3"},
      {"CURRENCY", "x'2d302e30303031'", VarType::kCurrency, "-0.0001"},
      {"DECIMAL(10, 2)", "1.25", VarType::kDecimal, "1.25"},
      {"DECIMAL(28, 4)", "x'2d31323334353637383930313233343536373839302e35'", VarType::kDecimal,
       "-12345678901234567890.5"},
      {"NUMERIC", "'many'", VarType::kString, "many"},
      {"VARBINARY(4)", "x'6100'", VarType::kBytes, "a"},
      {"LONGBINARY", "x''", VarType::kBytes, ""},
      {"FLOAT", "2", VarType::kDouble, "2"},
      {"BIT", "-1", VarType::kBoolean, "True"},
      {"YESNO", "0", VarType::kBoolean, "False"},
      {"BOOLEAN", "1", VarType::kBoolean, "True"},
      {"DATETIME", "'2024-03-05'", VarType::kDate, "2024-03-05"},
      {"DATE", "'2024-03-05 08:30:00'", VarType::kDate, "2024-03-05 08:30:00"},
      {"TIME", "'1899-12-30 09:00:00'", VarType::kDate, "09:00:00"},
      {"DATETIME", "'not a date'", VarType::kString, "not a date"},
      {"INTEGER", "NULL", VarType::kNull, ""},
      {nullptr, "1 + 1", VarType::kLong, "2"},
      {nullptr, "3000000000", VarType::kDouble, "3000000000"},
      {nullptr, "2.5 * 2", VarType::kDouble, "5"},
      {nullptr, "'a' || 'b'", VarType::kString, "ab"},
      {nullptr, "NULL", VarType::kNull, ""},
  };
  // The server's own types, with the kinds they read as.
  const Case server_cases[] = {
      {"varchar(10)", "'abc'", VarType::kString, "abc"},
      {"text", "'12'", VarType::kString, "12"},
      {"citext", "'M'", VarType::kString, "M"},
      {"smallint", "-5", VarType::kInteger, "-5"},
      {"integer", "100000", VarType::kLong, "100000"},
      {"bigint", "-2", VarType::kLong, "-2"},
      {"bigint", "3000000000", VarType::kDouble, "3000000000"},
      {"real", "7.3", VarType::kSingle, "7.3"},
      {"double precision", "0.1", VarType::kDouble, "0.1"},
      {"numeric(10,2)", "12.5", VarType::kDecimal, "12.5"},
      {"numeric(28,4)", "-12345678901234567890.5", VarType::kDecimal, "-12345678901234567890.5"},
      {"numeric(19,4)", "-0.0001", VarType::kCurrency, "-0.0001"},
      {"bytea", "'\\x6100'", VarType::kBytes, "a"},
      {nullptr, "1.5::numeric", VarType::kDouble, "1.5"},
      {"boolean", "true", VarType::kBoolean, "True"},
      {"yesno", "-1", VarType::kBoolean, "True"},
      {"yesno", "0", VarType::kBoolean, "False"},
      {"timestamp(0)", "'2024-03-05'", VarType::kDate, "2024-03-05"},
      {"date", "'2024-03-05'", VarType::kDate, "2024-03-05"},
      {"timestamp(0)", "'2024-03-05 08:30:00'", VarType::kDate, "2024-03-05 08:30:00"},
      {"timestamp(0)", "'1899-12-30 09:00:00'", VarType::kDate, "09:00:00"},
      {"integer", "NULL", VarType::kNull, ""},
      {nullptr, "1 + 1", VarType::kLong, "2"},
      {nullptr, "3000000000", VarType::kDouble, "3000000000"},
      {nullptr, "2.5 * 2", VarType::kDouble, "5"},
      {nullptr, "'a' || 'b'", VarType::kString, "ab"},
      {nullptr, "NULL", VarType::kNull, ""},
  };
  for (const Case& c : GetParam().server ? std::span<const Case>(server_cases)
                                         : std::span<const Case>(cases)) {
    Native("DROP TABLE IF EXISTS T_V");
    Native(std::string("CREATE TABLE T_V (v ") + (c.declared ? c.declared : GetParam().server ? "text" : "") + ")");
    Native("INSERT INTO T_V VALUES (NULL)");
    internal::ResultData out;
    if (c.declared) {
      Native(std::string("UPDATE T_V SET v = ") + c.value);
      internal::BackendOf(*conn_).Run(NativeSql("SELECT v FROM T_V"), &out);
    } else {
      internal::BackendOf(*conn_).Run(std::string("SELECT ") + c.value + " AS v", &out);
    }
    ASSERT_EQ(out.row_count, 1u);
    const char* what = c.declared ? c.declared : c.value;
    EXPECT_EQ(static_cast<int>(out.cells[0].Type()), static_cast<int>(c.kind)) << what;
    EXPECT_EQ(out.cells[0].ToText(), c.text) << what;
  }
}

// A table made by a statement holds its fields as the attendance tables do:
// each reads back in its Jet type's kind, and a Byte refuses what Jet's did.
TEST_P(RecordsetContract, FieldsMadeByAStatementReadBackInTheirJetTypesKind) {
  conn_->Execute("CREATE TABLE T_Made (B BYTE, S SHORT, L LONG, F SINGLE, D DATETIME, Y YESNO)");
  conn_->Execute("INSERT INTO T_Made VALUES (255, -2, 70000, 1.5, #2024-03-05#, -1)");
  Recordset rs;
  rs.Open("SELECT * FROM T_Made", conn_, adOpenKeyset, adLockReadOnly);
  const std::pair<const char*, VarType> kinds[] = {
      {"B", VarType::kByte},   {"S", VarType::kInteger}, {"L", VarType::kLong},
      {"F", VarType::kSingle}, {"D", VarType::kDate},    {"Y", VarType::kBoolean}};
  for (const auto& [name, kind] : kinds) {
    EXPECT_EQ(static_cast<int>(rs.Fields().Item(name).Value().Type()), static_cast<int>(kind))
        << name;
  }
  EXPECT_EQ(Caught([&] { conn_->Execute("UPDATE T_Made SET B = 256"); }).number(),
            Caught([&] { conn_->Execute("UPDATE T_Made SET S = 40000"); }).number());
}

TEST_P(RecordsetContract, TextsOfAnySizeComeBackWholeAndValueRefHoldsUntilTheCursorMoves) {
  // The rows are held compactly and their texts side by side: texts longer
  // than one stretch of that storage, empty texts and Nulls must each come back
  // as they went in, next to numbers and dates.
  Native("CREATE TABLE T_Txt (F_ID INTEGER, F_Text MEMO, F_When DATETIME)");
  const std::vector<std::pair<std::string, std::optional<std::string>>> rows = {
      {"1", std::string()},           {"2", std::nullopt},
      {"3", std::string(70000, 'a')}, {"4", "x"},
      {"5", std::string(65535, 'b')}, {"6", std::string(200000, 'c')}};
  for (const auto& [id, text] : rows) {
    Native("INSERT INTO T_Txt VALUES (" + id + ", " + (text ? "'" + *text + "'" : "NULL") +
           ", '2024-02-29 08:30:00')");
  }
  Recordset rs;
  rs.Open("SELECT F_ID, F_Text, F_When FROM T_Txt ORDER BY F_ID", conn_, adOpenStatic);
  const Fields fields = rs.Fields();
  const Field text = fields.Item("F_Text"), again = fields.Item(1);
  for (const auto& [id, expected] : rows) {
    const Variant& held = text.ValueRef();
    // Reading the other columns, or the same one through another field, leaves
    // the reference alone.
    EXPECT_EQ(fields.Item("F_ID").ValueRef().ToText(), id);
    EXPECT_EQ(fields.Item("F_When").Value().Type(), VarType::kDate);
    EXPECT_EQ(&again.ValueRef(), &held);
    EXPECT_EQ(held.Type(), expected ? VarType::kString : VarType::kNull) << id;
    EXPECT_EQ(held.ToText(), expected.value_or("")) << id;
    EXPECT_EQ(text.Value(), held) << id;
    rs.MoveNext();
  }
  rs.MoveFirst();
  EXPECT_EQ(text.ValueRef().ToText(), "");
  EXPECT_EQ(fields.Item("F_When").ValueRef().ToText(), "2024-02-29 08:30:00");
  rs.Close();
  EXPECT_EQ(Caught([&] { text.ValueRef(); }).number(), errnum::kObjectClosed);
}

}  // namespace
}  // namespace tessaly::db::testing
