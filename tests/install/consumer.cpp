// A host outside the tree: includes the umbrella header and uses the library.
#include <tessaly/tessaly.h>

#include <iostream>

int main() {
  auto conn = tessaly::db::Connection::Open(":memory:");
  tessaly::db::CreateSchema(*conn);
  tessaly::clsKQ kq;
  kq.HConnect(conn);
  kq.FEmpID("0001");
  kq.FDate("2003-05-01");
  kq.FKQType("normal");
  std::string err;
  if (kq.Add(err) != tessaly::RES_ADDOK) {
    std::cerr << err << '\n';
    return 1;
  }
  if (kq.DoSearch(err, tessaly::KQ_BYEMPIDANDDATE) != tessaly::RES_FOUND) return 1;
  std::cout << kq.FEmpID() << ' ' << kq.FDate() << '\n';
  return kq.FDate() == "2003-05-01" ? 0 : 1;
}
