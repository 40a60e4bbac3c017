#include "primitives/GVTypes.h"

#include <cstring>

namespace fundrel {

TLibHandle DVLoadLibrary(TObject* Sender, const String& ADllFileName, const TDVLoadErrorEvent& AOnError) {
  platform::TDynLibError error;
  TLibHandle handle = platform::DynLibOpen(ADllFileName, &error);
  if (handle) return handle;
  String message = error.Message.empty() ? std::to_string(error.Code) : error.Message;
  if (AOnError) {
    bool handled = false;
    AOnError(Sender, message, error.Code, handled);
    if (handled) return nullptr;
  }
  throw EGVDLLLoadError(message);
}

void DVFreeLibrary(TLibHandle AHandle) { platform::DynLibClose(AHandle); }

void RaiseMissingPrimitive(const char* AName) {
  const char* name = AName ? AName : "";
  if (const char* colon = std::strrchr(name, ':')) name = colon + 1;
  throw EGVException(String("Primitive ") + name + " is not available");
}

}  // namespace fundrel
