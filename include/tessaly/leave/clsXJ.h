// clsXJ: vacation requests, one per row of T_XJ (searched through Q_XJ).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

enum eLOOK_XJ : int32_t {
  XJ_N0RMAL = 1,
  XJ_UPDTJ = 2,  // Update writes the tally flag F_IsTJ alone
};

// A leave request class of the family in leave/LeaveRequest.h.
class clsXJ final : public leave::LeaveRequest<clsXJ> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_XJ;
  static constexpr std::string_view kQuery = mdlConst::Q_XJ;
  clsXJ() = default;
};

}  // namespace tessaly
