// General library loading with an error callback, the library's exception classes, and the
// guard that keeps callers from calling a primitive whose pointer is null.
#pragma once

#include <cstdint>
#include <functional>

#include "host/Quenra.Interfaces.h"
#include "host/Quenra.SysUtils.h"  // EGVException, EGVDLLLoadError
#include "platform/DynLib.h"

namespace fundrel {

// A loaded shared library; null means not loaded.
using TLibHandle = platform::TDynLibHandle;

// Called when DVLoadLibrary fails. AMessage is the dynamic linker's text, ACode an errno-style
// code (0 when unknown). AHandled arrives false; setting it true makes DVLoadLibrary return null
// instead of raising. Runs on the thread that called DVLoadLibrary.
using TDVLoadErrorEvent =
    std::function<void(TObject* Sender, const String& AMessage, int32_t ACode, bool& AHandled)>;

// Loads ADllFileName (a path, or a bare name searched the dynamic linker's usual way) privately,
// with every symbol resolved now, and returns its handle; release it with DVFreeLibrary. On
// failure: with AOnError bound, calls it and returns null when it set the handled flag; otherwise
// (no callback, or not handled) raises EGVDLLLoadError whose message is the linker's text, or the
// code in decimal when the linker gave none. Sender is only passed on to AOnError.
FUNDREL_API TLibHandle DVLoadLibrary(TObject* Sender, const String& ADllFileName,
                                     const TDVLoadErrorEvent& AOnError = nullptr);
// Releases a handle from DVLoadLibrary; null is ignored.
FUNDREL_API void DVFreeLibrary(TLibHandle AHandle);

// A library a loader opened: its role ("ipps", "ippcore", "ippi", "ippcc", "ippcv") and the
// absolute path it was loaded from.
struct TLoadedLibrary {
  String Name;
  String Path;
};

// One pointer of a dispatch table, for reports (fundrel-info) and tests.
struct TPrimitiveInfo {
  const char* Table;  // "basic", "scope", "resize" or "norm"
  const char* Name;
  const void* Address;  // null when the libraries did not export the name
};

// Raises EGVException "Primitive <name> is not available"; a qualified AName ("X::ippsY") is
// reported by its last part.
[[noreturn]] FUNDREL_API void RaiseMissingPrimitive(const char* AName);

// AFn itself when bound; raises the missing-primitive error otherwise.
template <class TFn>
inline TFn CheckedPrimitive(TFn AFn, const char* AName) {
  if (FUNDREL_UNLIKELY(!AFn)) RaiseMissingPrimitive(AName);
  return AFn;
}

}  // namespace fundrel

// The way every call site reaches a bound primitive: FUNDREL_IPP(ippsAdd_64f)(a, b, dst, n).
// The name is looked up where the macro is used (inside namespace fundrel it finds the table
// variable); a null pointer raises EGVException naming the primitive instead of crashing.
#define FUNDREL_IPP(name) ::fundrel::CheckedPrimitive(name, #name)
