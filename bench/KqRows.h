// The daily rows the benchmarks write: row i of a spread of employees,
// dates and values, the same for every engine; and the columns they are listed by.
#pragma once

#include <cstdio>

#include "tessaly/attendance/clsKQ.h"

namespace {

// The columns of clsKQ's listing, in its order: the raw sides write these.
// The flag is column 14, the whole numbers 15 to 21.
constexpr const char* kListedColumns[] = {
    "F_Dept",    "F_EmpID", "F_Name",  "F_Shift",    "F_Date",  "F_KqType",   "F_In1",  "F_Out1",
    "F_In2",     "F_Out2",  "F_In3",   "F_Out3",     "F_ZLIn",  "F_ZLOut",    "F_IsWQ", "F_SBSJ",
    "F_JBHours", "F_QJSJ",  "F_CDNum", "F_CDMinute", "F_ZTNum", "F_ZTMinute", "F_Note", "F_ID"};

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
