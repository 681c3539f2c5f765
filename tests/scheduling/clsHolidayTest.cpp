// The public holidays: date ranges written between number signs.
#include "tessaly/scheduling/clsHoliday.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

class clsHolidayDb : public testing::RecordDb<clsHoliday> {
 protected:
  void AddHoliday(int16_t id, const std::string& from, const std::string& to) {
    clsHoliday h;
    h.HConnect(conn_);
    h.FID(id);
    h.FName("H" + std::to_string(id));
    h.FDateFr(from);
    h.FDateTo(to);
    ASSERT_EQ(h.Add(err_), RES_ADDOK) << err_;
  }
};

// A loaded date reads back inside #...#, so a row loaded and written back is
// unchanged.
TEST_F(clsHolidayDb, DatesLoadInATextFormThatReadsBackInsideNumberSigns) {
  const std::pair<const char*, const char*> cases[] = {
      {"2001-10-01", "2001-10-01"},
      {"2001-1-2", "2001-01-02"},
      {"2001-10-01 08:30:00", "2001-10-01 08:30:00"},
  };
  int16_t id = 0;
  for (const auto& [given, loaded] : cases) {
    AddHoliday(++id, given, given);
    rec_.FID(id);
    ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
    EXPECT_EQ(rec_.FDateFr(), loaded) << given;
    EXPECT_EQ(rec_.FDateTo(), loaded) << given;
    ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
    ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
    EXPECT_EQ(rec_.FDateFr(), loaded) << given;
  }
}

}  // namespace
}  // namespace tessaly
