// The listings by name (tessaly/Listings.h).
#include "tessaly/Listings.h"

#include "framework/ColumnTable.h"
#include "tessaly/tessaly.h"

namespace tessaly {

namespace {

// Employees and users have no captioned listing of their own: the command
// lists their columns as declared, users without their passwords.
const framework::Listing& Employees() {
  static const framework::Listing listing = framework::ListingOf<clsEmp>(
      mdlConst::T_Emp, " order by F_Dept,F_EmpID",
      {"F_EmpID", "F_Name", "F_Spell", "F_Dept", "F_Sex", "F_CardID", "F_IDCard", "F_IsKQ",
       "F_IsRatifier", "F_Shift", "F_Work", "F_Degree", "F_JoinDate", "F_Tel", "F_PostCode",
       "F_Addr", "F_Photo", "F_Note"});
  return listing;
}

const framework::Listing& Users() {
  static const framework::Listing listing = framework::ListingOf<clsUser>(
      mdlConst::T_User, " order by F_UserID", {"F_ID", "F_UserID", "F_Name", "F_Right"});
  return listing;
}

// Every row of a table in its class's own order, under the declared names.
template <class Record>
framework::Listing EveryRow(std::string_view table, std::string_view ordering) {
  return framework::ListingOf<Record>(table, ordering, framework::ColumnList<Record>::Declared());
}

#define TESSALY_EVERY_ROW(Name, Record, Table, Ordering)                          \
  const framework::Listing& Name() {                                             \
    static const framework::Listing listing = EveryRow<Record>(Table, Ordering); \
    return listing;                                                              \
  }
TESSALY_EVERY_ROW(Shifts, clsShift, mdlConst::T_Shift, " ORDER BY F_Name")
TESSALY_EVERY_ROW(Plans, clsPBSet, mdlConst::T_PBSet, " ORDER BY F_Name")
TESSALY_EVERY_ROW(Holidays, clsHoliday, mdlConst::T_Holiday, " ORDER BY F_ID")
TESSALY_EVERY_ROW(ShiftTypes, clsItem, mdlConst::T_BCType, " ORDER BY F_Name")
TESSALY_EVERY_ROW(Departments, clsItem, mdlConst::T_Dept, " ORDER BY F_Name")
TESSALY_EVERY_ROW(RotationCodes, clsItem, mdlConst::T_RostCode, " ORDER BY F_Name")
#undef TESSALY_EVERY_ROW

}  // namespace

// One line per listing, in the order --help shows them.
constexpr NamedListing kListings[] = {
    {"kq", "daily attendance records", &clsKQ::CaptionedListing},
    {"mtj", "monthly attendance statistics", &clsMTJ::CaptionedListing},
    {"emp", "employees, by department and number", &Employees},
    {"empfind", "employees whose number, letter key or name holds the --where text", &clsEmp::TypeAheadListing,
     [](const std::string& typed) { return clsEmp::TypeAheadCondition(typed, true); }},
    {"user", "users, by user ID (without passwords)", &Users},
    {"shift", "shifts, by name", &Shifts},
    {"plan", "schedule plans, by name", &Plans},
    {"roster", "rosters with the employee, department and rotation-code names", &clsRoster::SearchListing},
    {"bctype", "shift types, by name", &ShiftTypes},
    {"dept", "departments, by name", &Departments},
    {"rostcode", "rotation codes, by name", &RotationCodes},
    {"holiday", "public holidays, by identifier", &Holidays},
    {"cc", "business-trip requests", &clsCC::SearchListing},
    {"sj", "personal leave requests", &clsSJ::SearchListing},
    {"xj", "vacation requests", &clsXJ::SearchListing},
    {"bj", "sick leave requests", &clsBJ::SearchListing},
    {"jb", "overtime requests", &clsJB::SearchListing},
    {"wq", "field-work entries", &clsWQ::SearchListing},
    {"trans", "card punches", &clsTrans::CaptionedListing},
    {"translost", "rejected punches", &clsTransLost::SearchListing},
    {"collect", "collected raw punches, in collection order", &clsCollect::CollectedListing},
    {"kqj", "attendance terminals, by name", &clsKQJ::TerminalListing},
    {"log", "import log, by date and time", &clsLog::CaptionedListing},
};

std::span<const NamedListing> NamedListings() { return kListings; }

}  // namespace tessaly
