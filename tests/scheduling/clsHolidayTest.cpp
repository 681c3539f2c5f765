// The public holidays: date ranges written between number signs, and the next
// free 16-bit identifier.
#include "tessaly/scheduling/clsHoliday.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

void FillHoliday(clsHoliday& h) {
  h.FID(3);
  h.FName("A");
  h.FDateFr("2001-10-01");
  h.FDateTo("2001-10-07");
}

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

TEST_F(clsHolidayDb, BadDatesAreRefused) {
  // "##" and an impossible day are no dates; "#" inside a date cannot end it.
  for (const char* bad : {"", "2001-13-45", "2001-10-01# or 1=1 or #2001-10-01"}) {
    std::string err = "untouched";
    rec_.FDateFr(bad);
    rec_.FDateTo("2001-10-07");
    rec_.FID(5);
    EXPECT_EQ(rec_.Add(err), RES_CMDERR) << bad;
    EXPECT_EQ(err, "untouched");
  }
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Holiday"), "0");
}

}  // namespace
}  // namespace tessaly
