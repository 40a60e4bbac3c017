// A small, self-contained XML document model: reference-counted nodes behind interfaces, a shared
// table of interned names, typed attribute access with defaults, simple path selection, a
// streaming text parser (UTF-8 and the Windows and ISO code pages of the declaration), a
// code-page-converting text writer and a compact binary form.
//
// Strings are UTF-16. Every error raises EGVException with a fixed message (file open errors
// raise EFOpenError). A document, its nodes and its name table are used by one thread at a time;
// the module globals are read when documents are created or written.
//
// Lifetime: nodes hold their name table and their child list by counted reference, a list holds
// its nodes, a node does not hold its parent. A node dropped from its parent's list loses its
// parent but lives on while referenced.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/Quenra.Interfaces.h"
#include "host/Quenra.Variants.h"
#include "xml/DVXmlStreams.h"

namespace fundrel {

using TXmlString = std::u16string;
// A byte string: raw XML text or the binary form.
using TXmlBytes = std::string;
// Identifies one interned name for the life of its table; 0 is the empty name.
using TXmlNameID = intptr_t;

enum TXmlNodeType : int32_t {
  NODE_INVALID,
  NODE_ELEMENT,
  NODE_TEXT,
  NODE_CDATA_SECTION,
  NODE_PROCESSING_INSTRUCTION,
  NODE_COMMENT,
  NODE_DOCUMENT
};

// Module globals, read when documents are created or written.
FUNDREL_API extern bool DefaultPreserveWhiteSpace;  // false
FUNDREL_API extern TXmlString DefaultIndentText;    // one TAB
FUNDREL_API extern TXmlString XMLPathDelimiter;     // one backslash
// The 14 bytes "< binary-xml >" that start the binary form.
FUNDREL_API extern const char BinXmlSignature[14];

struct IXmlNode;
struct IXmlElement;
struct IXmlText;
struct IXmlCDATASection;
struct IXmlComment;
struct IXmlProcessingInstruction;
struct IXmlDocument;

struct IXmlBase : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{486AB5C6-D92A-4E28-81AF-E8732B3907ED}");
  // The implementing object itself.
  virtual TObject* GetObject() = 0;
};

struct IXmlNameTable : IXmlBase {
  using Parent = IXmlBase;
  FUNDREL_IID("{96EF5A48-E485-4574-BF13-84461BE6792E}");
  // Interns AName (adds it when new); 0 for the empty name.
  virtual TXmlNameID GetID(std::u16string_view AName) = 0;
  virtual TXmlString GetName(TXmlNameID AID) = 0;
};

struct IXmlNodeList : IXmlBase {
  using Parent = IXmlBase;
  FUNDREL_IID("{6A727892-BDB9-42C8-8435-8DD6822C037E}");
  virtual int32_t Get_Count() = 0;
  // Raises "Error obtaining the element the list: Index out of range" outside 0 to count - 1.
  virtual TIntf<IXmlNode> Get_Item(int32_t AIndex) = 0;
  virtual void Exchange(int32_t AIndex1, int32_t AIndex2) = 0;
  // The concatenated text forms of the nodes.
  virtual TXmlString Get_XML() = 0;
};

// Every operation taking a name exists twice: with the name as text (interned in the node's
// table) and with its ID in that table.
struct IXmlNode : IXmlBase {
  using Parent = IXmlBase;
  FUNDREL_IID("{2A9B6ECB-CF6A-4AAA-9C89-D4CDEDDAE3AE}");
  virtual TIntf<IXmlNameTable> Get_NameTable() = 0;
  virtual TXmlString Get_NodeName() = 0;
  virtual TXmlNameID Get_NodeNameID() = 0;
  virtual TXmlNodeType Get_NodeType() = 0;
  virtual TXmlString Get_Text() = 0;
  virtual void Set_Text(const TXmlString& AText) = 0;
  virtual TVarType Get_DataType() = 0;
  virtual TVariant Get_TypedValue() = 0;
  virtual void Set_TypedValue(const TVariant& AValue) = 0;
  virtual TXmlString Get_XML() = 0;
  virtual TIntf<IXmlNode> CloneNode(bool ADeep) = 0;
  virtual TIntf<IXmlNode> Get_ParentNode() = 0;
  virtual TIntf<IXmlDocument> Get_OwnerDocument() = 0;
  virtual TIntf<IXmlNodeList> Get_ChildNodes() = 0;
  // A node with another parent, or from another name table, is inserted as a deep clone (re-named
  // in this node's table); the inserted node is returned.
  virtual TIntf<IXmlNode> AppendChild(const TIntf<IXmlNode>& AChild) = 0;
  virtual TIntf<IXmlNode> InsertBefore(const TIntf<IXmlNode>& AChild, const TIntf<IXmlNode>& ABefore) = 0;
  virtual TIntf<IXmlNode> ReplaceChild(const TIntf<IXmlNode>& ANewChild, const TIntf<IXmlNode>& AOldChild) = 0;
  virtual TIntf<IXmlNode> RemoveChild(const TIntf<IXmlNode>& AChild) = 0;
  virtual TIntf<IXmlElement> AppendElement(const TXmlString& AName) = 0;
  virtual TIntf<IXmlElement> AppendElement(TXmlNameID ANameID) = 0;
  virtual TIntf<IXmlText> AppendText(const TXmlString& AData) = 0;
  virtual TIntf<IXmlCDATASection> AppendCDATA(const TXmlString& AData) = 0;
  virtual TIntf<IXmlComment> AppendComment(const TXmlString& AData) = 0;
  virtual TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(const TXmlString& ATarget,
                                                                       const TXmlString& AData) = 0;
  virtual TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(TXmlNameID ATargetID,
                                                                       const TXmlString& AData) = 0;
  virtual TXmlString GetChildText(const TXmlString& AName, const TXmlString& ADefault = TXmlString()) = 0;
  virtual TXmlString GetChildText(TXmlNameID ANameID, const TXmlString& ADefault = TXmlString()) = 0;
  virtual void SetChildText(const TXmlString& AName, const TXmlString& AText) = 0;
  virtual void SetChildText(TXmlNameID ANameID, const TXmlString& AText) = 0;
  // Raises "Error: Child node "<name>" not found" when there is no child of that name.
  virtual TIntf<IXmlNode> NeedChild(const TXmlString& AName) = 0;
  virtual TIntf<IXmlNode> NeedChild(TXmlNameID ANameID) = 0;
  virtual TIntf<IXmlNode> EnsureChild(const TXmlString& AName) = 0;
  virtual TIntf<IXmlNode> EnsureChild(TXmlNameID ANameID) = 0;
  virtual void RemoveAllChilds() = 0;
  // AExpression is a name or names joined by XMLPathDelimiter; anything else raises "This feature
  // is not supported by SimpleXML". Null when a step finds nothing.
  virtual TIntf<IXmlNodeList> SelectNodes(const TXmlString& AExpression) = 0;
  virtual TIntf<IXmlNode> SelectSingleNode(const TXmlString& AExpression) = 0;
  virtual TXmlString FullPath() = 0;
  virtual TIntf<IXmlElement> FindElement(const TXmlString& AChildName, const TXmlString& AAttrName,
                                         const TVariant& AAttrValue) = 0;
  virtual int32_t Get_AttrCount() = 0;
  virtual TXmlNameID Get_AttrNameID(int32_t AIndex) = 0;
  virtual TXmlString Get_AttrName(int32_t AIndex) = 0;
  virtual void RemoveAttr(const TXmlString& AName) = 0;
  virtual void RemoveAttr(TXmlNameID ANameID) = 0;
  virtual void RemoveAllAttrs() = 0;
  virtual bool AttrExists(const TXmlString& AName) = 0;
  virtual bool AttrExists(TXmlNameID ANameID) = 0;
  // varEmpty when absent.
  virtual TVarType GetAttrType(const TXmlString& AName) = 0;
  virtual TVarType GetAttrType(TXmlNameID ANameID) = 0;
  // The typed getters answer the default only when the attribute is absent; a present value that
  // does not convert raises.
  virtual TVariant GetVarAttr(const TXmlString& AName, const TVariant& ADefault = TVariant()) = 0;
  virtual TVariant GetVarAttr(TXmlNameID ANameID, const TVariant& ADefault = TVariant()) = 0;
  virtual void SetVarAttr(const TXmlString& AName, const TVariant& AValue) = 0;
  virtual void SetVarAttr(TXmlNameID ANameID, const TVariant& AValue) = 0;
  // Raises "Attribute "<name>" not assigned" when absent.
  virtual TXmlString NeedAttr(const TXmlString& AName) = 0;
  virtual TXmlString NeedAttr(TXmlNameID ANameID) = 0;
  virtual TXmlString GetAttr(const TXmlString& AName, const TXmlString& ADefault = TXmlString()) = 0;
  virtual TXmlString GetAttr(TXmlNameID ANameID, const TXmlString& ADefault = TXmlString()) = 0;
  virtual void SetAttr(const TXmlString& AName, const TXmlString& AValue) = 0;
  virtual void SetAttr(TXmlNameID ANameID, const TXmlString& AValue) = 0;
  virtual bool GetBoolAttr(const TXmlString& AName, bool ADefault = false) = 0;
  virtual bool GetBoolAttr(TXmlNameID ANameID, bool ADefault = false) = 0;
  virtual void SetBoolAttr(const TXmlString& AName, bool AValue) = 0;
  virtual void SetBoolAttr(TXmlNameID ANameID, bool AValue) = 0;
  virtual int32_t GetIntAttr(const TXmlString& AName, int32_t ADefault = 0) = 0;
  virtual int32_t GetIntAttr(TXmlNameID ANameID, int32_t ADefault = 0) = 0;
  virtual void SetIntAttr(const TXmlString& AName, int32_t AValue) = 0;
  virtual void SetIntAttr(TXmlNameID ANameID, int32_t AValue) = 0;
  virtual TDateTime GetDateTimeAttr(const TXmlString& AName, TDateTime ADefault = TDateTime()) = 0;
  virtual TDateTime GetDateTimeAttr(TXmlNameID ANameID, TDateTime ADefault = TDateTime()) = 0;
  virtual void SetDateTimeAttr(const TXmlString& AName, TDateTime AValue) = 0;
  virtual void SetDateTimeAttr(TXmlNameID ANameID, TDateTime AValue) = 0;
  virtual double GetFloatAttr(const TXmlString& AName, double ADefault = 0) = 0;
  virtual double GetFloatAttr(TXmlNameID ANameID, double ADefault = 0) = 0;
  virtual void SetFloatAttr(const TXmlString& AName, double AValue) = 0;
  virtual void SetFloatAttr(TXmlNameID ANameID, double AValue) = 0;
  // Hexadecimal text without prefix.
  virtual int32_t GetHexAttr(const TXmlString& AName, int32_t ADefault = 0) = 0;
  virtual int32_t GetHexAttr(TXmlNameID ANameID, int32_t ADefault = 0) = 0;
  // Upper-case hexadecimal text of at least ADigits digits.
  virtual void SetHexAttr(const TXmlString& AName, int32_t AValue, int32_t ADigits = 0) = 0;
  virtual void SetHexAttr(TXmlNameID ANameID, int32_t AValue, int32_t ADigits = 0) = 0;
  // The index of the attribute's text in AValues, compared without regard to case; a text not in
  // the list raises the "Incorrect value of the attribute" error listing AValues.
  virtual int32_t GetEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues,
                              int32_t ADefault = 0) = 0;
  virtual int32_t GetEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues,
                              int32_t ADefault = 0) = 0;
  // As GetEnumAttr; an absent attribute raises "Attribute "<name>" not found".
  virtual int32_t NeedEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues) = 0;
  virtual int32_t NeedEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues) = 0;
  // "" addresses the node's typed value, "@name" an attribute, anything else a path selected with
  // SelectSingleNode (reading what is missing yields an empty string; writing to a missing path
  // appends a child element named by the whole string).
  virtual TVariant Get_Values(const TXmlString& AName) = 0;
  virtual void Set_Values(const TXmlString& AName, const TVariant& AValue) = 0;
  virtual TIntf<IXmlElement> AsElement() = 0;
  virtual TIntf<IXmlText> AsText() = 0;
  virtual TIntf<IXmlCDATASection> AsCDATASection() = 0;
  virtual TIntf<IXmlComment> AsComment() = 0;
  virtual TIntf<IXmlProcessingInstruction> AsProcessingInstruction() = 0;
};

struct IXmlElement : IXmlNode {
  using Parent = IXmlNode;
  FUNDREL_IID("{4114B9D3-33BF-4AA5-B5AB-C0860FAD32B0}");
  // Removes the text and CDATA children and appends CDATA sections holding AText, split so that no
  // section contains "]]>".
  virtual void ReplaceTextByCDATASection(const TXmlString& AText) = 0;
  // Removes the text and CDATA children and appends one text node with the Base64 of the bytes.
  virtual void ReplaceTextByBinaryData(const void* AData, int32_t ASize, int32_t AMaxLineLength) = 0;
  virtual TXmlBytes GetTextAsBinaryData() = 0;
};

struct IXmlCharacterData : IXmlNode {
  using Parent = IXmlNode;
  FUNDREL_IID("{E9075CFE-7BF2-44C2-BB90-7922CAE7E608}");
};
struct IXmlText : IXmlCharacterData {
  using Parent = IXmlCharacterData;
  FUNDREL_IID("{56746317-F8D4-4DB6-8340-4E01097A55B7}");
};
struct IXmlCDATASection : IXmlCharacterData {
  using Parent = IXmlCharacterData;
  FUNDREL_IID("{E2D0397C-9AC9-4DF5-A1AA-7330EBEF730C}");
};
struct IXmlComment : IXmlCharacterData {
  using Parent = IXmlCharacterData;
  FUNDREL_IID("{2100A5B5-9BA4-460D-A7FA-E59616BC9D60}");
};
struct IXmlProcessingInstruction : IXmlNode {
  using Parent = IXmlNode;
  FUNDREL_IID("{84F085E6-2FBB-4944-A486-3F18F9CBC88A}");
};

struct IXmlDocument : IXmlNode {
  using Parent = IXmlNode;
  FUNDREL_IID("{0677E9D6-CF04-455B-8E20-06AB92FC8C0E}");
  virtual TIntf<IXmlElement> Get_DocumentElement() = 0;
  // The binary form with options 0.
  virtual TXmlBytes Get_BinaryXML() = 0;
  virtual bool Get_PreserveWhiteSpace() = 0;
  virtual void Set_PreserveWhiteSpace(bool AValue) = 0;
  // Replaces the children by the declaration (version "1.0" and encoding "UTF-8" when empty) and
  // a root element, which is returned.
  virtual TIntf<IXmlElement> NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                         const TXmlString& ARootElementName) = 0;
  virtual TIntf<IXmlElement> NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                         TXmlNameID ARootElementNameID) = 0;
  virtual TIntf<IXmlElement> CreateElement(const TXmlString& AName) = 0;
  virtual TIntf<IXmlElement> CreateElement(TXmlNameID ANameID) = 0;
  virtual TIntf<IXmlText> CreateText(const TXmlString& AData) = 0;
  virtual TIntf<IXmlCDATASection> CreateCDATASection(const TXmlString& AData) = 0;
  virtual TIntf<IXmlComment> CreateComment(const TXmlString& AData) = 0;
  virtual TIntf<IXmlProcessingInstruction> CreateProcessingInstruction(const TXmlString& ATarget,
                                                                       const TXmlString& AData) = 0;
  virtual TIntf<IXmlProcessingInstruction> CreateProcessingInstruction(TXmlNameID ATargetID,
                                                                       const TXmlString& AData) = 0;
  // Every load first removes all children and attributes; a failed load keeps what was read.
  // Text is read as one character per byte until an XML declaration names its encoding (UTF-8 when
  // it names none); a NUL character ends the input. The binary form when the bytes start with the
  // signature, else text.
  virtual void LoadXML(const TXmlBytes& AXml) = 0;
  virtual void LoadBinaryXML(const TXmlBytes& AXml) = 0;
  // From the stream's position; the binary form when the next 14 bytes are the signature.
  virtual void Load(TXmlStream& AStream) = 0;
  virtual void Load(const String& AFileName) = 0;
  // The bytes registered with RegisterXmlResource; nothing happens when missing or empty.
  virtual void LoadResource(const String& AType, const String& AName) = 0;
  // Text in the code page named by the declaration's encoding (UTF-8 without one).
  virtual void Save(TXmlStream& AStream) = 0;
  virtual void Save(const String& AFileName) = 0;
  // Options bit 0: strings as UTF-16 (else UTF-8).
  virtual void SaveBinary(TXmlStream& AStream, int32_t AOptions = 0) = 0;
  virtual void SaveBinary(const String& AFileName, int32_t AOptions = 0) = 0;
};

// ---- Implementation classes ------------------------------------------------------------------

class TXmlNode;
class TXmlNodeList;
class TXmlText;
class TXmlDocument;
class TXmlSaver;
class TXmlSource;
class TBinXmlWriter;
class TBinXmlReader;
class TBinXmlImage;

// Node memory shared by the nodes of one name table: blocks of a few sizes cut from large chunks
// (see xml/detail/XmlPool.cpp). Declared here so that a node is allocated in line.
class FUNDREL_API TXmlPool {
 public:
  static constexpr size_t Granule = 8;
  static constexpr size_t Classes = 255;  // blocks up to 2 KB (a paragraph of text); larger ones are big blocks
  // One word precedes every block (8-byte aligned, like the block): the pool in the low bits, the
  // size class in the top byte, which no user-space address uses.
  static constexpr unsigned ClassShift = 56;
  static constexpr size_t BigClass = Classes;
  static uintptr_t HeaderWord(TXmlPool* APool, size_t AClass) {
    return reinterpret_cast<uintptr_t>(APool) | (uintptr_t(AClass) << ClassShift);
  }

  TXmlPool() = default;
  TXmlPool(const TXmlPool&) = delete;
  TXmlPool& operator=(const TXmlPool&) = delete;
  ~TXmlPool();

  // A block of size class AClass (AClass + 1 granules).
  [[gnu::always_inline]] void* Take(size_t AClass) {
    if (void* b = FFree[AClass]) {
      FFree[AClass] = *static_cast<void**>(b);
      ++FRefs;
      return b;
    }
    const size_t size = sizeof(uintptr_t) + (AClass + 1) * Granule;
    if (FUNDREL_UNLIKELY(size > FLeft)) return TakeFromNewChunk(AClass);
    auto* h = reinterpret_cast<uintptr_t*>(FCurrent);
    *h = HeaderWord(this, AClass);
    // Blocks are handed out in address order, each written at once: asking for the memory a few
    // kilobytes ahead lets those writes find it in the cache. Not in a pool's first chunk: a small
    // document leaves most of its pages untouched, and a prefetch into a page never touched costs a
    // page walk every time. (A prefetch past the chunk is harmless.)
    __builtin_prefetch(FCurrent + FAhead, 1, 3);
    FCurrent += size;
    FLeft -= size;
    ++FRefs;
    return h + 1;
  }
  void Give(void* ABlock, size_t AClass) {
    *static_cast<void**>(ABlock) = FFree[AClass];
    FFree[AClass] = ABlock;
    Release();
  }
  // A block beyond the largest class: from malloc, but on the pool's list.
  void* TakeBig(size_t ASize);
  void GiveBig(void* ABlock);
  void Release() {
    if (--FRefs == 0) delete this;
  }
  size_t BlocksInUse() const { return FRefs - 1; }
  // Every block given out is dead: hands the chunks back at once. The table's reference stays.
  void DropAll();

 private:
  struct alignas(16) TBigLink {  // precedes the header of a big block: its place on the list
    TBigLink* Prev;
    TBigLink* Next;
  };
  void* TakeFromNewChunk(size_t AClass);
  static void FreeBig(TBigLink* ALink);
  void ReturnAll();

  size_t FRefs = 1;  // the table's reference and one per live block
  char* FCurrent = nullptr;
  size_t FLeft = 0;
  size_t FAhead = 0;  // how far ahead of the next block Take prefetches
  void* FFree[Classes] = {};
  std::vector<char*> FChunks;
  std::vector<char*> FLarge;
  TBigLink FBig{&FBig, &FBig};
};

TXmlPool* NewXmlPool();
void ReleaseXmlPool(TXmlPool* APool);
// Frees every block of the pool at once, without visiting them: the caller knows that no block is
// in use any more (see TXmlDocument's destructor).
void DropXmlPoolBlocks(TXmlPool* APool);
// The blocks of the pool in use.
size_t XmlPoolBlocksInUse(const TXmlPool* APool);
// The pool a block of TXmlBase::operator new came from; null for a block of its own.
TXmlPool* XmlPoolOf(const void* ABlock);

class FUNDREL_API TXmlBase : public TInterfacedObject {
 public:
  // Objects of the XML classes are allocated from a name table's pool (nodes and lists) or on their
  // own (plain new); either way they are destroyed through their reference count.
  [[gnu::always_inline]] static void* operator new(size_t ASize, TXmlPool* APool) {
    const size_t cls = (ASize + TXmlPool::Granule - 1) / TXmlPool::Granule - 1;
    if (FUNDREL_LIKELY(APool != nullptr && cls < TXmlPool::Classes)) return APool->Take(cls);
    return NewOutsideChunks(ASize, APool);
  }
  static void* operator new(size_t ASize) { return NewOutsideChunks(ASize, nullptr); }
  static void operator delete(void* ABlock) noexcept;
  static void operator delete(void* ABlock, TXmlPool*) noexcept { operator delete(ABlock); }

 private:
  // A big block of APool, or a block of its own without a pool.
  static void* NewOutsideChunks(size_t ASize, TXmlPool* APool);
};

class FUNDREL_API TXmlNameTable final : public TImplements<TXmlBase, IXmlNameTable> {
 public:
  explicit TXmlNameTable(int32_t AHashTableSize = 1009);
  ~TXmlNameTable() override;

  TObject* GetObject() override { return this; }
  TXmlNameID GetID(std::u16string_view AName) override;
  TXmlString GetName(TXmlNameID AID) override { return NameOf(AID); }
  // The interned text without a copy.
  const TXmlString& NameOf(TXmlNameID AID) const { return AID ? reinterpret_cast<const TEntry*>(AID)->Name : EmptyName(); }
  // The name's hash code.
  uint32_t GetKeyID(TXmlNameID AID) const;
  // The first name in the hash's bucket with that hash code, else 0.
  TXmlNameID GetNameID(uint32_t AHash) const;
  // How many names the table holds, and whether AID was among the first ACount of them.
  size_t NameCount() const { return FEntries.size(); }
  static bool AmongFirst(TXmlNameID AID, size_t ACount) { return reinterpret_cast<const TEntry*>(AID)->Index < ACount; }
  static uint32_t Hash(std::u16string_view AName);

  TXmlNameID XmlTextNameID() const { return FXmlTextNameID; }
  TXmlNameID XmlCDATASectionNameID() const { return FXmlCDATASectionNameID; }
  TXmlNameID XmlCommentNameID() const { return FXmlCommentNameID; }
  TXmlNameID XmlDocumentNameID() const { return FXmlDocumentNameID; }
  TXmlNameID XmlNameID() const { return FXmlNameID; }
  TXmlNameID EncodingNameID() const { return FEncodingNameId; }

  // Every name, bucket by bucket, each bucket in insertion order.
  std::vector<TXmlNameID> AllNames() const;
  // Where the nodes and lists of this table are allocated.
  TXmlPool* Pool() const { return FPool; }

  // What a dying document needs to know to free its tree in one step: references to this table's
  // nodes and lists held from outside their trees (interface variables, result lists), nodes that
  // own memory outside the pool, and whether the table's trees must be freed node by node for good
  // (a node moved between tables and left its blocks in the other pool, or a node or child list got
  // a weak holder).
  void AddOutsideRef() { ++FOutsideRefs; }
  void ReleaseOutsideRef() { --FOutsideRefs; }

 private:
  friend class TXmlNode;
  friend class TXmlNodeList;
  friend class TXmlDocument;
  friend class TBinXmlImage;
  int64_t FOutsideRefs = 0;
  // The binary bodies that nodes of this table still read their children from.
  TBinXmlImage* FImages = nullptr;
  void FreeImages() noexcept;
  int64_t FHeavyNodes = 0;
  bool FFreeNodeByNode = false;
  // The heavy nodes, so that a document freeing its tree at once gives back their memory without
  // walking the tree. A listed node that dies on its own (or moves to another
  // table) leaves its entry behind: the list is trusted again only once every listed node is gone.
  std::vector<TXmlNode*> FHeavyList;
  size_t FHeavyGone = 0;         // listed nodes that died or left
  bool FHeavyListLost = false;  // a node could not be listed (no memory): until the next drop
  void NoteHeavy(TXmlNode* ANode) noexcept;
  void HeavyGone() noexcept;
  bool HeavyListComplete() const { return !FHeavyListLost && FHeavyGone == 0; }
  // The nodes of a table hold it through one counted reference: a table and its nodes are used by
  // one thread at a time, so their own count needs no atomic operations.
  void AddNodeRef() {
    if (FNodeRefs++ == 0) AddRefImpl();
  }
  void ReleaseNodeRef() {
    if (--FNodeRefs == 0) ReleaseImpl();
  }
  int64_t FNodeRefs = 0;
  TXmlPool* FPool;
  struct TEntry {
    TXmlString Name;
    uint32_t Hash;
    uint32_t Index;  // in insertion order
    TEntry* Next;    // the next name of its bucket, in insertion order
  };
  static const TXmlString& EmptyName();
  static constexpr size_t RecentSize = 64;
  TEntry* FRecent[RecentSize] = {};
  // Recent names by length and outer characters, looked up before any hash is computed.
  TEntry* FSeen[RecentSize] = {};
  // Per bucket, the first of its names: each bucket's names are chained in insertion order, each
  // with its 32-bit hash code. One array of heads, so that a table (one per document) costs two
  // allocations rather than two per bucket.
  size_t FBucketCount;
  std::unique_ptr<TEntry*[]> FNames;
  std::vector<TEntry*> FEntries;  // every name, in insertion order
  // The entries live in blocks of the table, the first inside it: a table of a small document
  // (a few dozen names) makes no allocation per name.
  static constexpr size_t EntriesPerBlock = 24;
  struct TEntryBlock {
    alignas(TEntry) unsigned char Bytes[EntriesPerBlock * sizeof(TEntry)];
  };
  TEntry* NewEntry(std::u16string_view AName, uint32_t AHash, TXmlString* AKept = nullptr);
  // The six names every table starts with; AKept holds their texts when a kit provides them.
  void AddPresetNames(TXmlString* AKept);
  // A dying table of the usual size leaves its thread what the next one would allocate again.
  struct TKit;
  void LeaveKit() noexcept;
  TEntryBlock FFirstEntries;
  std::vector<std::unique_ptr<TEntryBlock>> FMoreEntries;
  TXmlNameID FXmlTextNameID = 0;
  TXmlNameID FXmlCDATASectionNameID = 0;
  TXmlNameID FXmlCommentNameID = 0;
  TXmlNameID FXmlDocumentNameID = 0;
  TXmlNameID FXmlNameID = 0;
  TXmlNameID FEncodingNameId = 0;
};

struct TXmlAttrData {
  TXmlNameID NameID = 0;
  TVariant Value;
};

// The attribute slots of a node in one allocation, the capacity stored ahead of them, so that a
// node spends one pointer on them. Every slot is constructed; size() is the capacity.
class FUNDREL_API TXmlAttrArray {
 public:
  TXmlAttrArray() = default;
  TXmlAttrArray(const TXmlAttrArray&) = delete;
  TXmlAttrArray& operator=(const TXmlAttrArray&) = delete;
  ~TXmlAttrArray() {
    if (FSlots) resize(0);  // most parsed nodes never unpack their attributes
  }

  size_t size() const { return FSlots ? reinterpret_cast<const THead*>(FSlots)[-1].Capacity : 0; }
  const TXmlAttrData* data() const { return FSlots; }
  TXmlAttrData& operator[](size_t AIndex) { return FSlots[AIndex]; }
  const TXmlAttrData& operator[](size_t AIndex) const { return FSlots[AIndex]; }
  // Makes ACapacity slots in APool (see TXmlBase::operator new), keeping the values of the first
  // ones; 0 frees them all.
  void resize(size_t ACapacity, TXmlPool* APool = nullptr);
  void reserve(size_t ACapacity, TXmlPool* APool) {
    if (ACapacity > size()) resize(ACapacity, APool);
  }

 private:
  struct alignas(TXmlAttrData) THead {
    size_t Capacity;
  };
  TXmlAttrData* FSlots = nullptr;
};

class FUNDREL_API TXmlNodeList final : public TImplements<TXmlBase, IXmlNodeList> {
 public:
  // AOwnerNode null makes a plain result list that neither clones nor re-parents its nodes.
  explicit TXmlNodeList(TXmlNode* AOwnerNode);
  ~TXmlNodeList() override;

  TObject* GetObject() override { return this; }
  // References through the interface are held from outside the tree.
  int32_t _AddRef() override;
  int32_t _Release() override;
  int32_t Get_Count() override { return FCount; }
  TIntf<IXmlNode> Get_Item(int32_t AIndex) override;
  void Exchange(int32_t AIndex1, int32_t AIndex2) override;
  TXmlString Get_XML() override;

  TXmlNode* Item(int32_t AIndex) const { return FItems[AIndex]; }
  // Answers the node actually inserted (a clone when the node had to be copied). -1 appends.
  TXmlNode* Insert(TXmlNode* ANode, int32_t AIndex);
  void Delete(int32_t AIndex);
  int32_t Remove(TXmlNode* ANode);
  TXmlNode* Replace(int32_t AIndex, TXmlNode* ANode);
  int32_t IndexOf(const TXmlNode* ANode) const;
  void Clear();
  void SaveXML(TXmlSaver& ASaver);
  // Parses the source's remaining input into this list (the owner's children).
  void ParseXML(TXmlSource& ASource, TXmlNameTable* ANames, bool APreserveWhiteSpace);

  // Appends a node just created in the owner's table and without parent. Internal fast path.
  inline void AppendFresh(TXmlNode* ANode);

 protected:
  void WeakControlMade() noexcept override;

 private:
  friend class TXmlNode;
  friend class TXmlDocument;
  void Grow();
  TXmlNode* Adopt(TXmlNode* ANode);
  void Drop(TXmlNode* ANode);

  static constexpr int32_t InlineCapacity = 4;
  TXmlNode* FOwnerNode;
  TXmlNode** FItems;  // FInline while there is room; most lists are short
  int32_t FCount = 0;
  int32_t FCapacity = InlineCapacity;
  TXmlNode* FInline[InlineCapacity];
};

// The node core. The interface methods of IXmlNode are implemented here once and exposed on each
// concrete class through TXmlNodeIntf.
class FUNDREL_API TXmlNode : public TXmlBase {
 public:
  explicit TXmlNode(TXmlNameTable* ANames) : FNames(ANames) { FNames->AddNodeRef(); }
  ~TXmlNode() override;

  // The node seen through its most specific interface.
  virtual IXmlNode* NodeIntf() = 0;

  // The child list, made on first use.
  TXmlNodeList* GetChilds() { return FChilds ? FChilds : MakeChilds(); }
  virtual void SetNodeNameID(TXmlNameID AValue);
  virtual TXmlNode* DoCloneNode(bool ADeep) = 0;
  virtual TXmlNameID Get_NodeNameID() = 0;
  virtual TXmlString Get_Text() = 0;
  virtual void Set_Text(const TXmlString& AText) = 0;
  virtual void SaveXML(TXmlSaver& ASaver) = 0;
  virtual TVarType Get_DataType();
  virtual TVariant Get_TypedValue();
  virtual void Set_TypedValue(const TVariant& AValue);
  virtual TXmlString Get_XML() = 0;
  virtual TIntf<IXmlDocument> Get_OwnerDocument();
  virtual TIntf<IXmlNodeList> Get_ChildNodes();
  virtual TIntf<IXmlElement> AsElement() { return nullptr; }
  virtual TIntf<IXmlText> AsText() { return nullptr; }
  virtual TIntf<IXmlCDATASection> AsCDATASection() { return nullptr; }
  virtual TIntf<IXmlComment> AsComment() { return nullptr; }
  virtual TIntf<IXmlProcessingInstruction> AsProcessingInstruction() { return nullptr; }

  TXmlNode* ParentNode() const { return FParentNode; }
  TXmlNameTable* Names() const { return FNames; }
  TXmlNodeList* Childs() const {  // null until first used
    if (FUNDREL_UNLIKELY(FSole != nullptr)) const_cast<TXmlNode*>(this)->ListSole();
    return FChilds;
  }
  // Internal fast paths for the readers: a new last text child holding AText. Most elements hold
  // one text and nothing else: a first text child is kept as its characters alone, and becomes a
  // node (in a child list) when the list is asked for.
  void AppendFreshChars(std::u16string_view AText);
  // The same in steps, for text decoded in place: the room for ARoom units, where the reader
  // writes the text; then CommitFreshText adds [AChars, AChars + ALength), a part of that room, as
  // the child, or DropFreshText gives the room back.
  struct TFreshText {
    TXmlText* Node;  // when the text becomes a node at once
    void* Sole;      // else the block kept as the only child
    char16_t* Chars;
  };
  TFreshText FreshTextRoom(size_t ARoom);
  void CommitFreshText(TFreshText& AText, const char16_t* AChars, size_t ALength);
  static void DropFreshText(TFreshText& AText);
  // The characters of the only text child while it is kept without a node.
  bool HasSoleText() const {
    if (FUNDREL_UNLIKELY(IsPending())) const_cast<TXmlNode*>(this)->ExpandPending();
    return FSole != nullptr;
  }
  // A node loaded from binary form may keep its children in the loaded bytes until they are first
  // asked for (child list, text, saving, selection, cloning): the body is where they are.
  struct TPendingBody {
    TBinXmlImage* Image;
    uint32_t Begin;  // offset of the child records in the image
    int32_t Count;   // child records
    uint32_t Side;   // the image's first subtree inside this body
  };
  bool IsPending() const { return (reinterpret_cast<uintptr_t>(FSole) & 1) != 0; }
  // The node has no children yet; ABody is a block of its table's pool that the node then owns.
  void SetPending(TPendingBody* ABody) { FSole = reinterpret_cast<TSoleText*>(reinterpret_cast<uintptr_t>(ABody) | 1); }
  std::u16string_view SoleText() const { return {FSole->Chars, FSole->Length}; }
  TXmlDocument* OwnerDocumentObject();
  // The line of the fields that freeing reads first.
  const void* PrefetchLine() const { return &FChilds; }
  // Asks for the blocks the node's form is read from (child list, text held on its own).
  void PrefetchContent() const {
    if (FChilds) __builtin_prefetch(&FChilds->FCount, 0, 3);
    if (FSole) __builtin_prefetch(FSole, 0, 3);
  }
  // The attribute slots, null while there are none.
  const void* AttrSlots() const { return FAttrs.data(); }
  int32_t AttrCount() const { return FAttrCount; }
  const TXmlAttrData& AttrData(int32_t AIndex) const {
    UnpackAttrs();
    return FAttrs[static_cast<size_t>(AIndex)];
  }
  // The attribute's slot, or null.
  TVariant* FindAttr(TXmlNameID ANameID);
  // Sets (or adds at the end) without interning; internal fast path.
  void SetAttrValue(TXmlNameID ANameID, TVariant AValue);
  // Appends an attribute whose name the node does not have yet.
  void AddNewAttr(TXmlNameID ANameID, TVariant&& AValue) {
    UnpackAttrs();
    if (static_cast<size_t>(FAttrCount) == FAttrs.size()) GrowAttrs();
    TXmlAttrData& a = FAttrs[static_cast<size_t>(FAttrCount++)];
    a.NameID = ANameID;
    a.Value = std::move(AValue);
  }
  // Makes room for ACount more attributes in one step.
  void ReserveAttrs(size_t ACount) {
    UnpackAttrs();
    MarkHeavy();
    FAttrs.reserve(static_cast<size_t>(FAttrCount) + ACount, FNames->Pool());
  }
  // Re-interns this node's names (and its descendants') in ANames.
  void SetNameTable(TXmlNameTable* ANames);
  // Whether the owner document (else DefaultPreserveWhiteSpace) keeps white space.
  bool PreservesWhiteSpace();
  // Records that the node owns memory outside its table's pool, which a document freeing its tree in
  // one step must give back first (ReleaseOutsideMemory). Stays set.
  void MarkHeavy() {
    if (!FHeavy) {
      FHeavy = true;
      FNames->NoteHeavy(this);
    }
  }
  // The pool blocks the node holds besides its own (kept text, text of comments and CDATA).
  virtual size_t ExtraPoolBlocks() const { return (FSole ? 1 : 0) + (FAttrs.size() > 0 ? 1 : 0); }
  // Whether the node holds memory that dropping the pool would not free (attribute values, typed
  // values, instruction data): what MarkHeavy promises to cover.
  virtual bool OwnsMemoryOutsidePool() const { return FAttrs.size() > 0; }
  // Gives back that memory, just before the tree's blocks are dropped without running destructors.
  virtual void ReleaseOutsideMemory() { FAttrs.resize(0); }

  // IXmlNode, shared by every node class.
  TIntf<IXmlNameTable> Get_NameTable();
  TXmlString Get_NodeName();
  TXmlNodeType Get_NodeType();
  TIntf<IXmlNode> CloneNode(bool ADeep);
  TIntf<IXmlNode> Get_ParentNode();
  TIntf<IXmlNode> AppendChild(const TIntf<IXmlNode>& AChild);
  TIntf<IXmlNode> InsertBefore(const TIntf<IXmlNode>& AChild, const TIntf<IXmlNode>& ABefore);
  TIntf<IXmlNode> ReplaceChild(const TIntf<IXmlNode>& ANewChild, const TIntf<IXmlNode>& AOldChild);
  TIntf<IXmlNode> RemoveChild(const TIntf<IXmlNode>& AChild);
  TIntf<IXmlElement> AppendElement(const TXmlString& AName);
  TIntf<IXmlElement> AppendElement(TXmlNameID ANameID);
  TIntf<IXmlText> AppendText(const TXmlString& AData);
  TIntf<IXmlCDATASection> AppendCDATA(const TXmlString& AData);
  TIntf<IXmlComment> AppendComment(const TXmlString& AData);
  TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(const TXmlString& ATarget, const TXmlString& AData);
  TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(TXmlNameID ATargetID, const TXmlString& AData);
  TXmlString GetChildText(const TXmlString& AName, const TXmlString& ADefault);
  TXmlString GetChildText(TXmlNameID ANameID, const TXmlString& ADefault);
  void SetChildText(const TXmlString& AName, const TXmlString& AText);
  void SetChildText(TXmlNameID ANameID, const TXmlString& AText);
  TIntf<IXmlNode> NeedChild(const TXmlString& AName);
  TIntf<IXmlNode> NeedChild(TXmlNameID ANameID);
  TIntf<IXmlNode> EnsureChild(const TXmlString& AName);
  TIntf<IXmlNode> EnsureChild(TXmlNameID ANameID);
  void RemoveAllChilds();
  TIntf<IXmlNodeList> SelectNodes(const TXmlString& AExpression);
  TIntf<IXmlNode> SelectSingleNode(const TXmlString& AExpression);
  TXmlString FullPath();
  TIntf<IXmlElement> FindElement(const TXmlString& AChildName, const TXmlString& AAttrName, const TVariant& AAttrValue);
  int32_t Get_AttrCount() { return FAttrCount; }
  TXmlNameID Get_AttrNameID(int32_t AIndex);
  TXmlString Get_AttrName(int32_t AIndex);
  void RemoveAttr(const TXmlString& AName);
  void RemoveAttr(TXmlNameID ANameID);
  void RemoveAllAttrs();
  bool AttrExists(const TXmlString& AName);
  bool AttrExists(TXmlNameID ANameID);
  TVarType GetAttrType(const TXmlString& AName);
  TVarType GetAttrType(TXmlNameID ANameID);
  TVariant GetVarAttr(const TXmlString& AName, const TVariant& ADefault);
  TVariant GetVarAttr(TXmlNameID ANameID, const TVariant& ADefault);
  void SetVarAttr(const TXmlString& AName, const TVariant& AValue);
  void SetVarAttr(TXmlNameID ANameID, const TVariant& AValue);
  TXmlString NeedAttr(const TXmlString& AName);
  TXmlString NeedAttr(TXmlNameID ANameID);
  TXmlString GetAttr(const TXmlString& AName, const TXmlString& ADefault);
  TXmlString GetAttr(TXmlNameID ANameID, const TXmlString& ADefault);
  void SetAttr(const TXmlString& AName, const TXmlString& AValue);
  void SetAttr(TXmlNameID ANameID, const TXmlString& AValue);
  bool GetBoolAttr(const TXmlString& AName, bool ADefault);
  bool GetBoolAttr(TXmlNameID ANameID, bool ADefault);
  void SetBoolAttr(const TXmlString& AName, bool AValue);
  void SetBoolAttr(TXmlNameID ANameID, bool AValue);
  int32_t GetIntAttr(const TXmlString& AName, int32_t ADefault);
  int32_t GetIntAttr(TXmlNameID ANameID, int32_t ADefault);
  void SetIntAttr(const TXmlString& AName, int32_t AValue);
  void SetIntAttr(TXmlNameID ANameID, int32_t AValue);
  TDateTime GetDateTimeAttr(const TXmlString& AName, TDateTime ADefault);
  TDateTime GetDateTimeAttr(TXmlNameID ANameID, TDateTime ADefault);
  void SetDateTimeAttr(const TXmlString& AName, TDateTime AValue);
  void SetDateTimeAttr(TXmlNameID ANameID, TDateTime AValue);
  double GetFloatAttr(const TXmlString& AName, double ADefault);
  double GetFloatAttr(TXmlNameID ANameID, double ADefault);
  void SetFloatAttr(const TXmlString& AName, double AValue);
  void SetFloatAttr(TXmlNameID ANameID, double AValue);
  int32_t GetHexAttr(const TXmlString& AName, int32_t ADefault);
  int32_t GetHexAttr(TXmlNameID ANameID, int32_t ADefault);
  void SetHexAttr(const TXmlString& AName, int32_t AValue, int32_t ADigits);
  void SetHexAttr(TXmlNameID ANameID, int32_t AValue, int32_t ADigits);
  int32_t GetEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues, int32_t ADefault);
  int32_t GetEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues, int32_t ADefault);
  int32_t NeedEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues);
  int32_t NeedEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues);
  TVariant Get_Values(const TXmlString& AName);
  void Set_Values(const TXmlString& AName, const TVariant& AValue);

 protected:
  // Text and CDATA children joined by one blank, empty pieces skipped.
  TXmlString JoinedChildText();
  // The first child whose name ID matches, or null.
  TXmlNode* FindChild(TXmlNameID ANameID);
  TXmlNode* DoSelectSingle(std::u16string_view AExpression);
  void CopyAttrsTo(TXmlNode* ADest) const;
  void SaveAttrs(TXmlSaver& ASaver);
  TXmlNode* AppendNew(TXmlNode* ANode);
  // Drops the children and the child list itself.
  void DiscardChildList();
  void WeakControlMade() noexcept override;

 public:
  // Attributes as the readers leave them: a name and a range of UTF-16 units each.
  struct TPackedAttr {
    TXmlNameID NameID;
    uint32_t Offset;
    uint32_t Length;
  };
  // Internal fast path for the readers: ACount attributes with distinct names, their values being
  // ranges of AChars (AChars[Offset, Offset + Length)), kept in APlace (PackedSize bytes that live
  // as long as the node) until first used. The node has no attributes yet.
  void SetPackedAttrs(const TPackedAttr* AAttrs, int32_t ACount, const char16_t* AChars, void* APlace);
  static size_t PackedSize(int32_t ACount, size_t ACharCount) {
    return static_cast<size_t>(ACount) * sizeof(TPackedAttr) + ACharCount * sizeof(char16_t);
  }

 private:
  friend class TXmlNodeList;
  friend class TXmlDocument;
  friend class TBinXmlReader;
  // Turns packed attributes into FAttrs. Nodes read from text or binary input keep their attributes
  // packed (no allocation per value) until one is looked at or changed.
  void UnpackAttrs() const {
    if (FUNDREL_UNLIKELY(FPacked != nullptr)) const_cast<TXmlNode*>(this)->DoUnpackAttrs();
  }
  void DoUnpackAttrs();
  void GrowAttrs();
  // Puts the text held without a list into a new list (making the children of a pending node first).
  void ListSole();
  TPendingBody* PendingBody() const { return reinterpret_cast<TPendingBody*>(reinterpret_cast<uintptr_t>(FSole) & ~uintptr_t(1)); }
  // Reads the children of a pending node from its image; on failure the node stays pending.
  void ExpandPending();
  TXmlNodeList* MakeChilds();
  int32_t FAttrCount : 31 = 0;  // first, so that it fills the padding after the reference count
  bool FHeavy : 1 = false;
  TXmlNode* FParentNode = nullptr;  // not counted
  TXmlNameTable* FNames;           // counted
  TXmlAttrArray FAttrs;
  TPackedAttr* FPacked = nullptr;    // FAttrCount entries followed by their characters; not owned
  TXmlNodeList* FChilds = nullptr;   // counted, made on first use
  // The only child, a text kept as characters while FChilds is null: a pool block of this head
  // followed by room for the characters. With its lowest bit set it is a TPendingBody instead.
  struct TSoleText {
    const char16_t* Chars;
    size_t Length;
  };
  TSoleText* FSole = nullptr;  // owned
};

inline void TXmlNodeList::AppendFresh(TXmlNode* ANode) {
  if (FCount == FCapacity) Grow();
  if (FOwnerNode)
    ANode->FParentNode = FOwnerNode;
  else
    ANode->FNames->AddOutsideRef();
  ANode->AddFirstRef();
  FItems[FCount++] = ANode;
}

// Exposes the TXmlNode core through interface I (IXmlNode or one derived from it).
template <class I>
class TXmlNodeIntf : public TImplements<TXmlNode, I> {
 public:
  using TImplements<TXmlNode, I>::TImplements;
  using N = TXmlNode;

  TObject* GetObject() override { return this; }
  // References through the interfaces are held from outside the tree.
  int32_t _AddRef() override {
    this->Names()->AddOutsideRef();
    return this->AddRefConfined();
  }
  int32_t _Release() override {
    this->Names()->ReleaseOutsideRef();
    return this->ReleaseConfined();
  }
  IXmlNode* NodeIntf() override { return static_cast<I*>(this); }
  TIntf<IXmlNameTable> Get_NameTable() override { return N::Get_NameTable(); }
  TXmlString Get_NodeName() override { return N::Get_NodeName(); }
  TXmlNodeType Get_NodeType() override { return N::Get_NodeType(); }
  TVarType Get_DataType() override { return N::Get_DataType(); }
  TVariant Get_TypedValue() override { return N::Get_TypedValue(); }
  void Set_TypedValue(const TVariant& A) override { N::Set_TypedValue(A); }
  TIntf<IXmlNode> CloneNode(bool A) override { return N::CloneNode(A); }
  TIntf<IXmlNode> Get_ParentNode() override { return N::Get_ParentNode(); }
  TIntf<IXmlDocument> Get_OwnerDocument() override { return N::Get_OwnerDocument(); }
  TIntf<IXmlNodeList> Get_ChildNodes() override { return N::Get_ChildNodes(); }
  TIntf<IXmlNode> AppendChild(const TIntf<IXmlNode>& A) override { return N::AppendChild(A); }
  TIntf<IXmlNode> InsertBefore(const TIntf<IXmlNode>& A, const TIntf<IXmlNode>& B) override { return N::InsertBefore(A, B); }
  TIntf<IXmlNode> ReplaceChild(const TIntf<IXmlNode>& A, const TIntf<IXmlNode>& B) override { return N::ReplaceChild(A, B); }
  TIntf<IXmlNode> RemoveChild(const TIntf<IXmlNode>& A) override { return N::RemoveChild(A); }
  TIntf<IXmlElement> AppendElement(const TXmlString& A) override { return N::AppendElement(A); }
  TIntf<IXmlElement> AppendElement(TXmlNameID A) override { return N::AppendElement(A); }
  TIntf<IXmlText> AppendText(const TXmlString& A) override { return N::AppendText(A); }
  TIntf<IXmlCDATASection> AppendCDATA(const TXmlString& A) override { return N::AppendCDATA(A); }
  TIntf<IXmlComment> AppendComment(const TXmlString& A) override { return N::AppendComment(A); }
  TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(const TXmlString& A, const TXmlString& B) override {
    return N::AppendProcessingInstruction(A, B);
  }
  TIntf<IXmlProcessingInstruction> AppendProcessingInstruction(TXmlNameID A, const TXmlString& B) override {
    return N::AppendProcessingInstruction(A, B);
  }
  TXmlString GetChildText(const TXmlString& A, const TXmlString& B) override { return N::GetChildText(A, B); }
  TXmlString GetChildText(TXmlNameID A, const TXmlString& B) override { return N::GetChildText(A, B); }
  void SetChildText(const TXmlString& A, const TXmlString& B) override { N::SetChildText(A, B); }
  void SetChildText(TXmlNameID A, const TXmlString& B) override { N::SetChildText(A, B); }
  TIntf<IXmlNode> NeedChild(const TXmlString& A) override { return N::NeedChild(A); }
  TIntf<IXmlNode> NeedChild(TXmlNameID A) override { return N::NeedChild(A); }
  TIntf<IXmlNode> EnsureChild(const TXmlString& A) override { return N::EnsureChild(A); }
  TIntf<IXmlNode> EnsureChild(TXmlNameID A) override { return N::EnsureChild(A); }
  void RemoveAllChilds() override { N::RemoveAllChilds(); }
  TIntf<IXmlNodeList> SelectNodes(const TXmlString& A) override { return N::SelectNodes(A); }
  TIntf<IXmlNode> SelectSingleNode(const TXmlString& A) override { return N::SelectSingleNode(A); }
  TXmlString FullPath() override { return N::FullPath(); }
  TIntf<IXmlElement> FindElement(const TXmlString& A, const TXmlString& B, const TVariant& C) override {
    return N::FindElement(A, B, C);
  }
  int32_t Get_AttrCount() override { return N::Get_AttrCount(); }
  TXmlNameID Get_AttrNameID(int32_t A) override { return N::Get_AttrNameID(A); }
  TXmlString Get_AttrName(int32_t A) override { return N::Get_AttrName(A); }
  void RemoveAttr(const TXmlString& A) override { N::RemoveAttr(A); }
  void RemoveAttr(TXmlNameID A) override { N::RemoveAttr(A); }
  void RemoveAllAttrs() override { N::RemoveAllAttrs(); }
  bool AttrExists(const TXmlString& A) override { return N::AttrExists(A); }
  bool AttrExists(TXmlNameID A) override { return N::AttrExists(A); }
  TVarType GetAttrType(const TXmlString& A) override { return N::GetAttrType(A); }
  TVarType GetAttrType(TXmlNameID A) override { return N::GetAttrType(A); }
  TVariant GetVarAttr(const TXmlString& A, const TVariant& B) override { return N::GetVarAttr(A, B); }
  TVariant GetVarAttr(TXmlNameID A, const TVariant& B) override { return N::GetVarAttr(A, B); }
  void SetVarAttr(const TXmlString& A, const TVariant& B) override { N::SetVarAttr(A, B); }
  void SetVarAttr(TXmlNameID A, const TVariant& B) override { N::SetVarAttr(A, B); }
  TXmlString NeedAttr(const TXmlString& A) override { return N::NeedAttr(A); }
  TXmlString NeedAttr(TXmlNameID A) override { return N::NeedAttr(A); }
  TXmlString GetAttr(const TXmlString& A, const TXmlString& B) override { return N::GetAttr(A, B); }
  TXmlString GetAttr(TXmlNameID A, const TXmlString& B) override { return N::GetAttr(A, B); }
  void SetAttr(const TXmlString& A, const TXmlString& B) override { N::SetAttr(A, B); }
  void SetAttr(TXmlNameID A, const TXmlString& B) override { N::SetAttr(A, B); }
  bool GetBoolAttr(const TXmlString& A, bool B) override { return N::GetBoolAttr(A, B); }
  bool GetBoolAttr(TXmlNameID A, bool B) override { return N::GetBoolAttr(A, B); }
  void SetBoolAttr(const TXmlString& A, bool B) override { N::SetBoolAttr(A, B); }
  void SetBoolAttr(TXmlNameID A, bool B) override { N::SetBoolAttr(A, B); }
  int32_t GetIntAttr(const TXmlString& A, int32_t B) override { return N::GetIntAttr(A, B); }
  int32_t GetIntAttr(TXmlNameID A, int32_t B) override { return N::GetIntAttr(A, B); }
  void SetIntAttr(const TXmlString& A, int32_t B) override { N::SetIntAttr(A, B); }
  void SetIntAttr(TXmlNameID A, int32_t B) override { N::SetIntAttr(A, B); }
  TDateTime GetDateTimeAttr(const TXmlString& A, TDateTime B) override { return N::GetDateTimeAttr(A, B); }
  TDateTime GetDateTimeAttr(TXmlNameID A, TDateTime B) override { return N::GetDateTimeAttr(A, B); }
  void SetDateTimeAttr(const TXmlString& A, TDateTime B) override { N::SetDateTimeAttr(A, B); }
  void SetDateTimeAttr(TXmlNameID A, TDateTime B) override { N::SetDateTimeAttr(A, B); }
  double GetFloatAttr(const TXmlString& A, double B) override { return N::GetFloatAttr(A, B); }
  double GetFloatAttr(TXmlNameID A, double B) override { return N::GetFloatAttr(A, B); }
  void SetFloatAttr(const TXmlString& A, double B) override { N::SetFloatAttr(A, B); }
  void SetFloatAttr(TXmlNameID A, double B) override { N::SetFloatAttr(A, B); }
  int32_t GetHexAttr(const TXmlString& A, int32_t B) override { return N::GetHexAttr(A, B); }
  int32_t GetHexAttr(TXmlNameID A, int32_t B) override { return N::GetHexAttr(A, B); }
  void SetHexAttr(const TXmlString& A, int32_t B, int32_t C) override { N::SetHexAttr(A, B, C); }
  void SetHexAttr(TXmlNameID A, int32_t B, int32_t C) override { N::SetHexAttr(A, B, C); }
  int32_t GetEnumAttr(const TXmlString& A, const std::vector<TXmlString>& B, int32_t C) override {
    return N::GetEnumAttr(A, B, C);
  }
  int32_t GetEnumAttr(TXmlNameID A, const std::vector<TXmlString>& B, int32_t C) override {
    return N::GetEnumAttr(A, B, C);
  }
  int32_t NeedEnumAttr(const TXmlString& A, const std::vector<TXmlString>& B) override { return N::NeedEnumAttr(A, B); }
  int32_t NeedEnumAttr(TXmlNameID A, const std::vector<TXmlString>& B) override { return N::NeedEnumAttr(A, B); }
  TVariant Get_Values(const TXmlString& A) override { return N::Get_Values(A); }
  void Set_Values(const TXmlString& A, const TVariant& B) override { N::Set_Values(A, B); }
  TIntf<IXmlElement> AsElement() override { return N::AsElement(); }
  TIntf<IXmlText> AsText() override { return N::AsText(); }
  TIntf<IXmlCDATASection> AsCDATASection() override { return N::AsCDATASection(); }
  TIntf<IXmlComment> AsComment() override { return N::AsComment(); }
  TIntf<IXmlProcessingInstruction> AsProcessingInstruction() override { return N::AsProcessingInstruction(); }
};

class FUNDREL_API TXmlElement : public TXmlNodeIntf<IXmlElement> {
 public:
  TXmlElement(TXmlNameTable* ANames, TXmlNameID ANameID) : TXmlNodeIntf(ANames), FNameID(ANameID) {}
  // A new element in ANames' pool with ARoom bytes after it that live as long as it does (for
  // SetPackedAttrs); APlace is set to them.
  static TXmlElement* NewWithRoom(TXmlNameTable* ANames, TXmlNameID ANameID, size_t ARoom, void*& APlace);

  void SetNodeNameID(TXmlNameID AValue) override { FNameID = AValue; }
  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override { return FNameID; }
  TXmlString Get_Text() override;
  void Set_Text(const TXmlString& AText) override;
  void SaveXML(TXmlSaver& ASaver) override;
  TVarType Get_DataType() override;
  TVariant Get_TypedValue() override;
  void Set_TypedValue(const TVariant& AValue) override;
  TXmlString Get_XML() override;
  TIntf<IXmlElement> AsElement() override { return this; }
  bool OwnsMemoryOutsidePool() const override { return FData || TXmlNode::OwnsMemoryOutsidePool(); }
  void ReleaseOutsideMemory() override {
    FData.reset();
    TXmlNode::ReleaseOutsideMemory();
  }

  void ReplaceTextByCDATASection(const TXmlString& AText) override;
  void ReplaceTextByBinaryData(const void* AData, int32_t ASize, int32_t AMaxLineLength) override;
  TXmlBytes GetTextAsBinaryData() override;

  // The value kept while the element has no child list.
  const TVariant& Data() const { return FData ? *FData : EmptyValue(); }
  void SetData(TVariant AValue) {
    MarkHeavy();
    if (FData)
      *FData = std::move(AValue);
    else
      FData.reset(new TVariant(std::move(AValue)));
  }

 private:
  void RemoveTextNodes();
  static const TVariant& EmptyValue();
  TXmlNameID FNameID;
  std::unique_ptr<TVariant> FData;  // null while empty: most elements never have a value of their own
};

class FUNDREL_API TXmlText : public TXmlNodeIntf<IXmlText> {
 public:
  TXmlText(TXmlNameTable* ANames, TVariant AData) : TXmlNodeIntf(ANames), FData(new TVariant(std::move(AData))) {
    MarkHeavy();
  }
  // A new text node in ANames' pool holding AText (as a UTF-16 string value); the characters are
  // stored with the node and become a variant when first used as one.
  static TXmlText* NewPacked(TXmlNameTable* ANames, std::u16string_view AText);
  // Internal fast path for the parser: a new text node with room for ARoom units at AChars, which
  // it holds once SetPackedRange names the part of them that is its text.
  static TXmlText* NewWithRoom(TXmlNameTable* ANames, size_t ARoom, char16_t*& AChars);
  void SetPackedRange(const char16_t* AText, size_t ALength) {
    FPacked = AText;
    FPackedLength = ALength;
  }

  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override;
  TXmlString Get_Text() override;
  void Set_Text(const TXmlString& AText) override {
    FPacked = nullptr;
    SetValue(TVariant(AText));
  }
  void SaveXML(TXmlSaver& ASaver) override;
  TVarType Get_DataType() override { return FPacked ? varUString : FData->VarType(); }
  TVariant Get_TypedValue() override { return Data(); }
  void Set_TypedValue(const TVariant& AValue) override {
    FPacked = nullptr;
    SetValue(AValue);
  }
  TXmlString Get_XML() override;
  TIntf<IXmlText> AsText() override { return this; }
  bool OwnsMemoryOutsidePool() const override { return FData || TXmlNode::OwnsMemoryOutsidePool(); }
  void ReleaseOutsideMemory() override {
    FData.reset();
    TXmlNode::ReleaseOutsideMemory();
  }

  const TVariant& Data() const {
    if (FUNDREL_UNLIKELY(FPacked != nullptr)) const_cast<TXmlText*>(this)->Unpack();
    return *FData;
  }

 private:
  // Without a value yet: the makers of packed nodes give it.
  TXmlText(TXmlNameTable* ANames, std::nullptr_t) : TXmlNodeIntf(ANames) {}
  void Unpack();
  void SetValue(TVariant AValue) {
    MarkHeavy();
    if (FData)
      *FData = std::move(AValue);
    else
      FData.reset(new TVariant(std::move(AValue)));
  }
  std::unique_ptr<TVariant> FData;  // null while packed
  const char16_t* FPacked = nullptr;  // FPackedLength units stored after the node
  size_t FPackedLength = 0;
};

// Text kept as characters in a block of the table's pool: the base of CDATA sections and comments.
template <class I>
class TXmlCharacterData : public TXmlNodeIntf<I> {
 public:
  TXmlCharacterData(TXmlNameTable* ANames, std::u16string_view AData) : TXmlNodeIntf<I>(ANames) { SetChars(AData); }
  ~TXmlCharacterData() override { TXmlBase::operator delete(FChars); }

  TXmlString Get_Text() override { return TXmlString(Data()); }
  void Set_Text(const TXmlString& AText) override { SetChars(AText); }
  TVarType Get_DataType() override { return varUString; }
  TVariant Get_TypedValue() override { return TVariant(TXmlString(Data())); }
  void Set_TypedValue(const TVariant& AValue) override { SetChars(AValue.AsUnicodeString()); }
  std::u16string_view Data() const { return {FChars, FLength}; }
  size_t ExtraPoolBlocks() const override { return (FChars ? 1 : 0) + TXmlNode::ExtraPoolBlocks(); }

 private:
  void SetChars(std::u16string_view AText) {
    char16_t* chars = nullptr;
    if (!AText.empty()) {
      chars = static_cast<char16_t*>(TXmlBase::operator new(AText.size() * sizeof(char16_t), this->Names()->Pool()));
      std::memcpy(chars, AText.data(), AText.size() * sizeof(char16_t));
    }
    TXmlBase::operator delete(FChars);
    FChars = chars;
    FLength = AText.size();
  }
  char16_t* FChars = nullptr;  // a block of the pool, or null while empty
  size_t FLength = 0;
};

class FUNDREL_API TXmlCDATASection : public TXmlCharacterData<IXmlCDATASection> {
 public:
  using TXmlCharacterData::TXmlCharacterData;
  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override;
  void SaveXML(TXmlSaver& ASaver) override;
  TXmlString Get_XML() override;
  TIntf<IXmlCDATASection> AsCDATASection() override { return this; }
};

class FUNDREL_API TXmlComment : public TXmlCharacterData<IXmlComment> {
 public:
  using TXmlCharacterData::TXmlCharacterData;
  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override;
  void SaveXML(TXmlSaver& ASaver) override;
  TXmlString Get_XML() override;
  TIntf<IXmlComment> AsComment() override { return this; }
};

class FUNDREL_API TXmlProcessingInstruction : public TXmlNodeIntf<IXmlProcessingInstruction> {
 public:
  TXmlProcessingInstruction(TXmlNameTable* ANames, TXmlNameID ATargetNameID, TXmlString AData)
      : TXmlNodeIntf(ANames), FTargetNameID(ATargetNameID), FData(std::move(AData)) {
    if (!FData.empty()) MarkHeavy();
  }

  void SetNodeNameID(TXmlNameID AValue) override { FTargetNameID = AValue; }
  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override { return FTargetNameID; }
  TXmlString Get_Text() override { return FData; }
  void Set_Text(const TXmlString& AText) override { SetData(AText); }
  void SaveXML(TXmlSaver& ASaver) override;
  TXmlString Get_XML() override;
  TIntf<IXmlProcessingInstruction> AsProcessingInstruction() override { return this; }
  bool OwnsMemoryOutsidePool() const override { return !FData.empty() || TXmlNode::OwnsMemoryOutsidePool(); }
  void ReleaseOutsideMemory() override {
    TXmlString().swap(FData);
    TXmlNode::ReleaseOutsideMemory();
  }

  const TXmlString& Data() const { return FData; }
  void SetData(TXmlString AData) {
    if (!AData.empty()) MarkHeavy();
    FData = std::move(AData);
  }

 private:
  TXmlNameID FTargetNameID;
  TXmlString FData;
};

class FUNDREL_API TXmlDocument : public TXmlNodeIntf<IXmlDocument> {
 public:
  explicit TXmlDocument(TXmlNameTable* ANames);
  ~TXmlDocument() override;

  TXmlNode* DoCloneNode(bool ADeep) override;
  TXmlNameID Get_NodeNameID() override;
  TXmlString Get_Text() override { return JoinedChildText(); }
  void Set_Text(const TXmlString& AText) override;
  void SaveXML(TXmlSaver& ASaver) override;
  TXmlString Get_XML() override;

  TIntf<IXmlElement> Get_DocumentElement() override;
  TXmlBytes Get_BinaryXML() override;
  bool Get_PreserveWhiteSpace() override { return FPreserveWhiteSpace; }
  void Set_PreserveWhiteSpace(bool AValue) override { FPreserveWhiteSpace = AValue; }
  TIntf<IXmlElement> NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                 const TXmlString& ARootElementName) override;
  TIntf<IXmlElement> NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                 TXmlNameID ARootElementNameID) override;
  TIntf<IXmlElement> CreateElement(const TXmlString& AName) override;
  TIntf<IXmlElement> CreateElement(TXmlNameID ANameID) override;
  TIntf<IXmlText> CreateText(const TXmlString& AData) override;
  TIntf<IXmlCDATASection> CreateCDATASection(const TXmlString& AData) override;
  TIntf<IXmlComment> CreateComment(const TXmlString& AData) override;
  TIntf<IXmlProcessingInstruction> CreateProcessingInstruction(const TXmlString& ATarget,
                                                               const TXmlString& AData) override;
  TIntf<IXmlProcessingInstruction> CreateProcessingInstruction(TXmlNameID ATargetID, const TXmlString& AData) override;
  void LoadXML(const TXmlBytes& AXml) override;
  void LoadBinaryXML(const TXmlBytes& AXml) override;
  void Load(TXmlStream& AStream) override;
  void Load(const String& AFileName) override;
  void LoadResource(const String& AType, const String& AName) override;
  void Save(TXmlStream& AStream) override;
  void Save(const String& AFileName) override;
  void SaveBinary(TXmlStream& AStream, int32_t AOptions) override;
  void SaveBinary(const String& AFileName, int32_t AOptions) override;

  bool PreserveWhiteSpace() const { return FPreserveWhiteSpace; }
  // Writes options, name table and body through AWriter (the signature is the caller's).
  void WriteBinary(TBinXmlWriter& AWriter);
  // Reads options, name table and body from AReader (positioned after the signature).
  void ReadBinary(TBinXmlReader& AReader);
  // The same, from the bytes after the signature, keeping the body to make children on demand.
  void ReadBinaryBytes(const TXmlBytes& AData, size_t AOffset);

 private:
  void ParseText(TXmlSource& ASource);
  void ClearForLoad();
  void ReadBinaryHead(TBinXmlReader& AReader);
  // Frees the whole tree without running its nodes' destructors when nothing outside the tree can
  // reach any of them: the common end of a loaded or built document.
  void DropTreeAtOnce();
  // Before that: gives back what nodes own outside the pool and, with ACheck, verifies what the
  // table's counts promise. False when it found no memory for the walk.
  bool ReleaseTreeOutsidePool(bool ACheck);
  bool FPreserveWhiteSpace;
};

// ---- Binary writers and readers -------------------------------------------------------------

// Writes the binary form's primitives. Options bit 0: strings as UTF-16, else UTF-8.
class FUNDREL_API TBinXmlWriter {
 public:
  explicit TBinXmlWriter(int32_t AOptions) : FOptions(AOptions) {}
  virtual ~TBinXmlWriter() = default;
  virtual void Write(const void* ABuffer, int32_t ASize) = 0;

  int32_t Options() const { return FOptions; }
  // 1 byte for 0..127, 2 bytes for 128..32511, else FF hex and 4 bytes.
  void WriteLongint(int32_t AValue);
  void WriteAnsiString(std::string_view ABytes);
  void WriteWideString(std::u16string_view AText);
  void WriteXmlString(std::u16string_view AText);
  // Raises "Unknown data type in variant" for a type the form cannot hold.
  void WriteVariant(const TVariant& AValue);
  // A node record; raises "Error of the record of binary XML: incorrect node-type" for a
  // document or a foreign node.
  void WriteNode(TXmlNode* ANode);
  void WriteNodeBody(TXmlNode* ANode);

 private:
  int32_t FOptions;
};

// Writes through a buffer of ABufSize bytes into a stream; flushes on destruction.
class FUNDREL_API TStmXmlWriter final : public TBinXmlWriter {
 public:
  TStmXmlWriter(TXmlStream& AStream, int32_t AOptions, int32_t ABufSize = 65536);
  ~TStmXmlWriter() override;
  void Write(const void* ABuffer, int32_t ASize) override;
  void FlushBuf();

 private:
  TXmlStream& FStream;
  std::vector<char> FBufStart;
  char* FBufPtr;
  int32_t FBufSize;
  int32_t FRemain;
};

// Writes into a growing byte string.
class FUNDREL_API TStrXmlWriter final : public TBinXmlWriter {
 public:
  TStrXmlWriter(int32_t AOptions, int32_t ABufSize = 65536);
  void Write(const void* ABuffer, int32_t ASize) override;
  // Trims the byte string to the bytes written.
  void FlushBuf();
  // The bytes written (after FlushBuf).
  const TXmlBytes& Data() const { return FData; }

 private:
  TXmlBytes FData;
  int32_t FBufPtr = 0;
  int32_t FBufSize;
  int32_t FRemain;
};

// Reads the binary form's primitives; running out of bytes raises "Error reading data". The bytes
// at hand are a window [FCur, FEnd); subclasses refill it.
class FUNDREL_API TBinXmlReader {
 public:
  TBinXmlReader() = default;
  virtual ~TBinXmlReader() = default;
  void Read(void* ABuffer, int32_t ASize) {
    if (FUNDREL_LIKELY(ASize >= 0 && ASize <= FEnd - FCur)) {
      std::memcpy(ABuffer, FCur, static_cast<size_t>(ASize));
      FCur += ASize;
    } else {
      ReadSlow(ABuffer, ASize);
    }
  }
  // Bytes still available.
  virtual int64_t Available() const = 0;

  int32_t Options() const { return FOptions; }
  void SetOptions(int32_t AOptions) { FOptions = AOptions; }
  int32_t ReadLongint();
  TXmlBytes ReadAnsiString();
  TXmlString ReadWideString();
  TXmlString ReadXmlString();
  // The same, as a view that stays valid until the next read.
  std::u16string_view ReadXmlStringView();
  // Raises "Error reading value: incorrect type" for an unknown type code.
  TVariant ReadVariant();
  // Reads one node record into AParent's children; raises "Error of reading binary XML:
  // incorrect node-type" for an unknown record type.
  void ReadNode(TXmlNode* AParent);
  void ReadNodeBody(TXmlNode* ANode);

 protected:
  // Reads what the window does not hold.
  virtual void ReadSlow(void* ABuffer, int32_t ASize) = 0;
  [[noreturn]] static void RaiseReadError();
  const char* FCur = nullptr;
  const char* FEnd = nullptr;
  // Set on a reader of a kept binary body: a node with children is left pending.
  TBinXmlImage* FImage = nullptr;

 private:
  friend class TBinXmlImage;
  int32_t ReadCount();
  // UTF-8 text of ACount bytes as UTF-16.
  TXmlString ReadUtf8(int32_t ACount);
  TXmlNameID NameOfHash(TXmlNameTable* ANames, uint32_t AHash);
  int32_t ReadBodyHead(TXmlNode* ANode);
  // Reads one record and its body's head into AParent's children; answers the node and sets
  // AChildCount when children follow.
  TXmlNode* ReadNodeRecord(TXmlNode* AParent, int32_t& AChildCount);
  void ReadChildren(TXmlNode* ANode, int32_t ACount);
  TVariant ReadVariantOfType(int32_t AType);
  // ReadLongint straight from the window when it holds the longest form.
  int32_t Longint();
  // Appends ACount bytes of UTF-8 to FChars as UTF-16.
  void AppendUtf8(int32_t ACount);
  // Reads an element's attributes, packed when all are strings.
  TXmlElement* ReadElement(TXmlNode* AParent, TXmlNameID AID);
  TXmlElement* ReadStringAttrsInPlace(TXmlNode* AParent, TXmlNameID AID, int32_t ACount, TVariant& AData);
  int32_t FOptions = 0;
  // Names added to the table after this many are not seen (a kept body resolves its names as they
  // stood when it was loaded).
  size_t FNameLimit = SIZE_MAX;
  // What the record being read decodes into before its node is made.
  std::vector<TXmlNode::TPackedAttr> FAttrs;
  std::vector<char16_t> FChars;  // the first FCharCount units are used
  size_t FCharCount = 0;
  // Recently resolved name hashes: a table only grows, so a resolved hash stays valid.
  struct THashSlot {
    uint32_t Hash;
    TXmlNameID ID;
  };
  static constexpr size_t HashCacheSize = 256;
  std::unique_ptr<THashSlot[]> FHashCache;  // made after the first few look-ups
  int32_t FUncachedLookups = 0;
};

class FUNDREL_API TStmXmlReader final : public TBinXmlReader {
 public:
  TStmXmlReader(TXmlStream& AStream, int32_t ABufSize = 65536);
  int64_t Available() const override { return (FEnd - FCur) + FRemainSize; }

 protected:
  void ReadSlow(void* ABuffer, int32_t ASize) override;

 private:
  TXmlStream& FStream;
  std::vector<char> FBufStart;
  int32_t FBufSize;
  int64_t FRemainSize;  // bytes left in the stream beyond the buffer
};

class FUNDREL_API TStrXmlReader final : public TBinXmlReader {
 public:
  // Reads from AData (which must outlive the reader) starting at AOffset.
  TStrXmlReader(const TXmlBytes& AData, size_t AOffset = 0);
  int64_t Available() const override { return FEnd - FCur; }

 protected:
  void ReadSlow(void* ABuffer, int32_t ASize) override;
};

// ---- Module functions -----------------------------------------------------------------------

FUNDREL_API TIntf<IXmlNameTable> CreateNameTable(int32_t AHashTableSize = 1009);
FUNDREL_API TIntf<IXmlElement> CreateXmlElement(const TXmlString& AName,
                                                const TIntf<IXmlNameTable>& ANameTable = nullptr);
FUNDREL_API TIntf<IXmlDocument> CreateXmlDocument(const TXmlString& ARootElementName = TXmlString(),
                                                  const TXmlString& AVersion = u"1.0",
                                                  const TXmlString& AnEncoding = TXmlString(),
                                                  const TIntf<IXmlNameTable>& ANameTable = nullptr);
FUNDREL_API TIntf<IXmlDocument> LoadXmlDocumentFromXML(const TXmlBytes& AXml);
FUNDREL_API TIntf<IXmlDocument> LoadXmlDocumentFromBinaryXML(const TXmlBytes& AXml);
FUNDREL_API TIntf<IXmlDocument> LoadXmlDocument(TXmlStream& AStream);
FUNDREL_API TIntf<IXmlDocument> LoadXmlDocument(const String& AFileName);
FUNDREL_API TIntf<IXmlDocument> LoadXmlDocument(const String& AResType, const String& AResName);

// At least 15 bytes starting with BinXmlSignature.
FUNDREL_API bool XmlIsInBinaryFormat(const TXmlBytes& AXml);
// Starts with BinXmlSignature, or with "<?xml " after blanks (9, 10, 13, 32).
FUNDREL_API bool IsXmlDataString(const TXmlBytes& AXml);
// Replaces AElem by a new child named AChildName when that is not empty.
FUNDREL_API void PrepareToSaveXml(TIntf<IXmlElement>& AElem, const TXmlString& AChildName);
// Replaces AElem by its child element AChildName when that is not empty; answers whether AElem is
// then set.
FUNDREL_API bool PrepareToLoadXml(TIntf<IXmlElement>& AElem, const TXmlString& AChildName);

// Resources compiled into a module, found by type and name (ASCII, without regard to case). The
// bytes must stay valid while registered; a later registration of the same key replaces it.
FUNDREL_API void RegisterXmlResource(const String& AType, const String& AName, const void* AData, size_t ASize);
FUNDREL_API void UnregisterXmlResource(const String& AType, const String& AName);
// The resource's bytes; false when none is registered.
FUNDREL_API bool FindXmlResource(const String& AType, const String& AName, TXmlBytes& AData);

// ---- Text conversions -----------------------------------------------------------------------

// Escapes the quotation mark, ampersand, less-than and greater-than signs.
FUNDREL_API TXmlString TextToXML(std::u16string_view AText);
// A value as XML text: booleans "1"/"0", numbers in the C locale, date-times by DateTimeToXSTR,
// byte arrays in Base64.
FUNDREL_API TXmlString VarToXSTR(const TVariant& AValue);
// Up to 15 significant digits, "." as decimal point; "INF", "-INF" and "NAN".
FUNDREL_API TXmlString FloatToXSTR(double AValue);
// The inverse of FloatToXSTR; letter case is ignored for the special values. Anything else raises.
FUNDREL_API double XSTRToFloat(std::u16string_view AText);
// "yyyy-mm-ddThh-nn-ss".
FUNDREL_API TXmlString DateTimeToXSTR(TDateTime AValue);
// Reads what DateTimeToXSTR writes; missing trailing fields are 0.
FUNDREL_API TDateTime XSTRToDateTime(std::u16string_view AText);
// Base64 with a CR LF inserted before positions L, 2L + 2, 3L + 4... (L = AMaxLineLength > 0).
FUNDREL_API TXmlString BinToBase64(const void* ABin, int32_t ASize, int32_t AMaxLineLength);
FUNDREL_API TXmlBytes Base64ToBin(std::u16string_view ABase64);

}  // namespace fundrel
