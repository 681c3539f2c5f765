// Saved queries kept by name (Connection::SaveQuery): kept in the database
// inside the host's transaction, replaced by name, read as a table (also by
// another kept query), run by EXECUTE with their values, and a kept text the
// translator refuses failing only when used, with the translator's error.
// The statements' answers on both engines are the corpus's
// (tests/db/jet/corpus/saved_queries.jet); these are the connection's side.
#include <string>

#include "db/DbContract.h"

namespace tessaly::db::testing {
namespace {

class SavedQueryContract : public DbContract {
 protected:
  // The employees' names of a query's rows, joined with ",".
  std::string Names(const std::shared_ptr<Connection>& conn, const std::string& sql) {
    Recordset rs;
    rs.Open(sql, conn, adOpenForwardOnly, adLockReadOnly);
    std::string names;
    while (!rs.IsEOF()) {
      if (!names.empty()) names += ',';
      names += rs.Fields().Item("F_Name").Value().ToText();
      rs.MoveNext();
    }
    return names;
  }
  std::string Names(const std::string& sql) { return Names(conn_, sql); }
};
TESSALY_INSTANTIATE_DB_CONTRACT(SavedQueryContract);

TEST_P(SavedQueryContract, AKeptQueryIsReadByNameAlsoThroughAnotherAndReplacedByName) {
  AddEmployees(4);
  conn_->SaveQuery("Low Ids", "SELECT F_ID, F_Name FROM T_Emp WHERE F_ID <= 3;");
  conn_->SaveQuery("Lowest", "SELECT * FROM [low ids] WHERE F_ID < 3 ORDER BY F_ID");
  EXPECT_EQ(Names("SELECT F_Name FROM [Low Ids] ORDER BY F_ID"), "e1,e2,e3");
  EXPECT_EQ(Names("SELECT F_Name FROM Lowest"), "e1,e2");
  // Saving under a name in another letter case replaces the query.
  conn_->SaveQuery("LOW IDS", "SELECT F_ID, F_Name FROM T_Emp WHERE F_ID >= 2");
  EXPECT_EQ(Names("SELECT F_Name FROM Lowest"), "e2");
  // Kept in the database: another connection to it reads them too.
  if (GetParam().file) {
    auto other = Connection::Open(Path());
    EXPECT_EQ(Names(other, "SELECT F_Name FROM [Low Ids] ORDER BY F_ID"), "e2,e3,e4");
  }
}

// A crosstab over a kept query is planned from the statement with the query
// written in; its columns are written after the pivot values are read, from
// that same text (a plan that outlived it would read freed memory).
TEST_P(SavedQueryContract, ACrosstabReadsAKeptQueryAsItsSource) {
  AddEmployees(3);
  conn_->SaveQuery("Some", "SELECT F_ID, F_Name FROM T_Emp WHERE F_ID >= 2");
  Recordset rs;
  rs.Open("TRANSFORM Count(F_ID) SELECT F_Name FROM [Some] GROUP BY F_Name PIVOT F_Name", conn_,
          adOpenStatic, adLockReadOnly);
  std::string columns;
  for (int32_t i = 0; i < rs.Fields().Count(); ++i) columns += rs.Fields().Item(i).Name() + ";";
  EXPECT_EQ(columns, "F_Name;e2;e3;");
  EXPECT_EQ(rs.RecordCount(), 2);
}

TEST_P(SavedQueryContract, SavesGoWithTheHostsTransaction) {
  AddEmployees(2);
  conn_->BeginTrans();
  conn_->SaveQuery("Undone", "SELECT F_Name FROM T_Emp");
  EXPECT_EQ(Names("SELECT * FROM Undone"), "e1,e2");
  conn_->RollbackTrans();
  const Error gone = Caught([&] { Names("SELECT * FROM Undone"); });
  EXPECT_EQ(gone.number(), errnum::kNoTable) << gone.description();
  EXPECT_NE(gone.description().find("'Undone'"), std::string::npos) << gone.description();
  conn_->BeginTrans();
  conn_->SaveQuery("Kept", "SELECT F_Name FROM T_Emp WHERE F_ID = 2");
  conn_->CommitTrans();
  EXPECT_EQ(Names("SELECT * FROM Kept"), "e2");
}

TEST_P(SavedQueryContract, AnyKeptQueryRunsByNameWithItsValues) {
  AddEmployees(3);
  conn_->SaveQuery("Rename",
                   "PARAMETERS [New Name] Text (20), Who Long;\r\n"
                   "UPDATE T_Emp SET F_Name = [New Name] WHERE F_ID = Who;");
  EXPECT_EQ(conn_->Execute("EXECUTE Rename 'Zoe', 2"), 1);
  EXPECT_EQ(Names("SELECT F_Name FROM T_Emp ORDER BY F_ID"), "e1,Zoe,e3");
  conn_->SaveQuery("Named", "PARAMETERS Who Text; SELECT F_Name FROM T_Emp WHERE F_Name = Who");
  EXPECT_EQ(Names("EXECUTE Named 'zoe'"), "Zoe");
  // Translate and KindOf see the query the values make.
  EXPECT_TRUE(conn_->KindOf("EXECUTE Named 'x'").returns_rows);
  EXPECT_FALSE(conn_->KindOf("EXECUTE Rename 'x', 1").returns_rows);
  EXPECT_NE(conn_->Translate("EXECUTE Named 'x'").find("'x'"), std::string::npos);

}

TEST_P(SavedQueryContract, AKeptTextTheTranslatorRefusesIsKeptAndUsingItGivesItsError) {
  // The text as it would come from another database: kept as it is.
  const std::string text = "SELECT F_Name FROM T_Emp WHERE F_ID = 1 +";
  conn_->SaveQuery("Broken", text);
  const Error own = Caught([&] { conn_->Translate(text); });
  ASSERT_NE(own.number(), 0);
  for (const char* use : {"SELECT * FROM Broken", "EXECUTE Broken",
                          "SELECT F_Name FROM T_Emp WHERE F_ID IN (SELECT F_ID FROM Broken)"}) {
    const Error e = Caught([&] { conn_->Translate(use); });
    EXPECT_EQ(e.number(), own.number()) << use;
    EXPECT_EQ(e.description(), own.description()) << use;
    // Its place is in the kept text, not in the statement that used it.
    EXPECT_FALSE(e.offset().has_value()) << use;
  }
  // A mistake of the statement itself is refused as the statement alone is,
  // at its own place, wherever it lies.
  conn_->SaveQuery("Fine", "SELECT F_Name FROM T_Emp");
  auto elsewhere = Connection::Open(":memory:");
  for (const char* mistaken : {"SELECT 1 + FROM Fine", "SELECT * FROM Fine WHERE F_ID = 1 +"}) {
    const Error e = Caught([&] { conn_->Translate(mistaken); });
    const Error alone = Caught([&] { elsewhere->Translate(mistaken); });
    EXPECT_EQ(e.description(), alone.description()) << mistaken;
    ASSERT_TRUE(alone.offset().has_value()) << mistaken;
    EXPECT_EQ(e.offset(), alone.offset()) << mistaken;
  }
}

TEST_P(SavedQueryContract, QueriesThatGrowBeyondBoundsOnceWrittenInAreTooComplex) {
  // Each reads the one before twice: written in, the text doubles at each
  // level, past a megabyte at Q4.
  conn_->SaveQuery("Q0",
                   "SELECT F_ID FROM T_Emp WHERE F_Name <> '" + std::string(70000, 'x') + "'");
  for (int i = 1; i <= 30; ++i) {
    const std::string before = "Q" + std::to_string(i - 1);
    conn_->SaveQuery("Q" + std::to_string(i),
                     "SELECT a.F_ID FROM " + before + " AS a, " + before + " AS b");
  }
  // A chain: twelve saved queries nest in one another, not thirteen, on
  // every engine.
  conn_->SaveQuery("C0", "SELECT F_ID FROM T_Emp");
  for (int i = 1; i <= 100; ++i) {
    conn_->SaveQuery("C" + std::to_string(i), "SELECT * FROM C" + std::to_string(i - 1));
  }
  for (const char* sql :
       {"SELECT * FROM Q4", "SELECT * FROM Q30", "SELECT * FROM C12", "SELECT * FROM C100"}) {
    const Error e = Caught([&] { conn_->Execute(sql); });
    EXPECT_EQ(e.number(), errnum::kFail) << sql;
    EXPECT_EQ(e.description(), "Query is too complex.") << sql;
  }
  EXPECT_EQ(conn_->Execute("SELECT * FROM Q3"), 0);
  EXPECT_EQ(conn_->Execute("SELECT * FROM C11"), 0);
}

TEST_P(SavedQueryContract, DefinitionsByStatementShareTheStore) {
  AddEmployees(2);
  EXPECT_TRUE(
      conn_->KindOf("CREATE VIEW Second AS SELECT F_Name FROM T_Emp WHERE F_ID = 2").defines);
  conn_->Execute("CREATE VIEW Second AS SELECT F_Name FROM T_Emp WHERE F_ID = 2");
  EXPECT_EQ(Names("SELECT * FROM Second"), "e2");
  // SaveQuery replaces what CREATE made; DROP removes either.
  conn_->SaveQuery("second", "SELECT F_Name FROM T_Emp WHERE F_ID = 1");
  EXPECT_EQ(Names("SELECT * FROM Second"), "e1");
  conn_->Execute("DROP VIEW SECOND");
  EXPECT_EQ(Caught([&] { Names("SELECT * FROM Second"); }).number(), errnum::kNoTable);
  // Character 0 cannot be kept on every engine: refused, nothing kept.
  const Error zero = Caught([&] { conn_->SaveQuery("Z", std::string("SELECT 1\0", 9)); });
  EXPECT_NE(zero.number(), 0);
  EXPECT_EQ(Caught([&] { conn_->Execute("EXECUTE Z"); }).number(), errnum::kNoTable);
}

}  // namespace
}  // namespace tessaly::db::testing
