// clsSJ: personal leave requests, one per row of T_SJ (searched through Q_SJ),
// declared with the other leave classes in leave/LeaveRequest.h.
#pragma once

#include "tessaly/leave/LeaveRequest.h"
