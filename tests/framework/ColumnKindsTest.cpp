// The column kinds that load without the numeric-text rule, the key modifier,
// the whole-row column lists, the reference-check trap and the listings with a
// statement and cells of their own.
#include <gtest/gtest.h>

#include <stdexcept>

#include "db/Backend.h"
#include "framework/ColumnTable.h"
#include "support/TestDb.h"
#include "tessaly/admin/clsEmp.h"
#include "tessaly/attendance/clsKQ.h"
#include "tessaly/attendance/clsMTJ.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsJB.h"
#include "tessaly/leave/clsWQ.h"
#include "tessaly/punches/clsLog.h"
#include "tessaly/punches/clsTrans.h"
#include "tessaly/punches/clsTransLost.h"
#include "tessaly/scheduling/clsHoliday.h"
#include "tessaly/scheduling/clsItem.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/Trap.h"

namespace tessaly {
namespace {

using db::Variant;
using framework::CellForm;

// The error number a load raises, 0 when it loads.
template <class Kind>
int32_t LoadError(const Variant& value, typename Kind::Type* loaded = nullptr) {
  try {
    const auto v = Kind::Load(value);
    if (loaded != nullptr) *loaded = v;
    return 0;
  } catch (const Error& e) {
    return e.number();
  }
}

// n characters, a wide one every other place, so that a cut counted in bytes
// shows; every such text begins with the shorter ones.
std::string Chars(size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += i % 2 == 0 ? "字" : std::to_string(i % 10);
  return out;
}

// The widths the host's forms rely on, written here as the attendance tables
// have them rather than read from the declarations the schema is built from,
// so a wrong width shows even though the schema would follow it. Width 0: a
// text kept whole.
#define TESSALY_CUT(Class, Prop, width) \
  {#Class "." #Prop, width, [](std::string v) { Class r; r.Prop(std::move(v)); return r.Prop(); }}

TEST(PropertyWidths, ALetKeepsTheFirstCharactersOfItsColumnsWidth) {
  const struct {
    const char* property;
    size_t width;
    std::string (*let_get)(std::string);
  } cases[] = {
      TESSALY_CUT(clsKQ, FEmpID, 10),       TESSALY_CUT(clsKQ, FName, 20),
      TESSALY_CUT(clsKQ, FDept, 50),        TESSALY_CUT(clsKQ, FKQType, 10),
      TESSALY_CUT(clsKQ, FZLOut, 10),       TESSALY_CUT(clsKQ, FNote, 0),
      TESSALY_CUT(clsKQ, FShift, 0),        TESSALY_CUT(clsMTJ, FEmpID, 10),
      TESSALY_CUT(clsMTJ, FName, 20),       TESSALY_CUT(clsMTJ, FNote, 0),
      TESSALY_CUT(clsEmp, FEmpID, 10),      TESSALY_CUT(clsEmp, FSpell, 5),
      TESSALY_CUT(clsEmp, FSex, 2),         TESSALY_CUT(clsEmp, FIDCard, 20),
      TESSALY_CUT(clsEmp, FPostCode, 6),    TESSALY_CUT(clsEmp, FJoinDate, 0),
      TESSALY_CUT(clsEmp, FPhoto, 50),      TESSALY_CUT(clsItem, FName, 50),
      TESSALY_CUT(clsHoliday, FName, 20),   TESSALY_CUT(clsBJ, FReason, 50),
      TESSALY_CUT(clsBJ, FRatify, 20),      TESSALY_CUT(clsJB, FReason, 50),
      TESSALY_CUT(clsWQ, FReason, 50),      TESSALY_CUT(clsTrans, FDcuID, 3),
      TESSALY_CUT(clsTrans, FDoor, 20),     TESSALY_CUT(clsTrans, FTime, 0),
      TESSALY_CUT(clsTransLost, FErrMsg, 50), TESSALY_CUT(clsTransLost, FDate, 10),
      TESSALY_CUT(clsLog, FOperator, 10),   TESSALY_CUT(clsLog, FNote, 100),
  };
  for (const auto& c : cases) {
    const size_t given = c.width == 0 ? 300 : c.width + 2;
    EXPECT_EQ(c.let_get(Chars(given)), Chars(c.width == 0 ? given : c.width)) << c.property;
    EXPECT_EQ(c.let_get("ab"), "ab") << c.property;
  }
}
#undef TESSALY_CUT


// A flag loads as a truth value, Null as 0; one unless zero is 1 for all but a
// stored zero, Null too. Both store what the host gives.
TEST(ColumnKinds, FlagsLoadAsTruthValuesOrAsOneUnlessZero) {
  const std::pair<Variant, int16_t> flags[] = {
      {Variant::Null(), 0}, {Variant(int16_t{0}), 0}, {Variant(int16_t{-1}), 1},
      {Variant(int32_t{5}), 1}, {Variant(true), 1}, {Variant(false), 0},
      {Variant("0"), 0}, {Variant("2"), 1}, {Variant(0.25), 1},
  };
  const std::pair<Variant, int16_t> unless_zero[] = {
      {Variant::Null(), 1},     {Variant(int16_t{-1}), 1}, {Variant(int16_t{0}), 0},
      {Variant(int32_t{2}), 1}, {Variant(0.0), 0},         {Variant(0.25), 1},
      {Variant(true), 1},       {Variant(false), 0},       {Variant("0"), 0},
      {Variant("-1"), 1},
  };
  for (const auto& [value, expected] : flags) {
    int16_t loaded = 7;
    EXPECT_EQ(LoadError<framework::Flag>(value, &loaded), 0) << value.ToText();
    EXPECT_EQ(loaded, expected) << value.ToText();
  }
  for (const auto& [value, expected] : unless_zero) {
    int16_t loaded = 7;
    EXPECT_EQ(LoadError<framework::FlagUnlessZero>(value, &loaded), 0) << value.ToText();
    EXPECT_EQ(loaded, expected) << value.ToText();
  }
  EXPECT_EQ(framework::Flag::Let(7, 0), 7);
  EXPECT_EQ(LoadError<framework::Flag>(Variant("yes please")), errnum::kRuntimeTypeMismatch);
  EXPECT_EQ(LoadError<framework::FlagUnlessZero>(Variant("yes")), errnum::kRuntimeTypeMismatch);
}

// Direct loads convert the value itself: a number's text still reads, but a
// Null fails where the numeric-text rule (Integer) would load 0.
TEST(ColumnKinds, DirectNumbersConvertTheValueItselfAndRefuseNull) {
  int16_t small = 0;
  EXPECT_EQ(LoadError<framework::DirectInteger>(Variant("12"), &small), 0);
  EXPECT_EQ(small, 12);
  EXPECT_EQ(LoadError<framework::DirectInteger>(Variant(2.5), &small), 0);
  EXPECT_EQ(small, 2);
  EXPECT_EQ(LoadError<framework::DirectInteger>(Variant::Null()), errnum::kInvalidUseOfNull);
  EXPECT_EQ(LoadError<framework::DirectInteger>(Variant(int32_t{40000})), errnum::kOverflow);
  EXPECT_EQ(LoadError<framework::DirectInteger>(Variant("12 hours")), errnum::kRuntimeTypeMismatch);
  EXPECT_EQ(LoadError<framework::Integer>(Variant::Null(), &small), 0);
  EXPECT_EQ(small, 0);
  EXPECT_EQ(LoadError<framework::ShortKey>(Variant(int32_t{-7}), &small), 0);
  EXPECT_EQ(small, -7);
  EXPECT_EQ(LoadError<framework::ShortKey>(Variant("12"), &small), 0);
  EXPECT_EQ(small, 12);
  EXPECT_EQ(LoadError<framework::ShortKey>(Variant::Null()), errnum::kInvalidUseOfNull);
  EXPECT_EQ(LoadError<framework::ShortKey>(Variant(int32_t{40000})), errnum::kOverflow);
  EXPECT_EQ(LoadError<framework::ShortKey>(Variant("x")), errnum::kRuntimeTypeMismatch);

  int32_t large = 0;
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant("2147483647"), &large), 0);
  EXPECT_EQ(large, 2147483647);
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant(2147483648.0)), errnum::kOverflow);
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant::Null()), errnum::kInvalidUseOfNull);

  uint8_t byte = 9;
  EXPECT_EQ(LoadError<framework::Byte>(Variant::Null(), &byte), 0);
  EXPECT_EQ(byte, 0);
  EXPECT_EQ(LoadError<framework::DirectByte>(Variant::Null()), errnum::kInvalidUseOfNull);
  EXPECT_EQ(LoadError<framework::DirectByte>(Variant(int32_t{256})), errnum::kOverflow);
}

TEST(ColumnKinds, TrimmedTextLoadsWithoutTheBlanksAtBothEnds) {
  const std::pair<Variant, std::string> cases[] = {
      {Variant("  张三 "), "张三"}, {Variant("a b"), "a b"},   {Variant("   "), ""},
      {Variant::Null(), ""},        {Variant("\tx "), "\tx"}, {Variant(int32_t{42}), "42"},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(framework::TrimmedText::Load(value), expected) << expected;
  }
}

TEST(Traps, AReferenceCheckReportsTheDescriptionAlone) {
  ErrorInfo caught;
  std::string err = "before";
  const eRESULT result = framework::Trapped(framework::Operation::kCheck, &caught, &err,
                                            []() -> eRESULT { throw Error::Runtime(91); });
  EXPECT_EQ(result, RES_ERROR);
  EXPECT_EQ(err, RuntimeErrorDescription(91));
  EXPECT_EQ(caught.number, 91);
}

// A listing may write its own statement up to the where-text, and show a
// code by its name or refuse a Null where the old list converted the value.
class OwnListing : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    db::internal::BackendOf(*conn_).Run(R"(create table "T_Loose" ("F_ID" INTEGER, "F_Code" TEXT))",
                                        nullptr);
    conn_->Execute("insert into T_Loose (F_ID, F_Code) values (1, 'a')");
    conn_->Execute("insert into T_Loose (F_ID, F_Code) values (2, 'b ')");
    conn_->Execute("insert into T_Loose (F_ID, F_Code) values (3, 'A')");
  }
  static constexpr framework::CodeName kNames[] = {{"a", "first"}, {"b", "second"}};
  framework::Listing listing_{"T_Loose",
                              " order by x.F_ID",
                              {{"F_Code", CellForm::kNamed, kNames}, {"F_ID", CellForm::kRequired}},
                              {},
                              "select x.F_ID, x.F_Code from T_Loose as x where "};
  std::shared_ptr<db::Connection> conn_;
  db::Recordset rs_;
  ErrorInfo error_;
};

TEST_F(OwnListing, ItsStatementAndCellsAreItsOwn) {
  EXPECT_EQ(framework::SearchText(listing_, "x.F_ID > 0"),
            "select x.F_ID, x.F_Code from T_Loose as x where x.F_ID > 0 order by x.F_ID");
  int32_t rows = 0;
  // Codes match exactly: "b " and "A" have no name.
  EXPECT_EQ(framework::ExeSearch(listing_, "1=1", rows, conn_, &rs_, &error_),
            "first\t1\r\t2\r\t3\r");
  EXPECT_EQ(rows, 3);
  EXPECT_FALSE(error_);
}

TEST_F(OwnListing, ANullInARequiredOrNamedCellEndsTheListing) {
  conn_->Execute("insert into T_Loose (F_ID, F_Code) values (4, null)");
  conn_->Execute("insert into T_Loose (F_Code) values ('a')");
  int32_t rows = 0;
  EXPECT_EQ(framework::ExeSearch(listing_, "x.F_ID > 3", rows, conn_, &rs_, &error_), "");
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(error_.number, errnum::kInvalidUseOfNull);
  rows = 0;
  EXPECT_EQ(framework::ExeSearch(listing_, "x.F_ID is null", rows, conn_, &rs_, &error_), "");
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(error_.number, errnum::kInvalidUseOfNull);
}


// Cells that stand for a value: a yes/no flag, and a guarded cell that gives
// way to a substitute where its guard is zero.
TEST(ListingCells, YesNoFlagsAndGuardedSubstitutes) {
  auto conn = testing::AttendanceDb();
  conn->Execute("insert into T_JB (F_ID, F_KQCheck) values (1, 0)");
  conn->Execute("insert into T_JB (F_ID, F_KQCheck) values (2, -1)");
  conn->Execute("insert into T_JB (F_ID) values (3)");
  const framework::ListColumn flags[] = {{"F_ID", CellForm::kText},
                                         {"F_KQCheck", CellForm::kYesNo}};
  const framework::Listing by_flag{"T_JB", " order by F_ID", {std::begin(flags), std::end(flags)}, ""};
  db::Recordset rs;
  int32_t rows = 0;
  EXPECT_EQ(framework::ExeSearch(by_flag, "1=1", rows, conn, &rs, nullptr), "1\t否\r2\t是\r3\t\r");
  const framework::ColumnSpec decl = framework::ColumnSpec::Of<framework::Integer>("F_KQCheck", 0)
                                         .Field("是否复核刷卡", 4)
                                         .ListedYesNo();
  EXPECT_EQ(decl.ListPiece(), "iif(F_KQCheck,'是','否') as 是否复核刷卡");

  for (const char* row : {"'a', '001', '0'", "'b', '002', '1'", "'c', '003', null"}) {
    conn->Execute(std::string("insert into T_KQJ (F_Name, F_Address, F_State) values (") + row + ")");
  }
  const framework::ListColumn guarded[] = {{"F_Name", CellForm::kText},
                                           {"F_Address", CellForm::kText, {}, "F_State", "none"}};
  const framework::Listing by_guard{"T_KQJ", " order by F_Name", {std::begin(guarded), std::end(guarded)}, ""};
  db::Recordset rs2;
  ErrorInfo error;
  EXPECT_EQ(framework::ExeSearch(by_guard, "1=1", rows, conn, &rs2, &error), "a\tnone\rb\t002\rc\t003\r");
  EXPECT_FALSE(error) << error.description;
}

}  // namespace
}  // namespace tessaly
