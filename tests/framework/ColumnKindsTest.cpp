// The column kinds that convert a row's value directly or fold it to a flag,
// the text key, and a listed cell that gives way to a substitute.
#include <gtest/gtest.h>

#include <functional>

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"

namespace tessaly::framework {
namespace {

int32_t NumberOf(const std::function<void()>& load) {
  try {
    load();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(ColumnKinds, DirectKindsRefuseNullWhereTheTextRuleGivesZero) {
  EXPECT_EQ(Byte::Load(db::Variant::Null()), 0);
  EXPECT_EQ(NumberOf([] { DirectByte::Load(db::Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(NumberOf([] { DirectLong::Load(db::Variant::Null()); }), errnum::kInvalidUseOfNull);
  EXPECT_EQ(NumberOf([] { DirectByte::Load(db::Variant(int32_t{256})); }), errnum::kOverflow);
  EXPECT_EQ(DirectByte::Load(db::Variant(int16_t{255})), 255);
  EXPECT_EQ(DirectLong::Load(db::Variant(int32_t{-7})), -7);
}

TEST(ColumnKinds, ZeroOrOneLoadsEveryValueButZeroAsOne) {
  const std::pair<db::Variant, int16_t> cases[] = {
      {db::Variant(int16_t{0}), 0},  {db::Variant(int16_t{-1}), 1}, {db::Variant(int16_t{7}), 1},
      {db::Variant::Null(), 1},      {db::Variant(0.0), 0},          {db::Variant(true), 1},
  };
  for (const auto& [value, loaded] : cases) EXPECT_EQ(ZeroOrOne::Load(value), loaded) << value.ToText();
}

TEST(ColumnKinds, PrimaryKeyMarksATextKeyWithoutNumbering) {
  constexpr ColumnSpec spec = ColumnSpec::Of<Text>("FName", "F_Name", 20).PrimaryKey();
  EXPECT_EQ(spec.flags, db::kPrimaryKey);
  EXPECT_EQ(ColumnSpec::Of<Key>("FID", "F_ID", 0).flags, db::kPrimaryKey | db::kAutoNumber);
}

TEST(ListedInstead, RowsWhoseGuardIsZeroShowTheSubstitute) {
  auto conn = testing::AttendanceDb();
  conn->Execute("insert into T_KQJ (F_Name, F_Address, F_State) values ('a', '001', '0')");
  conn->Execute("insert into T_KQJ (F_Name, F_Address, F_State) values ('b', '002', '1')");
  conn->Execute("insert into T_KQJ (F_Name, F_Address, F_State) values ('c', '003', null)");
  const ListColumn row[] = {{"F_Name", Cell::kText}, {"F_Address", Cell::kText, "F_State", "none"}};
  const Listing listing{"T_KQJ", " order by F_Name", {std::begin(row), std::end(row)}, ""};
  db::Recordset rs;
  int32_t count = 0;
  ErrorInfo error;
  EXPECT_EQ(testing::Visible(ExeSearch(listing, "1=1", count, conn, &rs, &error)),
            "a\\tnone\\rb\\t002\\rc\\t003\\r");
  EXPECT_FALSE(error) << error.description;
}

}  // namespace
}  // namespace tessaly::framework
