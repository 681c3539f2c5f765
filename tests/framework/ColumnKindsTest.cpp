// The column kinds that load without the numeric-text rule, the key modifier,
// the whole-row column lists, the reference-check trap and the listings with a
// statement and cells of their own.
#include <gtest/gtest.h>

#include <stdexcept>

#include "db/Backend.h"
#include "support/TestDb.h"
#include "tessaly/attendance/clsMTJ.h"
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

TEST(ColumnKinds, AFlagLoadsZeroOnlyFromAStoredZero) {
  const std::pair<Variant, int16_t> cases[] = {
      {Variant::Null(), 1},     {Variant(int16_t{-1}), 1}, {Variant(int16_t{0}), 0},
      {Variant(int32_t{2}), 1}, {Variant(0.0), 0},         {Variant(0.25), 1},
      {Variant(true), 1},       {Variant(false), 0},       {Variant("0"), 0},
      {Variant("-1"), 1},
  };
  for (const auto& [value, expected] : cases) {
    int16_t loaded = 7;
    EXPECT_EQ(LoadError<framework::FlagUnlessZero>(value, &loaded), 0) << value.ToText();
    EXPECT_EQ(loaded, expected) << value.ToText();
  }
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

  int32_t large = 0;
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant("2147483647"), &large), 0);
  EXPECT_EQ(large, 2147483647);
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant(2147483648.0)), errnum::kOverflow);
  EXPECT_EQ(LoadError<framework::DirectLong>(Variant::Null()), errnum::kInvalidUseOfNull);
}

TEST(ColumnLists, DeclaredListsEveryColumnInOrderButThoseLeftOut) {
  const auto all = framework::ColumnList<clsMTJ>::Declared();
  ASSERT_EQ(all.size(), 25u);
  EXPECT_EQ((*all.begin())->decl.name, "F_ID");
  EXPECT_EQ((*(all.end() - 1))->decl.name, "F_Note");
  const auto without = framework::ColumnList<clsMTJ>::Declared({"F_ID", "F_Note"});
  ASSERT_EQ(without.size(), 23u);
  EXPECT_EQ((*without.begin())->decl.name, "F_Year");
  EXPECT_EQ((*(without.end() - 1))->decl.name, "F_QJ_Hours");
  EXPECT_THROW(framework::ColumnList<clsMTJ>::Declared({"F_Nowhere"}), std::logic_error);
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

}  // namespace
}  // namespace tessaly
