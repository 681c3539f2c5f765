// The one exception type of the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tessaly {

// Error numbers a host sees. Provider numbers are the (negative) codes a Jet
// database reports through the data layer; runtime numbers are positive.
namespace errnum {
// Provider errors.
inline constexpr int32_t kSyntax = -2147217900;        // errors in command text
inline constexpr int32_t kNoTable = -2147217865;       // unknown table or query
inline constexpr int32_t kNoValue = -2147217904;       // unknown column / parameter
inline constexpr int32_t kTypeMismatch = -2147217913;  // data type mismatch
inline constexpr int32_t kFail = -2147467259;          // everything else
// Runtime errors.
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kSubscript = 9;
inline constexpr int32_t kDivisionByZero = 11;
inline constexpr int32_t kRuntimeTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidUseOfNull = 94;
// Recordset errors, as a VB host numbers them.
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kItemNotFound = 3265;
inline constexpr int32_t kObjectClosed = 3704;
inline constexpr int32_t kObjectOpen = 3705;
inline constexpr int32_t kInvalidConnection = 3709;
inline constexpr int32_t kInvalidArgument = 3001;
inline constexpr int32_t kFeatureNotAvailable = 3251;
inline constexpr int32_t kOperationCancelled = 3712;  // a statement interrupted
}  // namespace errnum

// Thrown by every member that has no error trap. number() is the number a VB
// host saw in Err.Number; description() its Err.Description; what() is the
// description too. A statement the database layer could not read also says
// where: offset() is the character index (counting code points from 0) into
// the statement of the token where reading failed.
class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description);
  Error(int32_t number, std::string description, size_t offset);

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  // Empty for an error that is not about a place in a statement's text.
  std::optional<size_t> offset() const { return offset_; }

  // The runtime's own errors with their standard descriptions
  // (5, 6, 9, 11, 13, 91, 94, 3001, 3021, 3251, 3265, 3704, 3705, 3709,
  // 3712).
  static Error Runtime(int32_t number);

 private:
  int32_t number_;
  std::string description_;
  std::optional<size_t> offset_;
};

// The standard description of a runtime or recordset error number, or an
// empty text for a number it does not know.
const char* RuntimeErrorDescription(int32_t number);

}  // namespace tessaly

namespace tessaly {

// The last error an object's error trap caught: number 0 and an empty
// description when the last trapped call succeeded.
struct ErrorInfo {
  int32_t number = 0;
  std::string description;

  explicit operator bool() const { return number != 0; }
};

}  // namespace tessaly
