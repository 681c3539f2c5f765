// The result codes every record operation answers with.
#pragma once

#include <cstdint>

namespace tessaly {

enum eRESULT : int32_t {
  RES_OK = 1,
  RES_ERROR = 4,
  RES_ADDOK = 17,
  RES_ADDERR = 20,
  RES_CMDERR = 22,
  RES_ADDEXIST = 24,
  RES_UPDOK = 33,
  RES_UPDERR = 34,
  RES_UPDNOTFOUND = 39,
  RES_DELOK = 49,
  RES_DELERR = 50,
  RES_DELNOTFOUND = 55,
  RES_DELREFUSED = 56,
  RES_FOUND = 65,
  RES_SEARCHERR = 68,
  RES_NOTFOUND = 71,
};

}  // namespace tessaly
