// clsCC: business-trip requests, one per row of T_CC (searched through Q_CC),
// declared with the other leave classes in leave/LeaveRequest.h.
#pragma once

#include "tessaly/leave/LeaveRequest.h"
