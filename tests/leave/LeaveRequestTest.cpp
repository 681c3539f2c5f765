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
template <class T>
struct Names;
template <>
struct Names<clsCC> {
  static constexpr const char* kTable = "T_CC";
  static constexpr const char* kQuery = "Q_CC";
  static constexpr int32_t kNormal = CC_N0RMAL;
  static constexpr int32_t kTally = CC_UPDTJ;
};
template <>
struct Names<clsSJ> {
  static constexpr const char* kTable = "T_SJ";
  static constexpr const char* kQuery = "Q_SJ";
  static constexpr int32_t kNormal = SJ_N0RMAL;
  static constexpr int32_t kTally = SJ_UPDTJ;
};
template <>
struct Names<clsXJ> {
  static constexpr const char* kTable = "T_XJ";
  static constexpr const char* kQuery = "Q_XJ";
  static constexpr int32_t kNormal = XJ_N0RMAL;
  static constexpr int32_t kTally = XJ_UPDTJ;
};
template <>
struct Names<clsBJ> {
  static constexpr const char* kTable = "T_BJ";
  static constexpr const char* kQuery = "Q_BJ";
  static constexpr int32_t kNormal = BJ_N0RMAL;
  static constexpr int32_t kTally = BJ_UPDTJ;
};

static_assert(CC_N0RMAL == 1 && CC_UPDTJ == 2 && SJ_N0RMAL == 1 && SJ_UPDTJ == 2 &&
              XJ_N0RMAL == 1 && XJ_UPDTJ == 2 && BJ_N0RMAL == 1 && BJ_UPDTJ == 2);

// The statement texts below are written for clsCC; the other classes send the
// same texts with their own table and query names.
template <class T>
std::string For(std::string text) {
  for (auto [from, to] : {std::pair{"T_CC", Names<T>::kTable}, {"Q_CC", Names<T>::kQuery}}) {
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
class LeaveFamily : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    r_.HConnect(conn_);
  }
  void AddRequest(int32_t id, const std::string& emp, const std::string& from,
                  const std::string& to, int16_t hours) {
    T r;
    r.HConnect(conn_);
    Fill(r, id, emp, from, to, hours);
    std::string err;
    ASSERT_EQ(r.Add(err), RES_ADDOK) << err;
  }
  std::string Table() const { return Names<T>::kTable; }

  std::shared_ptr<db::Connection> conn_;
  T r_;
  std::string err_;
};

using LeaveClasses = ::testing::Types<clsCC, clsSJ, clsXJ, clsBJ>;
TYPED_TEST_SUITE(LeaveFamily, LeaveClasses);

TYPED_TEST(LeaveFamily, BuildersWriteEveryModeByteForByte) {
  TypeParam r;
  Fill(r, 5, "0001", "2003-05-01", "2003-05-03", 8);
  r.FIsTJ(1);
  EXPECT_EQ(r.GetValueFields(),
            "F_ID,F_EmpID,F_DateFr,F_TimeFr,F_DateTo,F_TimeTo,F_Reason,F_Ratify,F_Hour ");
  EXPECT_EQ(Visible(r.GetValuesString()),
            "5\\r,'0001'\\r,'2003-05-01'\\r,'08:00'\\r,'2003-05-03'\\r,'17:00'\\r,'R'\\r,'A'\\r,8\\r");
  const std::string plain =
      "F_EmpID='0001'\\r,F_DateFr='2003-05-01'\\r,F_TimeFr='08:00'\\r,F_DateTo='2003-05-03'\\r,"
      "F_TimeTo='17:00'\\r,F_Reason='R'\\r,F_Ratify='A'\\r,F_Hour=8\\r";
  EXPECT_EQ(Visible(r.GetBodyString(Names<TypeParam>::kTally)), "F_IsTJ=1\\r");
  // Every mode but 2 takes the plain form, N0RMAL included.
  for (int32_t mode : {Names<TypeParam>::kNormal, 0, -1, 3, 99}) {
    EXPECT_EQ(Visible(r.GetBodyString(mode)), plain) << mode;
  }
  EXPECT_EQ(r.GetWhereString(-1), " 1=1 ORDER BY F_ID ");
  for (int32_t mode : {Names<TypeParam>::kNormal, Names<TypeParam>::kTally, 0, 3, -2}) {
    EXPECT_EQ(r.GetWhereString(mode), " F_ID=5") << mode;
  }
  EXPECT_EQ(r.GetSelString(-1), " * ");
}

TYPED_TEST(LeaveFamily, OperationsSendTheirStatementsByteForByte) {
  std::vector<std::string> sent;
  this->conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  TypeParam& r = this->r_;
  std::string& err = this->err_;
  Fill(r, 5, "0001", "2003-05-01", "2003-05-03", 8);
  ASSERT_EQ(r.Add(err), RES_ADDOK) << err;
  ASSERT_EQ(r.DoSearch(err), RES_FOUND) << err;
  r.FIsTJ(1);
  ASSERT_EQ(r.Update(err, Names<TypeParam>::kTally), RES_UPDOK) << err;
  ASSERT_EQ(r.Delete(err), RES_DELOK) << err;
  int32_t next = 0;
  ASSERT_EQ(r.GetMaxID(next, err), RES_OK);
  bool has = false;
  int16_t hours = 0;
  ASSERT_EQ(r.HasTheHoliday("2003-05-02", "0001", has, hours), RES_OK);
  int32_t rows = 0;
  r.ExeSearch("F_EmpID='0001' ORDER BY F_DateFr", rows);
  const std::vector<std::string> expected = {
      For<TypeParam>("INSERT INTO T_CC\r(F_ID,F_EmpID,F_DateFr,F_TimeFr,F_DateTo,F_TimeTo,"
                     "F_Reason,F_Ratify,F_Hour \r)\rVALUES(\r5\r,'0001'\r,'2003-05-01'\r,"
                     "'08:00'\r,'2003-05-03'\r,'17:00'\r,'R'\r,'A'\r,8\r)"),
      For<TypeParam>("SELECT  *  FROM Q_CC\rWHERE  F_ID=5"),
      For<TypeParam>("SELECT COUNT(*) AS C\rFROM T_CC\rWHERE  F_ID=5"),
      For<TypeParam>("UPDATE T_CC\rSET\rF_IsTJ=1\rWHERE  F_ID=5"),
      For<TypeParam>("SELECT COUNT(*) AS C\rFROM T_CC\rWHERE  F_ID=5"),
      For<TypeParam>("DELETE FROM T_CC\rWHERE  F_ID=5"),
      For<TypeParam>("select max(F_ID) as F_MaxID from T_CC"),
      For<TypeParam>("select sum(F_Hour) as F_HourSum  from T_CC where  F_EmpID='0001' and  "
                     "F_DateFr<='2003-05-02' and F_DateTo>='2003-05-02'"),
      For<TypeParam>("select *  from Q_CC where F_EmpID='0001' ORDER BY F_DateFr"),
  };
  EXPECT_EQ(sent, expected);
}

TYPED_TEST(LeaveFamily, SearchLoadsTheRequestWithTheEmployeeFromTheSavedQuery) {
  this->conn_->Execute(
      "insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '  张三 ', ' Sales  ')");
  this->AddRequest(5, "0001", "2003-05-01", "2003-05-03", 8);
  TypeParam& r = this->r_;
  r.FID(5);
  ASSERT_EQ(r.DoSearch(this->err_, Names<TypeParam>::kNormal), RES_FOUND) << this->err_;
  EXPECT_EQ(r.FEmpName(), "张三");
  EXPECT_EQ(r.FDept(), "Sales");
  EXPECT_EQ(r.FEmpID(), "0001");
  EXPECT_EQ(r.FDateFr(), "2003-05-01");
  EXPECT_EQ(r.FTimeFr(), "08:00");
  EXPECT_EQ(r.FDateTo(), "2003-05-03");
  EXPECT_EQ(r.FTimeTo(), "17:00");
  EXPECT_EQ(r.FReason(), "R");
  EXPECT_EQ(r.FRatify(), "A");
  EXPECT_EQ(r.FHour(), 8);
  EXPECT_EQ(r.FIsTJ(), 0);  // never inserted: the column's default

  // A request of an employee the employee table does not know: no name.
  this->AddRequest(6, "0002", "2003-05-01", "2003-05-01", 4);
  r.FID(6);
  ASSERT_EQ(r.DoSearch(this->err_), RES_FOUND);
  EXPECT_EQ(r.FEmpName(), "");
  EXPECT_EQ(r.FDept(), "");
  EXPECT_EQ(r.FHour(), 4);
}

TYPED_TEST(LeaveFamily, UpdateRewritesTheRequestOrOnlyTheTallyFlag) {
  this->AddRequest(5, "0001", "2003-05-01", "2003-05-03", 8);
  TypeParam& r = this->r_;
  const std::string row =
      "select F_EmpID & '/' & F_DateTo & '/' & F_Reason & '/' & F_Hour & '/' & F_IsTJ from " +
      this->Table();
  Fill(r, 5, "0002", "2003-05-01", "2003-05-09", 4);
  r.FReason("changed");
  r.FIsTJ(1);
  EXPECT_EQ(r.Update(this->err_, Names<TypeParam>::kTally), RES_UPDOK) << this->err_;
  EXPECT_EQ(Scalar(this->conn_, row), "0001/2003-05-03/R/8/1");
  r.FIsTJ(0);
  EXPECT_EQ(r.Update(this->err_, Names<TypeParam>::kNormal), RES_UPDOK) << this->err_;
  EXPECT_EQ(Scalar(this->conn_, row), "0002/2003-05-09/changed/4/1");
  r.FID(6);
  EXPECT_EQ(r.Update(this->err_), RES_UPDNOTFOUND);
  EXPECT_EQ(r.Delete(this->err_), RES_DELNOTFOUND);
  r.FID(5);
  EXPECT_EQ(r.Delete(this->err_), RES_DELOK);
  EXPECT_EQ(Scalar(this->conn_, "select count(*) from " + this->Table()), "0");
  EXPECT_EQ(this->err_, "");
}

TYPED_TEST(LeaveFamily, ListingAllWalksByIdentifierAndNoMatchKeepsTheProperties) {
  TypeParam& r = this->r_;
  r.FEmpID("keep");
  EXPECT_EQ(r.DoSearch(this->err_, -1), RES_NOTFOUND);
  EXPECT_EQ(r.FEmpID(), "keep");
  for (int32_t id : {3, 1, 2}) this->AddRequest(id, "000" + std::to_string(id), "2003-05-01",
                                                "2003-05-01", 8);
  ASSERT_EQ(r.DoSearch(this->err_, -1), RES_FOUND);
  std::string seen = r.FEmpID();
  while (r.MoveNext()) seen += "," + r.FEmpID();
  EXPECT_EQ(seen, "0001,0002,0003");
  EXPECT_EQ(r.HRecordCount(), 3);
  r.FID(9);
  EXPECT_EQ(r.DoSearch(this->err_), RES_NOTFOUND);
  EXPECT_EQ(r.FEmpID(), "0003");
}

// The worked example: a request from 2003-05-01 to 2003-05-03 counting 8
// hours a day, asked date by date.
TYPED_TEST(LeaveFamily, HoursCoverEveryDateOfTheRangeBothEndsIncluded) {
  this->AddRequest(1, "0001", "2003-05-01", "2003-05-03", 8);
  struct Case {
    const char* date;
    bool has;
    int16_t hours;
  };
  const Case cases[] = {
      {"2003-04-30", false, 99}, {"2003-05-01", true, 8}, {"2003-05-02", true, 8},
      {"2003-05-03", true, 8},   {"2003-05-04", false, 99},
  };
  for (const Case& c : cases) {
    bool has = !c.has;
    int16_t hours = 99;
    EXPECT_EQ(this->r_.HasTheHoliday(c.date, "0001", has, hours), RES_OK) << c.date;
    EXPECT_EQ(has, c.has) << c.date;
    EXPECT_EQ(hours, c.hours) << c.date;
  }
}

TYPED_TEST(LeaveFamily, OverlappingRequestsOfOneEmployeeAddUp) {
  this->AddRequest(1, "0001", "2003-04-28", "2003-05-02", 4);
  this->AddRequest(2, "0001", "2003-05-02", "2003-05-02", 3);
  this->AddRequest(3, "0002", "2003-05-01", "2003-05-05", 5);  // another employee
  this->AddRequest(4, "0003", "2003-05-02", "2003-05-02", 0);
  struct Case {
    const char* date;
    const char* emp;
    bool has;
    int16_t hours;
  };
  const Case cases[] = {
      {"2003-05-02", "0001", true, 7},  {"2003-04-30", "0001", true, 4},
      {"2003-05-03", "0001", false, -1}, {"2003-05-02", "0002", true, 5},
      {"2003-05-02", "0003", true, 0},   {"2003-05-02", "", false, -1},
  };
  for (const Case& c : cases) {
    bool has = false;
    int16_t hours = -1;
    EXPECT_EQ(this->r_.HasTheHoliday(c.date, c.emp, has, hours), RES_OK) << c.date << c.emp;
    EXPECT_EQ(has, c.has) << c.date << c.emp;
    EXPECT_EQ(hours, c.hours) << c.date << c.emp;
  }
}

TYPED_TEST(LeaveFamily, ASumBeyondSixteenBitsFailsAfterFindingTheRequests) {
  this->AddRequest(1, "0001", "2003-05-01", "2003-05-01", 20000);
  this->AddRequest(2, "0001", "2003-05-01", "2003-05-01", 20000);
  bool has = false;
  int16_t hours = 7;
  EXPECT_EQ(this->r_.HasTheHoliday("2003-05-01", "0001", has, hours, "by value"), RES_ERROR);
  EXPECT_TRUE(has);
  EXPECT_EQ(hours, 7);
  EXPECT_EQ(this->r_.LastError().number, errnum::kOverflow);
}

TYPED_TEST(LeaveFamily, ListingShowsElevenCellsAndCountsOnFromTheCallersValue) {
  this->conn_->Execute("insert into T_Emp (F_EmpID, F_Name, F_Dept) values ('0001', '张三', 'Sales')");
  this->AddRequest(2, "0001", "2003-05-07", "2003-05-08", 4);
  this->AddRequest(1, "0001", "2003-05-01", "2003-05-03", 8);
  this->AddRequest(3, "0002", "2003-05-01", "2003-05-01", 2);
  int32_t rows = 5;
  const std::string text = this->r_.ExeSearch("F_EmpID='0001' ORDER BY F_DateFr", rows);
  EXPECT_EQ(Visible(text),
            "0001\\t张三\\t2003-05-01\\t08:00\\t2003-05-03\\t17:00\\t8\\tR\\tA\\tSales\\t1\\r"
            "0001\\t张三\\t2003-05-07\\t08:00\\t2003-05-08\\t17:00\\t4\\tR\\tA\\tSales\\t2\\r");
  EXPECT_EQ(rows, 7);
  // A null appends nothing: the employee the employee table lacks.
  EXPECT_EQ(Visible(this->r_.ExeSearch("F_ID=3", rows)),
            "0002\\t\\t2003-05-01\\t08:00\\t2003-05-01\\t17:00\\t2\\tR\\tA\\t\\t3\\r");
  EXPECT_EQ(rows, 8);
  EXPECT_EQ(this->r_.ExeSearch("F_EmpID='nobody'", rows), "");
  EXPECT_EQ(rows, 8);
  // A malformed condition: empty text, the count kept, the error kept aside.
  EXPECT_EQ(this->r_.ExeSearch("F_EmpID='0001' and (", rows, "by value"), "");
  EXPECT_EQ(rows, 8);
  EXPECT_NE(this->r_.LastError().number, 0);
}

TYPED_TEST(LeaveFamily, NextIdentifierIsOneMoreThanTheLargest) {
  int32_t next = -5;
  std::string msg = "untouched";
  EXPECT_EQ(this->r_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 1);
  for (int32_t id : {1, 2, 7}) this->AddRequest(id, "0001", "2003-05-01", "2003-05-01", 8);
  EXPECT_EQ(this->r_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 8);
  EXPECT_EQ(msg, "untouched");
  this->AddRequest(2147483647, "0001", "2003-05-01", "2003-05-01", 8);
  try {
    this->r_.GetMaxID(next, msg);
    ADD_FAILURE() << "no overflow";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), errnum::kOverflow);
  }
}

TYPED_TEST(LeaveFamily, FieldDescriptorsAreTenEntries) {
  std::vector<SQLField> fields(2, SQLField{"stale", "stale", 9});
  ASSERT_TRUE(this->r_.GetSQLField(fields));
  const std::vector<SQLField> expected = {
      {"F_EmpID", "员工编号", 1}, {"F_EmpName", "员工姓名", 1},
      {"F_Dept", "部门", 5},      {"F_DateFr", "起始日期", 2},
      {"F_TimeFr", "起始时间", 1}, {"F_DateTo", "结束日期", 2},
      {"F_TimeTo", "结束时间", 1}, {"F_Reason", "事由", 1},
      {"F_Ratify", "批准人", 6},   {"F_Hour", "每天统计小时数", 3},
  };
  EXPECT_EQ(fields, expected);
}

TYPED_TEST(LeaveFamily, TypedValuesKeepTheirWidthAndTheirApostrophes) {
  TypeParam& r = this->r_;
  r.FEmpID("O'Brien-12345");
  EXPECT_EQ(r.FEmpID(), "O'Brien-12");
  r.FReason(std::string(30, 'x') + "张三李四王五赵六钱七孙八周九吴十郑冯陈褚卫蒋沈韩");  // 54
  EXPECT_EQ(r.FReason(), std::string(30, 'x') + "张三李四王五赵六钱七孙八周九吴十郑冯陈褚");
  r.FRatify("王'五" + std::string(30, 'y'));
  EXPECT_EQ(r.FRatify(), "王'五" + std::string(17, 'y'));
  const std::string long_date(500, '9');
  r.FDateFr(long_date);
  EXPECT_EQ(r.FDateFr(), long_date);  // no width: kept whole

  // Apostrophes are doubled, so a value stays one value and round-trips.
  Fill(r, 5, "O'Brien", "2003-05-01", "2003-05-01", 8);
  r.FReason("it's ' or 1=1 --");
  r.FRatify("");
  EXPECT_EQ(Visible(r.GetValuesString()),
            "5\\r,'O''Brien'\\r,'2003-05-01'\\r,'08:00'\\r,'2003-05-01'\\r,'17:00'\\r,"
            "'it''s '' or 1=1 --'\\r,''\\r,8\\r");
  ASSERT_EQ(r.Add(this->err_), RES_ADDOK) << this->err_;
  this->AddRequest(6, "0001", "2003-05-01", "2003-05-01", 3);
  r.FReason("");
  ASSERT_EQ(r.DoSearch(this->err_), RES_FOUND);
  EXPECT_EQ(r.FReason(), "it's ' or 1=1 --");
  EXPECT_EQ(r.FRatify(), "");
  bool has = false;
  int16_t hours = 0;
  EXPECT_EQ(r.HasTheHoliday("2003-05-01", "O'Brien", has, hours), RES_OK);
  EXPECT_EQ(hours, 8);  // the other employee's 3 hours do not leak in
  hours = 0;
  EXPECT_EQ(r.HasTheHoliday("2003-05-01", "x' or '1'='1", has, hours), RES_OK);
  EXPECT_FALSE(has);
  EXPECT_EQ(r.HasTheHoliday("2003-05-01' or '1'='1", "0001", has, hours), RES_OK);
  EXPECT_FALSE(has);
}

TYPED_TEST(LeaveFamily, NullColumnsLoadAsEmptyTextsAndZerosAndATableRowCannotLoad) {
  this->conn_->Execute("insert into " + this->Table() + " (F_ID) values (4)");
  TypeParam& r = this->r_;
  r.FDateFr("stale");
  r.FHour(5);
  r.FIsTJ(5);
  ASSERT_EQ(r.DoSearch(this->err_, -1), RES_FOUND);
  EXPECT_EQ(r.FID(), 4);
  EXPECT_EQ(r.FDateFr(), "");
  EXPECT_EQ(r.FHour(), 0);
  EXPECT_EQ(r.FIsTJ(), 0);

  // The name and department come only from the saved query: a recordset on
  // the table loads the columns before them, then fails.
  this->AddRequest(5, "0005", "2003-05-01", "2003-05-01", 8);
  auto rs = std::make_shared<db::Recordset>();
  rs->Open("select * from " + this->Table() + " where F_ID=5", this->conn_, db::adOpenKeyset,
           db::adLockReadOnly);
  r.HRecordset(rs);
  std::string err;
  EXPECT_EQ(r.LoadFieldValue(err), RES_ERROR);
  EXPECT_EQ(err, RuntimeErrorDescription(errnum::kItemNotFound));
  EXPECT_EQ(r.FEmpID(), "0005");
  EXPECT_EQ(r.FHour(), 8);
}

TEST(LeaveKinds, EachKindAnswersFromItsOwnTable) {
  auto conn = testing::AttendanceDb();
  clsSJ sj;
  sj.HConnect(conn);
  Fill(sj, 1, "0001", "2003-05-01", "2003-05-01", 4);
  std::string err;
  ASSERT_EQ(sj.Add(err), RES_ADDOK) << err;
  clsCC cc;
  cc.HConnect(conn);
  bool has = true;
  int16_t hours = 0;
  EXPECT_EQ(cc.HasTheHoliday("2003-05-01", "0001", has, hours), RES_OK);
  EXPECT_FALSE(has);
  EXPECT_EQ(sj.HasTheHoliday("2003-05-01", "0001", has, hours), RES_OK);
  EXPECT_TRUE(has);
  EXPECT_EQ(hours, 4);
  EXPECT_EQ(Scalar(conn, "select count(*) from T_SJ"), "1");
  EXPECT_EQ(Scalar(conn, "select count(*) from T_CC"), "0");
}

TEST(LeaveWithoutConnection, EveryTrappedMemberFailsWithoutThrowing) {
  clsXJ xj;
  std::string err;
  EXPECT_EQ(xj.Add(err), RES_ADDERR);
  EXPECT_EQ(xj.DoSearch(err, -1), RES_SEARCHERR);
  EXPECT_EQ(xj.Update(err, XJ_UPDTJ), RES_UPDERR);
  EXPECT_EQ(xj.Delete(err), RES_DELERR);
  bool has = true;
  int16_t hours = 3;
  EXPECT_EQ(xj.HasTheHoliday("2003-05-01", "0001", has, hours), RES_ERROR);
  EXPECT_FALSE(has);
  EXPECT_EQ(hours, 3);
  int32_t rows = 2;
  EXPECT_EQ(xj.ExeSearch("1=1", rows), "");
  EXPECT_EQ(rows, 2);
  int32_t next = 0;
  EXPECT_THROW(xj.GetMaxID(next, err), Error);
}

}  // namespace
}  // namespace tessaly
