#include "tessaly/admin/clsEmp.h"

#include "framework/RecordOf.inl.h"
#include "tessaly/db/Recordset.h"
#include "tessaly/db/Vb.h"

namespace tessaly {

// The type-ahead search lists number, name and department, as they stand.
const framework::Listing& clsEmp::TypeAheadListing() {
  static const framework::Listing listing = [] {
    framework::Listing l =
        framework::ListingOf<clsEmp>(mdlConst::T_Emp, "", {"F_EmpID", "F_Name", "F_Dept"});
    l.search_head = "select F_EmpID,F_Name,F_Dept from T_Emp where ";
    return l;
  }();
  return listing;
}

namespace {

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

TESSALY_RECORD_INSTANCES(clsEmp)
TESSALY_COLUMNS_OF(clsEmp, TESSALY_CLSEMP_COLUMNS(TESSALY_COLUMN))

std::string clsEmp::GetBodyString(int32_t Rev) {
  if (Rev == EMP_UPDSHIFT) return sql::Items().Text("F_Shift", FShift_).str();
  return RecordOf::GetBodyString(Rev);
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

std::string clsEmp::TypeAheadCondition(std::string_view FindStr, bool IsBlur) {
  const std::string_view typed = TrimBlanks(FindStr);
  const std::string_view column = SearchColumn(typed);
  std::string condition;
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
  return condition;
}

std::string clsEmp::ExeSearch(std::string FindStr, bool IsBlur, int32_t& RetRow,
                              std::string strErr) {
  static_cast<void>(strErr);
  std::string condition;
  const bool built = framework::Trapped(false, &last_error(), [&] {
    if (recordset() == nullptr) throw Error::Runtime(errnum::kObjectNotSet);
    if (recordset()->State() != 0) recordset()->Close();
    condition = TypeAheadCondition(FindStr, IsBlur);
    return true;
  });
  if (!built) return {};
  return framework::ExeSearch(TypeAheadListing(), condition, RetRow, connection(), recordset(),
                              &last_error());
}

}  // namespace tessaly
