// The root of all data objects that travel between components.
//
// A data object is reference counted and used through IGVData: it dies with its last
// reference. It carries a list of attached custom data objects (annotations a producer hangs on
// a buffer) and serialises itself. Attachments are copied with the object, never shared.
// A data object is used by one thread at a time.
#pragma once

#include <cstdint>

#include "host/Quenra.Containers.h"
#include "host/Quenra.Interfaces.h"
#include "host/Quenra.Serialization.h"
#include "host/Quenra.TypInfo.h"

namespace fundrel {

class TGVData;

// The root of the data interfaces. Its descendants name their bases as virtual (one object
// implements the whole family once; see TImplementsVirtual).
struct IGVData : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{B9246BCA-4961-415C-945F-257B3EA0ECFC}");
  // The implementing object.
  virtual TGVData* GetInstance() = 0;
  // A new object of the same class: for buffers a new view on the same storage (no bytes are
  // copied), with copies of the attachments.
  virtual TIntf<IGVData> MakeCopy() = 0;
  virtual void AddCustom(const TIntf<IGVData>& AData) = 0;
  virtual int32_t GetCustomCount() = 0;
  // The attachment at AIndex, 0 <= AIndex < GetCustomCount(); others raise ERangeError.
  virtual TIntf<IGVData> GetCustom(int32_t AIndex) = 0;
};

class FUNDREL_API TGVData : public TImplementsVirtual<TInterfacedObject, IGVData>, public ISerializable {
 public:
  TGVData() = default;
  // With copies of AOther's attachments (AOther may be null).
  explicit TGVData(IGVData* AOther);

  TGVData* GetInstance() override { return this; }
  // Each class answers a new object of its own class.
  TIntf<IGVData> MakeCopy() override = 0;
  TIntf<IGVData> MakeIntfCopy() { return MakeCopy(); }
  TIntf<IGVData> GetDataIntf() { return TIntf<IGVData>(static_cast<IGVData*>(this)); }

  // Replaces the attachments with copies of AOther's, in order (none when AOther is null).
  void AssignData(IGVData* AOther);
  void AddCustom(const TIntf<IGVData>& AData) override;
  int32_t GetCustomCount() override { return FCustom.Count(); }
  TIntf<IGVData> GetCustom(int32_t AIndex) override { return FCustom[AIndex]; }

  // The array "Custom": one serialised object per attachment. Reading replaces the list with
  // the objects read (null entries and objects that are not data objects are dropped).
  void SerializationRead(TSerializationReader& AReader) override;
  void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) override;

 private:
  TArrayList<TIntf<IGVData>> FCustom;
};

FUNDREL_PUBLISHED(TGVData, TInterfacedObject) {}

}  // namespace fundrel
