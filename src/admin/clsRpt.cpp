#include "tessaly/admin/clsRpt.h"

#include <optional>
#include <string_view>

#include "tessaly/db/Connection.h"
#include "tessaly/db/Date.h"
#include "tessaly/framework/Trap.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

namespace tables = mdlConst;

// The lookup tables, which clsItem chooses by its index.
constexpr std::string_view T_Dept = "T_Dept";
constexpr std::string_view T_BCType = "T_BCType";
constexpr std::string_view T_RostCode = "T_RostCode";

// One DELETE with an optional window: each bound present (not empty text;
// blanks count) adds its condition, the first after " where ", the second
// after " and " or, alone, after " where ". The end bound's conditions begin
// with blanks of their own, so the statements read " and  F_DateTo<=..." as
// they always have.
class Deletion {
 public:
  explicit Deletion(std::string_view table) : sql_("delete * from  ") { sql_.append(table); }

  Deletion& Bound(bool present, std::string_view condition) {
    if (!present) return *this;
    sql_.append(bounded_ ? " and " : " where ").append(condition);
    bounded_ = true;
    return *this;
  }
  void Run(db::Connection& conn) const { conn.Execute(sql_, -1); }

 private:
  std::string sql_;
  bool bounded_ = false;
};

// How each kind of table meets the window (S, E).
struct Window {
  std::string_view start, end;

  // Requests lie wholly inside: they start on or after S and end on or
  // before E, compared as text.
  Deletion Requests(std::string_view table) const {
    return std::move(Deletion(table)
                         .Bound(!start.empty(), "F_DateFr>=" + sql::Quoted(start))
                         .Bound(!end.empty(), " F_DateTo<=" + sql::Quoted(end)));
  }
  // Dates compared as dates, between number signs.
  Deletion DateLiterals(std::string_view table) const {
    return std::move(Deletion(table)
                         .Bound(!start.empty(), "F_Date>=" + sql::DateLiteral(start))
                         .Bound(!end.empty(), " F_Date<=" + sql::DateLiteral(end)));
  }
  // Dates compared as text.
  Deletion DateTexts(std::string_view table) const {
    return std::move(Deletion(table)
                         .Bound(!start.empty(), "F_Date>=" + sql::Quoted(start))
                         .Bound(!end.empty(), " F_Date<=" + sql::Quoted(end)));
  }
  // Year and month compared separately; a bound that is no date is left out.
  Deletion YearsAndMonths(std::string_view table) const {
    const std::optional<db::Date> s = db::Date::ParseLiteral(start);
    const std::optional<db::Date> e = db::Date::ParseLiteral(end);
    return std::move(Deletion(table)
                         .Bound(s.has_value(), s ? "F_Year>=" + sql::Number(s->year) +
                                                       " and F_Month>=" + sql::Number(s->month)
                                                 : std::string())
                         .Bound(e.has_value(), e ? "  F_Year<=" + sql::Number(e->year) +
                                                       " and F_Month<=" + sql::Number(e->month)
                                                 : std::string()));
  }
};

db::Connection& Require(const std::shared_ptr<db::Connection>& conn) {
  if (conn == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
  return *conn;
}

void ClearWorking(db::Connection& conn, const Window& window) {
  for (std::string_view table :
       {tables::T_BJ, tables::T_CC, tables::T_XJ, tables::T_SJ, tables::T_JB}) {
    window.Requests(table).Run(conn);
  }
  for (std::string_view table : {tables::T_WQ, tables::T_KQ}) window.DateLiterals(table).Run(conn);
  window.YearsAndMonths(tables::T_MTJ).Run(conn);
  for (std::string_view table : {tables::T_Trans, tables::T_TransLost}) {
    window.DateTexts(table).Run(conn);
  }
  // The staging table and the import log go whole, whatever the window.
  const Window whole{};
  for (std::string_view table : {tables::T_Collect, tables::T_Log}) {
    whole.DateTexts(table).Run(conn);
  }
}

}  // namespace

bool clsRpt::ClearWorkData(std::string StartDate, std::string EndDate, std::string strErr) {
  static_cast<void>(strErr);
  return framework::Trapped(false, &last_error_, [&] {
    ClearWorking(Require(connection_), Window{StartDate, EndDate});
    return true;
  });
}

bool clsRpt::ClearAllData(std::string SysAdmin, std::string strErr) {
  if (!ClearWorkData({}, {}, strErr)) return false;
  return framework::Trapped(false, &last_error_, [&] {
    db::Connection& conn = Require(connection_);
    for (std::string_view table :
         {tables::T_Holiday, tables::T_Emp, T_Dept, tables::T_KQJ, tables::T_Shift, T_BCType,
          T_RostCode, tables::T_Roster}) {
      Deletion(table).Run(conn);
    }
    conn.Execute("Delete * from T_User where F_UserID<>" + sql::Quoted(SysAdmin), -1);
    return true;
  });
}

}  // namespace tessaly
