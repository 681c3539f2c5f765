// The three lookup lists behind one class: the table chosen by TableIndex,
// the next free identifier, and whether an item is still referred to.
#include "tessaly/scheduling/clsItem.h"

#include <gtest/gtest.h>

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

class clsItemDb : public testing::RecordDb<clsItem> {
 protected:
  void AddItem(C_ITEM_INDEX index, int16_t id, const std::string& name) {
    clsItem item;
    item.HConnect(conn_);
    item.TableIndex(index);
    item.FItemID(id);
    item.FName(name);
    item.FNote("note");
    ASSERT_EQ(item.Add(err_), RES_ADDOK) << err_;
  }
  std::string Counts() {
    return Scalar(conn_, "select count(*) from T_BCType") + "/" +
           Scalar(conn_, "select count(*) from T_Dept") + "/" +
           Scalar(conn_, "select count(*) from T_RostCode");
  }
};

TEST_F(clsItemDb, TableIndexChoosesTheTableOfEveryOperation) {
  const std::pair<C_ITEM_INDEX, const char*> tables[] = {
      {C_ITEM_BCTYPE, "T_BCType"}, {C_ITEM_DEPT, "T_Dept"}, {C_ITEM_ROSTCODE, "T_RostCode"}};
  for (const auto& [index, table] : tables) {
    testing::Sent sent(conn_, true);
    rec_.TableIndex(index);
    rec_.FItemID(5);
    rec_.FName("Sales");
    rec_.FNote("n");
    ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
    ASSERT_EQ(rec_.DoSearch(err_, 0), RES_FOUND) << err_;
    ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
    ASSERT_EQ(rec_.Delete(err_), RES_DELOK) << err_;
    const std::string t = table;
    const std::vector<std::string> expected = {
        "INSERT INTO " + t + "\\r( F_ID,F_Name,F_Note \\r)\\rVALUES(\\r5,'Sales'\\r,'n'\\r)",
        "SELECT  *  FROM " + t + "\\rWHERE  F_ID=5",
        "SELECT COUNT(*) AS C\\rFROM " + t + "\\rWHERE  F_ID=5",
        "UPDATE " + t + "\\rSET\\rF_Name='Sales'\\r,F_Note='n'\\rWHERE  F_ID=5",
        "SELECT COUNT(*) AS C\\rFROM " + t + "\\rWHERE  F_ID=5",
        "DELETE FROM " + t + "\\rWHERE  F_ID=5",
    };
    EXPECT_EQ(sent.all(), expected) << table;
  }
}

// Without a table the statements name none: the database refuses them and
// every operation answers with its failure result.
TEST_F(clsItemDb, AnUnknownTableIndexFailsInTheDatabase) {
  for (int32_t index : {0, 4, -1}) {
    testing::Sent sent(conn_, true);
    rec_.TableIndex(static_cast<C_ITEM_INDEX>(index));
    rec_.FItemID(1);
    std::string err = "untouched";
    EXPECT_EQ(rec_.Add(err), RES_CMDERR) << index;
    EXPECT_EQ(err, "untouched");
    EXPECT_EQ(rec_.Update(err), RES_CMDERR) << index;
    EXPECT_EQ(err, "untouched");
    EXPECT_EQ(rec_.Delete(err), RES_DELERR) << index;
    EXPECT_EQ(err, rec_.LastError().description + "(-2147217900)");
    err.clear();
    EXPECT_EQ(rec_.DoSearch(err, -1), RES_SEARCHERR) << index;
    EXPECT_EQ(err, rec_.LastError().description + "(-2147217900)");
    ASSERT_EQ(sent.all().size(), 4u);
    EXPECT_EQ(sent.all()[0], "INSERT INTO \\r( F_ID,F_Name,F_Note \\r)\\rVALUES(\\r1,''\\r,''\\r)");
    EXPECT_EQ(sent.all()[3], "SELECT  *  FROM \\rWHERE  1=1 ORDER BY F_Name ");
  }
  EXPECT_EQ(Counts(), "0/0/0");
}

TEST_F(clsItemDb, GetMaxIDChoosesTheTableAndKeepsIt) {
  AddItem(C_ITEM_BCTYPE, 9, "b");
  int16_t next = 0;
  std::string msg = "untouched";
  ASSERT_EQ(rec_.GetMaxID(C_ITEM_DEPT, next, msg), RES_OK);
  EXPECT_EQ(next, 1);
  // The list stays chosen, so the next Add goes to T_Dept.
  rec_.FItemID(next);
  rec_.FName("Sales");
  ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
  EXPECT_EQ(Counts(), "1/1/0");
  ASSERT_EQ(rec_.GetMaxID(C_ITEM_BCTYPE, next, msg), RES_OK);
  EXPECT_EQ(next, 10);
  EXPECT_EQ(msg, "untouched");
}

class clsItemNeed : public clsItemDb {
 protected:
  bool Need(C_ITEM_INDEX table, const std::string& id, C_ITEM_INDEX argument = C_ITEM_BCTYPE) {
    rec_.TableIndex(table);
    bool need = true;
    C_ITEM_INDEX index = argument;
    const eRESULT result = rec_.TheItemIsNeed(id, err_, need, index);
    EXPECT_EQ(result, RES_OK) << err_;
    EXPECT_EQ(index, argument);  // neither read nor written
    return need;
  }
};

TEST_F(clsItemNeed, EachListIsCheckedInItsReferringTable) {
  testing::Sent sent(conn_);
  EXPECT_FALSE(Need(C_ITEM_BCTYPE, "7"));
  EXPECT_EQ(sent.last(), "select * from  T_SHIFT WHERE F_TYPE='7'");
  EXPECT_FALSE(Need(C_ITEM_DEPT, "7"));
  EXPECT_EQ(sent.last(), "select * from  T_EMP WHERE F_DEPT='7'");
  EXPECT_FALSE(Need(C_ITEM_ROSTCODE, "7"));
  EXPECT_EQ(sent.last(), "select * from  T_Roster WHERE ROST_CODE='7'");

  conn_->Execute("insert into T_Shift (F_Name, F_Type) values ('Day', '7')");
  conn_->Execute("insert into T_Emp (F_EmpID, F_Dept) values ('0001', 'Sales')");
  EXPECT_TRUE(Need(C_ITEM_BCTYPE, "7"));
  EXPECT_TRUE(Need(C_ITEM_DEPT, "sales"));
  EXPECT_FALSE(Need(C_ITEM_ROSTCODE, "7"));
}

TEST_F(clsItemNeed, QuotesStayInsideTheComparedText) {
  conn_->Execute("insert into T_Emp (F_EmpID, F_Dept) values ('0001', 'O''Hara')");
  EXPECT_TRUE(Need(C_ITEM_DEPT, "O'Hara"));
  EXPECT_FALSE(Need(C_ITEM_DEPT, "x' or 'a'='a"));
}

TEST_F(clsItemNeed, WithoutATableTheCheckFailsWithTheDatabasesMessage) {
  testing::Sent sent(conn_);
  rec_.TableIndex(C_ITEM_INDEX{0});
  bool need = true;
  C_ITEM_INDEX index = C_ITEM_DEPT;
  EXPECT_EQ(rec_.TheItemIsNeed("7", err_, need, index), RES_ERROR);
  EXPECT_FALSE(need);
  EXPECT_EQ(sent.last(), "select * from ='7'");
  EXPECT_NE(err_, "");
  EXPECT_EQ(err_, rec_.LastError().description);  // the description alone
  EXPECT_EQ(index, C_ITEM_DEPT);
}

}  // namespace
}  // namespace tessaly
