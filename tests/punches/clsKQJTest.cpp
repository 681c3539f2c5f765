// Attendance terminals: renames through FKey and the address check that
// ignores the terminal being edited.
#include "tessaly/punches/clsKQJ.h"

#include "support/TestDb.h"

namespace tessaly {
namespace {

using testing::Scalar;

class KQJDb : public testing::RecordDb<clsKQJ> {
 protected:
  void Add(const std::string& name, const std::string& address) {
    rec_.FName(name);
    rec_.FAddress(address);
    rec_.FState("on");
    ASSERT_EQ(rec_.Add(err_), RES_ADDOK) << err_;
  }
};

// A failed check answers RES_ERROR, says the address is free and gives the
// description alone.
TEST(clsKQJ, AFailedAddressCheckReportsTheDescriptionAlone) {
  clsKQJ kqj;
  kqj.HConnect(testing::AttendanceDbWithout("T_KQJ"));
  bool taken = true;
  std::string err;
  EXPECT_EQ(kqj.TheAddrIsExist("001", "A", taken, err), RES_ERROR);
  EXPECT_FALSE(taken);
  EXPECT_FALSE(err.empty());
  EXPECT_EQ(err, kqj.LastError().description);
}

TEST_F(KQJDb, RenameThroughTheKeyWhichLoadingNeverSets) {
  Add("Gate", "001");
  rec_.FKey("Gate");
  rec_.FName("North gate");
  ASSERT_EQ(rec_.Update(err_), RES_UPDOK) << err_;
  EXPECT_EQ(Scalar(conn_, "select F_Name from T_KQJ"), "North gate");
  EXPECT_EQ(rec_.DoSearch(err_), RES_NOTFOUND);  // the key still names the old row
  ASSERT_EQ(rec_.DoSearch(err_, -1), RES_FOUND);
  EXPECT_EQ(rec_.Delete(err_), RES_DELNOTFOUND);  // ... and loading did not change it
  rec_.FKey("north GATE");                        // names compare without letter case
  EXPECT_EQ(rec_.Delete(err_), RES_DELOK) << err_;
  EXPECT_EQ(rec_.Update(err_), RES_UPDNOTFOUND);
  EXPECT_EQ(rec_.DoSearch(err_, -1), RES_NOTFOUND);
}

TEST_F(KQJDb, AddressCheckIgnoresTheTerminalBeingEdited) {
  Add("A", "001");
  Add("B", "002");
  Add("O'Hare", "003");
  Add("   ", "005");  // a key of blanks is a new terminal, even beside one named so
  struct Case {
    const char* address;
    const char* key;
    bool taken;
  };
  const Case cases[] = {
      {"001", "", true},    {"001", "   ", true}, {"005", "   ", true}, {"001", "A", false},      {"001", "B", true},
      {"002", " A ", true}, {"004", "", false},   {"003", "O'Hare", false}, {"0'1", "", false},
  };
  for (const Case& c : cases) {
    bool taken = !c.taken;
    EXPECT_EQ(rec_.TheAddrIsExist(c.address, c.key, taken, err_), RES_OK) << err_;
    EXPECT_EQ(taken, c.taken) << c.address << " / '" << c.key << "'";
  }
}

}  // namespace
}  // namespace tessaly
