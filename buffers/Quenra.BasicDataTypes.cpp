#include "buffers/Quenra.BasicDataTypes.h"

namespace fundrel {

TGVData::TGVData(IGVData* AOther) { AssignData(AOther); }

void TGVData::AssignData(IGVData* AOther) {
  if (AOther == static_cast<IGVData*>(this)) return;
  FCustom.Clear();
  if (!AOther) return;
  const int32_t n = AOther->GetCustomCount();
  for (int32_t i = 0; i < n; ++i) {
    TIntf<IGVData> item = AOther->GetCustom(i);
    FCustom.Add(item ? item->MakeCopy() : TIntf<IGVData>());
  }
}

void TGVData::AddCustom(const TIntf<IGVData>& AData) { FCustom.Add(AData); }

void TGVData::SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects&) {
  std::vector<TObject*> objects;
  objects.reserve(static_cast<size_t>(FCustom.Count()));
  for (const TIntf<IGVData>& item : FCustom) objects.push_back(item ? item->GetInstance() : nullptr);
  AWriter.WriteObjects("Custom", objects);
}

void TGVData::SerializationRead(TSerializationReader& AReader) {
  FCustom.Clear();
  if (!AReader.BeginObjects("Custom")) return;
  while (AReader.More()) {
    TObject* object = AReader.ReadObject();
    if (!object) continue;
    if (auto* data = dynamic_cast<TGVData*>(object)) {
      FCustom.Add(data->GetDataIntf());
    } else if (auto* counted = dynamic_cast<TInterfacedObject*>(object)) {
      // Not a data object: take and drop a reference so it dies like any counted object.
      counted->AddRefImpl();
      counted->ReleaseImpl();
    } else {
      TObject::Free(object);
    }
  }
  AReader.EndObjects();
}

}  // namespace fundrel
