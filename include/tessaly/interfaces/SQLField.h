// The field descriptor a record class hands to the host's grids and forms.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// FieldType: 1 text, 2 date, 3 number, 4 yes/no flag, 5 department,
// 6 approver, 7 roster method, 8 rotation-group code; 0 in an unused entry.
struct SQLField {
  std::string FieldName;
  std::string Caption;
  int32_t FieldType = 0;

  friend bool operator==(const SQLField&, const SQLField&) = default;
};

}  // namespace tessaly
