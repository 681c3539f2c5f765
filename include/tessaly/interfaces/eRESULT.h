// The result codes every record operation answers with.
#pragma once

#include <cstdint>

#include "tessaly/interfaces/Published.h"

namespace tessaly {

#define TESSALY_ERESULT_MEMBERS(X) \
  X(RES_OK, 1)                     \
  X(RES_ERROR, 4)                  \
  X(RES_ADDOK, 17)                 \
  X(RES_ADDERR, 20)                \
  X(RES_CMDERR, 22)                \
  X(RES_ADDEXIST, 24)              \
  X(RES_UPDOK, 33)                 \
  X(RES_UPDERR, 34)                \
  X(RES_UPDNOTFOUND, 39)           \
  X(RES_DELOK, 49)                 \
  X(RES_DELERR, 50)                \
  X(RES_DELNOTFOUND, 55)           \
  X(RES_DELREFUSED, 56)            \
  X(RES_FOUND, 65)                 \
  X(RES_SEARCHERR, 68)             \
  X(RES_NOTFOUND, 71)
enum eRESULT : int32_t { TESSALY_ERESULT_MEMBERS(TESSALY_ENUMERATOR) };

}  // namespace tessaly
