#include "tessaly/attendance/clsKQ.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

void FillDay(clsKQ& kq, const std::string& emp, const std::string& date) {
  // Counts and minutes apart, so neither stands in for the other.
  testing::Set(kq, {{"F_EmpID", emp}, {"F_Name", "Zhang San"}, {"F_Dept", "Sales"},
                    {"F_KQType", "normal"}, {"F_Date", date}, {"F_In1", "08:01"},
                    {"F_Out1", "12:00"}, {"F_IsWQ", 1}, {"F_CDNum", -2}, {"F_CDMinute", 9},
                    {"F_ZTNum", 3}, {"F_ZTMinute", 17}, {"F_JBHours", 7.5f}, {"F_SBSJ", 8.0f},
                    {"F_QJSJ", 0.25f}, {"F_Note", "ok"}, {"F_Shift", "A"}});
}

TEST(clsKQText, QuotesInValuesAreDoubledAndCannotEndALiteral) {
  clsKQ kq;
  kq.FEmpID("O'Brien");
  kq.FDate("2003-05-01# or 1=1 or #2003-05-01");
  EXPECT_EQ(kq.GetWhereString(KQ_BYEMPIDANDDATE),
            " F_EmpID='O''Brien' and F_Date=#2003-05-01? or 1=1 or ?2003-05-01#");
}

class clsKQDb : public testing::RecordDb<clsKQ> {
 protected:
  int32_t AddDay(const std::string& emp, const std::string& date) {
    clsKQ kq;
    kq.HConnect(conn_);
    FillDay(kq, emp, date);
    std::string err;
    EXPECT_EQ(kq.Add(err), RES_ADDOK) << err;
    return std::stoi(Scalar(conn_, "select max(F_ID) from T_KQ"));
  }
};

TEST_F(clsKQDb, AddedDayIsFoundByEmployeeAndDateWithItsValues) {
  const int32_t id = AddDay("O'Brien", "2003-5-1");
  rec_.FEmpID("o'brien");  // text comparisons ignore letter case
  rec_.FDate("2003-05-01");
  ASSERT_EQ(rec_.DoSearch(err_, KQ_BYEMPIDANDDATE), RES_FOUND) << err_;
  EXPECT_EQ(rec_.FID(), id);
  EXPECT_EQ(rec_.FEmpID(), "O'Brien");
  EXPECT_EQ(rec_.FDate(), "2003-05-01");
  EXPECT_EQ(rec_.FIn1(), "08:01");
  EXPECT_EQ(rec_.FIsWQ(), 1);
  EXPECT_EQ(rec_.FCDNum(), -2);
  EXPECT_EQ(rec_.FCDMinute(), 9);
  EXPECT_EQ(rec_.FZTNum(), 3);
  EXPECT_EQ(rec_.FZTMinute(), 17);
  EXPECT_FLOAT_EQ(rec_.FJBHours(), 7.5f);
  EXPECT_EQ(rec_.FIsTJ(), 0);  // the table's default
}

// Without a matching row nothing is written and the properties stay.
TEST_F(clsKQDb, NoMatchingRowWritesNothingAndKeepsTheProperties) {
  rec_.FID(999);
  rec_.FEmpID("keep");
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(rec_.Delete(err_), RES_DELNOTFOUND);
  EXPECT_EQ(rec_.DoSearch(err_, -1), RES_NOTFOUND);
  AddDay("0001", "2003-05-01");
  rec_.FDate("2003-05-02");
  EXPECT_EQ(rec_.DoSearch(err_, KQ_BYEMPIDANDDATE), RES_NOTFOUND);
  EXPECT_EQ(rec_.FEmpID(), "keep");
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_KQ"), "1");
}

// A single property holding NaN or an infinity cannot be written: the
// statement is never sent, and the error names the column and the value.
TEST_F(clsKQDb, NonFiniteSinglesAreRefusedByName) {
  const std::vector<std::pair<float, std::string>> cases = {
      {std::numeric_limits<float>::quiet_NaN(), "F_JBHours is NaN"},
      {std::numeric_limits<float>::infinity(), "F_JBHours is infinity"},
      {-std::numeric_limits<float>::infinity(), "F_JBHours is minus infinity"}};
  for (const auto& [value, named] : cases) {
    FillDay(rec_, "0001", "2003-05-01");
    rec_.FJBHours(value);
    for (const bool add : {true, false}) {
      const Error e = testing::Caught([&] { add ? rec_.Add(err_) : rec_.Update(err_); });
      EXPECT_EQ(e.number(), errnum::kInvalidCall);
      EXPECT_EQ(e.description(), "Invalid value: " + named +
                                     ", which a statement cannot hold; give a finite number.");
    }
  }
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_KQ"), "0");
}

// An add hands the connection its values already read, and writes its
// statement's text only for the trace: what it stores must be what that text
// stores. Rows of values of every kind (texts with apostrophes and #s, dates
// Jet reads and does not, negative and fractional numbers, the extremes of a
// single) are added, then the traced text is run as it stands; each pair
// reads back alike, or fails alike.
TEST_F(clsKQDb, AnAddStoresWhatItsTracedTextStores) {
  // Texts fit the narrowest column (10 characters); past 15 bytes a text is
  // held apart from its string.
  const std::vector<std::string> texts = {
      "",           "x",         "O'Brien",      "''",           "a#b",
      "#2003-5-1#", "from T_KQ", "张三丰张三丰", "line\r\nnext", "7.5",
      " padded "};
  const std::vector<std::string> dates = {"2003-05-01",  "2003-5-1", "2004-02-29 09:30", "1/2/2003",
                                          "May 1, 2003", "12:30",    "2003-02-30",       "",
                                          "2003-05-01#"};
  const std::vector<int32_t> wholes = {0, 7, 42, -3, 32767, -32768};
  const std::vector<float> singles = {0.0f,  7.5f,    0.1f,        -2.25f, 1e20f,
                                      1e-7f, 3.4e38f, 16777216.0f, 0.5f,   123456.7f};
  std::mt19937 random(11);
  auto pick = [&](const auto& pool) { return db::Variant(pool[random() % pool.size()]); };
  // Every column of the row but its key, as text.
  auto row = [&] {
    db::Recordset rs;
    rs.Open("select * from T_KQ where F_ID = (select max(F_ID) from T_KQ)", conn_, db::adOpenKeyset,
            db::adLockReadOnly);
    std::string text;
    for (int32_t i = 1; i < rs.Fields().Count(); ++i) {
      const db::Variant& v = rs.Fields().Item(i).ValueRef();
      text += (v.IsNull() ? "<Null>" : v.ToText()) + "|";
    }
    return text;
  };
  int stored = 0;
  for (int i = 0; i < 150; ++i) {
    clsKQ kq;
    kq.HConnect(conn_);
    for (const auto& column : clsKQ::Columns()) {
      if (column.load == nullptr || column.decl.name == "F_ID") continue;
      const db::ColumnKind kind = column.decl.kind;
      column.load(kq, kind == db::ColumnKind::kDate    ? pick(dates)
                      : kind == db::ColumnKind::kText  ? pick(texts)
                      : kind == db::ColumnKind::kInt16 ? pick(wholes)
                                                       : pick(singles));
    }
    std::string err, traced;
    eRESULT added = RES_ERROR;
    {
      testing::Sent sent(conn_);
      added = kq.Add(err);
      ASSERT_EQ(sent.all().size(), 1u);
      traced = sent.last();
    }
    const ErrorInfo by_add = kq.LastError();
    const std::string added_row = added == RES_ADDOK ? row() : "";
    conn_->Execute("delete from T_KQ");
    const Error by_text = testing::Caught([&] { conn_->Execute(traced); });
    const std::string jet = Visible(traced);
    EXPECT_EQ(by_add.number, by_text.number()) << jet;
    EXPECT_EQ(by_add.description, by_text.description()) << jet;
    if (added == RES_ADDOK && by_text.number() == 0) {
      EXPECT_EQ(added_row, row()) << jet;
      ++stored;
    }
    conn_->Execute("delete from T_KQ");
  }
  // Most rows hold a date that reads.
  EXPECT_GT(stored, 80);
}

// A load stops at the first column it cannot read; the columns before it keep
// their new values, and the move still answers True.
TEST_F(clsKQDb, FailedLoadKeepsWhatItReadAndReportsTheDescription) {
  AddDay("0001", "2003-05-01");
  auto rs = std::make_shared<db::Recordset>();
  rs->Open("select F_ID, F_EmpID, F_Name, F_Dept, F_KqType, F_Date from T_KQ", conn_,
           db::adOpenKeyset, db::adLockReadOnly);
  rec_.HRecordset(rs);
  rec_.FIn1("before");
  EXPECT_EQ(rec_.LoadFieldValue(err_), RES_ERROR);
  EXPECT_EQ(err_, RuntimeErrorDescription(errnum::kItemNotFound));
  EXPECT_EQ(rec_.FEmpID(), "0001");
  EXPECT_EQ(rec_.FIn1(), "before");
  EXPECT_TRUE(rec_.MoveFirst());
  EXPECT_EQ(rec_.LastError().number, errnum::kItemNotFound);

  // A count beyond 16 bits overflows the property.
  rs->Close();
  rs->Open(
      "select F_ID, F_EmpID, F_Name, F_Dept, F_KqType, F_Date, F_In1, F_Out1, F_In2, "
      "F_Out2, F_In3, F_Out3, F_ZLIn, F_ZLOut, 40000 as F_IsWQ from T_KQ",
      conn_, db::adOpenKeyset, db::adLockReadOnly);
  EXPECT_EQ(rec_.LoadFieldValue(err_), RES_ERROR);
  EXPECT_EQ(err_, "Overflow");
  EXPECT_EQ(rec_.FIn1(), "08:01");
}

}  // namespace
}  // namespace tessaly
