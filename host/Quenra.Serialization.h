// The serializer: objects write themselves as named entries (binary, nested, arrays of objects,
// number, integer, boolean, string) and read them back by name.
//
// The stored form is CBOR (RFC 8949); the same document can be shown as JSON text for
// inspection and read back from it (binary entries appear there as {"bytes": [...]} objects;
// NaN and infinities survive only in CBOR). Entries of one level keep the order they were
// written in; writing a name twice replaces the first entry.
//
// Arrays hold serialised objects, each with its class name, created again through the class
// registry when read: an object that implements ISerializable writes its own entries; a
// component without it is stored as its component tree (the same properties, children,
// collections and defined properties as the component stream).
//
// A writer or reader is used by one thread at a time. Malformed, truncated or too deeply nested
// input raises ESerializationError; an unknown class raises EClassNotFound.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/Quenra.Classes.h"
#include "host/Quenra.Streams.h"

namespace fundrel {

class TSerializationReader;
class TSerializationWriter;

class FUNDREL_API ESerializationError : public EReadError {
 public:
  using EReadError::EReadError;
};

// The objects chosen for one write (a design tool's selection); writers may consult it to decide
// what they refer to. May be empty.
using TSerializedObjects = std::vector<TObject*>;

// Implemented by classes that serialise themselves. Both are called with the entries of this
// object's own level.
class FUNDREL_API ISerializable {
 public:
  virtual void SerializationRead(TSerializationReader& AReader) = 0;
  virtual void SerializationWrite(TSerializationWriter& AWriter, const TSerializedObjects& AObjects) = 0;

 protected:
  ~ISerializable() = default;
};

namespace detail {
struct TSerialDocument;
}

class FUNDREL_API TSerializationWriter {
 public:
  TSerializationWriter();
  ~TSerializationWriter();
  TSerializationWriter(const TSerializationWriter&) = delete;
  TSerializationWriter& operator=(const TSerializationWriter&) = delete;

  void WriteBinary(const String& AName, const void* AData, size_t ASize);
  void WriteBinary(const String& AName, const std::vector<uint8_t>& AData) { WriteBinary(AName, AData.data(), AData.size()); }
  void WriteNumber(const String& AName, double AValue);
  void WriteInteger(const String& AName, int64_t AValue);
  void WriteBoolean(const String& AName, bool AValue);
  void WriteString(const String& AName, const String& AValue);
  // A nested level: AProc writes its entries through the writer it receives.
  void WriteNested(const String& AName, const std::function<void(TSerializationWriter&)>& AProc);
  // An array of serialised objects, in order; null entries stay null. Raises EWriteError for an
  // object that is neither ISerializable nor a component, or whose class is not declared.
  void WriteObjects(const String& AName, const std::vector<TObject*>& AObjects,
                    const TSerializedObjects& ASelected = {});
  // A component tree (the root, its properties and children).
  void WriteComponent(const String& AName, TComponent* AComponent);

  std::vector<uint8_t> ToCBOR() const;
  String ToJSON(int AIndent = 2) const;
  void SaveToStream(TStream& AStream) const;

 private:
  TSerializationWriter(std::shared_ptr<detail::TSerialDocument> ADocument, void* ALevel);
  std::shared_ptr<detail::TSerialDocument> FDocument;
  void* FLevel;  // the JSON object of this level, inside FDocument
};

class FUNDREL_API TSerializationReader {
 public:
  // Parses the stored form; raises ESerializationError for malformed or truncated input and for
  // nesting deeper than 200 levels.
  static TSerializationReader FromCBOR(const std::vector<uint8_t>& ABytes);
  static TSerializationReader FromCBOR(const uint8_t* AData, size_t ASize);
  static TSerializationReader FromJSON(const String& AText);
  static TSerializationReader FromStream(TStream& AStream);
  TSerializationReader(TSerializationReader&&) noexcept;
  ~TSerializationReader();

  bool Has(const String& AName) const;
  // Components read through ReadObject and ReadComponent are owned by this component.
  void SetOwner(TComponent* AOwner) { FOwner = AOwner; }

  // Each form with a callback calls it when the entry exists and answers whether it did; the
  // form without raises ESerializationError "Entry <name> not found" for a missing entry. An
  // entry of another kind raises ESerializationError "Entry <name> is not a <kind>".
  bool ReadBinary(const String& AName, const std::function<void(const std::vector<uint8_t>&)>& AProc) const;
  std::vector<uint8_t> ReadBinary(const String& AName) const;
  bool ReadNumber(const String& AName, const std::function<void(double)>& AProc) const;
  double ReadNumber(const String& AName) const;
  bool ReadInteger(const String& AName, const std::function<void(int64_t)>& AProc) const;
  int64_t ReadInteger(const String& AName) const;
  bool ReadBoolean(const String& AName, const std::function<void(bool)>& AProc) const;
  bool ReadBoolean(const String& AName) const;
  bool ReadString(const String& AName, const std::function<void(const String&)>& AProc) const;
  String ReadString(const String& AName) const;
  bool ReadNested(const String& AName, const std::function<void(TSerializationReader&)>& AProc) const;

  // Arrays: BeginObjects(name) (false when absent), then while More(): ReadObject(), then
  // EndObjects(). ReadObject makes the next object by class name and reads it; it returns null
  // for a null entry. The caller owns the result: a counted object starts at count 0 (take it
  // into a TIntf), an owned one is freed with TObject::Free; components belong to the owner
  // set with SetOwner when there is one.
  bool BeginObjects(const String& AName);
  bool More() const;
  TObject* ReadObject();
  void EndObjects();

  // A component tree written by WriteComponent, read into ARoot or into a new component of the
  // written class (see TReader::ReadNode). Raises ESerializationError when absent.
  TComponent* ReadComponent(const String& AName, TComponent* ARoot = nullptr);

 private:
  TSerializationReader(std::shared_ptr<detail::TSerialDocument> ADocument, const void* ALevel);
  const void* Entry(const String& AName) const;
  std::shared_ptr<detail::TSerialDocument> FDocument;
  const void* FLevel;
  TComponent* FOwner = nullptr;
  const void* FArray = nullptr;
  size_t FArrayIndex = 0;
};

}  // namespace fundrel
