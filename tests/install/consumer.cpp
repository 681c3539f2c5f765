// A host outside the tree: includes the umbrella header and uses every
// published class, so that each class's code (and the templates the leave
// classes share) must come from the library it is linked against.
#include <tessaly/tessaly.h>

#include <iostream>
#include <memory>
#include <string>
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

// The leave classes share one template: a request covering a date counts
// its hours there.
template <class C>
void LeaveRequest(const std::shared_ptr<tessaly::db::Connection>& conn, const char* name) {
  const std::string what = name;
  C c;
  c.HConnect(conn);
  int32_t id = 0;
  std::string msg;
  Check(c.GetMaxID(id, msg) == tessaly::RES_OK && id == 1, what + ": GetMaxID");
  c.FID(id);
  c.FEmpID("0001");
  c.FDateFr("2003-05-01");
  c.FDateTo("2003-05-03");
  c.FHour(4);
  std::string err;
  Check(c.Add(err) == tessaly::RES_ADDOK, what + ": Add " + err);
  bool has = false;
  int16_t hours = 0;
  Check(c.HasTheHoliday("2003-05-02", "0001", has, hours) == tessaly::RES_OK && has &&
            hours == 4,
        what + ": HasTheHoliday");
  std::vector<tessaly::SQLField> fields;
  Check(c.GetSQLField(fields) && !fields.empty(), what + ": GetSQLField");
}

}  // namespace

int main() {
  auto conn = tessaly::db::Connection::Open(":memory:");
  tessaly::db::CreateSchema(*conn);

  EmptyTable<tessaly::clsMTJ>(conn, "clsMTJ");
  EmptyTable<tessaly::clsEmp>(conn, "clsEmp");
  EmptyTable<tessaly::clsUser>(conn, "clsUser");
  EmptyTable<tessaly::clsShift>(conn, "clsShift");
  EmptyTable<tessaly::clsPBSet>(conn, "clsPBSet");
  EmptyTable<tessaly::clsRoster>(conn, "clsRoster");
  EmptyTable<tessaly::clsItem>(conn, "clsItem",
                               [](tessaly::clsItem& c) { c.TableIndex(tessaly::C_ITEM_DEPT); });
  EmptyTable<tessaly::clsHoliday>(conn, "clsHoliday");
  EmptyTable<tessaly::clsCC>(conn, "clsCC");
  EmptyTable<tessaly::clsSJ>(conn, "clsSJ");
  EmptyTable<tessaly::clsXJ>(conn, "clsXJ");
  EmptyTable<tessaly::clsBJ>(conn, "clsBJ");
  EmptyTable<tessaly::clsJB>(conn, "clsJB");
  EmptyTable<tessaly::clsWQ>(conn, "clsWQ");
  EmptyTable<tessaly::clsTrans>(conn, "clsTrans");
  EmptyTable<tessaly::clsTransLost>(conn, "clsTransLost");
  EmptyTable<tessaly::clsCollect>(conn, "clsCollect");
  EmptyTable<tessaly::clsKQJ>(conn, "clsKQJ");
  EmptyTable<tessaly::clsLog>(conn, "clsLog");

  LeaveRequest<tessaly::clsCC>(conn, "clsCC");
  LeaveRequest<tessaly::clsSJ>(conn, "clsSJ");
  LeaveRequest<tessaly::clsXJ>(conn, "clsXJ");
  LeaveRequest<tessaly::clsBJ>(conn, "clsBJ");

  // The daily record: added, then found again.
  tessaly::clsKQ kq;
  kq.HConnect(conn);
  kq.FEmpID("0001");
  kq.FDate("2003-05-01");
  kq.FKQType("normal");
  std::string err;
  Check(kq.Add(err) == tessaly::RES_ADDOK, "clsKQ: Add " + err);
  Check(kq.DoSearch(err, tessaly::KQ_BYEMPIDANDDATE) == tessaly::RES_FOUND &&
            kq.FDate() == "2003-05-01",
        "clsKQ: DoSearch");

  // The two classes that are not record classes.
  tessaly::clsPrn prn;
  prn.HConnect(conn);
  int16_t mode = 0;
  Check(prn.GetPrnModeID("daily", mode) == tessaly::RES_OK && mode == 1, "clsPrn: GetPrnModeID");
  tessaly::clsRpt rpt;
  rpt.HConnect(conn);
  Check(rpt.ClearWorkData(), "clsRpt: ClearWorkData");
  Check(kq.DoSearch(err, tessaly::KQ_BYEMPIDANDDATE) == tessaly::RES_NOTFOUND,
        "clsRpt: the daily record is cleared");

  if (failures == 0) std::cout << "22 classes\n";
  return failures == 0 ? 0 : 1;
}
