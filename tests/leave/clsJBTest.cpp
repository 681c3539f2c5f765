// Overtime requests: declared and verified, and the hours of a date.
#include "tessaly/leave/clsJB.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Visible;

struct Request {
  int32_t id;
  const char* emp;
  const char* date_fr;
  const char* time_fr;
  const char* date_to;
  const char* time_to;
  int16_t hours;
  int16_t check;
};

void Fill(clsJB& jb, const Request& r) {
  jb.FID(r.id);
  jb.FEmpID(r.emp);
  jb.FDateFr(r.date_fr);
  jb.FTimeFr(r.time_fr);
  jb.FDateTo(r.date_to);
  jb.FTimeTo(r.time_to);
  jb.FJBHours(r.hours);
  jb.FReason("R");
  jb.FRatify("A");
  jb.FKQCheck(r.check);
}

class JBDb : public testing::RecordDb<clsJB> {
 protected:
  void Add(const Request& r) {
    clsJB jb;
    jb.HConnect(conn_);
    Fill(jb, r);
    std::string err;
    ASSERT_EQ(jb.Add(err), RES_ADDOK) << err;
  }
};

// The class's own questions: the day's overtime and the listing over Q_JB.
TEST_F(JBDb, QuestionsKeepTheirOwnTexts) {
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.emplace_back(sql); });
  bool has = false;
  float hours = 0;
  ASSERT_EQ(rec_.HasTheHoliday("2003-05-01", 8, "0001", has, hours), RES_OK);
  int32_t rows = 0;
  rec_.ExeSearch("F_KQCheck=0", rows);
  const std::vector<std::string> expected = {
      "select *  from T_JB where  F_EmpID='0001' and ( (F_DateFr='2003-05-01' and "
      "F_KqCheck=0) or  (F_Datefr<='2003-05-01' and  F_DateTo>='2003-05-01' and "
      "F_KqCheck<>0))",
      "select *  from Q_JB where F_KQCheck=0",
  };
  EXPECT_EQ(sent, expected);
}

// The worked example: 2 + 3 declared hours on one date, added to the entry.
TEST_F(JBDb, DeclaredRequestsCountOnTheirOneDate) {
  Add({1, "0001", "2003-05-01", "18:00", "2003-05-05", "20:00", 2, 0});
  Add({2, "0001", "2003-05-01", "", "", "", 3, 0});
  Add({3, "0002", "2003-04-01", "09:00", "2003-05-31", "17:00", 0, 1});  // verified, another one
  struct Case {
    const char* date;
    float entry;
    bool has;
    float hours;
  };
  const Case cases[] = {
      {"2003-05-01", 0, true, 5},   {"2003-05-01", 1.5f, true, 6.5f},
      {"2003-05-02", 0, false, 0},  {"2003-05-05", 0.25f, false, 0.25f},
      {"2003-04-30", 0, false, 0},
  };
  for (const Case& c : cases) {
    bool has = !c.has;
    float hours = c.entry;
    EXPECT_EQ(rec_.HasTheHoliday(c.date, 8, "0001", has, hours), RES_OK) << c.date;
    EXPECT_EQ(has, c.has) << c.date;
    EXPECT_FLOAT_EQ(hours, c.hours) << c.date;
  }
}

// The rule for verified requests (clsJB.h): whole days count HoursPerDay, the
// rest the whole hours between the times, credited date by date.
TEST_F(JBDb, VerifiedRequestsCreditTheirSpanDateByDate) {
  struct Case {
    const char* what;
    Request request;
    int16_t per_day;
    std::vector<std::pair<const char*, float>> dates;  // date, hours credited
  };
  const Case cases[] = {
      {"evening", {1, "0001", "2003-05-01", "18:00", "2003-05-01", "21:30", 0, 1}, 8,
       {{"2003-05-01", 3}}},
      {"across midnight", {1, "0001", "2003-05-01", "22:00", "2003-05-02", "02:00", 0, 1}, 8,
       {{"2003-05-01", 4}, {"2003-05-02", 0}}},
      {"worked example", {1, "0001", "2003-05-01", "20:00", "2003-05-03", "02:00", 0, 1}, 8,
       {{"2003-05-01", 8}, {"2003-05-02", 6}, {"2003-05-03", 0}}},
      {"three days", {1, "0001", "2003-05-01", "09:00", "2003-05-03", "12:00", 0, 1}, 8,
       {{"2003-05-01", 8}, {"2003-05-02", 8}, {"2003-05-03", 3}}},
      {"one date ending next morning", {1, "0001", "2003-05-01", "22:30", "2003-05-01", "02:00", 0, 1}, 8,
       {{"2003-05-01", 3}}},
      {"across a month, ten-hour days", {1, "0001", "2003-04-30", "09:00", "2003-05-01", "17:00", 0, 1}, 10,
       {{"2003-04-30", 10}, {"2003-05-01", 8}}},
      {"days counting nothing", {1, "0001", "2003-05-01", "09:00", "2003-05-02", "10:00", 0, 1}, 0,
       {{"2003-05-01", 0}, {"2003-05-02", 1}}},
      {"an hour short by seconds", {1, "0001", "2003-05-01", "08:00:30", "2003-05-01", "9:00", 5, 1}, 8,
       {{"2003-05-01", 0}}},
  };
  for (const Case& c : cases) {
    conn_->Execute("delete from T_JB");
    Add(c.request);
    for (const auto& [date, expected] : c.dates) {
      bool has = false;
      float hours = 0.5f;
      EXPECT_EQ(rec_.HasTheHoliday(date, c.per_day, "0001", has, hours), RES_OK)
          << c.what << " " << date;
      EXPECT_TRUE(has) << c.what << " " << date;
      EXPECT_FLOAT_EQ(hours, 0.5f + expected) << c.what << " " << date;
    }
    bool has = true;
    float hours = 0.5f;
    EXPECT_EQ(rec_.HasTheHoliday("2003-05-04", c.per_day, "0001", has, hours), RES_OK);
    EXPECT_FALSE(has) << c.what;
    EXPECT_FLOAT_EQ(hours, 0.5f) << c.what;
  }
}

TEST_F(JBDb, DeclaredAndVerifiedHoursOfOneDateAddUp) {
  Add({1, "0001", "2003-05-01", "", "", "", 2, 0});
  Add({2, "0001", "2003-04-30", "22:00", "2003-05-01", "03:00", 0, 1});  // 5 on 04-30
  Add({3, "0001", "2003-05-01", "18:00", "2003-05-01", "21:00", 0, 1});
  Add({4, "0002", "2003-05-01", "18:00", "2003-05-01", "21:00", 0, 1});
  bool has = false;
  float hours = 0;
  EXPECT_EQ(rec_.HasTheHoliday("2003-05-01", 8, "0001", has, hours), RES_OK);
  EXPECT_TRUE(has);
  EXPECT_FLOAT_EQ(hours, 5);  // 2 declared, 0 for the night's morning, 3 verified
}

TEST_F(JBDb, AVerifiedRequestWithoutReadableTimesFailsAfterFindingIt) {
  Add({1, "0001", "2003-05-01", "late", "2003-05-01", "21:00", 0, 1});
  bool has = false;
  float hours = 1;
  EXPECT_EQ(rec_.HasTheHoliday("2003-05-01", 8, "0001", has, hours, "by value"), RES_ERROR);
  EXPECT_TRUE(has);
  EXPECT_FLOAT_EQ(hours, 1);
  EXPECT_EQ(rec_.LastError().number, errnum::kRuntimeTypeMismatch);

  // A sum that is no finite number is refused, not handed back.
  conn_->Execute("delete from T_JB");
  Add({1, "0001", "2003-05-01", "", "", "", 2, 0});
  for (float entry : {std::numeric_limits<float>::infinity(), std::nanf("")}) {
    hours = entry;
    EXPECT_EQ(rec_.HasTheHoliday("2003-05-01", 8, "0001", has, hours), RES_ERROR);
    EXPECT_EQ(rec_.LastError().number, errnum::kOverflow);
  }
  // Without a connection nothing is found and nothing thrown.
  clsJB lone;
  has = true;
  hours = 2;
  EXPECT_EQ(lone.HasTheHoliday("2003-05-01", 8, "0001", has, hours), RES_ERROR);
  EXPECT_FALSE(has);
  EXPECT_FLOAT_EQ(hours, 2);
}

TEST_F(JBDb, ListingMarksVerifiedRequestsInTheFifthCell) {
  conn_->Execute("insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '张三', 'Sales')");
  Add({1, "0001", "2003-05-01", "18:00", "2003-05-01", "", 2, 0});
  Add({2, "0001", "2003-05-02", "18:00", "2003-05-03", "21:00", 0, -1});
  conn_->Execute("insert into T_JB (F_ID, F_EmpID) values (3, '0009')");
  int32_t rows = 1;
  EXPECT_EQ(Visible(rec_.ExeSearch("1=1 ORDER BY F_ID", rows)),
            "0001\\t张三\\t2003-05-01\\t18:00\\t否\\t2003-05-01\\t\\t2\\tR\\tA\\tSales\\t1\\r"
            "0001\\t张三\\t2003-05-02\\t18:00\\t是\\t2003-05-03\\t21:00\\t0\\tR\\tA\\tSales\\t2\\r"
            "0009\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t\\t3\\r");
  EXPECT_EQ(rows, 4);
}

TEST_F(JBDb, NextIdentifierIsOneMoreThanTheLargest) {
  Add({41, "0001", "2003-05-01", "", "", "", 1, 0});
  int32_t next = 0;
  EXPECT_EQ(rec_.GetMaxID(next, err_), RES_OK);
  EXPECT_EQ(next, 42);
}

}  // namespace
}  // namespace tessaly
