// The four leave classes: one set of cases run on each of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestDb.h"
#include "tessaly/leave/clsBJ.h"
#include "tessaly/leave/clsCC.h"
#include "tessaly/leave/clsSJ.h"
#include "tessaly/leave/clsXJ.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

// What differs between the four classes: their names.
struct Names {
  const char* table;
  const char* query;
  int32_t normal;  // the enumeration's N0RMAL
  int32_t tally;   // and UPDTJ
};
template <class T>
constexpr Names kNames = {};
template <>
constexpr Names kNames<clsCC> = {"T_CC", "Q_CC", CC_N0RMAL, CC_UPDTJ};
template <>
constexpr Names kNames<clsSJ> = {"T_SJ", "Q_SJ", SJ_N0RMAL, SJ_UPDTJ};
template <>
constexpr Names kNames<clsXJ> = {"T_XJ", "Q_XJ", XJ_N0RMAL, XJ_UPDTJ};
template <>
constexpr Names kNames<clsBJ> = {"T_BJ", "Q_BJ", BJ_N0RMAL, BJ_UPDTJ};

static_assert(CC_N0RMAL == 1 && CC_UPDTJ == 2 && SJ_N0RMAL == 1 && SJ_UPDTJ == 2 &&
              XJ_N0RMAL == 1 && XJ_UPDTJ == 2 && BJ_N0RMAL == 1 && BJ_UPDTJ == 2);

// The statement texts below are written for clsCC; the other classes send the
// same texts with their own table and query names.
template <class T>
std::string For(std::string text) {
  for (auto [from, to] : {std::pair{"T_CC", kNames<T>.table}, {"Q_CC", kNames<T>.query}}) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + 4)) {
      text.replace(at, 4, to);
    }
  }
  return Visible(text);
}

template <class T>
void Fill(T& r, int32_t id, const std::string& emp, const std::string& from,
          const std::string& to, int16_t hours) {
  r.FID(id);
  r.FEmpID(emp);
  r.FDateFr(from);
  r.FTimeFr("08:00");
  r.FDateTo(to);
  r.FTimeTo("17:00");
  r.FReason("R");
  r.FRatify("A");
  r.FHour(hours);
}

template <class T>
class LeaveFamily : public testing::RecordDb<T> {
 protected:
  void AddRequest(int32_t id, const std::string& emp, const std::string& from,
                  const std::string& to, int16_t hours) {
    T r;
    r.HConnect(this->conn_);
    Fill(r, id, emp, from, to, hours);
    std::string err;
    ASSERT_EQ(r.Add(err), RES_ADDOK) << err;
  }
  std::string Table() const { return kNames<T>.table; }
};

using LeaveClasses = ::testing::Types<clsCC, clsSJ, clsXJ, clsBJ>;
TYPED_TEST_SUITE(LeaveFamily, LeaveClasses);

// A request is searched in its saved query and written to its table; the
// day's hours and the listing are the family's own texts.
TYPED_TEST(LeaveFamily, SearchReadsTheQueryAndQuestionsKeepTheirTexts) {
  std::vector<std::string> sent;
  this->conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  TypeParam& r = this->rec_;
  std::string& err = this->err_;
  Fill(r, 5, "0001", "2003-05-01", "2003-05-03", 8);
  ASSERT_EQ(r.Add(err), RES_ADDOK) << err;
  ASSERT_EQ(r.DoSearch(err), RES_FOUND) << err;
  bool has = false;
  int16_t hours = 0;
  ASSERT_EQ(r.HasTheHoliday("2003-05-02", "0001", has, hours), RES_OK);
  int32_t rows = 0;
  r.ExeSearch("F_EmpID='0001' ORDER BY F_DateFr", rows);
  const std::vector<std::string> expected = {
      For<TypeParam>("SELECT  *  FROM Q_CC\rWHERE  F_ID=5"),
      For<TypeParam>("select sum(F_Hour) as F_HourSum  from T_CC where  F_EmpID='0001' and  "
                     "F_DateFr<='2003-05-02' and F_DateTo>='2003-05-02'"),
      For<TypeParam>("select *  from Q_CC where F_EmpID='0001' ORDER BY F_DateFr"),
  };
  EXPECT_EQ(std::vector<std::string>(sent.begin() + 1, sent.end()), expected);
}

// A row with the employee the saved query joins, and one without it whose
// columns are Null.
TYPED_TEST(LeaveFamily, SearchLoadsFromTheSavedQueryNullsAsEmptyAndZero) {
  this->conn_->Execute(
      "insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '  张三 ', ' Sales  ')");
  this->AddRequest(5, "0001", "2003-05-01", "2003-05-03", 8);
  this->conn_->Execute("insert into " + this->Table() + " (F_ID) values (7)");
  TypeParam& r = this->rec_;
  r.FID(5);
  ASSERT_EQ(r.DoSearch(this->err_, kNames<TypeParam>.normal), RES_FOUND) << this->err_;
  EXPECT_EQ(r.FEmpName() + "|" + r.FDept() + "|" + r.FEmpID() + "|" + r.FDateFr() + "|" +
                r.FTimeFr() + "|" + r.FDateTo() + "|" + r.FTimeTo() + "|" + r.FReason() + "|" +
                r.FRatify(),
            "张三|Sales|0001|2003-05-01|08:00|2003-05-03|17:00|R|A");
  EXPECT_EQ(r.FHour(), 8);
  EXPECT_EQ(r.FIsTJ(), 0);  // never inserted: the column's default
  r.FID(7);
  r.FHour(5);
  ASSERT_EQ(r.DoSearch(this->err_), RES_FOUND);
  EXPECT_EQ(r.FEmpName() + r.FDept() + r.FEmpID() + r.FDateFr() + r.FRatify(), "");
  EXPECT_EQ(r.FHour(), 0);
}

TYPED_TEST(LeaveFamily, UpdateRewritesTheRequestOrOnlyTheFlagAndSearchAllWalksById) {
  for (int32_t id : {5, 3}) this->AddRequest(id, "0001", "2003-05-01", "2003-05-03", 8);
  TypeParam& r = this->rec_;
  const std::string row = "select F_EmpID & '/' & F_DateTo & '/' & F_Reason & '/' & F_Hour & "
                          "'/' & F_IsTJ from " + this->Table() + " where F_ID=5";
  Fill(r, 5, "0002", "2003-05-01", "2003-05-09", 4);
  r.FReason("changed");
  r.FIsTJ(1);
  EXPECT_EQ(r.Update(this->err_, kNames<TypeParam>.tally), RES_UPDOK) << this->err_;
  EXPECT_EQ(Scalar(this->conn_, row), "0001/2003-05-03/R/8/1");
  r.FIsTJ(0);
  EXPECT_EQ(r.Update(this->err_, kNames<TypeParam>.normal), RES_UPDOK) << this->err_;
  EXPECT_EQ(Scalar(this->conn_, row), "0002/2003-05-09/changed/4/1");
}

// The worked examples: a request from 2003-05-01 to 2003-05-03 counting 8
// hours a day, asked date by date; overlapping requests of one employee.
TYPED_TEST(LeaveFamily, HoursAddUpOverTheRequestsCoveringTheDate) {
  this->AddRequest(1, "0001", "2003-05-01", "2003-05-03", 8);
  this->AddRequest(2, "0002", "2003-04-28", "2003-05-02", 4);
  this->AddRequest(3, "0002", "2003-05-02", "2003-05-02", 3);
  this->AddRequest(4, "0003", "2003-05-02", "2003-05-02", 0);
  this->AddRequest(5, "O'Brien", "2003-05-02", "2003-05-02", 6);
  struct Case {
    const char* date;
    const char* emp;
    bool has;
    int16_t hours;  // -1: left as it was
  };
  const Case cases[] = {
      {"2003-04-30", "0001", false, -1}, {"2003-05-01", "0001", true, 8},
      {"2003-05-03", "0001", true, 8},   {"2003-05-04", "0001", false, -1},
      {"2003-05-02", "0002", true, 7},
      {"2003-05-02", "0003", true, 0},   {"2003-05-02", "", false, -1},
      {"2003-05-02", "O'Brien", true, 6}, {"2003-05-02", "x' or '1'='1", false, -1},
      {"2003-06-01' or '1'='1", "0001", false, -1},
  };
  for (const Case& c : cases) {
    bool has = !c.has;
    int16_t hours = -1;
    EXPECT_EQ(this->rec_.HasTheHoliday(c.date, c.emp, has, hours), RES_OK) << c.date << c.emp;
    EXPECT_EQ(has, c.has) << c.date << " " << c.emp;
    EXPECT_EQ(hours, c.hours) << c.date << " " << c.emp;
  }
  // A sum beyond 16 bits fails after the requests were found.
  this->AddRequest(6, "0003", "2003-05-02", "2003-05-02", 20000);
  this->AddRequest(7, "0003", "2003-05-02", "2003-05-02", 20000);
  bool has = false;
  int16_t hours = 7;
  EXPECT_EQ(this->rec_.HasTheHoliday("2003-05-02", "0003", has, hours, "by value"), RES_ERROR);
  EXPECT_TRUE(has);
  EXPECT_EQ(hours, 7);
  EXPECT_EQ(this->rec_.LastError().number, errnum::kOverflow);
}

TYPED_TEST(LeaveFamily, ListingShowsElevenCellsCountingOnFromTheCallersValue) {
  this->conn_->Execute("insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '张三', 'Sales')");
  this->AddRequest(2, "0001", "2003-05-07", "2003-05-08", 4);
  this->AddRequest(1, "0001", "2003-05-01", "2003-05-03", 8);
  this->AddRequest(3, "0002", "2003-05-01", "2003-05-01", 2);
  int32_t rows = 5;
  EXPECT_EQ(Visible(this->rec_.ExeSearch("F_EmpID='0001' ORDER BY F_DateFr", rows)),
            "0001\\t张三\\t2003-05-01\\t08:00\\t2003-05-03\\t17:00\\t8\\tR\\tA\\tSales\\t1\\r"
            "0001\\t张三\\t2003-05-07\\t08:00\\t2003-05-08\\t17:00\\t4\\tR\\tA\\tSales\\t2\\r");
  EXPECT_EQ(rows, 7);
  // A null appends nothing: the employee the employee table lacks.
  EXPECT_EQ(Visible(this->rec_.ExeSearch("F_ID=3", rows)),
            "0002\\t\\t2003-05-01\\t08:00\\t2003-05-01\\t17:00\\t2\\tR\\tA\\t\\t3\\r");
  EXPECT_EQ(rows, 8);
}

}  // namespace
}  // namespace tessaly
