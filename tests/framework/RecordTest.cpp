// The shared pieces behind every record class: the next free key and the
// base object's answers.
#include <gtest/gtest.h>

#include "db/Backend.h"
#include "framework/RecordOf.inl.h"
#include "support/TestDb.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Record.h"
#include "tessaly/interfaces/BaseObject.h"

namespace tessaly {
namespace {

// A row keyed by the number the database gives it, with the statistics flag
// (written only by the tally mode, 7 here) and a column of the saved query.
#define TESSALY_TEST_NUMBERED_COLUMNS(X)           \
  X(Key, FID, "F_ID", 0)                           \
  X(Text, FName, "F_Name", 10)                     \
  X(Integer, FIsTJ, "F_IsTJ", 0, .ZeroDefault())   \
  X(TrimmedText, FDept, "F_Dept", 0, .QueryOnly())

class Numbered final : public framework::RecordOf<Numbered> {
 public:
  Numbered() : RecordOf("T_N", "Q_N", 7) {}
  TESSALY_TEST_NUMBERED_COLUMNS(TESSALY_PROPERTY)

 public:
  static std::span<const framework::ColumnDef<Numbered>> Columns() {
    using Self = Numbered;
    static constexpr framework::ColumnDef<Numbered> kColumns[] = {
        TESSALY_TEST_NUMBERED_COLUMNS(TESSALY_COLUMN)};
    return kColumns;
  }
};

// A row keyed by a number the host gives it (GetMaxID).
#define TESSALY_TEST_HOSTED_COLUMNS(X) \
  X(ShortKey, FID, "F_ID", 0)          \
  X(Text, FName, "F_Name", 10)

class Hosted final : public framework::RecordOf<Hosted, int16_t> {
 public:
  Hosted() : RecordOf("T_H", "T_H") {}
  TESSALY_TEST_HOSTED_COLUMNS(TESSALY_PROPERTY)

 public:
  static std::span<const framework::ColumnDef<Hosted>> Columns() {
    using Self = Hosted;
    static constexpr framework::ColumnDef<Hosted> kColumns[] = {
        TESSALY_TEST_HOSTED_COLUMNS(TESSALY_COLUMN)};
    return kColumns;
  }
};

template <class T>
concept NumbersItsKey = requires(T row, int16_t& id, std::string& message) {
  row.GetMaxID(id, message);
};

TEST(CommonShape, BuildersFollowTheDeclarationsAndTheKey) {
  Numbered numbered;
  numbered.FID(5);
  numbered.FName("x");
  numbered.FIsTJ(1);
  numbered.FDept("d");
  // Neither the database's key nor the flag nor the saved query's column is
  // inserted or rewritten; the tally writes the flag alone.
  EXPECT_EQ(numbered.GetValueFields(), "F_Name");
  EXPECT_EQ(numbered.GetValuesString(), "'x'\r");
  EXPECT_EQ(numbered.GetBodyString(), "F_Name='x'\r");
  EXPECT_EQ(numbered.GetBodyString(7), "F_IsTJ=1\r");
  EXPECT_EQ(numbered.GetWhereString(), " F_ID=5");
  EXPECT_EQ(numbered.GetWhereString(-1), " 1=1 ORDER BY F_ID ");

  // The host's key is inserted but never rewritten: the update finds the row by it.
  Hosted hosted;
  hosted.FID(3);
  hosted.FName("y");
  EXPECT_EQ(hosted.GetValueFields(), "F_ID,F_Name");
  EXPECT_EQ(hosted.GetValuesString(), "3\r,'y'\r");
  EXPECT_EQ(hosted.GetBodyString(), "F_Name='y'\r");
  EXPECT_EQ(hosted.GetBodyString(7), "F_Name='y'\r");
  EXPECT_EQ(hosted.GetWhereString(), " F_ID=3");

  // Only a class whose key the host numbers offers GetMaxID.
  static_assert(NumbersItsKey<Hosted>);
  static_assert(!NumbersItsKey<Numbered>);
}

class NextKey : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    db::internal::BackendOf(*conn_).Run(R"(create table "T_Loose" ("F_ID" INTEGER, "F_Note" TEXT))", nullptr);
  }
  std::shared_ptr<db::Connection> conn_;
  db::Recordset rs_;
};

TEST_F(NextKey, IsOneMoreThanTheLargestOrOneWhenThereIsNone) {
  int32_t id = 0;
  EXPECT_EQ(framework::GetMaxID("F_ID", "T_Loose", conn_, &rs_, id), RES_OK);
  EXPECT_EQ(id, 1);
  conn_->Execute("insert into T_Loose (F_Note) values ('no key')");
  EXPECT_EQ(framework::GetMaxID("F_ID", "T_Loose", conn_, &rs_, id), RES_OK);
  EXPECT_EQ(id, 1);  // every key Null
  conn_->Execute("insert into T_Loose (F_ID) values (41)");
  conn_->Execute("insert into T_Loose (F_ID) values (7)");
  int16_t small = 0;
  EXPECT_EQ(framework::GetMaxID("F_ID", "T_Loose", conn_, &rs_, small), RES_OK);
  EXPECT_EQ(small, 42);
  EXPECT_EQ(rs_.State(), 1);  // left open on its one-row result
}

// The top of a 16-bit key is clsUser's (its GetMaxID has no handler): a Long
// key goes on past it.
TEST_F(NextKey, OverflowsAtTheTopOfItsWidthAndPropagatesErrors) {
  conn_->Execute("insert into T_Loose (F_ID) values (32767)");
  int32_t id = 0;
  EXPECT_EQ(framework::GetMaxID("F_ID", "T_Loose", conn_, &rs_, id), RES_OK);
  EXPECT_EQ(id, 32768);
  conn_->Execute("insert into T_Loose (F_ID) values (2147483647)");
  EXPECT_THROW(framework::GetMaxID("F_ID", "T_Loose", conn_, &rs_, id), Error);
  EXPECT_EQ(testing::Caught([&] { framework::GetMaxID("F_ID", "T_Missing", conn_, &rs_, id); })
                .number(),
            errnum::kNoTable);
  EXPECT_THROW(framework::GetMaxID("F_ID", "T_Loose", nullptr, &rs_, id), Error);
}

TEST(BaseObjectAnswers, NoRecordsetMeansNoRowAndNoError) {
  BaseObject base;
  EXPECT_TRUE(base.IsNothing());
  EXPECT_TRUE(base.ISEOF());
  EXPECT_TRUE(base.ISBOF());
  EXPECT_EQ(base.HRecordCount(), 0);
  EXPECT_FALSE(base.MoveFirst());
  EXPECT_FALSE(base.MoveNext());
  EXPECT_EQ(base.GetClipString(), "");

  auto conn = testing::AttendanceDb();
  auto rs = std::make_shared<db::Recordset>();
  rs->Open("select 'a' as x, 2 as y", conn, db::adOpenKeyset, db::adLockReadOnly);
  base.HRecordset(rs);
  EXPECT_FALSE(base.IsNothing());
  EXPECT_EQ(base.GetClipString(), "a\t2");
  EXPECT_FALSE(base.MoveNext());
  EXPECT_TRUE(base.ISEOF());
  EXPECT_FALSE(base.MoveNext());  // at EOF already: still no error
  EXPECT_TRUE(base.MovePrevious());
  rs->Close();
  EXPECT_TRUE(base.ISEOF());
  EXPECT_FALSE(base.MoveLast());
}

}  // namespace
}  // namespace tessaly
