#include "tessaly/admin/clsEmp.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;
using testing::Visible;

void Fill(clsEmp& emp, const std::string& id, const std::string& name, const std::string& dept,
          const std::string& spell = "zs", int16_t ratifier = 0) {
  testing::Set(emp, {{"F_EmpID", id}, {"F_Name", name}, {"F_Spell", spell}, {"F_Dept", dept},
                     {"F_Sex", "M"}, {"F_CardID", "C" + id}, {"F_IDCard", "110"}, {"F_IsKQ", 1},
                     {"F_IsRatifier", ratifier}, {"F_Shift", "Day"}, {"F_Work", "clerk"},
                     {"F_Degree", "BA"}, {"F_JoinDate", "2001-3-5"}, {"F_Tel", "555"},
                     {"F_PostCode", "100080"}, {"F_Addr", "Road 1"}, {"F_Photo", "p.jpg"},
                     {"F_Note", "n"}});
}

class clsEmpDb : public testing::RecordDb<clsEmp> {
 protected:
  void SetUp() override {
    RecordDb::SetUp();
    Watch();
  }
  void AddEmp(const std::string& id, const std::string& name, const std::string& dept,
              const std::string& spell = "zs", int16_t ratifier = 0) {
    clsEmp emp;
    emp.HConnect(conn_);
    Fill(emp, id, name, dept, spell, ratifier);
    ASSERT_EQ(emp.Add(err_), RES_ADDOK) << err_;
  }
  // The employee numbers a search found, in order; the search texts are set
  // afresh, as loading a row overwrites them.
  std::string Found(int32_t mode) {
    rec_.FDept("sales");  // text comparisons ignore letter case
    rec_.FCardID("C0002");
    rec_.FKey("0003");
    if (rec_.DoSearch(err_, mode) != RES_FOUND) return "none";
    std::string ids = rec_.FEmpID();
    while (rec_.MoveNext()) ids += "," + rec_.FEmpID();
    return ids;
  }
};

TEST_F(clsEmpDb, SearchModesFindTheirRows) {
  AddEmp("0003", "Wang", "Sales", "w", 1);
  AddEmp("0001", "Zhang", "Sales");
  AddEmp("0002", "Li", "Admin", "l", 1);
  // The list orders by department then number; the other conditions are
  // checked as text above.
  EXPECT_EQ(Found(EMP_LOOKRATIFY), "0003,0002");
  EXPECT_EQ(Found(-1), "0002,0001,0003");
  EXPECT_EQ(rec_.FName(), "Wang");

  conn_->Execute("update T_Emp set F_IsKQ=-1, F_Tel=Null");  // Jet's True, a Null text
  ASSERT_EQ(Found(0), "0003");
  EXPECT_EQ(rec_.FIsKQ(), 1);
  EXPECT_EQ(rec_.FTel(), "");
}

TEST_F(clsEmpDb, UpdateByModeAddressesTheDepartmentTheCardOrFKey) {
  AddEmp("0001", "Zhang", "Sales");
  AddEmp("0002", "Li", "Sales");
  AddEmp("0003", "Wang", "Admin");
  sent_.clear();
  rec_.FDept("Sales");
  rec_.FShift("Night");
  ASSERT_EQ(rec_.Update(err_, EMP_UPDSHIFT), RES_UPDOK) << err_;
  EXPECT_EQ(sent_, (std::vector<std::string>{
                       "SELECT COUNT(*) AS C\\rFROM T_Emp\\rWHERE  F_Dept='Sales'",
                       "UPDATE T_Emp\\rSET\\rF_Shift='Night'\\rWHERE  F_Dept='Sales'"}));
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp where F_Shift='Night'"), "2");
  rec_.FDept("Nobody's");
  EXPECT_EQ(rec_.Update(err_, EMP_UPDSHIFT), RES_UPDNOTFOUND);

  // Default mode: the row FKey names, which loading does not set; an update
  // can so renumber the employee.
  rec_.FKey("0001");
  ASSERT_EQ(rec_.DoSearch(err_), RES_FOUND);
  rec_.FEmpID("1001");
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  // By card: the holder receives all eighteen values, its number included, so
  // a number another employee has is refused.
  rec_.FCardID("C0003");
  rec_.FName("By Card");
  EXPECT_EQ(rec_.Update(err_, EMP_BYCARDID), RES_UPDERR);
  rec_.FEmpID("0003");
  ASSERT_EQ(rec_.Update(err_, EMP_BYCARDID), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_Emp where F_EmpID='0003'"), "By Card");

  // Delete: the employee FKey names, not the row just loaded, whatever the mode.
  rec_.FKey("0002");
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(rec_.Delete(err_, EMP_BYDEPT), RES_DELOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select count(*) from T_Emp where F_EmpID='0002'"), "0");
  EXPECT_EQ(rec_.Delete(err_), RES_DELNOTFOUND);
}

// --- the type-ahead search -----------------------------------------------------

TEST_F(clsEmpDb, TypeAheadChoosesItsColumnByTheFirstCharacter) {
  AddEmp("1201", "Zhang", "Sales", "ZS");
  AddEmp("1202", "张三", "Admin", "zsan");
  AddEmp("2120", "张三丰", "Admin", "zsf");
  AddEmp("3000", "O'Brien", "", "ob");
  conn_->Execute("update T_Emp set F_Dept=Null where F_EmpID='3000'");
  const char* kAll = "1201\tZhang\tSales\r1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r";
  const struct {
    const char* find;
    bool blur;
    const char* condition;
    const char* rows;
  } cases[] = {
      {"12", false, "left(F_EmpID,2)='12'", "1201\tZhang\tSales\r1202\t张三\tAdmin\r"},
      {"12", true, " instr(1,F_EmpID,'12',1)>0 ", kAll},
      {" zs ", true, " instr(1,F_Spell,'zs',1)>0 ", kAll},
      {"ZSA", false, "left(F_Spell,3)='ZSA'", "1202\t张三\tAdmin\r"},
      // A name prefix compares twice its length: only the equal name is found.
      {"张三", false, "left(F_Name,4)='张三'", "1202\t张三\tAdmin\r"},
      {"张", false, "left(F_Name,2)='张'", ""},
      {"é", false, "left(F_Spell,1)='é'", ""},  // below code 256: a letter key
      {"张三", true, " instr(1,F_Name,'张三',1)>0 ", "1202\t张三\tAdmin\r2120\t张三丰\tAdmin\r"},
      {"3", false, "left(F_EmpID,1)='3'", "3000\tO'Brien\t\r"},  // no department
      // Typed apostrophes stay inside the literal: they find nothing, break nothing.
      {"O'", true, " instr(1,F_Spell,'O''',1)>0 ", ""},
      {"x' or 1=1 or 'x", false, "left(F_Spell,15)='x'' or 1=1 or ''x'", ""},
  };
  for (const auto& c : cases) {
    int32_t rows = 5;
    const std::string text = rec_.ExeSearch(c.find, c.blur, rows);
    EXPECT_EQ(Visible(sent_.back()),
              Visible(std::string("select F_EmpID,F_Name,F_Dept from T_Emp where ") + c.condition));
    EXPECT_EQ(Visible(text), Visible(c.rows)) << c.find;
    EXPECT_EQ(rows, 5 + std::count(text.begin(), text.end(), '\r')) << c.find;
    EXPECT_FALSE(rec_.LastError()) << c.find << ": " << rec_.LastError().description;
  }
  int32_t rows = 3;  // long texts find nothing
  EXPECT_EQ(rec_.ExeSearch(std::string(3000, '1'), false, rows), "");
  EXPECT_EQ(rec_.ExeSearch(std::string(3000, 'z'), true, rows), "");
  EXPECT_FALSE(rec_.LastError());
  // An empty or blank text has no first character to choose a column by: it
  // fails before any statement, finding nothing rather than everyone.
  const size_t sent = sent_.size();
  EXPECT_EQ(rec_.ExeSearch("", false, rows), "");
  EXPECT_EQ(rec_.ExeSearch("   ", true, rows), "");
  EXPECT_EQ(sent_.size(), sent);
  EXPECT_EQ(rows, 3);
}

}  // namespace
}  // namespace tessaly
