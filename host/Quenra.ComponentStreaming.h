// Component streaming: writes a component tree with its persisted properties, owned children,
// collections and defined properties as form-file text, and reads it back.
//
//   object Filter1: TMyFilter
//     Count = 12
//     Mode = fmFast
//     Options = [foA, foC]
//     Gain = 0.5
//     Caption = 'It''s'#13#10
//     Brush.Color = 255
//     Points = (2 1.5s 2.5s)
//     Items = <
//       item
//         Value = 1
//       end>
//     Data = {0A0B0C}
//     object Child1: TMyChild
//     end
//   end
//
// Properties equal to their declared default, or whose stored predicate is false, are not
// written; events are not written (handlers are bound in code). Nested persistents are written
// with dotted paths, collections as < item ... end >, an item whose class differs from the
// collection's item type as "item: TClass". Component-valued properties are written as the
// referenced component's name and resolved when the whole tree has been read.
//
// Reading creates components by registered class name, inside a TComponentLoadScope, so they are
// in the loading state from construction and CreateStart(true) never runs for them; once the
// whole tree is read and references are resolved, Loaded runs for each (root first), which for
// lock components calls CreateStart(false). Bad input raises: EClassNotFound for an unknown
// class, EReadError naming the object and property for an unknown property or a bad value,
// EParserError (an EReadError) with the line for broken syntax. After a failed read nothing the
// reader created is left behind.
//
// Streaming runs on the main thread, like every change of component ownership.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "host/Quenra.Classes.h"
#include "host/Quenra.Streams.h"
#include "host/Quenra.TypInfo.h"

namespace fundrel {

class TReader;
class TWriter;

// Broken form-file syntax; the message starts with "Line <n>: ".
class FUNDREL_API EParserError : public EReadError {
 public:
  using EReadError::EReadError;
};

// --- the text's value model

enum class TValueType : uint8_t {
  vaNull,
  vaList,        // ( ... )
  vaInt,         // 64-bit integer
  vaExtended,    // double
  vaSingle,      // float, written with the suffix s
  vaString,      // UTF-8
  vaIdent,       // identifier (may be dotted)
  vaFalse,
  vaTrue,
  vaNil,
  vaBinary,      // { hex }
  vaSet,         // [a, b]
  vaCollection,  // < item ... end >
};

struct TPropertyNode;
struct TItemNode {
  String ClassName;  // empty: the collection's own item type
  std::vector<TPropertyNode> Properties;
};
struct TStreamValue {
  TValueType Type = TValueType::vaNull;
  int64_t Int = 0;
  double Float = 0;
  String Text;                          // string, identifier, binary bytes
  std::vector<TStreamValue> Elements;  // list elements; set members (identifiers)
  std::vector<TItemNode> Items;        // collection items
};
struct TPropertyNode {
  String Path;  // "Brush.Color"
  TStreamValue Value;
  int32_t Line = 0;
};
struct TObjectNode {
  String Name;
  String ClassName;
  std::vector<TPropertyNode> Properties;
  std::vector<TObjectNode> Children;
  int32_t Line = 0;
};

// Parses one "object ... end" block (surrounding white space allowed). Nesting deeper than 200
// levels is refused.
FUNDREL_API TObjectNode ParseObjectText(std::string_view AText);
FUNDREL_API String FormatObjectText(const TObjectNode& ANode);

// --- defined properties

// What DefineProperties receives: a reader's or a writer's way of asking for the defined
// properties of one object. AHasData decides whether the writer writes the property.
class FUNDREL_API TFiler {
 public:
  using TReaderProc = std::function<void(TReader&)>;
  using TWriterProc = std::function<void(TWriter&)>;
  using TStreamProc = std::function<void(TStream&)>;
  virtual ~TFiler() = default;

  // A value written with the writer's Write... calls (exactly one value: use a list for several).
  virtual void DefineProperty(const String& AName, TReaderProc AReadData, TWriterProc AWriteData, bool AHasData) = 0;
  // Raw bytes, written as { hex }.
  virtual void DefineBinaryProperty(const String& AName, TStreamProc AReadData, TStreamProc AWriteData,
                                    bool AHasData) = 0;
  // The reader or writer at work (exactly one is not null).
  virtual TReader* Reader() { return nullptr; }
  virtual TWriter* Writer() { return nullptr; }
};

// --- the writer

class FUNDREL_API TWriter {
 public:
  explicit TWriter(TStream& AStream) : FStream(&AStream) {}
  // A writer without a stream, for WriteNode.
  TWriter() = default;
  TWriter(const TWriter&) = delete;
  TWriter& operator=(const TWriter&) = delete;

  // Writes ARoot, its properties and its children (ARoot->GetChildren with ARoot as root).
  // Each written component is in the writing state meanwhile. Raises EWriteError for a class
  // without its own declaration (it could not be read back as itself).
  void WriteDescendent(TComponent* ARoot);
  // The same tree as a value model, which other stored forms (the serializer) encode.
  TObjectNode WriteNode(TComponent* ARoot);
  TComponent* Root() const { return FRoot; }

  // For defined properties' write procedures.
  void WriteInteger(int64_t AValue) { Put(Value(TValueType::vaInt, AValue)); }
  void WriteFloat(double AValue);
  void WriteSingle(float AValue);
  void WriteString(const String& AValue);
  void WriteIdent(const String& AValue);
  void WriteBoolean(bool AValue) { Put(Value(AValue ? TValueType::vaTrue : TValueType::vaFalse, 0)); }
  void WriteListBegin();
  void WriteListEnd();

 private:
  friend class TWriterFiler;
  static TStreamValue Value(TValueType AType, int64_t AInt);
  void Put(TStreamValue AValue);
  TObjectNode WriteComponentNode(TComponent* AComponent);
  void WriteProperties(TObject& AObject, const String& APrefix, std::vector<TPropertyNode>& AOut, int ADepth);
  TStreamValue WriteCollection(TLockCollection& ACollection, int ADepth);
  String ReferenceName(TComponent* AComponent) const;

  TStream* FStream = nullptr;
  TComponent* FRoot = nullptr;
  // Targets of the Write... calls: the defined property's value list, then open lists.
  std::vector<std::vector<TStreamValue>*> FTargets;
};

// --- the reader

class FUNDREL_API TReader {
 public:
  // AOwner owns a root the reader creates (ReadRootComponent with null).
  explicit TReader(TStream& AStream, TComponent* AOwner = nullptr) : FStream(&AStream), FRootOwner(AOwner) {}
  // A reader without a stream, for ReadNode.
  explicit TReader(TComponent* AOwner = nullptr) : FRootOwner(AOwner) {}
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Reads the stream's object into ARoot, or into a new component of the written class when
  // ARoot is null (the class must be registered). Returns the root.
  TComponent* ReadRootComponent(TComponent* ARoot);
  // The same from a value model (a tree parsed by another stored form).
  TComponent* ReadNode(const TObjectNode& ANode, TComponent* ARoot);

  TComponent* Root() const { return FRoot; }
  // The parent given to components read now (ReadState and SetParentComponent look at it).
  TComponent* Parent() const { return FParent; }
  // The owner given to components read now.
  TComponent* Owner() const { return FOwner; }

  // Reads the current node's properties into AInstance, then its children. TComponent's
  // ReadState calls it.
  void ReadData(TComponent* AInstance);

  // For defined properties' read procedures: each reads the next value of the expected type,
  // else raises EReadError.
  TValueType NextValue() const;
  int32_t ReadInteger();
  int64_t ReadInt64();
  double ReadFloat();
  float ReadSingle() { return static_cast<float>(ReadFloat()); }
  String ReadString();
  String ReadIdent();
  bool ReadBoolean();
  void ReadListBegin();
  void ReadListEnd();
  bool EndOfList() const;
  void SkipValue();

 private:
  friend class TReaderFiler;
  struct TCursor {
    const std::vector<TStreamValue>* List;
    size_t Index;
  };
  struct TFixup {
    TObject* Instance;
    const TPropInfo* Info;
    String Name;
    String Where;
  };
  const TStreamValue& Take(const char* AExpected);
  TComponent* ReadComponentNode(const TObjectNode& ANode);
  void ReadProperty(TObject& AInstance, const TPropertyNode& AProp, const String& AWhere);
  void ReadValue(TObject& AInstance, const TPropInfo& AInfo, const TStreamValue& AValue, const String& AWhere);
  void ReadCollection(TLockCollection& ACollection, const TStreamValue& AValue, const String& AWhere);
  bool ReadDefined(TObject& AInstance, const String& AName, const TStreamValue& AValue);
  void ResolveFixups();

  TStream* FStream = nullptr;
  TComponent* FRootOwner;
  TComponent* FRoot = nullptr;
  TComponent* FParent = nullptr;
  TComponent* FOwner = nullptr;
  const TObjectNode* FNode = nullptr;
  String FPath;  // "Root.Child" of the component being read, for messages
  std::vector<TCursor> FCursors;
  std::vector<TComponent*> FCreated;
  std::vector<TComponent*> FLoaded;
  std::vector<TFixup> FFixups;
};

// Convenience forms over a stream or a string.
FUNDREL_API void WriteComponent(TStream& AStream, TComponent* AInstance);
FUNDREL_API TComponent* ReadComponent(TStream& AStream, TComponent* AInstance = nullptr, TComponent* AOwner = nullptr);
FUNDREL_API String ComponentToString(TComponent* AInstance);
FUNDREL_API TComponent* StringToComponent(const String& AText, TComponent* AInstance = nullptr,
                                          TComponent* AOwner = nullptr);

}  // namespace fundrel
