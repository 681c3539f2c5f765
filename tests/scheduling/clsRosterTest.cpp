// The rosters: capitalised columns, a 32-bit FKey, the next roster number
// and the roster list over the four-table join.
#include "tessaly/scheduling/clsRoster.h"

#include <gtest/gtest.h>


#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Visible;

void FillRoster(clsRoster& r) {
  r.FRoster_Num(7);
  r.FFscl_Month("2003-05");
  r.FRost_Type("2");
  r.FDept_ID(3);
  r.FEmp_ID("0001");
  r.FRost_Code(4);
  r.FMon_Work_Hours(-176);
  r.FD1("早");
  r.FD31("晚");
}

class clsRosterDb : public testing::RecordDb<clsRoster> {
 protected:
  void AddRoster(int32_t num, const std::string& type, int16_t dept, const std::string& emp,
                 int16_t code) {
    clsRoster r;
    r.HConnect(conn_);
    FillRoster(r);
    r.FRoster_Num(num);
    r.FRost_Type(type);
    r.FDept_ID(dept);
    r.FEmp_ID(emp);
    r.FRost_Code(code);
    ASSERT_EQ(r.Add(err_), RES_ADDOK) << err_;
  }
};

// A load stops at the first column it cannot take: a Null DEPT_ID leaves the
// properties after it as they were.
TEST_F(clsRosterDb, ANullDepartmentFailsTheLoadLeavingLaterPropertiesUntouched) {
  conn_->Execute(
      "insert into T_Roster (ROSTER_NUM, FSCL_MONTH, ROST_TYPE, EMP_ID, ROST_CODE, "
      "MON_WORK_HOURS, F_D1) values (9, '2003-07', '4', '0002', 5, 160, 'x')");
  FillRoster(rec_);
  rec_.FKey(9);
  EXPECT_EQ(rec_.DoSearch(err_, 0), RES_FOUND);
  EXPECT_EQ(err_, "Invalid use of Null");
  EXPECT_EQ(rec_.FFscl_Month() + "/" + rec_.FRost_Type(), "2003-07/4");
  EXPECT_EQ(rec_.FDept_ID(), 3);
  EXPECT_EQ(rec_.FEmp_ID() + "/" + rec_.FD31(), "0001/晚");
}

TEST_F(clsRosterDb, GetMaxIDAnswersTheNextRosterNumber) {
  int32_t next = 0;
  std::string msg = "untouched";
  for (int32_t num : {1, 2, 5}) AddRoster(num, "1", 3, "0001", 4);
  ASSERT_EQ(rec_.GetMaxID(next, msg), RES_OK);
  EXPECT_EQ(next, 6);
  EXPECT_EQ(msg, "untouched");

  testing::Sent sent(conn_);
  rec_.GetMaxID(next, msg);
  EXPECT_EQ(sent.last(), "select max(ROSTER_NUM) as F_MaxID from T_Roster");
}

class clsRosterList : public clsRosterDb {
 protected:
  void SetUp() override {
    clsRosterDb::SetUp();
    conn_->Execute("insert into T_Emp (F_EmpID, F_Name) values ('0001', '张三')");
    conn_->Execute("insert into T_Dept (F_ID, F_Name) values (3, '销售部')");
    conn_->Execute("insert into T_RostCode (F_ID, F_Name) values (4, '早晚班')");
  }
  // The listing's lines, each split at its tabs; the text ends with its last
  // line's carriage return.
  static std::vector<std::vector<std::string>> Lines(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::vector<std::string> fields(1);
    for (const char c : text) {
      if (c == '\t') {
        fields.emplace_back();
      } else if (c == '\r') {
        lines.push_back(std::move(fields));
        fields.assign(1, "");
      } else {
        fields.back() += c;
      }
    }
    EXPECT_EQ(fields, std::vector<std::string>(1)) << "text after the last line";
    return lines;
  }
};

TEST_F(clsRosterList, ExeSearchSendsTheJoinByteForByte) {
  testing::Sent sent(conn_);
  int32_t rows = 0;
  EXPECT_EQ(rec_.ExeSearch("A.DEPT_ID=3", rows), "");
  EXPECT_EQ(rows, 0);
  ASSERT_EQ(sent.all().size(), 1u);
  EXPECT_EQ(sent.all()[0],
            "SELECT A.ROSTER_NUM , A.FSCL_MONTH, A.ROST_TYPE,A.DEPT_ID,A.EMP_ID,A.ROST_CODE, "
            " B.F_NAME AS EMP_NAME,C.F_NAME AS DEPT_NAME ,D.F_NAME AS ROST_CODE_NAME, "
            "A.MON_WORK_HOURS,A.F_D1,A.F_D2,A.F_D3,A.F_D4,A.F_D5,A.F_D6,A.F_D7,A.F_D8,A.F_D9,"
            "A.F_D10,"
            "A.F_D11,A.F_D12,A.F_D13,A.F_D14,A.F_D15,A.F_D16,A.F_D17,A.F_D18,A.F_D19,A.F_D20,"
            "A.F_D21,A.F_D22,A.F_D23,A.F_D24,A.F_D25,A.F_D26,A.F_D27,A.F_D28,A.F_D29,A.F_D30,"
            "A.F_D31 "
            "FROM ((T_ROSTER AS A LEFT JOIN T_EMP AS B ON A.EMP_ID = B.F_EmpID) "
            "LEFT JOIN T_DEPT AS C ON A.DEPT_ID=C.F_ID) "
            "LEFT JOIN T_ROSTCODE AS D ON A.ROST_CODE=D.F_ID "
            " WHERE A.DEPT_ID=3 ORDER BY ROSTER_NUM,DEPT_ID,EMP_ID ");
}

// A line has 41 fields: the month, the mode's name (found by the code's exact
// text), the names the join finds (empty where none), the days, then the raw
// number, mode, department, employee and code.
TEST_F(clsRosterList, ALineHas41FieldsWithTheNamesTheJoinFindsAndTheModeByItsExactCode) {
  AddRoster(1, "1", 3, "0001", 4);
  int32_t rows = 0;
  const std::string days = "早" + std::string(30, '\t') + "晚";
  EXPECT_EQ(Visible(rec_.ExeSearch("1=1", rows)),
            Visible("2003-05\t总体轮值表\t销售部\t张三\t早晚班\t" + days + "\t1\t1\t3\t0001\t4\r"));
  const std::pair<const char*, const char*> cases[] = {
      {"2", "按轮值组合排班"}, {"3", "按部门排班"}, {"4", "按个别员工排班"},
      {"5", ""},               {" 1", ""},          {"01", ""},
  };
  int32_t num = 1;
  for (const auto& [code, name] : cases) AddRoster(++num, code, 30, "9999", 40);
  rows = 5;
  const auto lines = Lines(rec_.ExeSearch("A.ROSTER_NUM>1", rows));
  EXPECT_EQ(rows, 4 + num);
  ASSERT_EQ(lines.size(), std::size(cases));
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto& fields = lines[i];
    ASSERT_EQ(fields.size(), 41u);
    EXPECT_EQ(fields[1], cases[i].second) << "code '" << cases[i].first << "'";
    EXPECT_EQ(fields[2] + fields[3] + fields[4], "");
    EXPECT_EQ(fields[37] + "/" + fields[38] + "/" + fields[39] + "/" + fields[40],
              std::string(cases[i].first) + "/30/9999/40");
  }
}

}  // namespace
}  // namespace tessaly
