// Column kinds and listing cells the request classes brought to the frame.
#include <gtest/gtest.h>

#include "support/TestDb.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/framework/Column.h"
#include "tessaly/framework/Listing.h"

namespace tessaly {
namespace {

TEST(TrimmedText, LoadsWithoutTheBlanksAtBothEnds) {
  const std::pair<db::Variant, std::string> cases[] = {
      {db::Variant("  张三 "), "张三"}, {db::Variant("a b"), "a b"},
      {db::Variant("   "), ""},        {db::Variant::Null(), ""},
      {db::Variant("\tx "), "\tx"},    {db::Variant(int32_t{42}), "42"},
  };
  for (const auto& [value, expected] : cases) {
    EXPECT_EQ(framework::TrimmedText::Load(value), expected) << expected;
  }
}

TEST(DirectLong, ANullKeyFailsTheLoad) {
  EXPECT_EQ(framework::DirectLong::Load(db::Variant("12")), 12);
  try {
    framework::DirectLong::Load(db::Variant::Null());
    ADD_FAILURE() << "Null loaded";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kInvalidUseOfNull);
  }
}

TEST(YesNoCell, SaysYesOrNoAndNothingForNull) {
  auto conn = testing::AttendanceDb();
  conn->Execute("insert into T_JB (F_ID, F_KQCheck) values (1, 0)");
  conn->Execute("insert into T_JB (F_ID, F_KQCheck) values (2, -1)");
  conn->Execute("insert into T_JB (F_ID) values (3)");
  const framework::ListColumn row[] = {{"F_ID", framework::CellForm::kText},
                                       {"F_KQCheck", framework::CellForm::kYesNo}};
  const framework::Listing listing{"T_JB", " order by F_ID", {std::begin(row), std::end(row)}, ""};
  db::Recordset rs;
  int32_t rows = 0;
  EXPECT_EQ(framework::ExeSearch(listing, "1=1", rows, conn, &rs, nullptr),
            "1\t否\r2\t是\r3\t\r");
  const framework::ColumnSpec decl =
      framework::ColumnSpec::Of<framework::Integer>("F_KQCheck", 0)
          .Field("是否复核刷卡", 4)
          .ListedYesNo();
  EXPECT_EQ(decl.ListPiece(), "iif(F_KQCheck,'是','否') as 是否复核刷卡");
}

}  // namespace
}  // namespace tessaly
