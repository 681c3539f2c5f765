// The daily rows the benchmarks write: row i of a spread of employees,
// dates and values, the same for every engine.
#pragma once

#include <cstdio>

#include "tessaly/attendance/clsKQ.h"

namespace {

inline void Fill(tessaly::clsKQ& kq, int i) {
  char emp[16];
  std::snprintf(emp, sizeof emp, "%05d", i % 500);
  char date[16];
  std::snprintf(date, sizeof date, "2003-%02d-%02d", 1 + (i / 28) % 12, 1 + i % 28);
  kq.FEmpID(emp);
  kq.FName("张三");
  kq.FDept(i % 2 ? "Sales" : "Ops");
  kq.FKQType("normal");
  kq.FDate(date);
  kq.FIn1("08:01");
  kq.FOut1("12:00");
  kq.FIn2("13:00");
  kq.FOut2("17:31");
  kq.FIsWQ(static_cast<int16_t>(i % 3 == 0));
  kq.FCDNum(static_cast<int16_t>(i % 2));
  kq.FCDMinute(static_cast<int16_t>(i % 17));
  kq.FJBHours(static_cast<float>(i % 5) * 0.5f);
  kq.FSBSJ(7.5f);
  kq.FNote("note");
  kq.FShift("A");
}

}  // namespace
