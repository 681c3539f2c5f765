#include "tessaly/admin/clsEmp.h"

#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"
#include "tessaly/framework/Listing.h"
#include "tessaly/framework/SqlText.h"
#include "tessaly/framework/mdlConst.h"

namespace tessaly {

namespace {

using framework::Cell;

// The value list of an INSERT and the assignment list of a full UPDATE name
// the eighteen columns in the same order.
std::string RowItems(const clsEmp& row, sql::Items::Form form) {
  sql::Items items(form);
  items.Text("F_EmpID=", row.FEmpID())
      .Text("F_Name=", row.FName())
      .Text("F_Spell=", row.FSpell())
      .Text("F_Dept=", row.FDept())
      .Text("F_Sex=", row.FSex())
      .Text("F_CardID=", row.FCardID())
      .Text("F_IDCard=", row.FIDCard())
      .Number("F_IsKQ=", row.FIsKQ())
      .Number("F_IsRatifier=", row.FIsRatifier())
      .Text("F_Shift=", row.FShift())
      .Text("F_Work=", row.FWork())
      .Text("F_Degree=", row.FDegree())
      .Text("F_JoinDate=", row.FJoinDate())
      .Text("F_Tel=", row.FTel())
      .Text("F_PostCode=", row.FPostCode())
      .Text("F_Addr=", row.FAddr())
      .Text("F_Photo=", row.FPhoto())
      .Text("F_Note=", row.FNote());
  return std::move(items).str();
}

// The type-ahead search lists number, name and department, as they stand.
constexpr framework::ListColumn kFoundRow[] = {
    {"F_EmpID", Cell::kText},
    {"F_Name", Cell::kText},
    {"F_Dept", Cell::kText},
};
constexpr framework::Listing kTypeAhead = {
    .source = mdlConst::T_Emp,
    .ordering = "",
    .row = kFoundRow,
    .captioned_select = "",
    .search_select = "select F_EmpID,F_Name,F_Dept",
};

// The column a typed text is matched against, by its first character: a
// digit reads as an employee number; another character below code 256 (its
// 16-bit code's high byte is 0, as for Latin letters) as a letter key; a
// wide character, such as a Chinese one, as a name.
std::string_view SearchColumn(std::string_view typed) {
  if (typed.empty()) throw Error::Runtime(errnum::kInvalidCall);  // no first character
  const unsigned char first = static_cast<unsigned char>(typed.front());
  if (first >= '0' && first <= '9') return "F_EmpID";
  // UTF-8 lead bytes 0xC2 and 0xC3 begin the characters 0x80 to 0xFF.
  if (first < 0x80 || first == 0xC2 || first == 0xC3) return "F_Spell";
  return "F_Name";
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

clsEmp::clsEmp() : RecordOf(mdlConst::T_Emp, mdlConst::T_Emp) {}

std::span<const framework::ColumnDef<clsEmp>> clsEmp::Columns() {
  using Self = clsEmp;
  static constexpr framework::ColumnDef<clsEmp> kColumns[] = {
      TESSALY_CLSEMP_COLUMNS(TESSALY_COLUMN)};
  return kColumns;
}

std::string clsEmp::GetValueFields(int32_t) {
  return " F_EmpID,F_Name,F_Spell,F_Dept,F_Sex,F_CardID,F_IDCard,F_IsKQ,F_IsRatifier,"
         "F_Shift,F_Work,F_Degree,F_JoinDate,F_Tel,F_PostCode,F_Addr,F_Photo,F_Note";
}

std::string clsEmp::GetValuesString(int32_t) { return RowItems(*this, sql::Items::Form::kValues); }

std::string clsEmp::GetBodyString(int32_t Rev) {
  if (Rev == EMP_UPDSHIFT) return sql::Items().Text("F_Shift=", FShift_).str();
  return RowItems(*this, sql::Items::Form::kAssignments);
}

std::string clsEmp::GetWhereString(int32_t Rev) {
  switch (Rev) {
    case -1: return " 1=1 ORDER BY F_Dept,F_EmpID ";
    case EMP_UPDSHIFT:
    case EMP_BYDEPT: return " F_Dept=" + sql::Quoted(FDept_);
    case EMP_LOOKRATIFY: return " F_IsRatifier<>0";
    case EMP_BYCARDID: return " F_CardID=" + sql::Quoted(FCardID_);
    default: return " F_EmpID=" + sql::Quoted(key_);
  }
}

// Both texts take the mode, so one statement can set a department's shift.
eRESULT clsEmp::Update(std::string& ErrStr, int32_t ExtraParam) {
  const std::string set = GetBodyString(ExtraParam);
  return UpdateWith(ErrStr, set, GetWhereString(ExtraParam));
}

std::string clsEmp::ExeSearch(std::string FindStr, bool IsBlur, int32_t& RetRow,
                              std::string strErr) {
  static_cast<void>(strErr);
  std::string condition;
  const bool built = Trapped(false, [&] {
    if (recordset() == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
    if (recordset()->State() != 0) recordset()->Close();
    const std::string_view typed = TrimBlanks(FindStr);
    const std::string_view column = SearchColumn(typed);
    if (IsBlur) {
      // Anywhere in the column, without regard to letter case.
      condition.append(" instr(1,").append(column).append(",").append(sql::Quoted(typed));
      condition.append(",1)>0 ");
    } else {
      // A prefix of as many characters; names count the bytes of their 16-bit
      // form, twice their characters, so a name matches only when equal.
      size_t length = vb::Len(typed);
      if (column == "F_Name") length *= 2;
      condition.append("left(").append(column).append(",").append(std::to_string(length));
      condition.append(")=").append(sql::Quoted(typed));
    }
    return true;
  });
  if (!built) return {};
  return framework::ExeSearch(kTypeAhead, condition, RetRow, connection(), recordset(),
                              &last_error());
}

}  // namespace tessaly
