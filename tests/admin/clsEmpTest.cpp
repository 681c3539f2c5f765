#include "tessaly/admin/clsEmp.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

void Fill(clsEmp& emp, const std::string& id, const std::string& name, const std::string& dept) {
  emp.FEmpID(id);
  emp.FName(name);
  emp.FSpell("zs");
  emp.FDept(dept);
  emp.FSex("M");
  emp.FCardID("C" + id);
  emp.FIDCard("110");
  emp.FIsKQ(1);
  emp.FIsRatifier(0);
  emp.FShift("Day");
  emp.FWork("clerk");
  emp.FDegree("BA");
  emp.FJoinDate("2001-3-5");
  emp.FTel("555");
  emp.FPostCode("100080");
  emp.FAddr("Road 1");
  emp.FPhoto("p.jpg");
  emp.FNote("n");
}

TEST(clsEmpText, BuildersProduceTheStatementFragmentsByteForByte) {
  clsEmp emp;
  Fill(emp, "0001", "Zhang", "Sales");
  emp.FKey("0009");
  EXPECT_EQ(emp.GetValueFields(),
            " F_EmpID,F_Name,F_Spell,F_Dept,F_Sex,F_CardID,F_IDCard,F_IsKQ,F_IsRatifier,"
            "F_Shift,F_Work,F_Degree,F_JoinDate,F_Tel,F_PostCode,F_Addr,F_Photo,F_Note");
  EXPECT_EQ(Visible(emp.GetValuesString()),
            "'0001'\\r,'Zhang'\\r,'zs'\\r,'Sales'\\r,'M'\\r,'C0001'\\r,'110'\\r,1\\r,0\\r,"
            "'Day'\\r,'clerk'\\r,'BA'\\r,'2001-3-5'\\r,'555'\\r,'100080'\\r,'Road 1'\\r,"
            "'p.jpg'\\r,'n'\\r");
  const std::string all =
      "F_EmpID='0001'\\r,F_Name='Zhang'\\r,F_Spell='zs'\\r,F_Dept='Sales'\\r,F_Sex='M'\\r,"
      "F_CardID='C0001'\\r,F_IDCard='110'\\r,F_IsKQ=1\\r,F_IsRatifier=0\\r,F_Shift='Day'\\r,"
      "F_Work='clerk'\\r,F_Degree='BA'\\r,F_JoinDate='2001-3-5'\\r,F_Tel='555'\\r,"
      "F_PostCode='100080'\\r,F_Addr='Road 1'\\r,F_Photo='p.jpg'\\r,F_Note='n'\\r";
  EXPECT_EQ(Visible(emp.GetBodyString(EMP_UPDSHIFT)), "F_Shift='Day'\\r");
  for (int32_t mode : std::initializer_list<int32_t>{0, 1, 3, 4, 5, -1, 99}) {
    EXPECT_EQ(Visible(emp.GetBodyString(mode)), all) << mode;
  }
  EXPECT_EQ(emp.GetWhereString(-1), " 1=1 ORDER BY F_Dept,F_EmpID ");
  EXPECT_EQ(emp.GetWhereString(EMP_UPDSHIFT), " F_Dept='Sales'");
  EXPECT_EQ(emp.GetWhereString(EMP_LOOKRATIFY), " F_IsRatifier<>0");
  EXPECT_EQ(emp.GetWhereString(EMP_BYCARDID), " F_CardID='C0001'");
  EXPECT_EQ(emp.GetWhereString(EMP_BYDEPT), " F_Dept='Sales'");
  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{EMP_N0RMAL}, 6, -2, 1000}) {
    EXPECT_EQ(emp.GetWhereString(mode), " F_EmpID='0009'") << mode;
  }
  EXPECT_EQ(emp.GetSelString(3), " * ");
}

TEST(clsEmpText, ApostrophesInValuesAreDoubled) {
  clsEmp emp;
  emp.FKey("O'Neil");
  emp.FDept("R'n'D");
  emp.FCardID("'");
  emp.FShift("x' or 1=1 or 'y");
  EXPECT_EQ(emp.GetWhereString(0), " F_EmpID='O''Neil'");
  EXPECT_EQ(emp.GetWhereString(EMP_BYDEPT), " F_Dept='R''n''D'");
  EXPECT_EQ(emp.GetWhereString(EMP_BYCARDID), " F_CardID=''''");
  EXPECT_EQ(Visible(emp.GetBodyString(EMP_UPDSHIFT)), "F_Shift='x'' or 1=1 or ''y'\\r");
}

TEST(clsEmpProperties, SettersKeepTheirWidthInCharactersAndFlagsAsGiven) {
  clsEmp emp;
  const struct {
    void (clsEmp::*set)(std::string);
    std::string (clsEmp::*get)() const;
    std::string in, kept;
  } cases[] = {
      {&clsEmp::FName, &clsEmp::FName, "abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrst"},
      {&clsEmp::FPostCode, &clsEmp::FPostCode, "1234567", "123456"},
      {&clsEmp::FSpell, &clsEmp::FSpell, "zhangsan", "zhang"},
      {&clsEmp::FSex, &clsEmp::FSex, "男性别", "男性"},
      {&clsEmp::FEmpID, &clsEmp::FEmpID, "12345678901", "1234567890"},
      {&clsEmp::FDept, &clsEmp::FDept, std::string(60, 'd'), std::string(50, 'd')},
      {&clsEmp::FJoinDate, &clsEmp::FJoinDate, std::string(300, 'j'), std::string(300, 'j')},
      {&clsEmp::FNote, &clsEmp::FNote, "", ""},
  };
  for (const auto& c : cases) {
    (emp.*c.set)(c.in);
    EXPECT_EQ((emp.*c.get)(), c.kept) << c.in;
  }
  emp.FIsKQ(7);
  emp.FIsRatifier(-1);
  EXPECT_EQ(emp.FIsKQ(), 7);
  EXPECT_EQ(emp.FIsRatifier(), -1);
}

class clsEmpDb : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = testing::AttendanceDb();
    emp_.HConnect(conn_);
  }
  void AddEmp(const std::string& id, const std::string& name, const std::string& dept,
              const std::string& spell = "zs", int16_t ratifier = 0) {
    clsEmp emp;
    emp.HConnect(conn_);
    Fill(emp, id, name, dept);
    emp.FSpell(spell);
    emp.FIsRatifier(ratifier);
    std::string err;
    ASSERT_EQ(emp.Add(err), RES_ADDOK) << err;
  }
  // The employee numbers a search found, in the order delivered; the search
  // texts are set afresh, as loading a row overwrites them.
  std::string Found(int32_t mode) {
    emp_.FDept("sales");  // text comparisons ignore letter case
    emp_.FCardID("C0002");
    emp_.FKey("0003");
    std::string ids;
    if (emp_.DoSearch(err_, mode) != RES_FOUND) return "none";
    do {
      ids += (ids.empty() ? "" : ",") + emp_.FEmpID();
    } while (emp_.MoveNext());
    return ids;
  }

  std::shared_ptr<db::Connection> conn_;
  clsEmp emp_;
  std::string err_;
};

TEST_F(clsEmpDb, SearchModesFindTheirRows) {
  AddEmp("0003", "Wang", "Sales", "w", 1);
  AddEmp("0001", "Zhang", "Sales");
  AddEmp("0002", "Li", "Admin", "l", 1);
  EXPECT_EQ(Found(-1), "0002,0001,0003");
  EXPECT_EQ(Found(EMP_LOOKRATIFY), "0003,0002");
  EXPECT_EQ(Found(EMP_BYCARDID), "0002");
  EXPECT_EQ(Found(EMP_BYDEPT), "0003,0001");
  EXPECT_EQ(Found(EMP_UPDSHIFT), "0003,0001");
  for (int32_t mode : std::initializer_list<int32_t>{0, int32_t{EMP_N0RMAL}, 42}) EXPECT_EQ(Found(mode), "0003") << mode;
  emp_.FKey("nobody");
  emp_.FName("kept");
  emp_.FEmpID("kept");
  EXPECT_EQ(emp_.DoSearch(err_), RES_NOTFOUND);
  EXPECT_EQ(emp_.FName(), "kept");
}

TEST_F(clsEmpDb, LoadReadsEveryColumnAndFlagsAsTruthValues) {
  AddEmp("0001", "张三", "Sales");
  emp_.FKey("0001");
  ASSERT_EQ(emp_.DoSearch(err_), RES_FOUND) << err_;
  EXPECT_EQ(emp_.FName(), "张三");
  EXPECT_EQ(emp_.FCardID(), "C0001");
  EXPECT_EQ(emp_.FJoinDate(), "2001-3-5");
  EXPECT_EQ(emp_.FPhoto(), "p.jpg");
  EXPECT_EQ(emp_.FNote(), "n");
  EXPECT_EQ(emp_.FIsKQ(), 1);

  // Any non-zero value reads as 1; a Null as 0, like a null text as "".
  const struct {
    const char* stored;
    int16_t kq;
  } flags[] = {{"-1", 1}, {"5", 1}, {"0", 0}, {"Null", 0}};
  for (const auto& f : flags) {
    conn_->Execute(std::string("update T_Emp set F_IsKQ=") + f.stored +
                   ", F_IsRatifier=" + f.stored + ", F_Tel=Null");
    emp_.FIsKQ(9);
    emp_.FIsRatifier(9);
    emp_.FTel("stale");
    ASSERT_EQ(emp_.DoSearch(err_), RES_FOUND) << err_;
    EXPECT_EQ(emp_.FIsKQ(), f.kq) << f.stored;
    EXPECT_EQ(emp_.FIsRatifier(), f.kq) << f.stored;
    EXPECT_EQ(emp_.FTel(), "");
  }
}

TEST_F(clsEmpDb, UpdateOfADepartmentsShiftIsOneStatement) {
  AddEmp("0001", "Zhang", "Sales");
  AddEmp("0002", "Li", "Sales");
  AddEmp("0003", "Wang", "Admin");
  std::vector<std::string> sent;
  conn_->Trace([&sent](std::string_view sql) { sent.push_back(Visible(std::string(sql))); });
  emp_.FDept("Sales");
  emp_.FShift("Night");
  ASSERT_EQ(emp_.Update(err_, EMP_UPDSHIFT), RES_UPDOK) << err_;
  const std::vector<std::string> expected = {
      "SELECT COUNT(*) AS C\\rFROM T_Emp\\rWHERE  F_Dept='Sales'",
      "UPDATE T_Emp\\rSET\\rF_Shift='Night'\\rWHERE  F_Dept='Sales'",
  };
  EXPECT_EQ(sent, expected);
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp where F_Shift='Night'"), "2");
  EXPECT_EQ(Scalar(conn_, "select F_Shift from T_Emp where F_EmpID='0003'"), "Day");
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_Emp where F_EmpID='0001'"), "Zhang");

  sent.clear();
  emp_.FDept("Nobody's");
  EXPECT_EQ(emp_.Update(err_, EMP_UPDSHIFT), RES_UPDNOTFOUND);
  ASSERT_EQ(sent.size(), 1u);  // the count only, no UPDATE
}

TEST_F(clsEmpDb, DefaultUpdateAddressesFKeyAndCanRenumber) {
  AddEmp("0001", "Zhang", "Sales");
  emp_.FKey("0001");
  ASSERT_EQ(emp_.DoSearch(err_), RES_FOUND);
  emp_.FEmpID("1001");
  emp_.FName("Zhang San");
  ASSERT_EQ(emp_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_EmpID & '/' & F_Name from T_Emp"), "1001/Zhang San");
  // FKey still names the old number, so the next default update finds nothing.
  EXPECT_EQ(emp_.Update(err_), RES_UPDNOTFOUND);

  // By card: the holder receives all eighteen values.
  emp_.FCardID("C0001");
  emp_.FName("By Card");
  ASSERT_EQ(emp_.Update(err_, EMP_BYCARDID), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_Emp where F_EmpID='1001'"), "By Card");
}

TEST_F(clsEmpDb, DeleteRemovesTheEmployeeNamedByFKeyNotTheRowLoaded) {
  AddEmp("0001", "Zhang", "Sales");
  AddEmp("0002", "Li", "Sales");
  emp_.FKey("0002");
  ASSERT_EQ(emp_.DoSearch(err_, -1), RES_FOUND);
  ASSERT_EQ(emp_.FEmpID(), "0001");
  EXPECT_EQ(emp_.Delete(err_, EMP_BYDEPT), RES_DELOK) << err_;  // the mode is not used
  EXPECT_EQ(Scalar(conn_, "select F_EmpID from T_Emp"), "0001");
  EXPECT_EQ(emp_.Delete(err_), RES_DELNOTFOUND);
}

TEST_F(clsEmpDb, AddOfANumberTakenIsRefusedByTheDatabase) {
  AddEmp("0001", "Zhang", "Sales");
  Fill(emp_, "0001", "Twin", "Sales");
  EXPECT_EQ(emp_.Add(err_), RES_ADDERR);
  EXPECT_NE(err_.find("(-2147467259)"), std::string::npos) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_Emp"), "Zhang");
}

// --- the type-ahead search -----------------------------------------------------

class clsEmpSearch : public clsEmpDb {
 protected:
  void SetUp() override {
    clsEmpDb::SetUp();
    AddEmp("1201", "Zhang", "Sales", "ZS");
    AddEmp("1202", "张三", "Admin", "zsan");
    AddEmp("2120", "张三丰", "Admin", "zsf");
    AddEmp("3000", "O'Brien", "", "ob");
    conn_->Execute("update T_Emp set F_Dept=Null where F_EmpID='3000'");
    conn_->Trace([this](std::string_view sql) { sent_ = std::string(sql); });
  }
  std::string sent_;
};

TEST_F(clsEmpSearch, TheFirstCharacterChoosesTheColumnAndTheMatch) {
  const struct {
    const char* find;
    bool blur;
    const char* statement;
    const char* rows;
  } cases[] = {
      {"12", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_EmpID,2)='12'",
       "1201\tZhang\tSales\r1202\t张三\tAdmin\r"},
      {"12", true, "select F_EmpID,F_Name,F_Dept from T_Emp where  instr(1,F_EmpID,'12',1)>0 ",
       "1201\tZhang\tSales\r1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r"},
      {" zs ", true, "select F_EmpID,F_Name,F_Dept from T_Emp where  instr(1,F_Spell,'zs',1)>0 ",
       "1201\tZhang\tSales\r1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r"},
      {"zs", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_Spell,2)='zs'",
       "1201\tZhang\tSales\r1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r"},
      {"ZSA", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_Spell,3)='ZSA'",
       "1202\t张三\tAdmin\r"},
      // A name prefix compares twice its length, so only the equal name is found.
      {"张三", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_Name,4)='张三'",
       "1202\t张三\tAdmin\r"},
      {"张", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_Name,2)='张'", ""},
      {"张三", true, "select F_EmpID,F_Name,F_Dept from T_Emp where  instr(1,F_Name,'张三',1)>0 ",
       "1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r"},
      // No department: the column is empty, the tabs stay.
      {"ob", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_Spell,2)='ob'",
       "3000\tO'Brien\t\r"},
      {"3", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_EmpID,1)='3'",
       "3000\tO'Brien\t\r"},
      {"9", false, "select F_EmpID,F_Name,F_Dept from T_Emp where left(F_EmpID,1)='9'", ""},
  };
  for (const auto& c : cases) {
    int32_t rows = 5;
    const std::string text = emp_.ExeSearch(c.find, c.blur, rows);
    EXPECT_EQ(sent_, c.statement) << c.find;
    EXPECT_EQ(Visible(text), Visible(c.rows)) << c.find;
    EXPECT_EQ(rows, 5 + static_cast<int32_t>(std::count(text.begin(), text.end(), '\r')))
        << c.find;
    EXPECT_FALSE(emp_.LastError()) << c.find << ": " << emp_.LastError().description;
  }
}

TEST_F(clsEmpSearch, TypedApostrophesFindNothingAndBreakNothing) {
  for (const std::string find : {"'", "x' or 1=1 or 'x", "O'", "''''"}) {
    for (bool blur : {false, true}) {
      int32_t rows = 0;
      EXPECT_EQ(emp_.ExeSearch(find, blur, rows), "") << find;
      EXPECT_EQ(rows, 0) << find;
      EXPECT_FALSE(emp_.LastError()) << find << ": " << emp_.LastError().description;
    }
  }
  int32_t rows = 0;
  emp_.ExeSearch("ob", true, rows);
  EXPECT_EQ(rows, 1);  // the object still works
}

TEST_F(clsEmpSearch, EmptyLongAndOddTextsGiveNoRowsWithoutFailing) {
  int32_t rows = 3;
  EXPECT_EQ(emp_.ExeSearch("", true, rows), "");
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(emp_.LastError().number, errnum::kInvalidCall);  // no first character
  EXPECT_EQ(emp_.ExeSearch("   ", false, rows, "by value"), "");
  EXPECT_EQ(emp_.LastError().number, errnum::kInvalidCall);
  EXPECT_EQ(rows, 3);

  for (const std::string find : {std::string(5000, 'z'), std::string(3000, '1'),
                                 std::string("日本語テキスト"), std::string("é"), std::string("%"),
                                 std::string("_"), std::string("#1#")}) {
    for (bool blur : {false, true}) {
      EXPECT_EQ(emp_.ExeSearch(find, blur, rows), "") << find;
      EXPECT_FALSE(emp_.LastError()) << find << ": " << emp_.LastError().description;
    }
  }
  EXPECT_EQ(rows, 3);
}

TEST_F(clsEmpSearch, SearchEndsAWalkAndLeavesItsRecordsetAtTheEnd) {
  ASSERT_EQ(emp_.DoSearch(err_, -1), RES_FOUND);
  int32_t rows = 0;
  emp_.ExeSearch("1", false, rows);
  EXPECT_EQ(rows, 2);
  EXPECT_TRUE(emp_.ISEOF());
  EXPECT_FALSE(emp_.MoveNext());
}

TEST(clsEmpWithoutConnection, SearchAndOperationsFailWithoutThrowing) {
  clsEmp emp;
  std::string err;
  int32_t rows = 1;
  EXPECT_EQ(emp.ExeSearch("12", false, rows), "");
  EXPECT_EQ(rows, 1);
  EXPECT_TRUE(emp.LastError());
  EXPECT_EQ(emp.Update(err, EMP_UPDSHIFT), RES_UPDERR);
  EXPECT_EQ(emp.DoSearch(err, EMP_LOOKRATIFY), RES_SEARCHERR);
}

}  // namespace
}  // namespace tessaly
