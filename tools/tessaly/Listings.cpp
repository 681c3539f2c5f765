#include "Listings.h"

#include "tessaly/tessaly.h"

namespace tessaly::tool {

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

}  // namespace

// One line per listing, in the order --help shows them.
constexpr ListingEntry kListings[] = {
    {"kq", "daily attendance records", &clsKQ::CaptionedListing},
    {"mtj", "monthly attendance statistics", &clsMTJ::CaptionedListing},
    {"emp", "employees, by department and number", &Employees},
    {"user", "users, by user ID (without passwords)", &Users},
};

std::span<const ListingEntry> Listings() { return kListings; }

}  // namespace tessaly::tool
