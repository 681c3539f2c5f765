#include "tessaly/Error.h"

#include <utility>

namespace tessaly {

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description), number_(number), description_(std::move(description)) {}

Error::Error(int32_t number, std::string description, size_t offset)
    : Error(number, std::move(description)) {
  offset_ = offset;
}

const char* RuntimeErrorDescription(int32_t number) {
  switch (number) {
    case errnum::kInvalidCall: return "Invalid procedure call or argument";
    case errnum::kOverflow: return "Overflow";
    case errnum::kSubscript: return "Subscript out of range";
    case errnum::kDivisionByZero: return "Division by zero";
    case errnum::kRuntimeTypeMismatch: return "Type mismatch";
    case errnum::kObjectNotSet: return "Object variable or With block variable not set";
    case errnum::kInvalidUseOfNull: return "Invalid use of Null";
    case errnum::kInvalidArgument:
      return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
             "with one another.";
    case errnum::kNoCurrentRecord:
      return "Either BOF or EOF is True, or the current record has been deleted. Requested "
             "operation requires a current record.";
    case errnum::kFeatureNotAvailable:
      return "Object or provider is not able to perform requested operation.";
    case errnum::kItemNotFound:
      return "Item cannot be found in the collection corresponding to the requested name or "
             "ordinal.";
    case errnum::kObjectClosed: return "Operation is not allowed when the object is closed.";
    case errnum::kObjectOpen: return "Operation is not allowed when the object is open.";
    case errnum::kInvalidConnection:
      return "The connection cannot be used to perform this operation. It is either closed or "
             "invalid in this context.";
    case errnum::kOperationCancelled: return "Operation has been cancelled by the user.";
    default: return "";
  }
}

Error Error::Runtime(int32_t number) { return Error(number, RuntimeErrorDescription(number)); }

}  // namespace tessaly
