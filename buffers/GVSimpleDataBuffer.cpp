#include "buffers/GVSimpleDataBuffer.h"

#include <cstring>

#include "buffers/detail/BufferOps.h"
#include "host/Quenra.Modules.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

std::atomic<uint32_t> _GVCountPasBuffers{0};

namespace {
TGVGenericBuffer* GenericOf(IGVData* AData) {
  auto* buffer = AData ? dynamic_cast<TGVGenericBuffer*>(AData->GetInstance()) : nullptr;
  if (!buffer) RaiseInvalidCast();
  return buffer;
}
}  // namespace

// --- TGVGenericBuffer

TGVGenericBuffer::TGVGenericBuffer(IGVData* AOther, TGVSmartBuffer* AContainer, uint32_t ASize)
    : FByteSize(ASize), FDataContainer(AContainer) {
  AssignData(AOther);
  FDataContainer->AddReff(true);
  _GVCountPasBuffers.fetch_add(1, std::memory_order_relaxed);
}

TGVGenericBuffer::TGVGenericBuffer(TGVGenericBuffer* AOther)
    : FDataPtr(AOther->FDataPtr), FByteSize(AOther->FByteSize), FDataContainer(AOther->FDataContainer) {
  AssignData(static_cast<IGVData*>(AOther));
  FDataContainer->AddReff(true);
  _GVCountPasBuffers.fetch_add(1, std::memory_order_relaxed);
}

TGVGenericBuffer::~TGVGenericBuffer() {
  if (FSequenceStamp) static_cast<TGVSequenceStamp*>(FSequenceStamp.get())->FIntBuffer = nullptr;
  if (FDataContainer) {
    FDataContainer->RemoveReff(FOwnsData);
    FDataContainer = nullptr;
  }
  _GVCountPasBuffers.fetch_sub(1, std::memory_order_relaxed);
}

TIntf<IGVData> TGVGenericBuffer::MakeCopy() {
  return TIntf<IGVData>(static_cast<IGVData*>(new TGVGenericBuffer(this)));
}

uint8_t* TGVGenericBuffer::ByteWrite() {
  Unique(false);
  return FDataPtr;
}

uint8_t* TGVGenericBuffer::ByteModify() {
  Unique(true);
  return FDataPtr;
}

bool TGVGenericBuffer::MakeUnique(bool APreserveData) {
  if (FDataContainer->SingleOwner()) return false;
  TGVSmartBuffer* old = FDataContainer;
  TGVSmartBuffer* made = old->Clone(APreserveData);
  made->AddReff(FOwnsData);
  SetDataContainer(made);
  old->RemoveReff(FOwnsData);
  PopulateCahces();
  return true;
}

void TGVGenericBuffer::RemoveOwnerShip() {
  if (!FOwnsData) return;
  FDataContainer->RemoveOwnerShip();
  FOwnsData = false;
}

void TGVGenericBuffer::PopulateCahces() {
  IntPopulateCahces();
  FChangeNotify.Notify();
}

void TGVGenericBuffer::IntPopulateCahces() {}

void TGVGenericBuffer::Assign(const TIntf<IGVDataBuffer>& AOtherBuffer) {
  TGVGenericBuffer* other = GenericOf(AOtherBuffer.get());
  AssignData(static_cast<IGVData*>(other));
  if (other != this && other->FDataContainer != FDataContainer) {
    TGVSmartBuffer* shared = other->FDataContainer;
    // Attach before detaching: the old storage may be the last thing keeping ours alive.
    shared->AddReff(FOwnsData);
    TGVSmartBuffer* old = FDataContainer;
    SetDataContainer(shared);
    if (old) old->RemoveReff(FOwnsData);
    PopulateCahces();
  }
  FByteSize = other->FByteSize;
  FDataPtr = other->FDataPtr;
}

bool TGVGenericBuffer::IsEqual(const TIntf<IGVDataBuffer>& AOther) {
  if (!AOther) return false;
  const uint32_t n = GetByteSize();
  if (n != AOther->GetByteSize()) return false;
  return n == 0 || std::memcmp(ByteRead(), AOther->ByteRead(), n) == 0;
}

TIntf<IGVSmartBufferProxy> TGVGenericBuffer::GetProxy(TGVSmartBufferProxyClass AProxyClass,
                                                      const std::vector<TVariant>& AParameters) {
  return FDataContainer->GetProxy(AProxyClass, AParameters);
}

TIntf<IGVDataBufferAccess> TGVGenericBuffer::ByteData(TBufferAccessModes AMode) {
  return TIntf<IGVDataBufferAccess>(static_cast<IGVDataBufferAccess*>(new TGVDataBufferAccess(this, AMode)));
}

std::vector<uint8_t> TGVGenericBuffer::AsBytes() {
  const uint8_t* data = ByteRead();
  return std::vector<uint8_t>(data, data + GetByteSize());
}

TIntf<IGVSequenceStamp> TGVGenericBuffer::GetSequenceStamp() {
  if (!FSequenceStamp) FSequenceStamp = TIntf<IGVSequenceStamp>(new TGVSequenceStamp(this));
  return FSequenceStamp;
}

void TGVGenericBuffer::CopyTo(uint32_t ASourceOffset, const TIntf<IGVDataBuffer>& ATargetBuffer,
                              uint32_t ATargetOffset, uint32_t ASize) {
  if (ASize == 0) return;
  uint8_t* target = ATargetBuffer->ByteModify();
  FUNDREL_IPP(ippsCopy_8u)(ByteRead() + ASourceOffset, target + ATargetOffset, static_cast<int>(ASize));
}

void TGVGenericBuffer::SaveToStream(TStream& AStream) { AStream.WriteBuffer(ByteRead(), GetByteSize()); }

void TGVGenericBuffer::LoadFromStream(TStream& AStream) { AStream.ReadBuffer(ByteWrite(), GetByteSize()); }

void TGVGenericBuffer::SaveToFile(const String& AFileName) {
  TFileStream stream(AFileName, fmCreate);
  SaveToStream(stream);
}

void TGVGenericBuffer::LoadFromFile(const String& AFileName) {
  TFileStream stream(AFileName, fmOpenRead);
  LoadFromStream(stream);
}

void TGVGenericBuffer::InternalSerializationRead(TSerializationReader&) {}

void TGVGenericBuffer::InternalSerializationWrite(TSerializationWriter&) {}

void TGVGenericBuffer::SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) {
  // Plain calls rather than an access object: the serializer may run this on an object whose
  // reference count is still 0, which a counted access object would release.
  TGVData::SerializationWrite(AWriter, AObjects);
  InternalSerializationWrite(AWriter);
  TIntf<IGVSequenceStamp> stamp = GetSequenceStamp();
  AWriter.WriteNested("SequenceStamp", [&](TSerializationWriter& AStampWriter) {
    static_cast<TGVSequenceStamp*>(stamp.get())->SerializationWrite(AStampWriter, AObjects);
  });
  AWriter.WriteBinary("Data", ByteRead(), GetByteSize());
}

void TGVGenericBuffer::SerializationRead(TSerializationReader& AReader) {
  InternalSerializationRead(AReader);
  AReader.ReadBinary("Data", [&](const std::vector<uint8_t>& ABytes) {
    const uint32_t size = GetByteSize();
    const size_t n = ABytes.size() < size ? ABytes.size() : size;
    uint8_t* data = ByteWrite();
    if (n) std::memcpy(data, ABytes.data(), n);
  });
  TIntf<IGVSequenceStamp> stamp = GetSequenceStamp();
  AReader.ReadNested("SequenceStamp", [&](TSerializationReader& AStampReader) {
    static_cast<TGVSequenceStamp*>(stamp.get())->SerializationRead(AStampReader);
  });
  TGVData::SerializationRead(AReader);
}

TMultiProc<>::THandle DVSubscribeBufferNodify(const TIntf<IGVGenericBuffer>& ABuffer, void* AInstance,
                                              void (*ACallback)(void* AInstance)) {
  return GenericOf(ABuffer.get())->ChangeNotify().Add([AInstance, ACallback]() { ACallback(AInstance); });
}

void DVUnSubscribeBufferNodify(const TIntf<IGVGenericBuffer>& ABuffer, TMultiProc<>::THandle AProc) {
  GenericOf(ABuffer.get())->ChangeNotify().Remove(AProc);
}

// --- TGVSequenceStamp

void TGVSequenceStamp::SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects&) {
  // A stamp that travels is a stamp that was given: readers take it as valid.
  AWriter.WriteBoolean("Available", true);
  AWriter.WriteInteger("BufferNumber", GetBufferNumber());
}

void TGVSequenceStamp::SerializationRead(TSerializationReader& AReader) {
  AReader.ReadBoolean("Available", [this](bool AValue) { SetAvailable(AValue); });
  AReader.ReadInteger("BufferNumber", [this](int64_t AValue) { SetBufferNumber(AValue); });
}

// --- TGVMemoryBuffer

TGVMemoryBuffer::TGVMemoryBuffer(uint32_t ASize) : TGVMemoryBuffer(nullptr, new TGVSmartMemoryBuffer(ASize), ASize) {}

TGVMemoryBuffer::TGVMemoryBuffer(IGVData* AOther, TGVSmartMemoryBuffer* AContainer, uint32_t AByteSize)
    : TGVGenericBuffer(AOther, AContainer, AByteSize) {
  FDataPtr = static_cast<uint8_t*>(AContainer->GetRawData());
}

TGVMemoryBuffer::TGVMemoryBuffer(TGVMemoryBuffer* AOther) : TGVGenericBuffer(AOther) {}

TIntf<IGVData> TGVMemoryBuffer::MakeCopy() {
  return TIntf<IGVData>(static_cast<IGVData*>(new TGVMemoryBuffer(this)));
}

void TGVMemoryBuffer::IntPopulateCahces() { FDataPtr = static_cast<uint8_t*>(GetCharBuffer()->GetRawData()); }

// --- TGVLinearMemoryBuffer

bool TGVLinearMemoryBuffer::Resize(uint32_t ASize, bool APreserveData) {
  const uint32_t item = ItemSize();
  if (ASize == 0) {
    FByteSize = 0;
    PopulateCahces();
    return true;
  }
  if (ASize == GetSize()) return false;
  if (APreserveData &&
      (ASize < GetSize() || (FDataContainer->SingleOwner() && ASize <= GetCharBuffer()->GetAllocatedSize() / item))) {
    FByteSize = item * ASize;
    PopulateCahces();
    return true;
  }
  TGVSmartMemoryBuffer* old = GetCharBuffer();
  TGVSmartMemoryBuffer* made = MakeCopySize(ASize);
  if (APreserveData) made->CopyFrom(*old);
  SetDataContainer(made);
  old->RemoveReff(FOwnsData);
  made->AddReff(FOwnsData);
  FByteSize = item * ASize;
  PopulateCahces();
  return true;
}

// --- access objects

TGVDataBufferAccess::TGVDataBufferAccess(TGVGenericBuffer* AOwner, TBufferAccessModes AMode)
    : FOwnerIntf(AOwner->GetDataBufferIntf()), FOwner(AOwner), FMode(AMode) {}

uint8_t* TGVDataBufferAccess::ByteData() {
  const bool read = FMode.Contains(TBufferAccessMode::Read);
  const bool write = FMode.Contains(TBufferAccessMode::Write);
  if (read && write) return FOwner->ByteModify();
  if (write) return FOwner->ByteWrite();
  return const_cast<uint8_t*>(FOwner->ByteRead());
}

// --- factory

TIntf<IGVDataBuffer> GVCreateBuffer(TClass AClass, uint32_t ASize) {
  if (!AClass || !AClass->InheritsFrom(ClassOf<TGVMemoryBuffer>())) RaiseInvalidCast();
  auto* buffer = static_cast<TGVMemoryBuffer*>(AClass->Construct<uint32_t>(ASize));
  return buffer->GetDataBufferIntf();
}

namespace {
// Makes serialised buffers creatable by class name.
void RegisterBufferClasses() {
  RegisterClasses<TGVBlockBuffer, TGVRealBuffer, TGVComplexBuffer, TGVIntegerBuffer>();
}
}  // namespace

FUNDREL_UNIT(GVSimpleDataBuffer, "GVBasicDispatcher", &RegisterBufferClasses, nullptr);

}  // namespace fundrel

namespace fundrel::detail {

void RaiseIndexOutOfRange(uint32_t AIndex) { throw ERangeError(Format("Index out of range = %u", AIndex)); }

void RaiseNilOperand() { throw EGVException("Buffer operand is nil"); }

TGVMemoryBuffer* MemoryBufferOf(const TIntf<IGVData>& AOther) {
  auto* buffer = AOther ? dynamic_cast<TGVMemoryBuffer*>(AOther->GetInstance()) : nullptr;
  if (!buffer) RaiseInvalidCast();
  return buffer;
}

}  // namespace fundrel::detail
