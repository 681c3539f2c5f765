// clsShift: the shift definitions, one row of T_Shift per shift, keyed by its
// name.
#pragma once

#include "tessaly/framework/Record.h"

namespace tessaly {

// One line per column, in published property order, which is also the order
// of the column list, the value and assignment lists, the row load and the
// table (framework/Column.h). A shift has eight time points (three work
// periods and the overtime pair ZL), each with an hour and a minute and two
// window values; the flags load as 0 or 1 whatever truth value is stored.
#define TESSALY_CLSSHIFT_COLUMNS(X)                                   \
  X(Text, FName, "F_Name", 10, .PrimaryKey().InColumnList(" F_Name")) \
  X(Text, FType, "F_Type", 20)                                        \
  X(FlagUnlessZero, FUse1, "F_Use1", 0)                                         \
  X(FlagUnlessZero, FUse2, "F_Use2", 0)                                         \
  X(FlagUnlessZero, FUse3, "F_Use3", 0)                                         \
  X(FlagUnlessZero, FUse4, "F_Use4", 0)                                         \
  X(Integer, FLimitIn, "F_LimitIn", 0)                                \
  X(Integer, FLimitOut, "F_LimitOut", 0)                              \
  X(Integer, FLimitCD, "F_LimitCD", 0)                                \
  X(Integer, FLimitZT, "F_LimitZT", 0)                                \
  X(Integer, FIn1_H, "F_In1_H", 0)                                    \
  X(Integer, FIn1_M, "F_In1_M", 0)                                    \
  X(Integer, FOut1_H, "F_Out1_H", 0)                                  \
  X(Integer, FOut1_M, "F_Out1_M", 0)                                  \
  X(Integer, FIn2_H, "F_In2_H", 0)                                    \
  X(Integer, FIn2_M, "F_In2_M", 0)                                    \
  X(Integer, FOut2_H, "F_Out2_H", 0)                                  \
  X(Integer, FOut2_M, "F_Out2_M", 0)                                  \
  X(Integer, FIn3_H, "F_In3_H", 0)                                    \
  X(Integer, FIn3_M, "F_In3_M", 0)                                    \
  X(Integer, FOut3_H, "F_Out3_H", 0)                                  \
  X(Integer, FOut3_M, "F_Out3_M", 0)                                  \
  X(Integer, FZLIn_H, "F_ZLIn_H", 0)                                  \
  X(Integer, FZLIn_M, "F_ZLIn_M", 0)                                  \
  X(Integer, FZLOut_H, "F_ZLOut_H", 0)                                \
  X(Integer, FZLOut_M, "F_ZLOut_M", 0)                                \
  X(FlagUnlessZero, FIsOver1, "F_IsOver1", 0)                                   \
  X(FlagUnlessZero, FIsOver2, "F_IsOver2", 0)                                   \
  X(FlagUnlessZero, FIsOver3, "F_IsOver3", 0)                                   \
  X(FlagUnlessZero, FIsOver4, "F_IsOver4", 0)                                   \
  X(Integer, FOverLimit, "F_OverLimit", 0)                            \
  X(Integer, FIn1Up, "F_In1Up", 0)                                    \
  X(Integer, FIn1Down, "F_In1Down", 0)                                \
  X(Integer, FOut1Up, "F_Out1Up", 0)                                  \
  X(Integer, FOut1Down, "F_Out1Down", 0)                              \
  X(Integer, FIn2Up, "F_In2Up", 0)                                    \
  X(Integer, FIn2Down, "F_In2Down", 0)                                \
  X(Integer, FOut2Up, "F_Out2Up", 0)                                  \
  X(Integer, FOut2Down, "F_Out2Down", 0)                              \
  X(Integer, FIn3Up, "F_In3Up", 0)                                    \
  X(Integer, FIn3Down, "F_In3Down", 0)                                \
  X(Integer, FOut3Up, "F_Out3Up", 0)                                  \
  X(Integer, FOut3Down, "F_Out3Down", 0)                              \
  X(Integer, FZLInUp, "F_ZLInUp", 0)                                  \
  X(Integer, FZLInDown, "F_ZLInDown", 0)                              \
  X(Integer, FZLOutUp, "F_ZLOutUp", 0)                                \
  X(Integer, FZLOutDown, "F_ZLOutDown", 0)

// Add inserts all 47 columns; Update rewrites them all in the row whose name
// is FKey (so setting FName renames the shift), whatever the mode; Delete and
// DoSearch(0) address the shift FKey, DoSearch(-1) lists every shift by name.
class clsShift final : public framework::RecordOf<clsShift> {
  TESSALY_RECORD_CLASS(clsShift, TESSALY_CLSSHIFT_COLUMNS)

 public:
  // The name of the shift Update, Delete and a single-row search act on;
  // write only, and no load changes it.
  void FKey(std::string value) { FKey_ = std::move(value); }

  std::string GetWhereString(int32_t Rev = 0) override;

 private:
  std::string FKey_;
};

}  // namespace tessaly
