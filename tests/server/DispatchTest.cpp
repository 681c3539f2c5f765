// The type library against the published interfaces, and late binding's
// answers to good and bad calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <tuple>
#include <string>
#include <vector>

#include "support/TestDb.h"
#include "tessaly/server/Dispatch.h"
#include "tessaly/server/TypeLib.h"
#include "tessaly/tessaly.h"
#include "tessaly/tessaly_c.h"

namespace tessaly::server {
namespace {

// "FD{1..3}" -> "FD1 FD2 FD3", so the long day lists read as they are
// published.
std::vector<std::string> Expand(const std::string& spelt) {
  std::vector<std::string> out;
  std::regex range(R"((\w+)\{(\d+)\.\.(\d+)\}(.*))");
  std::string word;
  // Members are separated by " | " (a method's parameters hold blanks).
  size_t start = 0;
  while (start <= spelt.size()) {
    size_t end = spelt.find(" | ", start);
    if (end == std::string::npos) end = spelt.size();
    word = spelt.substr(start, end - start);
    std::smatch m;
    if (std::regex_match(word, m, range)) {
      for (int i = std::stoi(m[2]); i <= std::stoi(m[3]); ++i) {
        out.push_back(m[1].str() + std::to_string(i) + m[4].str());
      }
    } else {
      out.push_back(word);
    }
    start = end + 3;
  }
  return out;
}

// A member as the table writes it: "FKey!" write only, "FEmpName?" read
// only, a method with its parameters ("&" by reference, "[..]" optional).
std::string Spelt(const MemberInfo& m) {
  switch (m.kind) {
    case MemberKind::kProperty: return m.name;
    case MemberKind::kPropertyGet: return m.name + "?";
    case MemberKind::kPropertyLet: return m.name + "!";
    case MemberKind::kMethod: break;
  }
  std::string s = m.name + "(";
  for (size_t i = 0; i < m.params.size(); ++i) {
    const ParamInfo& p = m.params[i];
    if (i) s += ", ";
    s += (p.by_ref ? "&" : "") + (p.optional ? "[" + p.name + "]" : p.name);
  }
  return s + ")";
}

constexpr const char* kLeave =
    "FEmpName? | FDept? | FID | FEmpID | FDateFr | FTimeFr | FTimeTo | FDateTo | FReason | "
    "FRatify | FIsTJ | FHour | GetMaxID(&RetMaxID, &strMsg) | GetSQLField(&MySql) | "
    "ExeSearch(InSql, &RetRow, [strErr]) | "
    "HasTheHoliday(strDate, EmpID, &HasIt, &RetHour, [strErr])";

// Every published class in the library's order with its default interface.
const std::vector<std::pair<std::string, std::string>> kInterfaces = {
    {"clsKQ",
     "FID | FEmpID | FName | FDept | FKQType | FDate | FIn1 | FOut1 | FIn2 | FOut2 | FIn3 | "
     "FOut3 | FZLIn | FZLOut | FIsWQ | FCDNum | FCDMinute | FZTNum | FZTMinute | FJBHours | "
     "FNote | FIsTJ | FSBSJ | FQJSJ | FShift | GetSQLField(&MySql) | "
     "ExeSearch(InSql, &RetRow, [strErr]) | "
     "CalcKaoQinDays(intYear, intMonth, KQType, EmpID, &RetDays, [strErr]) | "
     "CalcJBHours(intYear, intMonth, GongXiu, EmpID, &RetJBHours, RetJBXHours, [strErr]) | "
     "CalcQTMTJ(intYear, intMonth, EmpID, CDNum, CDMinute, ZTNum, ZTMinute, WK_Hours, "
     "QJ_Hours, [strErr]) | ExeSearchWithRecord(InSql, [strErr])"},
    {"clsCC", kLeave},
    {"clsEmp",
     "FKey! | FEmpID | FName | FSpell | FDept | FSex | FCardID | FIDCard | FIsKQ | FIsRatifier | "
     "FShift | FWork | FDegree | FJoinDate | FTel | FPostCode | FAddr | FPhoto | FNote | "
     "ExeSearch(FindStr, IsBlur, &RetRow, [strErr])"},
    {"clsJB",
     "FID | FEmpID | FDateFr | FDateTo | FTimeFr | FTimeTo | FJBHours | FReason | FRatify | "
     "FKQCheck | FIsTJ | GetMaxID(&RetMaxID, &strMsg) | GetSQLField(&MySql) | "
     "ExeSearch(InSql, &RetRow, [strErr]) | "
     "HasTheHoliday(strDate, HoursPerDay, EmpID, &HasIt, &RetHour, [strErr])"},
    {"clsSJ", kLeave},
    {"clsWQ",
     "FID | FEmpID | FDate | FTimeFr | FTimeTo | FCancelIn1 | FCancelOut1 | FCancelIn2 | "
     "FCancelOut2 | FCancelIn3 | FCancelOut3 | FReason | FRatify | FIsTJ | "
     "GetMaxID(&RetMaxID, &strMsg) | GetSQLField(&MySql) | ExeSearch(InSql, &RetRow, [strErr])"},
    {"clsXJ", kLeave},
    {"clsUser", "GetMaxID(&RetMaxID, &strMsg) | FID | FName | FUserID | FPwd | FRight"},
    {"clsShift",
     "FKey! | FName | FType | FUse{1..4} | FLimitIn | FLimitOut | FLimitCD | FLimitZT | FIn1_H | "
     "FIn1_M | FOut1_H | FOut1_M | FIn2_H | FIn2_M | FOut2_H | FOut2_M | FIn3_H | FIn3_M | "
     "FOut3_H | FOut3_M | FZLIn_H | FZLIn_M | FZLOut_H | FZLOut_M | FIsOver{1..4} | FOverLimit | "
     "FIn1Up | FIn1Down | FOut1Up | FOut1Down | FIn2Up | FIn2Down | FOut2Up | FOut2Down | "
     "FIn3Up | FIn3Down | FOut3Up | FOut3Down | FZLInUp | FZLInDown | FZLOutUp | FZLOutDown"},
    {"clsItem",
     "GetMaxID(TableIndex, &RetMaxID, &strMsg) | FItemID | FName | FNote | TableIndex! | "
     "TheItemIsNeed(ItemID, &ErrStr, &ItemIsNeed, &ItemIndex)"},
    {"clsBJ", kLeave},
    {"clsHoliday", "GetMaxID(&RetMaxID, &strMsg) | FID | FName | FDateFr | FDateTo"},
    {"clsMTJ",
     "FID | FYear | FMonth | FEmpID | FName | FDept | FWK_Days | FYC_Days | FGX_Days | FXJ_Days | "
     "FCC_Days | FKG_Days | FBJ_Days | FSJ_Days | FQT_Days | FJBP_Hours | FJBX_Hours | "
     "FJB_Hours | FCD_Num | FCD_Minute | FZT_Num | FZT_Minute | FWK_Hours | FQJ_Hours | FNote | "
     "GetSQLField(&MySql) | ExeSearch(InSql, &RetRow, [strErr]) | "
     "ExeSearchWithRecord(InSql, [strErr])"},
    {"clsKQJ",
     "FKey! | FName | FAddress | FState | "
     "TheAddrIsExist(strAddS, strKey, &AddrIsExist, &[ErrStr])"},
    {"clsTrans",
     "FID | FDate | FTime | FCardID | FDcuID | FDoor | FEmpID | FName | FDept | FFlag | "
     "FIsEnter | FIsExit | FIsKQ | FIsTJ | GetSQLField(&MySql) | "
     "ExeSearch(InSql, &RetRow, [strErr]) | "
     "HasTrans(StartDate, EndDate, EmpID, StartTime, EndTime, IsIn, &HasIt, &RetTime, [strErr]) | "
     "HasTransByFlag(strDate, EmpID, intFlag, &HasIt, &RetTime, [strErr]) | "
     "ExeSearchWithRecord(InSql, [strErr])"},
    {"clsTransLost",
     "FID | FLoadDate | FErrMsg | FCardID | FYear | FMonth | FDay | FHour | FMinute | FDate | "
     "FTime | FEmpID | FName | FDept | FFlag | FDcuID | FDoor | FIsEnter | FIsExit | FIsKQ | "
     "GetSQLField(&MySql) | ExeSearch(InSql, &RetRow, [strErr])"},
    {"clsRoster",
     "FKey! | FRoster_Num | FFscl_Month | FRost_Type | FDept_ID | FEmp_ID | FRost_Code | "
     "FMon_Work_Hours | FD{1..31} | GetMaxID(&RetMaxID, &strMsg) | GetSQLField(&MySql) | "
     "ExeSearch(InSql, &RetRow, [strErr])"},
    {"clsPrn", "GetPrnModeID(strKey, &RetModeID, &[strErr]) | HConnect!"},
    {"clsRpt",
     "HConnect! | ClearWorkData([StartDate], [EndDate], [strErr]) | "
     "ClearAllData(SysAdmin, [strErr])"},
    {"clsLog",
     "FID | FDate | FTime | FRecCnt | FOperator | FNote | ExeSearchWithRecord(InSql, [strErr]) | "
     "GetSQLField(&MySql)"},
    {"clsCollect", "FWorkNo | FKQDate | FKQTime | FDcuID | FDoor | FFlag"},
    {"clsPBSet",
     "FKey! | FName | FType | FMon | FTue | FWed | FThu | FFri | FSat | FSun | FD{1..31} | "
     "ThePlanIsNeed(PlanID, &ErrStr, &PlanIsNeed)"},
};

TEST(TypeLibTest, EveryInterfaceHasThePublishedMembersInTheirOrder) {
  const TypeLibrary& lib = Library();
  ASSERT_EQ(lib.classes.size(), kInterfaces.size());
  for (size_t i = 0; i < kInterfaces.size(); ++i) {
    const ClassInfo& cls = lib.classes[i];
    SCOPED_TRACE(cls.name);
    EXPECT_EQ(cls.name, kInterfaces[i].first);
    EXPECT_EQ(cls.progid, "Tessaly." + cls.name);
    EXPECT_EQ(cls.default_interface.name, "_" + cls.name);
    EXPECT_EQ(cls.implements_clsbase, cls.name != "clsPrn" && cls.name != "clsRpt");
    std::vector<std::string> got;
    for (const MemberInfo& m : cls.default_interface.members) got.push_back(Spelt(m));
    EXPECT_EQ(got, Expand(kInterfaces[i].second));
  }
  std::vector<std::string> base;
  for (const MemberInfo& m : lib.clsbase.members) base.push_back(Spelt(m));
  EXPECT_EQ(base, Expand("GetValueFields([Rev]) | GetSelString([Rev]) | GetBodyString([Rev]) | "
                         "GetValuesString([Rev]) | GetWhereString([Rev]) | HRecordset | "
                         "HRecordCount? | HConnect | DoSearch(&[ErrStr], &[ExtraParam]) | "
                         "LoadFieldValue(&[ErrStr], &[ExtraParam]) | MovePrevious() | "
                         "MoveLast() | MoveFirst() | MoveNext() | GetClipString() | "
                         "IsNothing() | ISEOF() | ISBOF() | Update(&[ErrStr], &[ExtraParam]) | "
                         "Delete(&[ErrStr], &[ExtraParam]) | Add(&[ErrStr], &[ExtraParam])"));
}

// The kinds the C++ signatures give, where they are easy to get wrong.
TEST(TypeLibTest, KindsOfPropertiesParametersAndResults) {
  const TypeLibrary& lib = Library();
  auto member = [&](std::string_view cls, std::string_view name) -> const MemberInfo& {
    for (const MemberInfo& m : lib.FindClass(cls)->default_interface.members) {
      if (m.name == name) return m;
    }
    throw std::logic_error("no member " + std::string(name));
  };
  auto kinds = [](const MemberInfo& m) {
    std::string s = m.type.Name() + " <-";
    for (const ParamInfo& p : m.params) s += " " + p.type.Name();
    return s;
  };
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"clsKQ", "FID", "Long <-"},
      {"clsKQ", "FCDNum", "Integer <-"},
      {"clsKQ", "FJBHours", "Single <-"},
      {"clsTrans", "FFlag", "Byte <-"},
      {"clsRoster", "FKey", "Long <-"},
      {"clsKQ", "CalcJBHours", "eRESULT <- Integer Integer String String Single Single String"},
      {"clsKQ", "GetSQLField", "Boolean <- SQLField()"},
      {"clsKQ", "ExeSearchWithRecord", "Recordset <- String String"},
      {"clsJB", "HasTheHoliday", "eRESULT <- String Integer String Boolean Single String"},
      {"clsCC", "HasTheHoliday", "eRESULT <- String String Boolean Integer String"},
      {"clsItem", "GetMaxID", "eRESULT <- C_ITEM_INDEX Integer String"},
      {"clsItem", "TableIndex", "C_ITEM_INDEX <-"},
      {"clsRpt", "HConnect", "Connection <-"},
      {"clsRpt", "ClearWorkData", "Boolean <- String String String"},
  };
  for (const auto& [cls, name, expected] : cases) {
    EXPECT_EQ(kinds(member(cls, name)), expected) << cls << "." << name;
  }
}

TEST(TypeLibTest, LibraryIdentityAndEnumerations) {
  // The library's name, version and locale are checked through the tool's
  // typelib listing.
  const TypeLibrary& lib = Library();
  std::vector<std::string> names;
  for (const EnumInfo& e : lib.enums) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"eLOOK_KQ", "eLOOK_CC", "eLOOK_SJ", "eLOOK_XJ",
                                             "eLOOK_BJ", "eLOOK_JB", "eLOOK_WQ", "eLOOK_EMP",
                                             "eLOOK_USER", "C_ITEM_INDEX", "eLOOK_MTJ",
                                             "eLOOK_TRANS", "eLOOK_TRANSLOST", "eRESULT"}));
  EXPECT_EQ(lib.enums[0].members,
            (std::vector<std::pair<std::string, int32_t>>{
                {"KQ_N0RMAL", 1}, {"KQ_UPDTJ", 2}, {"KQ_BYEMPIDANDDATE", 3}}));
  // Identifiers are distinct and read back from their text.
  std::vector<std::string> ids{lib.libid.Text(), lib.clsbase.iid.Text()};
  for (const ClassInfo& c : lib.classes) {
    ids.push_back(c.clsid.Text());
    ids.push_back(c.default_interface.iid.Text());
    EXPECT_EQ(Guid::Parse(c.clsid.Text()), c.clsid);
    EXPECT_EQ(lib.FindClass(c.clsid), &c);
  }
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
  for (const char* bad : {"", "{}", "{82894185-D7DB-44F0-813C-605BBBDBBEA}",
                          "{82894185-D7DB-44F0-813C-605BBBDBBEAZ}",
                          "82894185-D7DB-44F0-813C-605BBBDBBEA2xx"}) {
    EXPECT_FALSE(Guid::Parse(bad)) << bad;
  }
}

// ---- late binding --------------------------------------------------------

class LateBindingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Object::Create("Tessaly.clsKQ", kq_), TESSALY_S_OK);
    std::vector<Value> args{Value::Of(Object::OfConnection(db_))};
    ASSERT_EQ(kq_->Invoke("HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, args, nullptr),
              TESSALY_S_OK);
  }
  int32_t Put(std::string_view name, Value v) {
    std::vector<Value> args{std::move(v)};
    return kq_->Invoke(name, TESSALY_DISPATCH_PROPERTYPUT, args, nullptr);
  }
  Value Get(std::string_view name) {
    Value out;
    EXPECT_EQ(kq_->Invoke(name, TESSALY_DISPATCH_PROPERTYGET, {}, &out), TESSALY_S_OK) << name;
    return out;
  }
  static Value Text(std::string s) { return Value(db::Variant(std::move(s))); }
  static Value Long(int32_t n) { return Value(db::Variant(n)); }

  std::shared_ptr<db::Connection> db_ = testing::AttendanceDb();
  std::shared_ptr<Object> kq_;
};

TEST_F(LateBindingTest, NamesIgnoreCaseAndArgumentsAreConverted) {
  int32_t upper = 0, lower = 0;
  EXPECT_EQ(kq_->GetIDOfName("FEMPID", upper), TESSALY_S_OK);
  EXPECT_EQ(kq_->GetIDOfName("fempid", lower), TESSALY_S_OK);
  EXPECT_EQ(upper, lower);
  EXPECT_EQ(Put("FCDNum", Text("12")), TESSALY_S_OK);  // a number text to an Integer
  EXPECT_EQ(Get("FCDNum").scalar, db::Variant(int16_t{12}));
  EXPECT_EQ(Put("FEmpID", Long(42)), TESSALY_S_OK);  // a number to a String
  EXPECT_EQ(Get("FEmpID").scalar, db::Variant("42"));
  EXPECT_EQ(Put("FEmpID", Text("0123456789ABC")), TESSALY_S_OK);
  EXPECT_EQ(Get("FEmpID").scalar, db::Variant("0123456789"));  // the let cuts as in C++
}

TEST_F(LateBindingTest, ByReferenceArgumentsComeBackAndOptionalOnesDefault) {
  ASSERT_EQ(Put("FEmpID", Text("0001")), TESSALY_S_OK);
  ASSERT_EQ(Put("FDate", Text("2003-05-01")), TESSALY_S_OK);
  ASSERT_EQ(Put("FKQType", Text("事假")), TESSALY_S_OK);
  Value result;
  std::vector<Value> none;
  ASSERT_EQ(kq_->Invoke("Add", TESSALY_DISPATCH_METHOD, none, &result), TESSALY_S_OK);
  EXPECT_EQ(result.scalar, db::Variant(int32_t{RES_ADDOK}));

  // RetDays is written back as a Single; strErr is left out.
  std::vector<Value> args{Long(2003), Long(5), Text("事假"), Text("0001"), Long(0),
                          Value::Missing()};
  ASSERT_EQ(kq_->Invoke("CalcKaoQinDays", TESSALY_DISPATCH_METHOD, args, &result), TESSALY_S_OK);
  EXPECT_EQ(result.scalar, db::Variant(int32_t{RES_OK}));
  EXPECT_EQ(args[4].scalar, db::Variant(1.0f));
  EXPECT_EQ(args[0].scalar, db::Variant(int32_t{2003}));  // by value: untouched

  // A failing search writes its message into ErrStr, published by reference.
  ASSERT_EQ(Put("FDate", Text("not a date")), TESSALY_S_OK);
  std::vector<Value> search{Text(""), Long(KQ_BYEMPIDANDDATE)};
  ASSERT_EQ(kq_->Invoke("DoSearch", TESSALY_DISPATCH_METHOD, search, &result), TESSALY_S_OK);
  EXPECT_EQ(result.scalar, db::Variant(int32_t{RES_SEARCHERR}));
  EXPECT_FALSE(search[0].scalar.ToText().empty());

  // The descriptors come back as lines of name, caption and kind.
  std::vector<Value> fields{Value()};
  ASSERT_EQ(kq_->Invoke("GetSQLField", TESSALY_DISPATCH_METHOD, fields, &result), TESSALY_S_OK);
  EXPECT_TRUE(fields[0].scalar.ToText().starts_with("F_EmpID\t员工编号\t1\r\nF_Name\t"))
      << fields[0].scalar.ToText();
}

TEST_F(LateBindingTest, BadCallsGetTheResultsALateBindingHostSaw) {
  struct Case {
    const char* name;
    uint16_t flags;
    std::vector<Value> args;
    int32_t expected;
    uint32_t arg_err;
  };
  const Value missing = Value::Missing();
  const std::vector<Case> cases = {
      {"NoSuchMember", TESSALY_DISPATCH_METHOD, {}, TESSALY_DISP_E_UNKNOWNNAME, 0},
      {"FCDNum", TESSALY_DISPATCH_PROPERTYPUT, {Text("many")}, TESSALY_DISP_E_TYPEMISMATCH, 0},
      {"FCDNum", TESSALY_DISPATCH_PROPERTYPUT, {Long(40000)}, TESSALY_DISP_E_OVERFLOW, 0},
      {"FCDNum", TESSALY_DISPATCH_PROPERTYPUT, {Value(db::Variant::Null())},
       TESSALY_DISP_E_TYPEMISMATCH, 0},
      {"FCDNum", TESSALY_DISPATCH_PROPERTYPUT, {}, TESSALY_DISP_E_BADPARAMCOUNT, 0},
      {"FCDNum", TESSALY_DISPATCH_PROPERTYGET, {Long(1)}, TESSALY_DISP_E_BADPARAMCOUNT, 0},
      {"ExeSearch", TESSALY_DISPATCH_METHOD, {}, TESSALY_DISP_E_PARAMNOTOPTIONAL, 0},
      {"ExeSearch", TESSALY_DISPATCH_METHOD, {Text(""), missing},
       TESSALY_DISP_E_PARAMNOTOPTIONAL, 1},
      {"ExeSearch", TESSALY_DISPATCH_METHOD, {Text(""), Long(0), Text(""), Text("")},
       TESSALY_DISP_E_BADPARAMCOUNT, 0},
      {"CalcQTMTJ", TESSALY_DISPATCH_METHOD,
       {Long(2003), Text("May"), Text(""), Long(0), Long(0), Long(0), Long(0), Long(0), Long(0)},
       TESSALY_DISP_E_TYPEMISMATCH, 1},
      {"HConnect", TESSALY_DISPATCH_PROPERTYPUTREF, {Text("att.db")},
       TESSALY_DISP_E_TYPEMISMATCH, 0},
      {"HRecordCount", TESSALY_DISPATCH_PROPERTYPUT, {Long(1)}, TESSALY_DISP_E_MEMBERNOTFOUND, 0},
      {"Add", TESSALY_DISPATCH_PROPERTYPUT, {Long(1)}, TESSALY_DISP_E_MEMBERNOTFOUND, 0},
      {"Add", 0, {}, TESSALY_E_INVALIDARG, 0},
      {"Add", TESSALY_DISPATCH_METHOD | TESSALY_DISPATCH_PROPERTYPUT, {}, TESSALY_E_INVALIDARG,
       0},
  };
  for (const Case& c : cases) {
    std::vector<Value> args = c.args;
    uint32_t arg_err = 99;
    Value result;
    EXPECT_EQ(kq_->Invoke(c.name, c.flags, args, &result, nullptr, &arg_err), c.expected)
        << c.name << " with " << args.size() << " arguments";
    if (c.expected == TESSALY_DISP_E_TYPEMISMATCH || c.expected == TESSALY_DISP_E_PARAMNOTOPTIONAL) {
      EXPECT_EQ(arg_err, c.arg_err) << c.name;
    }
  }
  std::shared_ptr<Object> user;
  ASSERT_EQ(Object::Create("tessaly.CLSUSER", user), TESSALY_S_OK);
  EXPECT_EQ(Object::Create("Tessaly.clsNone", user), TESSALY_REGDB_E_CLASSNOTREG);
  std::shared_ptr<Object> shift;
  ASSERT_EQ(Object::Create("Tessaly.clsShift", shift), TESSALY_S_OK);
  EXPECT_EQ(shift->Invoke("FKey", TESSALY_DISPATCH_PROPERTYGET, {}, nullptr),
            TESSALY_DISP_E_MEMBERNOTFOUND);  // write only
}

TEST_F(LateBindingTest, AnErrorEscapingAMemberBecomesAnExceptionResult) {
  // A search that found rows, then a move on a recordset the host closed.
  ASSERT_EQ(Put("FEmpID", Text("0001")), TESSALY_S_OK);
  ASSERT_EQ(Put("FDate", Text("2003-05-01")), TESSALY_S_OK);
  Value result;
  std::vector<Value> none;
  ASSERT_EQ(kq_->Invoke("Add", TESSALY_DISPATCH_METHOD, none, &result), TESSALY_S_OK);
  std::vector<Value> all{Text(""), Long(-1)};
  ASSERT_EQ(kq_->Invoke("DoSearch", TESSALY_DISPATCH_METHOD, all, &result), TESSALY_S_OK);
  Value rs;
  ASSERT_EQ(kq_->Invoke("HRecordset", TESSALY_DISPATCH_PROPERTYGET, {}, &rs), TESSALY_S_OK);
  ASSERT_TRUE(rs.is_object && rs.object);
  EXPECT_EQ(rs.object->ClassName(), "Recordset");
  ASSERT_EQ(rs.object->Invoke("Close", TESSALY_DISPATCH_METHOD, none, nullptr), TESSALY_S_OK);
  ExcepInfo info;
  EXPECT_EQ(rs.object->Invoke("MoveNext", TESSALY_DISPATCH_METHOD, none, nullptr, &info),
            TESSALY_DISP_E_EXCEPTION);
  EXPECT_EQ(info.number, errnum::kObjectClosed);
  EXPECT_EQ(info.scode, static_cast<int32_t>(0x800A0000u | errnum::kObjectClosed));
  EXPECT_EQ(info.source, "Recordset");
  EXPECT_FALSE(info.description.empty());

  // A provider's error keeps its own number as the code.
  std::vector<Value> sql{Text("SELEC 1")};
  std::shared_ptr<Object> conn = Object::OfConnection(db_);
  EXPECT_EQ(conn->Invoke("Execute", TESSALY_DISPATCH_METHOD, sql, nullptr, &info),
            TESSALY_DISP_E_EXCEPTION);
  EXPECT_EQ(info.number, errnum::kSyntax);
  EXPECT_EQ(info.scode, errnum::kSyntax);
}

}  // namespace
}  // namespace tessaly::server
