// The employee's name and department that the saved queries of the leave,
// overtime and field-work tables add to the table's columns.
#pragma once

#include "tessaly/framework/Column.h"

// Column lines (framework/Column.h) of the two query columns, for the
// descriptors and listings of every request class, and as read-only
// properties of the leave classes, which load them with their blanks at both
// ends removed.
#define TESSALY_EMPLOYEE_QUERY_COLUMNS(X)                                     \
  X(TrimmedText, FEmpName, "F_EmpName", 0, .QueryOnly().Field("员工姓名", 1)) \
  X(TrimmedText, FDept, "F_Dept", 0, .QueryOnly().Field("部门", 5))
