// Statements whose effect shows only beside the host's other work: tables
// changed inside and outside its transactions, writes over joined tables
// while another statement's rows are read, the index a pattern reads, and
// where reading failed. What a
// statement alone answers is the corpus's (corpus/*.jet).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "db/Backend.h"
#include "support/TestDb.h"
#include "tessaly/Error.h"
#include "tessaly/db/Connection.h"
#include "tessaly/db/Recordset.h"

namespace tessaly::db {
namespace {

class Statements : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = Connection::Open(":memory:");
    Exec("CREATE TABLE Customers (ID COUNTER PRIMARY KEY, Name TEXT(20), City TEXT(20))");
    Exec(
        "CREATE TABLE Orders (OrderID LONG CONSTRAINT pk_orders PRIMARY KEY, "
        "CustomerID LONG, Amount CURRENCY, Shipped YESNO)");
    for (const char* name : {"'Abbott', 'London'", "'baker', 'Paris'", "'Carter', Null"}) {
      Exec(std::string("INSERT INTO Customers (Name, City) VALUES (") + name + ")");
    }
    Exec("INSERT INTO Orders (OrderID, CustomerID, Amount) VALUES (1, 1, 250)");
    Exec("INSERT INTO Orders (OrderID, CustomerID, Amount) VALUES (2, 2, 15.5)");
    Exec("INSERT INTO Orders (OrderID, CustomerID, Amount) VALUES (3, 9, 60)");
  }

  int32_t Exec(const std::string& sql) { return conn_->Execute(sql); }

  // The rows, cells joined by "|", each row ended by ";" (Null as <null>,
  // a value of the kind its column reads back as: "#" before a date).
  std::string Rows(const std::string& sql) {
    Recordset rs;
    rs.Open(sql, conn_, adOpenStatic, adLockReadOnly);
    std::string out;
    for (; !rs.IsEOF(); rs.MoveNext()) {
      const Fields fields = rs.Fields();
      for (int32_t i = 0; i < fields.Count(); ++i) {
        if (i > 0) out += '|';
        const Variant v = fields.Item(i).Value();
        if (v.IsNull()) {
          out += "<null>";
        } else {
          if (v.AsDate() != nullptr) out += '#';
          out += v.ToText();
        }
      }
      out += ';';
    }
    return out;
  }

  // The failure of a statement, "number description", or "ran".
  std::string Failure(const std::string& sql) {
    const Error e = tessaly::testing::Caught([&] { Exec(sql); });
    return e.number() == 0 ? "ran" : std::to_string(e.number()) + " " + e.description();
  }

  std::shared_ptr<Connection> conn_;
};

TEST_F(Statements, TablesChangedAfterTheFactKeepTheirRowsIndexesAndCounters) {
  // Inside a transaction, a table no other table refers to is made anew with
  // its new reference, and the rollback takes the change back.
  conn_->BeginTrans();
  Exec("DELETE FROM Orders WHERE OrderID = 3");
  Exec("ALTER TABLE Orders ADD CONSTRAINT fk FOREIGN KEY (CustomerID) REFERENCES Customers (ID)");
  const std::string needs_customer =
      "-2147467259 You cannot add or change a record because a related record is required in "
      "table 'Customers'.";
  EXPECT_EQ(Failure("INSERT INTO Orders (OrderID, CustomerID) VALUES (4, 42)"), needs_customer);
  // Remaking the customers there would delete their orders with them.
  EXPECT_EQ(Failure("ALTER TABLE Customers ALTER COLUMN Name TEXT(30)"),
            "-2147467259 Table 'Customers' cannot be changed inside a transaction while table "
            "'Orders' refers to it.");
  conn_->RollbackTrans();
  EXPECT_EQ(Exec("INSERT INTO Orders (OrderID, CustomerID) VALUES (4, 42)"), 1);
  // The backend makes such a change itself: there is no one statement to show.
  EXPECT_EQ(conn_->Translate("ALTER TABLE Orders DROP CONSTRAINT fk"), "");
  EXPECT_EQ(Rows("SELECT Count(*) FROM Orders"), "4;");

  // Outside one, the customers are remade under their orders: the orders,
  // the reference, the unique index and the counter's next number stay.
  Exec("DELETE FROM Orders WHERE CustomerID IN (9, 42)");
  Exec("ALTER TABLE Orders ADD CONSTRAINT fk FOREIGN KEY (CustomerID) REFERENCES Customers (ID)");
  Exec("CREATE UNIQUE INDEX ix ON Customers (Name)");
  Exec("DELETE FROM Customers WHERE ID = 3");
  Exec("ALTER TABLE Customers ALTER COLUMN Name TEXT(30)");
  EXPECT_EQ(Rows("SELECT OrderID, CustomerID FROM Orders ORDER BY OrderID"), "1|1;2|2;");
  EXPECT_EQ(Failure("DELETE FROM Customers WHERE ID = 1"),
            "-2147467259 The record cannot be deleted or changed because table 'Orders' includes "
            "related records.");
  EXPECT_EQ(Failure("INSERT INTO Customers (Name) VALUES ('ABBOTT')").substr(0, 45),
            "-2147467259 The changes you requested to the ");
  Exec("INSERT INTO Customers (Name) VALUES ('A name of 30 characters, fits')");
  EXPECT_EQ(Rows("SELECT ID FROM Customers WHERE Name Like 'A name%'"), "4;");
}

// A pattern that begins with letters also asks SQLite for that beginning, so
// the name index is read instead of every row; what is found must be what
// jet_like alone finds (a pattern begun with a set, which no index serves).
TEST_F(Statements, LikeBeginningWithLettersReadsTheIndexAndFindsTheSame) {
  Exec("CREATE INDEX ix_name ON Customers (Name)");
  Exec("ALTER TABLE Customers ADD COLUMN Pay DOUBLE");
  for (const char* row : {"'BAKEWELL', 1E+20", "'Bäker', 12.5", "'bak_er', 100", "'BAK%', Null"}) {
    Exec(std::string("INSERT INTO Customers (Name, Pay) VALUES (") + row + ")");
  }
  const std::pair<const char*, const char*> alike[] = {
      {"Name LIKE 'bak%'", "Name LIKE '[b]ak%'"},
      {"Name LIKE 'BAKE_ELL'", "Name LIKE '[b]AKE_ELL'"},
      {"Name LIKE 'bak[%]'", "Name LIKE '[b]ak[%]'"},
      {"Name ALIKE 'baker'", "Name ALIKE '[b]aker'"},
      // A number's text is the runtime's: 1E+20 and 100, not 1.0e+20, 100.0.
      {"Pay LIKE '1E+2%'", "Pay LIKE '[1]E+2%'"},
      {"Pay LIKE '100'", "Pay LIKE '[1]00'"},
  };
  for (const auto& [indexed, every_row] : alike) {
    const std::string select = "SELECT Name FROM Customers WHERE ";
    EXPECT_EQ(Rows(select + indexed + " ORDER BY ID"), Rows(select + every_row + " ORDER BY ID"))
        << indexed;
    EXPECT_NE(Rows(select + indexed), "") << indexed;
  }
  const auto plan = [&](const std::string& where) {
    internal::ResultData data;
    internal::BackendOf(*conn_).Run(
        "EXPLAIN QUERY PLAN " + conn_->Translate("SELECT * FROM Customers WHERE " + where), &data);
    std::string out;
    for (size_t i = 0; i < data.cells.size(); ++i) out += data.cells[i].ToText() + ' ';
    return out;
  };
  // SEARCH reads part of an index; SCAN reads every row.
  EXPECT_NE(plan("Name LIKE 'bak%'").find("SEARCH"), std::string::npos);
  EXPECT_EQ(plan("Name LIKE '%bak'").find("SEARCH"), std::string::npos);
}

// The update of two joined tables runs as several statements on SQLite: it
// must run while a host still reads another statement's rows, run again with
// other values, and be undone with the host's transaction.
TEST_F(Statements, WritesOfTwoJoinedTablesRunAsOneAmongOthers) {
  const std::string swap =
      "UPDATE Customers INNER JOIN Orders ON Customers.ID = Orders.CustomerID "
      "SET Customers.City = 'Order ' & Orders.OrderID, Orders.Amount = Orders.Amount + ";
  // Its text is the capture of the joined rows alone.
  EXPECT_TRUE(conn_->Translate(swap + "1").starts_with("INSERT INTO jet_joined_2_2 SELECT "));
  Recordset reading;
  reading.Open("SELECT ID FROM Customers ORDER BY ID", conn_, adOpenForwardOnly, adLockReadOnly);
  ASSERT_FALSE(reading.IsEOF());
  EXPECT_EQ(Exec(swap + "Len(Customers.City)"), 2);
  EXPECT_EQ(Exec(swap + "1"), 2);
  reading.MoveNext();
  EXPECT_EQ(reading.Fields().Item(0).Value().ToText(), "2");
  EXPECT_EQ(Rows("SELECT ID, City FROM Customers ORDER BY ID"), "1|Order 1;2|Order 2;3|<null>;");
  // London has 6 letters, Paris 5.
  EXPECT_EQ(Rows("SELECT Amount FROM Orders ORDER BY OrderID"), "257;21.5;60;");
  conn_->BeginTrans();
  EXPECT_EQ(Exec(swap + "100"), 2);
  conn_->RollbackTrans();
  EXPECT_EQ(Rows("SELECT Amount FROM Orders ORDER BY OrderID"), "257;21.5;60;");
}

// A statement that cannot be read says where reading failed, counting
// characters, not the bytes of their UTF-8 form (its description, quoting the
// text whole, is the corpus's: basics.jet).
TEST_F(Statements, SyntaxErrorsSayWhereReadingFailed) {
  auto offset = [&](const std::string& sql) {
    const Error e = tessaly::testing::Caught([&] { Exec(sql); });
    EXPECT_NE(e.number(), 0) << "ran: " << sql;
    return e.offset();
  };
  EXPECT_EQ(offset("SELECT * FROM Customers WHERE Name = 'Zoë' and and City = 'x'"), 47u);
  EXPECT_EQ(offset("SELECT Name FROM Customers WHERE Born = #Zoë 31#"), 40u);
  EXPECT_EQ(offset("SELECT Name, Count(*) FROM Customers"), 7u);
  // Failures of the statement's run, not of its reading, say nowhere.
  EXPECT_EQ(offset("SELECT Nope FROM Customers"), std::nullopt);
  EXPECT_EQ(offset("INSERT INTO Orders (OrderID, CustomerID) VALUES (1, 1)"), std::nullopt);
}

}  // namespace
}  // namespace tessaly::db
