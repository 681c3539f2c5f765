// clsXJ: vacation requests, one per row of T_XJ (searched through Q_XJ).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/interfaces/Published.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

#define TESSALY_ELOOK_XJ_MEMBERS(X)                              \
  X(XJ_N0RMAL, 1)                                                \
  X(XJ_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */
enum eLOOK_XJ : int32_t { TESSALY_ELOOK_XJ_MEMBERS(TESSALY_ENUMERATOR) };

// A leave request class of the family in leave/LeaveRequest.h.
class clsXJ final : public leave::LeaveRequest<clsXJ> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_XJ;
  static constexpr std::string_view kQuery = mdlConst::Q_XJ;
  clsXJ() = default;
};

}  // namespace tessaly
