// The published interfaces of the library's classes and of ClsBase, each in
// its published order, read by the type library and late binding
// (Classes.cpp). Hosts of the C++ classes never use them, so they stand here
// beside their only reader; each names the class's properties through its
// column list where the two orders agree.
#pragma once

#include "tessaly/tessaly.h"

// A class's published interface is one list, in its published order, of
// lines X(What, ...):
//   X(Props, COLUMNS)            the properties (a let and a get each) of a
//                                column list, in its declaration order
//   X(Gets, COLUMNS)             the read-only properties of a column list
//   X(Property, Name, Type)      a property with a let and a get
//   X(Get, Name, Type)           a read-only property
//   X(Let, Name, Type)           a write-only property
//   X(Method, Name, "p1", ...)   a method with its parameters' names
//   X(MethodOf, Name, Signature, "p1", ...)  the same for a name the class
//                                overloads: Signature picks the published one
// A parameter name in brackets, "[strErr]", is optional: left out, it is
// the empty text or 0. A leading "&", "&[ExtraParam]", marks a parameter
// published by reference that the C++ member takes by value (it is passed
// back unchanged). Every other parameter's kind and passing follow the C++
// signature: T& is by reference.

// ClsBase in its slot order: the mode of a builder is optional, and an
// operation's message and mode are optional and published by reference.
#define TESSALY_CLSBASE_MEMBERS(X)                     \
  X(Method, GetValueFields, "[Rev]")                   \
  X(Method, GetSelString, "[Rev]")                     \
  X(Method, GetBodyString, "[Rev]")                    \
  X(Method, GetValuesString, "[Rev]")                  \
  X(Method, GetWhereString, "[Rev]")                   \
  X(Property, HRecordset)                              \
  X(Get, HRecordCount)                                 \
  X(Property, HConnect)                                \
  X(Method, DoSearch, "[ErrStr]", "&[ExtraParam]")       \
  X(Method, LoadFieldValue, "[ErrStr]", "&[ExtraParam]") \
  X(Method, MovePrevious)                              \
  X(Method, MoveLast)                                  \
  X(Method, MoveFirst)                                 \
  X(Method, MoveNext)                                  \
  X(Method, GetClipString)                             \
  X(Method, IsNothing)                                 \
  X(Method, ISEOF)                                     \
  X(Method, ISBOF)                                     \
  X(Method, Update, "[ErrStr]", "&[ExtraParam]")         \
  X(Method, Delete, "[ErrStr]", "&[ExtraParam]")         \
  X(Method, Add, "[ErrStr]", "&[ExtraParam]")

#define TESSALY_CLSKQ_MEMBERS(X)                                                                                                     \
  X(Props, TESSALY_CLSKQ_COLUMNS)                                                                                                    \
  X(Method, GetSQLField, "MySql")                                                                                                    \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")                                                                                \
  X(Method, CalcKaoQinDays, "intYear", "intMonth", "KQType", "EmpID", "RetDays", "[strErr]")                                         \
  X(Method, CalcJBHours, "intYear", "intMonth", "GongXiu", "EmpID", "RetJBHours", "RetJBXHours", "[strErr]")                         \
  X(Method, CalcQTMTJ, "intYear", "intMonth", "EmpID", "CDNum", "CDMinute", "ZTNum", "ZTMinute", "WK_Hours", "QJ_Hours", "[strErr]") \
  X(Method, ExeSearchWithRecord, "InSql", "[strErr]")

// The four leave classes (_clsCC, _clsSJ, _clsXJ, _clsBJ): the employee's
// name and department first, and the request's times before its last date.
#define TESSALY_LEAVE_MEMBERS(X)                                               \
  X(Gets, TESSALY_EMPLOYEE_QUERY_COLUMNS)                                      \
  X(Property, FID)                                                             \
  X(Property, FEmpID)                                                          \
  X(Property, FDateFr)                                                         \
  X(Property, FTimeFr)                                                         \
  X(Property, FTimeTo)                                                         \
  X(Property, FDateTo)                                                         \
  X(Property, FReason)                                                         \
  X(Property, FRatify)                                                         \
  X(Property, FIsTJ)                                                           \
  X(Property, FHour)                                                           \
  X(Method, GetMaxID, "RetMaxID", "strMsg")                                    \
  X(Method, GetSQLField, "MySql")                                              \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")                          \
  X(Method, HasTheHoliday, "strDate", "EmpID", "HasIt", "RetHour", "[strErr]")
#define TESSALY_ELOOK_CC_MEMBERS(X) TESSALY_ELOOK_LEAVE_MEMBERS(CC, X)
#define TESSALY_ELOOK_SJ_MEMBERS(X) TESSALY_ELOOK_LEAVE_MEMBERS(SJ, X)
#define TESSALY_ELOOK_XJ_MEMBERS(X) TESSALY_ELOOK_LEAVE_MEMBERS(XJ, X)
#define TESSALY_ELOOK_BJ_MEMBERS(X) TESSALY_ELOOK_LEAVE_MEMBERS(BJ, X)

#define TESSALY_CLSEMP_MEMBERS(X)                                 \
  X(Let, FKey)                                                    \
  X(Props, TESSALY_CLSEMP_COLUMNS)                                \
  X(Method, ExeSearch, "FindStr", "IsBlur", "RetRow", "[strErr]")

#define TESSALY_CLSJB_MEMBERS(X)                                                              \
  X(Props, TESSALY_CLSJB_COLUMNS)                                                             \
  X(Method, GetMaxID, "RetMaxID", "strMsg")                                                   \
  X(Method, GetSQLField, "MySql")                                                             \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")                                         \
  X(Method, HasTheHoliday, "strDate", "HoursPerDay", "EmpID", "HasIt", "RetHour", "[strErr]")

#define TESSALY_CLSWQ_MEMBERS(X)                      \
  X(Props, TESSALY_CLSWQ_COLUMNS)                     \
  X(Method, GetMaxID, "RetMaxID", "strMsg")           \
  X(Method, GetSQLField, "MySql")                     \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")

// _clsUser: the name comes before the user ID, unlike the columns.
#define TESSALY_CLSUSER_MEMBERS(X)          \
  X(Method, GetMaxID, "RetMaxID", "strMsg") \
  X(Property, FID)                          \
  X(Property, FName)                        \
  X(Property, FUserID)                      \
  X(Property, FPwd)                         \
  X(Property, FRight)

#define TESSALY_CLSSHIFT_MEMBERS(X)  \
  X(Let, FKey)                       \
  X(Props, TESSALY_CLSSHIFT_COLUMNS)

#define TESSALY_CLSITEM_MEMBERS(X)                                        \
  X(Method, GetMaxID, "TableIndex", "RetMaxID", "strMsg")                 \
  X(Props, TESSALY_CLSITEM_COLUMNS)                                       \
  X(Let, TableIndex)                                                      \
  X(Method, TheItemIsNeed, "ItemID", "ErrStr", "ItemIsNeed", "ItemIndex")

#define TESSALY_CLSHOLIDAY_MEMBERS(X)       \
  X(Method, GetMaxID, "RetMaxID", "strMsg") \
  X(Props, TESSALY_CLSHOLIDAY_COLUMNS)

#define TESSALY_CLSMTJ_MEMBERS(X)                     \
  X(Props, TESSALY_CLSMTJ_COLUMNS)                    \
  X(Method, GetSQLField, "MySql")                     \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]") \
  X(Method, ExeSearchWithRecord, "InSql", "[strErr]")

#define TESSALY_CLSKQJ_MEMBERS(X)                                                                                                     \
  X(Let, FKey)                                                                                                                        \
  X(Props, TESSALY_CLSKQJ_COLUMNS)                                                                                                    \
  X(MethodOf, TheAddrIsExist, eRESULT(std::string, std::string, bool&, std::string&), "strAddS", "strKey", "AddrIsExist", "[ErrStr]")

#define TESSALY_CLSTRANS_MEMBERS(X)                                                                                    \
  X(Props, TESSALY_CLSTRANS_COLUMNS)                                                                                   \
  X(Method, GetSQLField, "MySql")                                                                                      \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")                                                                  \
  X(Method, HasTrans, "StartDate", "EndDate", "EmpID", "StartTime", "EndTime", "IsIn", "HasIt", "RetTime", "[strErr]") \
  X(Method, HasTransByFlag, "strDate", "EmpID", "intFlag", "HasIt", "RetTime", "[strErr]")                             \
  X(Method, ExeSearchWithRecord, "InSql", "[strErr]")

#define TESSALY_CLSTRANSLOST_MEMBERS(X)               \
  X(Props, TESSALY_CLSTRANSLOST_COLUMNS)              \
  X(Method, GetSQLField, "MySql")                     \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")

#define TESSALY_CLSROSTER_MEMBERS(X)                  \
  X(Let, FKey)                                        \
  X(Props, TESSALY_CLSROSTER_COLUMNS)                 \
  X(Method, GetMaxID, "RetMaxID", "strMsg")           \
  X(Method, GetSQLField, "MySql")                     \
  X(Method, ExeSearch, "InSql", "RetRow", "[strErr]")

#define TESSALY_CLSPRN_MEMBERS(X)                                                                            \
  X(MethodOf, GetPrnModeID, eRESULT(std::string, int16_t&, std::string&), "strKey", "RetModeID", "[strErr]") \
  X(Let, HConnect)

#define TESSALY_CLSRPT_MEMBERS(X)                                  \
  X(Let, HConnect)                                                 \
  X(Method, ClearWorkData, "[StartDate]", "[EndDate]", "[strErr]") \
  X(Method, ClearAllData, "SysAdmin", "[strErr]")

#define TESSALY_CLSLOG_MEMBERS(X)                     \
  X(Props, TESSALY_CLSLOG_COLUMNS)                    \
  X(Method, ExeSearchWithRecord, "InSql", "[strErr]") \
  X(Method, GetSQLField, "MySql")

#define TESSALY_CLSCOLLECT_MEMBERS(X)  \
  X(Props, TESSALY_CLSCOLLECT_COLUMNS)

#define TESSALY_CLSPBSET_MEMBERS(X)                          \
  X(Let, FKey)                                               \
  X(Props, TESSALY_CLSPBSET_COLUMNS)                         \
  X(Method, ThePlanIsNeed, "PlanID", "ErrStr", "PlanIsNeed")
