// clsBJ: sick leave requests, one per row of T_BJ (searched through Q_BJ).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

enum eLOOK_BJ : int32_t {
  BJ_N0RMAL = 1,
  BJ_UPDTJ = 2,  // Update writes the tally flag F_IsTJ alone
};

// A leave request class of the family in leave/LeaveRequest.h.
class clsBJ final : public leave::LeaveRequest<clsBJ> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_BJ;
  static constexpr std::string_view kQuery = mdlConst::Q_BJ;
  clsBJ() = default;
};

}  // namespace tessaly
