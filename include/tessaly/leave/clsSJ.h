// clsSJ: personal leave requests, one per row of T_SJ (searched through Q_SJ).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/interfaces/Published.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

#define TESSALY_ELOOK_SJ_MEMBERS(X)                              \
  X(SJ_N0RMAL, 1)                                                \
  X(SJ_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */
enum eLOOK_SJ : int32_t { TESSALY_ELOOK_SJ_MEMBERS(TESSALY_ENUMERATOR) };

// A leave request class of the family in leave/LeaveRequest.h.
class clsSJ final : public leave::LeaveRequest<clsSJ> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_SJ;
  static constexpr std::string_view kQuery = mdlConst::Q_SJ;
  clsSJ() = default;
};

}  // namespace tessaly
