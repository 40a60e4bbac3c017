// The exception hierarchy and small process-wide helpers of the runtime.
#pragma once

#include <cstdarg>
#include <exception>
#include <string>

#include "host/Quenra.Config.h"

namespace fundrel {

// Root of every exception the library raises; carries a ready message.
class FUNDREL_API Exception : public std::exception {
 public:
  explicit Exception(String AMessage) : FMessage(std::move(AMessage)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const String& Message() const noexcept { return FMessage; }

 private:
  String FMessage;
};

// The library's own errors: index errors, unsupported operations, missing primitives.
class FUNDREL_API EGVException : public Exception {
 public:
  using Exception::Exception;
};
// A shared library could not be loaded; the message is the system's text.
class FUNDREL_API EGVDLLLoadError : public EGVException {
 public:
  using EGVException::EGVException;
};

#define FUNDREL_DECLARE_EXCEPTION(Name, Base)  \
  class FUNDREL_API Name : public Base {       \
   public:                                     \
    using Base::Base;                          \
  };

FUNDREL_DECLARE_EXCEPTION(ERangeError, Exception)
FUNDREL_DECLARE_EXCEPTION(EAssertionFailed, Exception)
FUNDREL_DECLARE_EXCEPTION(EIntError, Exception)
FUNDREL_DECLARE_EXCEPTION(EDivByZero, EIntError)
FUNDREL_DECLARE_EXCEPTION(EIntOverflow, EIntError)
FUNDREL_DECLARE_EXCEPTION(EInvalidCast, Exception)
FUNDREL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
FUNDREL_DECLARE_EXCEPTION(EConvertError, Exception)
FUNDREL_DECLARE_EXCEPTION(EVariantError, EConvertError)
FUNDREL_DECLARE_EXCEPTION(EStreamError, Exception)
FUNDREL_DECLARE_EXCEPTION(EReadError, EStreamError)
FUNDREL_DECLARE_EXCEPTION(EWriteError, EStreamError)
FUNDREL_DECLARE_EXCEPTION(EFOpenError, EStreamError)
FUNDREL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
#undef FUNDREL_DECLARE_EXCEPTION

// printf-style formatting into a String (the C locale's decimal point).
FUNDREL_API String Format(const char* AFormat, ...) __attribute__((format(printf, 1, 2)));
FUNDREL_API String FormatV(const char* AFormat, va_list AArgs);

// Raises EAssertionFailed with exactly AMessage when ACondition is false.
inline void Assert(bool ACondition, const char* AMessage) {
  if (FUNDREL_UNLIKELY(!ACondition)) throw EAssertionFailed(AMessage);
}

// Standard messages of the runtime's own errors.
[[noreturn]] FUNDREL_API void RaiseRangeError();
[[noreturn]] FUNDREL_API void RaiseDivByZero();
[[noreturn]] FUNDREL_API void RaiseIntOverflow();
[[noreturn]] FUNDREL_API void RaiseInvalidCast();
[[noreturn]] FUNDREL_API void RaiseOutOfMemory();
// "Cannot open file "<name>"." with the system's reason appended when one is known.
[[noreturn]] FUNDREL_API void RaiseFileOpenError(const String& AFileName);
[[noreturn]] FUNDREL_API void RaiseReadError();

// Checked 32-bit arithmetic raising EIntOverflow or EDivByZero.
FUNDREL_API int32_t CheckedAdd(int32_t A, int32_t B);
FUNDREL_API int32_t CheckedMul(int32_t A, int32_t B);
FUNDREL_API int32_t CheckedDiv(int32_t A, int32_t B);

}  // namespace fundrel
