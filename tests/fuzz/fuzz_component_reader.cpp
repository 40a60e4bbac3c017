// libFuzzer target: the form-file reader. Any input either reads or raises a stream error;
// what reads must write back and read again to the same text.
#include <cstdint>
#include <string>

#include "host/Quenra.ComponentStreaming.h"
#include "tests/host/TestComponents.h"

using namespace fundrel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool registered = (streamtest::RegisterTestClasses(), true);
  (void)registered;
  std::string text(reinterpret_cast<const char*>(AData), ASize);
  TComponent* first = nullptr;
  try {
    first = StringToComponent(text);
  } catch (const EStreamError&) {
    return 0;
  }
  std::string written = ComponentToString(first);
  TComponent* second = StringToComponent(written);
  if (ComponentToString(second) != written) __builtin_trap();
  TObject::Free(second);
  TObject::Free(first);
  return 0;
}
