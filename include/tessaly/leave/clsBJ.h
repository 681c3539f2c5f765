// clsBJ: sick leave requests, one per row of T_BJ (searched through Q_BJ).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/interfaces/Published.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

#define TESSALY_ELOOK_BJ_MEMBERS(X)                              \
  X(BJ_N0RMAL, 1)                                                \
  X(BJ_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */
enum eLOOK_BJ : int32_t { TESSALY_ELOOK_BJ_MEMBERS(TESSALY_ENUMERATOR) };

// A leave request class of the family in leave/LeaveRequest.h.
class clsBJ final : public leave::LeaveRequest<clsBJ> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_BJ;
  static constexpr std::string_view kQuery = mdlConst::Q_BJ;
  clsBJ() = default;
};

}  // namespace tessaly
