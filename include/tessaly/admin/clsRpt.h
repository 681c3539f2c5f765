// clsRpt: data clearing. Empties the working data of the attendance
// database, optionally inside a date window, or all data but one user.
// Neither method asks for confirmation; that is the host's business.
#pragma once

#include <memory>
#include <string>

#include "tessaly/Error.h"
#include "tessaly/db/Handles.h"

namespace tessaly {

// Not a record class: it holds only the connection it is given and sends one
// DELETE per table on it, with no transaction, so what was deleted before a
// failure stays deleted.
//
// The window of ClearWorkData, StartDate S and EndDate E (a date is present
// when it is not empty text; either may be left out):
// - leave and overtime requests (T_BJ, T_CC, T_XJ, T_SJ, T_JB) go when they
//   lie wholly inside: F_DateFr >= S and F_DateTo <= E, compared as text;
// - field-work cancellations and daily records (T_WQ, T_KQ) by F_Date,
//   compared as dates (#S#, #E#);
// - punches and rejected punches (T_Trans, T_TransLost) by F_Date, compared
//   as text;
// - the collected punches and the import log (T_Collect, T_Log) are always
//   emptied whole, whatever the window;
// - monthly statistics (T_MTJ) by year and by month, compared SEPARATELY:
//   F_Year >= year(S) and F_Month >= month(S), F_Year <= year(E) and
//   F_Month <= month(E). Within one year that is the window's months. Across a
//   year end it is not: a window from November to February asks for a month
//   that is both >= 11 and <= 2, so it deletes no monthly statistics at all,
//   and a window from 2001-03 to 2002-05 deletes only March to May of 2001
//   and of 2002, keeping June 2001 to February 2002. Hosts that clear across
//   a year end clear the statistics one calendar year at a time. A date that
//   is present but no date is ignored here as if it were absent.
class clsRpt {
 public:
  clsRpt() = default;
  clsRpt(const clsRpt&) = delete;
  clsRpt& operator=(const clsRpt&) = delete;

  // The connection to work on (write only).
  void HConnect(std::shared_ptr<db::Connection> value) { connection_ = std::move(value); }

  // Deletes the working data inside the window (all of it when both dates
  // are empty), table by table in the order T_BJ, T_CC, T_XJ, T_SJ, T_JB,
  // T_WQ, T_KQ, T_MTJ, T_Trans, T_TransLost, T_Collect, T_Log. True when every
  // statement ran; false at the first failure (a missing table, a window the
  // database cannot read as a date between number signs, no connection),
  // with the tables before it already cleared. strErr is by value and never
  // reaches the caller: LastError() tells what failed.
  bool ClearWorkData(std::string StartDate = {}, std::string EndDate = {},
                     std::string strErr = {});

  // ClearWorkData of all dates, then every row of the holidays, employees,
  // departments, terminals, shifts, shift types, roster codes and rosters,
  // then every user but the one whose F_UserID is SysAdmin (all of them when
  // none has it). Schedule plans and print templates stay. False, with no
  // master data deleted, when the working-data step fails; false after a
  // later failure with what ran before it deleted.
  bool ClearAllData(std::string SysAdmin, std::string strErr = {});

  // The error the last call caught; number 0 when it succeeded.
  const ErrorInfo& LastError() const { return last_error_; }

 private:
  std::shared_ptr<db::Connection> connection_;
  ErrorInfo last_error_;
};

}  // namespace tessaly
