// The one error trap of the record frame: an error raised inside a trapped
// operation becomes the operation's result and the object's LastError(), as
// the old methods' "On Error" handlers made it, by one table of results.
#pragma once

#include <cstdint>
#include <iterator>
#include <string>

#include "tessaly/Error.h"
#include "tessaly/interfaces/eRESULT.h"

namespace tessaly::framework {

// The operations that trap their errors.
enum class Operation : uint8_t {
  kInsert,  // ExeInsertSQL, Add
  kSelect,  // ExeSelectSQL, DoSearch
  kUpdate,  // ExeUpdateSQL, Update
  kDelete,  // ExeDeleteSQL, Delete
  kLoad,    // LoadFieldValue
  kTotals,  // a class's totals and questions (CalcJBHours, ...)
};

// What ErrStr receives when an operation fails.
enum class Report : uint8_t {
  kNothing,      // ErrStr is left as it was
  kDescription,  // the error's description
  kNumbered,     // "description(number)", e.g. "...(-2147217900)"
};

struct TrapRule {
  eRESULT failed;      // the result of a failed operation
  Report report;       // what ErrStr then receives
  int32_t own_number;  // an error number with a result of its own (0: none)
  eRESULT own_result;  // that result, ErrStr left as it was
};

// The table, in the order of Operation.
inline constexpr TrapRule kTrapRules[] = {
    {RES_ADDERR, Report::kNumbered, errnum::kSyntax, RES_CMDERR},
    {RES_SEARCHERR, Report::kNumbered, 0, RES_SEARCHERR},
    {RES_UPDERR, Report::kNumbered, errnum::kSyntax, RES_CMDERR},
    {RES_DELERR, Report::kNumbered, errnum::kFail, RES_DELREFUSED},
    {RES_ERROR, Report::kDescription, 0, RES_ERROR},
    {RES_ERROR, Report::kNothing, 0, RES_ERROR},
};
static_assert(std::size(kTrapRules) == static_cast<size_t>(Operation::kTotals) + 1);

// Call inside a catch block: the error being handled as number and
// description (an exception other than tessaly::Error counts as a provider
// failure with its message; running out of memory is error 7).
ErrorInfo CaughtErrorInfo();

// The result of a failed operation by the table: *ErrStr (when given) filled
// as the rule says.
eRESULT FailedResult(Operation operation, const ErrorInfo& error, std::string* ErrStr);

// Runs body under a trap that answers `failed`: *error (when given) is cleared
// first and receives a caught error. For the members that answer something
// other than a result code (the listings: "" or nothing).
template <class Result, class Body>
Result Trapped(Result failed, ErrorInfo* error, Body&& body) {
  if (error != nullptr) *error = {};
  try {
    return body();
  } catch (...) {
    if (error != nullptr) *error = CaughtErrorInfo();
    return failed;
  }
}

// Runs body, which answers a result code, under the operation's trap.
template <class Body>
eRESULT Trapped(Operation operation, ErrorInfo* error, std::string* ErrStr, Body&& body) {
  if (error != nullptr) *error = {};
  try {
    return body();
  } catch (...) {
    const ErrorInfo caught = CaughtErrorInfo();
    if (error != nullptr) *error = caught;
    return FailedResult(operation, caught, ErrStr);
  }
}

}  // namespace tessaly::framework
