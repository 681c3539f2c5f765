// clsCC: business-trip requests, one per row of T_CC (searched through Q_CC).
#pragma once

#include <cstdint>
#include <string_view>

#include "tessaly/framework/mdlConst.h"
#include "tessaly/interfaces/Published.h"
#include "tessaly/leave/LeaveRequest.h"

namespace tessaly {

#define TESSALY_ELOOK_CC_MEMBERS(X)                              \
  X(CC_N0RMAL, 1)                                                \
  X(CC_UPDTJ, 2) /* Update writes the tally flag F_IsTJ alone */
enum eLOOK_CC : int32_t { TESSALY_ELOOK_CC_MEMBERS(TESSALY_ENUMERATOR) };

// A leave request class of the family in leave/LeaveRequest.h.
class clsCC final : public leave::LeaveRequest<clsCC> {
 public:
  static constexpr std::string_view kTable = mdlConst::T_CC;
  static constexpr std::string_view kQuery = mdlConst::Q_CC;
  clsCC() = default;
};

}  // namespace tessaly
