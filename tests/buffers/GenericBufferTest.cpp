#include <cstdio>
#include <cstring>
#include <string>

#include "BufferTesting.h"
#include "host/Quenra.Serialization.h"
#include "host/Quenra.Streams.h"

namespace fundrel::testing {
namespace {

using GenericBufferTest = BufferTest;

TGVRealBufferRef Values(std::initializer_list<double> AValues) {
  std::vector<double> v(AValues);
  return TGVRealBuffer::CreateData(v.data(), static_cast<uint32_t>(v.size()));
}

std::vector<double> Elements(const TGVRealBufferRef& ABuffer) {
  return std::vector<double>(ABuffer->Read(), ABuffer->Read() + ABuffer->GetSize());
}

TGVRealBufferRef CopyOf(const TGVRealBufferRef& ABuffer) { return Supports<IGVRealBuffer>(ABuffer->MakeCopy()); }

TEST_F(GenericBufferTest, CopiesShareUntilOneWritesThenOnlyTheWriterCopies) {
  TGVRealBufferRef a = Values({1, 2, 3});
  TGVSmartBuffer* original = StorageOf(a);
  a->GetSequenceStamp()->SetBufferNumber(9);
  a->GetSequenceStamp()->SetAvailable(true);
  TGVRealBufferRef b = CopyOf(a);
  EXPECT_EQ(StorageOf(b), original) << "a copy is a view, not bytes";
  EXPECT_EQ(original->GetCountOwners(), 2);
  EXPECT_EQ(b->GetSequenceStamp()->GetBufferNumber(), 9) << "the number lives in the storage";

  b->Modify()[0] = 10;
  EXPECT_NE(StorageOf(b), original);
  EXPECT_EQ(Elements(a), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Elements(b), (std::vector<double>{10, 2, 3}));
  EXPECT_FALSE(b->GetSequenceStamp()->GetAvailable()) << "a clone carries no number";
  EXPECT_TRUE(a->GetSequenceStamp()->GetAvailable());
  EXPECT_EQ(original->GetCountOwners(), 1);
  TIntf<IGVSequenceStamp> kept = b->GetSequenceStamp();
  b.reset();
  kept->SetBufferNumber(5);  // its buffer is gone: harmless
  EXPECT_FALSE(kept->GetAvailable());

  const double* before = a->Read();
  a->Modify()[1] = 20;  // single owner again: in place
  EXPECT_EQ(a->Read(), before);
  EXPECT_EQ(StorageOf(a), original);
}

TEST_F(GenericBufferTest, WriteReplacesSharedStorageWithZerosAndModifyKeepsTheBytes) {
  TGVRealBufferRef a = Values({1, 2, 3});
  TGVRealBufferRef b = CopyOf(a);
  b->Write();
  EXPECT_EQ(Elements(b), (std::vector<double>{0, 0, 0}));
  TGVRealBufferRef c = CopyOf(a);
  c->Modify();
  EXPECT_EQ(Elements(c), (std::vector<double>{1, 2, 3}));
}

TEST_F(GenericBufferTest, ATransportViewWithoutOwnershipLetsTheOwnerWriteInPlace) {
  TGVRealBufferRef a = Values({1, 2});
  TGVRealBufferRef carried = CopyOf(a);
  auto* carriedObject = dynamic_cast<TGVGenericBuffer*>(carried->GetInstance());
  carriedObject->RemoveOwnerShip();
  carriedObject->RemoveOwnerShip();  // a second call changes nothing
  EXPECT_FALSE(carriedObject->OwnsData());
  EXPECT_EQ(StorageOf(a)->GetCountOwners(), 1);
  EXPECT_EQ(StorageOf(a)->GetCountTransports(), 2);
  a->Modify()[0] = 5;
  EXPECT_EQ(StorageOf(a), StorageOf(carried));
  EXPECT_EQ(carried->GetItem(0), 5.0) << "the carrier sees the owner's write";
}

TEST_F(GenericBufferTest, AccessObjectsAskForTheAddressOnEveryCall) {
  TGVRealBufferRef a = Values({1, 2, 3});
  TIntf<IGVDataBufferAccess> none = a->ByteData({});
  TIntf<IGVDataBufferAccess> write = a->ByteData({TBufferAccessMode::Write});
  TIntf<IGVRealBufferAccess> modify = a->Data({TBufferAccessMode::Read, TBufferAccessMode::Write});
  TGVRealBufferRef shared = CopyOf(a);  // shared only after the access objects were made
  TGVSmartBuffer* original = StorageOf(a);
  EXPECT_EQ(none->ByteData(), reinterpret_cast<const uint8_t*>(shared->Read())) << "[] reads like [Read]";
  EXPECT_EQ(StorageOf(a), original);
  EXPECT_EQ(modify->GetSize(), 3u);
  EXPECT_EQ(modify->GetByteSize(), 24u);
  double* d = modify->Data();
  EXPECT_NE(StorageOf(a), original);
  EXPECT_EQ(d[2], 3.0);

  TGVRealBufferRef again = CopyOf(a);
  write->ByteData();
  EXPECT_EQ(a->GetItem(2), 0.0) << "[Write] clones without copying";
  EXPECT_EQ(again->GetItem(2), 3.0);
}

TEST_F(GenericBufferTest, AssignSharesStorageSizeAndCopiesAttachments) {
  TGVRealBufferRef a = Values({1, 2, 3, 4});
  TGVRealBufferRef b = Values({9});
  a->AddCustom(Values({7}));
  b->Assign(a);
  EXPECT_EQ(StorageOf(b), StorageOf(a));
  EXPECT_EQ(b->GetSize(), 4u);
  EXPECT_EQ(b->Read(), a->Read());
  ASSERT_EQ(b->GetCustomCount(), 1);
  EXPECT_NE(b->GetCustom(0), a->GetCustom(0)) << "attachments are copied, never shared";
  b->SetItem(0, 100);
  EXPECT_EQ(a->GetItem(0), 1.0);
  b->Assign(b);  // itself: nothing changes
  EXPECT_EQ(b->GetItem(0), 100.0);
}

TEST_F(GenericBufferTest, ResizeTakesEveryBranch) {
  TGVRealBufferRef a = Values({1, 2, 3, 4, 5, 6, 7, 8});
  TGVSmartBuffer* storage = StorageOf(a);
  const double* address = a->Read();
  EXPECT_FALSE(a->Resize(8, true)) << "same size";
  EXPECT_TRUE(a->Resize(4, true));  // shrink keeps storage and address
  EXPECT_EQ(a->Read(), address);
  EXPECT_EQ(Elements(a), (std::vector<double>{1, 2, 3, 4}));
  EXPECT_TRUE(a->Resize(8, true));  // grow back within the block, single owner: in place
  EXPECT_EQ(a->Read(), address);
  EXPECT_EQ(a->GetItem(7), 8.0) << "the bytes beyond the view were never touched";

  TGVRealBufferRef shared = CopyOf(a);
  EXPECT_TRUE(a->Resize(2, true));
  EXPECT_EQ(StorageOf(a), storage) << "shrinking keeps even a shared storage";
  EXPECT_TRUE(a->Resize(6, true));
  EXPECT_NE(StorageOf(a), storage) << "growing a shared view must not touch the other's data";
  EXPECT_EQ(Elements(a), (std::vector<double>{1, 2, 3, 4, 5, 6}));
  shared->SetItem(0, -1);
  EXPECT_EQ(a->GetItem(0), 1.0);

  TGVSmartBuffer* own = StorageOf(a);
  EXPECT_TRUE(a->Resize(3, false));
  EXPECT_NE(StorageOf(a), own) << "without preserving, another size always allocates";
  EXPECT_EQ(Elements(a), (std::vector<double>{0, 0, 0}));
  EXPECT_TRUE(a->Resize(20, true));
  EXPECT_EQ(a->GetSize(), 20u);
  EXPECT_EQ(a->GetItem(19), 0.0);

  TGVSmartBuffer* beforeEmpty = StorageOf(a);
  EXPECT_TRUE(a->Resize(0, true));
  EXPECT_EQ(a->GetSize(), 0u);
  EXPECT_EQ(a->GetByteSize(), 0u);
  EXPECT_EQ(StorageOf(a), beforeEmpty) << "an empty view keeps its storage";
}

TEST_F(GenericBufferTest, ChangeNotificationRunsWheneverTheAddressIsRenewed) {
  TGVRealBufferRef a = Values({1, 2});
  TIntf<IGVGenericBuffer> generic = Supports<IGVGenericBuffer>(a);
  ASSERT_TRUE(generic);
  int calls = 0;
  auto handle = DVSubscribeBufferNodify(generic, &calls, [](void* AInstance) { ++*static_cast<int*>(AInstance); });
  a->Modify();  // private: nothing renewed
  EXPECT_EQ(calls, 0);
  TGVRealBufferRef b = CopyOf(a);
  a->Modify();
  EXPECT_EQ(calls, 1);
  a->Resize(40, true);
  EXPECT_EQ(calls, 2);
  DVUnSubscribeBufferNodify(generic, handle);
  a->Resize(1, true);
  EXPECT_EQ(calls, 2);
}

TEST_F(GenericBufferTest, EqualityCopyingAndBytes) {
  EXPECT_TRUE(TGVRealBuffer::Create()->IsEqual(TGVRealBuffer::Create()));
  TGVRealBufferRef a = Values({1, 2, 3});
  EXPECT_TRUE(a->IsEqual(Values({1, 2, 3})));
  EXPECT_FALSE(a->IsEqual(Values({1, 2, 4})));
  EXPECT_FALSE(a->IsEqual(Values({1, 2})));
  TIntf<IGVData> bytes(static_cast<IGVData*>(new TGVMemoryBuffer(24)));
  TIntf<IGVDataBuffer> memory = Supports<IGVDataBuffer>(bytes);
  std::memcpy(memory->ByteWrite(), a->Read(), 24);
  EXPECT_TRUE(memory->IsEqual(a)) << "an untyped buffer compares bytes only";
  EXPECT_FALSE(a->IsEqual(memory)) << "a real buffer equals only real buffers";

  TGVRealBufferRef target = TGVRealBuffer::CreateSize(5);
  a->CopyTo(1, target, 3, 2);  // elements
  EXPECT_EQ(Elements(target), (std::vector<double>{0, 0, 0, 2, 3}));
  std::memset(memory->ByteWrite(), 0, 24);
  a->CopyTo(8, memory, 0, 8);  // bytes: the second element into the first 8 bytes
  double first;
  std::memcpy(&first, memory->ByteRead(), 8);
  EXPECT_EQ(first, 2.0);
  std::vector<uint8_t> raw = a->AsBytes();
  ASSERT_EQ(raw.size(), 24u);
  EXPECT_EQ(std::memcmp(raw.data(), a->Read(), 24), 0);
}

TEST_F(GenericBufferTest, InterfacesOfTheFamilyAnswerAtTheirOwnAddress) {
  TGVRealBufferRef a = Values({1, 2, 3});
  TIntf<IGVData> data = a;
  TIntf<IGVDataBuffer> buffer = Supports<IGVDataBuffer>(data);
  TIntf<IGVLinearDataBuffer> linear = Supports<IGVLinearDataBuffer>(data);
  TIntf<IGVGenericBuffer> generic = Supports<IGVGenericBuffer>(data);
  ASSERT_TRUE(buffer && linear && generic);
  EXPECT_EQ(buffer->GetSize(), 3u);
  EXPECT_EQ(generic->GetByteSize(), 24u);
  EXPECT_TRUE(linear->Resize(2, true));
  EXPECT_EQ(a->GetSize(), 2u);
  EXPECT_EQ(Supports<IGVRealBuffer>(generic), a);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(a->QueryInterface(IGVComplexBuffer::IID, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(Supports<IGVSequenceStamp>(data));
}

TEST_F(GenericBufferTest, RawStreamsAndFiles) {
  TGVRealBufferRef a = Values({1.5, -2.5, 3.25});
  TMemoryStream stream;
  a->SaveToStream(stream);
  EXPECT_EQ(stream.Size(), 24);
  TGVRealBufferRef b = TGVRealBuffer::CreateSize(3);
  stream.Seek(0, TSeekOrigin::soBeginning);
  b->LoadFromStream(stream);
  EXPECT_EQ(Elements(b), Elements(a));
  TGVRealBufferRef big = TGVRealBuffer::CreateSize(4);
  stream.Seek(0, TSeekOrigin::soBeginning);
  EXPECT_THROW(big->LoadFromStream(stream), EReadError) << "the size never changes to fit";

  std::string name = ::testing::TempDir() + "fundrel_buffer_raw.bin";
  a->SaveToFile(name);
  TGVRealBufferRef c = TGVRealBuffer::CreateSize(3);
  c->LoadFromFile(name);
  EXPECT_EQ(Elements(c), Elements(a));
  std::remove(name.c_str());
  EXPECT_THROW(c->LoadFromFile(name), EFOpenError);
}

TEST_F(GenericBufferTest, SerialisationRoundTripsIntoBuffersOfTheirOwnSize) {
  TGVRealBufferRef a = Values({1, 2});
  a->GetSequenceStamp()->SetBufferNumber(77);
  a->GetSequenceStamp()->SetAvailable(false);
  a->AddCustom(Values({5}));
  a->AddCustom(TGVRealBuffer::Create());
  TSerializationWriter writer;
  a->GetInstance()->SerializationWrite(writer, {});
  std::vector<uint8_t> cbor = writer.ToCBOR();

  TGVRealBufferRef same = TGVRealBuffer::CreateSize(2);
  TSerializationReader reader = TSerializationReader::FromCBOR(cbor);
  same->GetInstance()->SerializationRead(reader);
  EXPECT_EQ(Elements(same), (std::vector<double>{1, 2}));
  EXPECT_EQ(same->GetSequenceStamp()->GetBufferNumber(), 77);
  EXPECT_TRUE(same->GetSequenceStamp()->GetAvailable()) << "a written stamp always reads back as available";
  ASSERT_EQ(same->GetCustomCount(), 2);
  EXPECT_TRUE(Supports<IGVRealBuffer>(same->GetCustom(0))) << "attachments come back by class name";

  TGVRealBufferRef smaller = TGVRealBuffer::CreateSize(1);
  TSerializationReader again = TSerializationReader::FromCBOR(cbor);
  smaller->GetInstance()->SerializationRead(again);
  EXPECT_EQ(Elements(smaller), (std::vector<double>{1})) << "the first bytes that fit";

  TGVRealBufferRef empty = TGVRealBuffer::Create();
  TSerializationReader third = TSerializationReader::FromJSON(writer.ToJSON());
  empty->GetInstance()->SerializationRead(third);
  EXPECT_EQ(empty->GetSize(), 0u);
}

TEST_F(GenericBufferTest, ShortDataFillsOnlyTheFrontAndMissingEntriesChangeNothing) {
  TSerializationWriter writer;
  Values({5})->GetInstance()->SerializationWrite(writer, {});
  TGVRealBufferRef target = Values({1, 2, 3});
  TSerializationReader reader = TSerializationReader::FromCBOR(writer.ToCBOR());
  target->GetInstance()->SerializationRead(reader);
  EXPECT_EQ(Elements(target), (std::vector<double>{5, 2, 3}));

  TSerializationWriter bare;
  bare.WriteInteger("Other", 1);
  TSerializationReader nothing = TSerializationReader::FromCBOR(bare.ToCBOR());
  target->GetInstance()->SerializationRead(nothing);
  EXPECT_EQ(Elements(target), (std::vector<double>{5, 2, 3}));
  EXPECT_EQ(target->GetCustomCount(), 0);
}

TEST_F(GenericBufferTest, BufferClassesAreRegisteredAndMadeByClass) {
  TClass real = GetClass("TGVRealBuffer");
  ASSERT_NE(real, nullptr);
  TIntf<IGVDataBuffer> made = GVCreateBuffer(real, 5);
  EXPECT_EQ(made->GetSize(), 5u);
  EXPECT_EQ(made->GetByteSize(), 40u);
  EXPECT_TRUE(Supports<IGVRealBuffer>(made));
  EXPECT_EQ(GVCreateBuffer(ClassOf<TGVMemoryBuffer>(), 3)->GetByteSize(), 3u);
  EXPECT_THROW(GVCreateBuffer(ClassOf<TGVData>(), 1), EInvalidCast);
  EXPECT_THROW(TGVRealBuffer::CreateUniversal(TIntf<IGVData>()), EInvalidCast);
}

}  // namespace
}  // namespace fundrel::testing
