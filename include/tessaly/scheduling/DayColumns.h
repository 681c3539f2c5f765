// The day-of-month column family that schedule plans and rosters share.
#pragma once

// F_D1 ... F_D31 (properties FD1 ... FD31): one entry of at most 10 characters
// for each day of a month, the width of a shift name; days 29 to 31 exist
// whatever the month. Use inside a class's column lines.
#define TESSALY_DAY_OF_MONTH_COLUMNS(X) \
  X(Text, FD1, "F_D1", 10)              \
  X(Text, FD2, "F_D2", 10)              \
  X(Text, FD3, "F_D3", 10)              \
  X(Text, FD4, "F_D4", 10)              \
  X(Text, FD5, "F_D5", 10)              \
  X(Text, FD6, "F_D6", 10)              \
  X(Text, FD7, "F_D7", 10)              \
  X(Text, FD8, "F_D8", 10)              \
  X(Text, FD9, "F_D9", 10)              \
  X(Text, FD10, "F_D10", 10)            \
  X(Text, FD11, "F_D11", 10)            \
  X(Text, FD12, "F_D12", 10)            \
  X(Text, FD13, "F_D13", 10)            \
  X(Text, FD14, "F_D14", 10)            \
  X(Text, FD15, "F_D15", 10)            \
  X(Text, FD16, "F_D16", 10)            \
  X(Text, FD17, "F_D17", 10)            \
  X(Text, FD18, "F_D18", 10)            \
  X(Text, FD19, "F_D19", 10)            \
  X(Text, FD20, "F_D20", 10)            \
  X(Text, FD21, "F_D21", 10)            \
  X(Text, FD22, "F_D22", 10)            \
  X(Text, FD23, "F_D23", 10)            \
  X(Text, FD24, "F_D24", 10)            \
  X(Text, FD25, "F_D25", 10)            \
  X(Text, FD26, "F_D26", 10)            \
  X(Text, FD27, "F_D27", 10)            \
  X(Text, FD28, "F_D28", 10)            \
  X(Text, FD29, "F_D29", 10)            \
  X(Text, FD30, "F_D30", 10)            \
  X(Text, FD31, "F_D31", 10)
