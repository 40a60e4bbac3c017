#include "host/Quenra.SysUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fundrel {

String FormatV(const char* AFormat, va_list AArgs) {
  va_list copy;
  va_copy(copy, AArgs);
  char small[256];
  int n = std::vsnprintf(small, sizeof small, AFormat, copy);
  va_end(copy);
  if (n < 0) return String();
  if (static_cast<size_t>(n) < sizeof small) return String(small, static_cast<size_t>(n));
  String result(static_cast<size_t>(n), '\0');
  std::vsnprintf(result.data(), result.size() + 1, AFormat, AArgs);
  return result;
}

String Format(const char* AFormat, ...) {
  va_list args;
  va_start(args, AFormat);
  String result = FormatV(AFormat, args);
  va_end(args);
  return result;
}

void RaiseRangeError() { throw ERangeError("Range check error"); }
void RaiseDivByZero() { throw EDivByZero("Division by zero"); }
void RaiseIntOverflow() { throw EIntOverflow("Integer overflow"); }
void RaiseInvalidCast() { throw EInvalidCast("Invalid class typecast"); }
void RaiseOutOfMemory() { throw EOutOfMemory("Out of memory"); }
void RaiseReadError() { throw EReadError("Stream read error"); }

void RaiseFileOpenError(const String& AFileName) {
  int err = errno;
  String message = "Cannot open file \"" + AFileName + "\".";
  if (err != 0) message += String(" ") + std::strerror(err);
  throw EFOpenError(message);
}

int32_t CheckedAdd(int32_t A, int32_t B) {
  int32_t r;
  if (__builtin_add_overflow(A, B, &r)) RaiseIntOverflow();
  return r;
}

int32_t CheckedMul(int32_t A, int32_t B) {
  int32_t r;
  if (__builtin_mul_overflow(A, B, &r)) RaiseIntOverflow();
  return r;
}

int32_t CheckedDiv(int32_t A, int32_t B) {
  if (B == 0) RaiseDivByZero();
  if (A == std::numeric_limits<int32_t>::min() && B == -1) RaiseIntOverflow();
  return A / B;
}

}  // namespace fundrel
