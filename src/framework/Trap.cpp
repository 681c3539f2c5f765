#include "tessaly/framework/Trap.h"

#include <exception>
#include <new>

namespace tessaly::framework {

ErrorInfo CaughtErrorInfo() {
  try {
    throw;
  } catch (const Error& e) {
    return {e.number(), e.description()};
  } catch (const std::bad_alloc&) {
    return {7, "Out of memory"};
  } catch (const std::exception& e) {
    return {errnum::kFail, e.what()};
  } catch (...) {
    return {errnum::kFail, "Unknown error"};
  }
}

eRESULT FailedResult(Operation operation, const ErrorInfo& error, std::string* ErrStr) {
  const TrapRule& rule = kTrapRules[static_cast<size_t>(operation)];
  if (rule.own_number != 0 && error.number == rule.own_number) return rule.own_result;
  if (ErrStr != nullptr) {
    switch (rule.report) {
      case Report::kNothing: break;
      case Report::kDescription: *ErrStr = error.description; break;
      case Report::kNumbered:
        *ErrStr = error.description + '(' + std::to_string(error.number) + ')';
        break;
    }
  }
  return rule.failed;
}

}  // namespace tessaly::framework
