// A host outside the tree: includes the umbrella header and uses every
// published class, so that each class's code (and the templates the leave
// classes share) must come from the library it is linked against.
#include <tessaly/tessaly.h>

#include <iostream>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::cerr << "consumer: " << what << '\n';
    ++failures;
  }
}

// What every record class answers on an empty table: it holds the
// connection it was given, writes its statements, and finds nothing.
template <class C>
void EmptyTable(const std::shared_ptr<tessaly::db::Connection>& conn, const char* name,
                void (*prepare)(C&) = nullptr) {
  C c;
  if (prepare != nullptr) prepare(c);
  c.HConnect(conn);
  const std::string what = name;
  Check(c.HConnect() == conn, what + ": HConnect");
  Check(c.GetValueFields().find("F_") != std::string::npos,
        what + ": GetValueFields " + c.GetValueFields());
  std::string err;
  const tessaly::eRESULT r = c.DoSearch(err);
  Check(r == tessaly::RES_NOTFOUND, what + ": DoSearch " + std::to_string(r) + " " + err);
  Check(!c.MoveNext(), what + ": MoveNext on no rows");
}

// The leave classes share one template: its own question must link too.
template <class... C>
void LeaveRequests(const std::shared_ptr<tessaly::db::Connection>& conn) {
  bool has = true;
  int16_t hours = 0;
  const auto asked = [&](auto c) {
    c.HConnect(conn);
    Check(c.HasTheHoliday("2003-05-02", "0001", has, hours) == tessaly::RES_OK && !has,
          std::string(typeid(c).name()) + ": HasTheHoliday");
  };
  (asked(C()), ...);
}

template <class... C>
void EmptyTables(const std::shared_ptr<tessaly::db::Connection>& conn) {
  (EmptyTable<C>(conn, typeid(C).name()), ...);
}

}  // namespace

int main() {
  auto conn = tessaly::db::Connection::Open(":memory:");
  tessaly::db::CreateSchema(*conn);

  using namespace tessaly;
  EmptyTables<clsKQ, clsMTJ, clsEmp, clsUser, clsShift, clsPBSet, clsRoster, clsHoliday, clsCC,
              clsSJ, clsXJ, clsBJ, clsJB, clsWQ, clsTrans, clsTransLost, clsCollect, clsKQJ,
              clsLog>(conn);
  EmptyTable<clsItem>(conn, "clsItem", [](clsItem& c) { c.TableIndex(C_ITEM_DEPT); });
  LeaveRequests<clsCC, clsSJ, clsXJ, clsBJ>(conn);

  // The two classes that are not record classes.
  clsPrn prn;
  prn.HConnect(conn);
  int16_t mode = 0;
  Check(prn.GetPrnModeID("daily", mode) == RES_OK && mode == 1, "clsPrn: GetPrnModeID");
  clsRpt rpt;
  rpt.HConnect(conn);
  Check(rpt.ClearWorkData(), "clsRpt: ClearWorkData");

  if (failures == 0) std::cout << "22 classes\n";
  return failures == 0 ? 0 : 1;
}
