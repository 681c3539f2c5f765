// The column kinds that convert a row's value directly or fold it to a flag,
// and a listed cell that gives way to a substitute.
#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"

namespace tessaly::framework {
namespace {

TEST(ColumnKinds, DirectKindsRefuseNullAndFlagsFoldToFlagUnlessZero) {
  EXPECT_EQ(Byte::Load(db::Variant::Null()), 0);
  EXPECT_THROW(DirectByte::Load(db::Variant::Null()), Error);
  EXPECT_THROW(DirectLong::Load(db::Variant::Null()), Error);
  EXPECT_THROW(DirectByte::Load(db::Variant(int32_t{256})), Error);
  const std::pair<db::Variant, int16_t> flags[] = {
      {db::Variant(int16_t{0}), 0}, {db::Variant(int16_t{-1}), 1}, {db::Variant(int16_t{7}), 1},
      {db::Variant::Null(), 1},     {db::Variant(0.0), 0},
  };
  for (const auto& [value, loaded] : flags)
    EXPECT_EQ(FlagUnlessZero::Load(value), loaded) << value.ToText();
}

TEST(ListedInstead, RowsWhoseGuardIsZeroShowTheSubstitute) {
  auto conn = testing::AttendanceDb();
  for (const char* row : {"'a', '001', '0'", "'b', '002', '1'", "'c', '003', null"}) {
    conn->Execute(std::string("insert into T_KQJ (F_Name, F_Address, F_State) values (") + row +
                  ")");
  }
  const ListColumn row[] = {{"F_Name", CellForm::kText},
                            {"F_Address", CellForm::kText, {}, "F_State", "none"}};
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
