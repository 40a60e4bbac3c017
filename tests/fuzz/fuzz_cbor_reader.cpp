// libFuzzer target: the serializer's CBOR reader and what consumers do with it. Any input either
// reads or raises a stream error.
#include <cstdint>
#include <vector>

#include "host/Quenra.Serialization.h"
#include "tests/host/TestComponents.h"

using namespace fundrel;

namespace fuzzcbor {

// Reads entries the way buffers do.
class TFuzzData : public TInterfacedObject, public ISerializable {
 public:
  std::vector<TObject*> Custom;
  ~TFuzzData() override {
    for (TObject* o : Custom) TObject::Free(o);
  }
  void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) override {
    AWriter.WriteObjects("Custom", Custom, AObjects);
  }
  void SerializationRead(TSerializationReader& AReader) override {
    AReader.ReadBinary("Data", [](const std::vector<uint8_t>&) {});
    AReader.ReadNested("SequenceStamp", [](TSerializationReader& R) {
      R.ReadBoolean("Available", [](bool) {});
      R.ReadInteger("BufferNumber", [](int64_t) {});
    });
    AReader.ReadString("Label", [](const String&) {});
    AReader.ReadNumber("Ratio", [](double) {});
    if (AReader.BeginObjects("Custom")) {
      while (AReader.More())
        if (TObject* o = AReader.ReadObject()) Custom.push_back(o);
      AReader.EndObjects();
    }
  }
};
FUNDREL_PUBLISHED(TFuzzData, TInterfacedObject) {}

}  // namespace fuzzcbor

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static const bool registered = (streamtest::RegisterTestClasses(), RegisterClasses<fuzzcbor::TFuzzData>(), true);
  (void)registered;
  std::vector<TObject*> made;
  TComponent* root = nullptr;
  try {
    TSerializationReader reader = TSerializationReader::FromCBOR(AData, ASize);
    if (reader.BeginObjects("Objects"))
      while (reader.More())
        if (TObject* o = reader.ReadObject()) made.push_back(o);
    if (reader.Has("Root")) root = reader.ReadComponent("Root");
    reader.ReadString("Name", [](const String&) {});
  } catch (const EStreamError&) {
  }
  for (TObject* o : made) TObject::Free(o);
  if (root) TObject::Free(root);
  return 0;
}
