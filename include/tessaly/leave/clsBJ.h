// clsBJ: sick leave requests, one per row of T_BJ (searched through Q_BJ),
// declared with the other leave classes in leave/LeaveRequest.h.
#pragma once

#include "tessaly/leave/LeaveRequest.h"
