// clsXJ: vacation requests, one per row of T_XJ (searched through Q_XJ),
// declared with the other leave classes in leave/LeaveRequest.h.
#pragma once

#include "tessaly/leave/LeaveRequest.h"
