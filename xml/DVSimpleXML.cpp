#include "xml/DVSimpleXML.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <map>
#include <mutex>
#include <typeinfo>

#include "host/Quenra.SysUtils.h"
#include "xml/detail/XmlInternals.h"

namespace fundrel {

using namespace detail;

bool DefaultPreserveWhiteSpace = false;
TXmlString DefaultIndentText = u"\t";
TXmlString XMLPathDelimiter = u"\\";
const char BinXmlSignature[14] = {'<', ' ', 'b', 'i', 'n', 'a', 'r', 'y', '-', 'x', 'm', 'l', ' ', '>'};

namespace detail {

void XmlError(const char* AMessage) { throw EGVException(AMessage); }

void XmlErrorFmt(const char* AFormat, std::u16string_view AArg) {
  throw EGVException(Format(AFormat, Utf16ToUtf8(AArg).c_str()));
}

}  // namespace detail

namespace {

// The library's conversion errors surface as EGVException with the same message.
template <class F>
auto Converted(F AFunc) -> decltype(AFunc()) {
  try {
    return AFunc();
  } catch (const EConvertError& e) {
    throw EGVException(e.Message());
  }
}

// Releases a node held by a list. Releasing a node may release its whole subtree; nested releases
// are queued and run here one after another, so deep trees never recurse on the stack.
thread_local std::vector<TXmlNode*>* tPendingReleases __attribute__((tls_model("initial-exec"))) = nullptr;

void ReleaseNode(TXmlNode* ANode) {
  if (tPendingReleases) {
    tPendingReleases->push_back(ANode);
    return;
  }
  std::vector<TXmlNode*> pending;
  tPendingReleases = &pending;
  ANode->ReleaseConfined();
  while (!pending.empty()) {
    TXmlNode* n = pending.back();
    pending.pop_back();
    n->ReleaseConfined();
  }
  tPendingReleases = nullptr;
}

TXmlNode* NodeOf(const TIntf<IXmlNode>& ANode) {
  if (!ANode) return nullptr;
  auto* n = dynamic_cast<TXmlNode*>(ANode->GetObject());
  if (!n) RaiseInvalidCast();
  return n;
}

TXmlNameTable* TableOf(const TIntf<IXmlNameTable>& ATable) {
  if (!ATable) return nullptr;
  auto* t = dynamic_cast<TXmlNameTable*>(ATable->GetObject());
  if (!t) RaiseInvalidCast();
  return t;
}

bool IsExactElement(const TXmlNode* ANode) { return typeid(*ANode) == typeid(TXmlElement); }
bool IsDocument(const TXmlNode* ANode) { return typeid(*ANode) == typeid(TXmlDocument); }

// Growth of node and attribute arrays: a quarter beyond 64 entries, 16 beyond 8, else 4.
size_t GrownCapacity(size_t ACapacity) {
  return ACapacity + (ACapacity > 64 ? ACapacity / 4 : ACapacity > 8 ? 16 : 4);
}

TXmlString Ascii(std::string_view AText) { return TXmlString(AText.begin(), AText.end()); }

}  // namespace

// ---- Name table ----------------------------------------------------------------------------

// What a table of the usual size allocates and fills before its first name: the bucket heads
// (8 KB), the pool, the preset names' texts (four of them too long for a string's own room) and
// the lists of names and heavy nodes. A document of a few hundred bytes costs less than these, so a
// dying table leaves them to the next table made on its thread, one set per thread.
struct TXmlNameTable::TKit {
  static constexpr size_t Buckets = 1009;
  static constexpr size_t Presets = 6;
  TEntry** Heads = nullptr;  // every bucket empty; null while no table has left its parts
  TXmlPool* Pool = nullptr;  // no block given out; null when the last table's pool was still in use
  TXmlString Names[Presets];
  std::vector<TEntry*> Entries;
  std::vector<TXmlNode*> Heavy;
  ~TKit() {
    delete[] Heads;
    ReleaseXmlPool(Pool);
  }
};

TXmlNameTable::TXmlNameTable(int32_t AHashTableSize)
    : FPool(nullptr), FBucketCount(static_cast<size_t>(std::max(1, AHashTableSize))) {
  TKit* kit = FBucketCount == TKit::Buckets ? detail::TPerThread<TKit>::Get() : nullptr;
  if (kit && kit->Heads) {
    FNames.reset(kit->Heads);
    kit->Heads = nullptr;
    FPool = kit->Pool ? kit->Pool : NewXmlPool();
    kit->Pool = nullptr;
    FEntries.swap(kit->Entries);
    FHeavyList.swap(kit->Heavy);
    AddPresetNames(kit->Names);
    return;
  }
  FNames.reset(new TEntry*[FBucketCount]());
  FPool = NewXmlPool();
  FEntries.reserve(16);
  AddPresetNames(nullptr);
}

void TXmlNameTable::AddPresetNames(TXmlString* AKept) {
  static constexpr std::u16string_view names[TKit::Presets] = {u"#text", u"#cdata-section", u"#comment",
                                                               u"#document", u"xml", u"encoding"};
  TXmlNameID* ids[TKit::Presets] = {&FXmlTextNameID, &FXmlCDATASectionNameID, &FXmlCommentNameID,
                                    &FXmlDocumentNameID, &FXmlNameID, &FEncodingNameId};
  for (size_t i = 0; i < TKit::Presets; ++i) {
    // Distinct names in an empty table: each goes at the end of its bucket without a look-up.
    const uint32_t h = Hash(names[i]);
    TEntry** link = &FNames[h % FBucketCount];
    while (*link) link = &(*link)->Next;
    *link = NewEntry(names[i], h, AKept ? &AKept[i] : nullptr);
    *ids[i] = reinterpret_cast<TXmlNameID>(*link);
  }
}

TXmlNameTable::~TXmlNameTable() {
  FreeImages();
  LeaveKit();
  for (TEntry* e : FEntries) e->~TEntry();
  ReleaseXmlPool(FPool);
}

void TXmlNameTable::LeaveKit() noexcept {
  if (FBucketCount != TKit::Buckets || FEntries.size() < TKit::Presets) return;
  TKit* const place = detail::TPerThread<TKit>::Get();
  if (!place) return;
  TKit& kit = *place;
  if (kit.Heads) return;
  // Back to empty buckets: only those that hold a name were written.
  for (TEntry* e : FEntries) FNames[e->Hash % FBucketCount] = nullptr;
  kit.Heads = FNames.release();
  for (size_t i = 0; i < TKit::Presets; ++i) kit.Names[i].swap(FEntries[i]->Name);
  if (FPool && FPool->BlocksInUse() == 0) {  // else a node moved to another table still uses it
    FPool->DropAll();
    kit.Pool = FPool;
    FPool = nullptr;
  }
  for (TEntry* e : FEntries) e->~TEntry();
  FEntries.clear();
  kit.Entries.swap(FEntries);
  FHeavyList.clear();
  kit.Heavy.swap(FHeavyList);
}

TXmlNameTable::TEntry* TXmlNameTable::NewEntry(std::u16string_view AName, uint32_t AHash, TXmlString* AKept) {
  const size_t slot = FEntries.size() % EntriesPerBlock;
  const size_t block = FEntries.size() / EntriesPerBlock;
  // Room first, so that the new entry cannot be lost; grown by doubling, as a document's first
  // names all arrive at once.
  if (FEntries.size() == FEntries.capacity()) FEntries.reserve(std::max<size_t>(2 * FEntries.size(), EntriesPerBlock));
  if (slot == 0 && block > 0) {
    if (FMoreEntries.size() == FMoreEntries.capacity()) FMoreEntries.reserve(std::max<size_t>(2 * FMoreEntries.size(), 4));
    FMoreEntries.push_back(std::make_unique<TEntryBlock>());
  }
  unsigned char* bytes = block == 0 ? FFirstEntries.Bytes : FMoreEntries[block - 1]->Bytes;
  auto* e = ::new (bytes + slot * sizeof(TEntry))
      TEntry{AKept ? std::move(*AKept) : TXmlString(AName), AHash, static_cast<uint32_t>(std::min<size_t>(FEntries.size(), UINT32_MAX)), nullptr};
  FEntries.push_back(e);
  return e;
}

uint32_t TXmlNameTable::Hash(std::u16string_view AName) {
  uint32_t h = 0;
  for (char16_t c : AName) h = h + ((h << 6) ^ c);
  return h;
}

TXmlNameID TXmlNameTable::GetID(std::u16string_view AName) {
  if (AName.empty()) return 0;
  // Documents repeat a few names over and over: most look-ups end in one of two caches, the first
  // of which needs no hash.
  const size_t n = AName.size();
  TEntry*& seen = FSeen[(n * 7 + AName[0] * 3 + AName[n - 1]) & (RecentSize - 1)];
  if (seen && seen->Name.size() == n && SameUnits(seen->Name.data(), AName.data(), n))
    return reinterpret_cast<TXmlNameID>(seen);
  const uint32_t h = Hash(AName);
  TEntry*& cached = FRecent[(h ^ (h >> 7)) & (RecentSize - 1)];
  if (cached && cached->Hash == h && cached->Name == AName) {
    seen = cached;
    return reinterpret_cast<TXmlNameID>(cached);
  }
  TEntry** link = &FNames[h % FBucketCount];
  for (; *link; link = &(*link)->Next)
    if ((*link)->Hash == h && (*link)->Name == AName) {
      cached = seen = *link;
      return reinterpret_cast<TXmlNameID>(*link);
    }
  TEntry* e = NewEntry(AName, h);
  *link = cached = seen = e;
  return reinterpret_cast<TXmlNameID>(e);
}

const TXmlString& TXmlNameTable::EmptyName() {
  static const TXmlString empty;
  return empty;
}

uint32_t TXmlNameTable::GetKeyID(TXmlNameID AID) const { return AID ? reinterpret_cast<const TEntry*>(AID)->Hash : 0; }

TXmlNameID TXmlNameTable::GetNameID(uint32_t AHash) const {
  for (const TEntry* e = FNames[AHash % FBucketCount]; e; e = e->Next)
    if (e->Hash == AHash) return reinterpret_cast<TXmlNameID>(e);
  return 0;
}

std::vector<TXmlNameID> TXmlNameTable::AllNames() const {
  std::vector<TXmlNameID> r;
  r.reserve(FEntries.size());
  for (size_t b = 0; b < FBucketCount; ++b)
    for (const TEntry* e = FNames[b]; e; e = e->Next) r.push_back(reinterpret_cast<TXmlNameID>(e));
  return r;
}

// ---- Node list -----------------------------------------------------------------------------

TXmlNodeList::TXmlNodeList(TXmlNode* AOwnerNode) : FOwnerNode(AOwnerNode), FItems(FInline) {}

TXmlNodeList::~TXmlNodeList() {
  Clear();
  if (FItems != FInline) TXmlBase::operator delete(FItems);
}

int32_t TXmlNodeList::_AddRef() {
  if (FOwnerNode) FOwnerNode->FNames->AddOutsideRef();
  return AddRefConfined();
}

int32_t TXmlNodeList::_Release() {
  if (FOwnerNode) FOwnerNode->FNames->ReleaseOutsideRef();
  return ReleaseConfined();
}

void TXmlNodeList::WeakControlMade() noexcept {
  if (FOwnerNode) FOwnerNode->FNames->FFreeNodeByNode = true;  // its tree must be freed node by node
}

// A weak holder must learn that the node died: only its destructor tells it.
void TXmlNode::WeakControlMade() noexcept { FNames->FFreeNodeByNode = true; }

TIntf<IXmlNode> TXmlNodeList::Get_Item(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FCount) XmlError("Error obtaining the element the list: Index out of range");
  return Item(AIndex)->NodeIntf();
}

void TXmlNodeList::Exchange(int32_t AIndex1, int32_t AIndex2) {
  if (AIndex1 < 0 || AIndex1 >= FCount || AIndex2 < 0 || AIndex2 >= FCount)
    XmlError("Error obtaining the element the list: Index out of range");
  std::swap(FItems[AIndex1], FItems[AIndex2]);
}

void TXmlNodeList::Grow() {
  const size_t capacity = GrownCapacity(static_cast<size_t>(FCapacity));
  TXmlPool* pool = FOwnerNode ? FOwnerNode->FNames->Pool() : nullptr;
  auto* items = static_cast<TXmlNode**>(TXmlBase::operator new(capacity * sizeof(TXmlNode*), pool));
  std::memcpy(items, FItems, static_cast<size_t>(FCount) * sizeof(TXmlNode*));
  if (FItems != FInline) TXmlBase::operator delete(FItems);
  FItems = items;
  FCapacity = static_cast<int32_t>(capacity);
}

TXmlNode* TXmlNodeList::Adopt(TXmlNode* ANode) {
  if (FOwnerNode) {
    bool copy = ANode->FParentNode != nullptr && ANode->FParentNode != FOwnerNode;
    copy = copy || ANode->FNames != FOwnerNode->FNames;
    // A node cannot hold itself or an ancestor: that would be a cycle of references.
    for (TXmlNode* p = FOwnerNode; p && !copy; p = p->FParentNode) copy = p == ANode;
    if (copy) {
      TXmlNode* clone = ANode->DoCloneNode(true);
      clone->SetNameTable(FOwnerNode->FNames);
      ANode = clone;
    }
    // A node made outside the table's pool (a subclass made with plain new) is not freed with the
    // pool's blocks.
    if (XmlPoolOf(ANode) != FOwnerNode->FNames->Pool()) FOwnerNode->FNames->FFreeNodeByNode = true;
    ANode->FParentNode = FOwnerNode;
  } else {
    ANode->FNames->AddOutsideRef();  // a result list is not part of any tree
  }
  ANode->AddRefConfined();
  return ANode;
}

void TXmlNodeList::Drop(TXmlNode* ANode) {
  if (!FOwnerNode)
    ANode->FNames->ReleaseOutsideRef();
  else if (ANode->FParentNode == FOwnerNode)
    ANode->FParentNode = nullptr;
  ReleaseNode(ANode);
}

TXmlNode* TXmlNodeList::Insert(TXmlNode* ANode, int32_t AIndex) {
  if (!ANode) return nullptr;
  ANode = Adopt(ANode);
  if (FCount == FCapacity) Grow();
  if (AIndex < 0 || AIndex > FCount) AIndex = FCount;
  std::memmove(&FItems[AIndex + 1], &FItems[AIndex],
               sizeof(TXmlNode*) * static_cast<size_t>(FCount - AIndex));
  FItems[AIndex] = ANode;
  ++FCount;
  return ANode;
}

void TXmlNodeList::Delete(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FCount) XmlError("Error obtaining the element the list: Index out of range");
  TXmlNode* n = FItems[AIndex];
  std::memmove(&FItems[AIndex], &FItems[AIndex + 1],
               sizeof(TXmlNode*) * static_cast<size_t>(FCount - AIndex - 1));
  --FCount;
  Drop(n);
}

int32_t TXmlNodeList::Remove(TXmlNode* ANode) {
  const int32_t i = IndexOf(ANode);
  if (i >= 0) Delete(i);
  return i;
}

TXmlNode* TXmlNodeList::Replace(int32_t AIndex, TXmlNode* ANode) {
  if (AIndex < 0 || AIndex >= FCount) XmlError("Error obtaining the element the list: Index out of range");
  if (!ANode) return nullptr;
  ANode = Adopt(ANode);
  TXmlNode* old = FItems[AIndex];
  FItems[AIndex] = ANode;
  Drop(old);
  return ANode;
}

int32_t TXmlNodeList::IndexOf(const TXmlNode* ANode) const {
  for (int32_t i = 0; i < FCount; ++i)
    if (FItems[i] == ANode) return i;
  return -1;
}

void TXmlNodeList::Clear() {
  while (FCount > 0) {
    // Freeing a large tree waits on memory for every node and list: the next siblings and the list
    // of the next one are asked for while this one's subtree is freed.
    if (FCount >= 3) __builtin_prefetch(FItems[FCount - 3]->PrefetchLine(), 1, 3);
    if (FCount >= 2)
      if (TXmlNodeList* next = FItems[FCount - 2]->FChilds) __builtin_prefetch(&next->FCount, 1, 3);
    TXmlNode* n = FItems[--FCount];
    if (n->FChilds) {
      Drop(n);
      continue;
    }
    // A node without a list (at most a text child held on its own) cannot start a chain of releases.
    if (!FOwnerNode)
      n->FNames->ReleaseOutsideRef();
    else if (n->FParentNode == FOwnerNode)
      n->FParentNode = nullptr;
    n->ReleaseConfined();
  }
}

void TXmlNodeList::SaveXML(TXmlSaver& ASaver) {
  // Saving a large tree waits on memory for every node: the first nodes are asked for at once, the
  // ones after them while earlier ones are saved, and what the next one holds while this one is.
  constexpr int32_t Ahead = 4;
  auto ask = [this](int32_t AIndex) {
    __builtin_prefetch(FItems[AIndex], 0, 3);
    __builtin_prefetch(FItems[AIndex]->PrefetchLine(), 0, 3);
  };
  for (int32_t i = 0; i < FCount && i < Ahead; ++i) ask(i);
  for (int32_t i = 0; i < FCount; ++i) {
    if (i + Ahead < FCount) ask(i + Ahead);
    if (i + 1 < FCount) FItems[i + 1]->PrefetchContent();
    Item(i)->SaveXML(ASaver);
  }
}

TXmlString TXmlNodeList::Get_XML() {
  TXmlString r;
  for (int32_t i = 0; i < FCount; ++i) r += Item(i)->Get_XML();
  return r;
}

// ---- Node core -----------------------------------------------------------------------------

void TXmlNameTable::NoteHeavy(TXmlNode* ANode) noexcept {
  ++FHeavyNodes;
  if (FHeavyListLost) return;
  try {
    FHeavyList.push_back(ANode);
  } catch (const std::bad_alloc&) {
    FHeavyListLost = true;
  }
}

void TXmlNameTable::HeavyGone() noexcept {
  --FHeavyNodes;
  if (!FHeavyListLost && ++FHeavyGone == FHeavyList.size()) {
    FHeavyList.clear();
    FHeavyGone = 0;
  }
}

TXmlNode::~TXmlNode() {
  DiscardChildList();
  if (FHeavy) FNames->HeavyGone();
  FNames->ReleaseNodeRef();
}

void TXmlNode::DiscardChildList() {
  if (IsPending()) {
    TPendingBody* body = PendingBody();
    FSole = nullptr;
    TBinXmlImage* image = body->Image;
    TXmlBase::operator delete(body);
    image->PendingGone();
  } else if (FSole) {
    TXmlBase::operator delete(std::exchange(FSole, nullptr));
  }
  if (!FChilds) return;
  TXmlNodeList* list = std::exchange(FChilds, nullptr);
  list->Clear();
  // A list that outlives its node is no longer part of a tree: its references from outside stop
  // counting for the table.
  FNames->FOutsideRefs -= list->RefCount() - 1;
  list->FOwnerNode = nullptr;
  list->ReleaseConfined();
}

void TXmlNode::ExpandPending() {
  TPendingBody* body = PendingBody();
  FSole = nullptr;
  try {
    body->Image->Expand(this, *body);
  } catch (...) {
    DiscardChildList();
    FSole = reinterpret_cast<TSoleText*>(reinterpret_cast<uintptr_t>(body) | 1);
    throw;
  }
  TBinXmlImage* image = body->Image;
  TXmlBase::operator delete(body);
  image->PendingGone();
}

void TXmlNode::ListSole() {
  if (IsPending()) {
    ExpandPending();
    if (!FSole) return;
  }
  TXmlText* text = TXmlText::NewPacked(FNames, SoleText());
  TSoleText* sole = std::exchange(FSole, nullptr);
  try {
    GetChilds()->AppendFresh(text);
  } catch (...) {
    delete text;
    FSole = sole;
    throw;
  }
  TXmlBase::operator delete(sole);
}

TXmlNode::TFreshText TXmlNode::FreshTextRoom(size_t ARoom) {
  if (FChilds || FSole) {
    char16_t* chars = nullptr;
    TXmlText* t = TXmlText::NewWithRoom(FNames, ARoom, chars);
    return TFreshText{t, nullptr, chars};
  }
  static_assert(sizeof(TSoleText) % alignof(char16_t) == 0);
  void* block = TXmlBase::operator new(sizeof(TSoleText) + ARoom * sizeof(char16_t), FNames->Pool());
  return TFreshText{nullptr, block, reinterpret_cast<char16_t*>(static_cast<TSoleText*>(block) + 1)};
}

void TXmlNode::CommitFreshText(TFreshText& AText, const char16_t* AChars, size_t ALength) {
  if (AText.Node) {
    AText.Node->SetPackedRange(AChars, ALength);
    GetChilds()->AppendFresh(AText.Node);
    AText.Node = nullptr;
    return;
  }
  FSole = ::new (std::exchange(AText.Sole, nullptr)) TSoleText{AChars, ALength};
}

void TXmlNode::DropFreshText(TFreshText& AText) {
  delete std::exchange(AText.Node, nullptr);
  TXmlBase::operator delete(std::exchange(AText.Sole, nullptr));
}

void TXmlNode::AppendFreshChars(std::u16string_view AText) {
  TFreshText fresh = FreshTextRoom(AText.size());
  if (!AText.empty()) std::memcpy(fresh.Chars, AText.data(), AText.size() * sizeof(char16_t));
  CommitFreshText(fresh, fresh.Chars, AText.size());
}

TXmlNodeList* TXmlNode::MakeChilds() {
  if (FSole) ListSole();  // makes the list
  if (!FChilds) {
    FChilds = new (FNames->Pool()) TXmlNodeList(this);
    FChilds->AddFirstRef();
  }
  return FChilds;
}

void TXmlNode::SetNodeNameID(TXmlNameID) {}

void TXmlNode::SetPackedAttrs(const TPackedAttr* AAttrs, int32_t ACount, const char16_t* AChars, void* APlace) {
  if (ACount <= 0) return;
  auto* packed = static_cast<TPackedAttr*>(APlace);
  auto* chars = reinterpret_cast<char16_t*>(packed + ACount);
  // The values are laid out one after another: usually they already are, and go over in one
  // copy; a repeated attribute leaves a hole (its first value) in the readers' ranges.
  uint32_t at = 0;
  bool inOrder = true;
  for (int32_t i = 0; i < ACount; ++i) {
    const TPackedAttr& a = AAttrs[i];
    inOrder = inOrder && a.Offset == at;
    packed[i] = TPackedAttr{a.NameID, at, a.Length};
    at += a.Length;
  }
  if (inOrder) {
    if (at > 0) std::memcpy(chars, AChars, at * sizeof(char16_t));
  } else {
    for (int32_t i = 0; i < ACount; ++i) CopyUnits(chars + packed[i].Offset, AChars + AAttrs[i].Offset, AAttrs[i].Length);
  }
  FPacked = packed;
  FAttrCount = ACount;
}

void TXmlNode::DoUnpackAttrs() {
  const TPackedAttr* packed = std::exchange(FPacked, nullptr);
  const auto* chars = reinterpret_cast<const char16_t*>(packed + FAttrCount);
  MarkHeavy();
  FAttrs.resize(static_cast<size_t>(FAttrCount), FNames->Pool());
  for (int32_t i = 0; i < FAttrCount; ++i) {
    const TPackedAttr& a = packed[i];
    FAttrs[static_cast<size_t>(i)] = TXmlAttrData{a.NameID, TVariant(TXmlString(chars + a.Offset, a.Length))};
  }
}

TVarType TXmlNode::Get_DataType() { return varUString; }
TVariant TXmlNode::Get_TypedValue() { return TVariant(Get_Text()); }
void TXmlNode::Set_TypedValue(const TVariant& AValue) { Set_Text(VarToXSTR(AValue)); }

TXmlDocument* TXmlNode::OwnerDocumentObject() {
  for (TXmlNode* p = this; p; p = p->FParentNode)
    if (IsDocument(p)) return static_cast<TXmlDocument*>(p);
  return nullptr;
}

TIntf<IXmlDocument> TXmlNode::Get_OwnerDocument() { return OwnerDocumentObject(); }

TIntf<IXmlNodeList> TXmlNode::Get_ChildNodes() { return GetChilds(); }

bool TXmlNode::PreservesWhiteSpace() {
  TXmlDocument* d = OwnerDocumentObject();
  return d ? d->PreserveWhiteSpace() : DefaultPreserveWhiteSpace;
}

TVariant* TXmlNode::FindAttr(TXmlNameID ANameID) {
  UnpackAttrs();
  for (int32_t i = 0; i < FAttrCount; ++i)
    if (FAttrs[static_cast<size_t>(i)].NameID == ANameID) return &FAttrs[static_cast<size_t>(i)].Value;
  return nullptr;
}

void TXmlNode::SetAttrValue(TXmlNameID ANameID, TVariant AValue) {
  if (TVariant* v = FindAttr(ANameID)) {
    *v = std::move(AValue);
    return;
  }
  AddNewAttr(ANameID, std::move(AValue));
}

void TXmlNode::GrowAttrs() {
  MarkHeavy();
  FAttrs.resize(GrownCapacity(FAttrs.size()), FNames->Pool());
}

void TXmlAttrArray::resize(size_t ACapacity, TXmlPool* APool) {
  const size_t old = size();
  if (ACapacity == old) return;
  TXmlAttrData* slots = nullptr;
  if (ACapacity > 0) {
    void* block = TXmlBase::operator new(sizeof(THead) + ACapacity * sizeof(TXmlAttrData), APool);
    static_cast<THead*>(block)->Capacity = ACapacity;
    slots = reinterpret_cast<TXmlAttrData*>(static_cast<THead*>(block) + 1);
    const size_t kept = std::min(old, ACapacity);
    for (size_t i = 0; i < kept; ++i) new (slots + i) TXmlAttrData(std::move(FSlots[i]));
    for (size_t i = kept; i < ACapacity; ++i) new (slots + i) TXmlAttrData();
  }
  if (FSlots) {
    for (size_t i = 0; i < old; ++i) FSlots[i].~TXmlAttrData();
    TXmlBase::operator delete(reinterpret_cast<THead*>(FSlots) - 1);
  }
  FSlots = slots;
}

void TXmlNode::SetNameTable(TXmlNameTable* ANames) {
  if (ANames == FNames) return;
  UnpackAttrs();
  const TXmlNameID own = Get_NodeNameID();
  if (own) SetNodeNameID(ANames->GetID(FNames->NameOf(own)));
  for (int32_t i = 0; i < FAttrCount; ++i) {
    TXmlAttrData& a = FAttrs[static_cast<size_t>(i)];
    a.NameID = ANames->GetID(FNames->NameOf(a.NameID));
  }
  if (TXmlNodeList* list = Childs())
    for (int32_t i = 0; i < list->Get_Count(); ++i) list->Item(i)->SetNameTable(ANames);
  // The node's blocks stay in the pool of the table it leaves: neither table can free its trees at
  // once from now on.
  FNames->FFreeNodeByNode = ANames->FFreeNodeByNode = true;
  if (FHeavy) {
    FNames->HeavyGone();
    ANames->NoteHeavy(this);
  }
  ANames->AddNodeRef();
  FNames->ReleaseNodeRef();
  FNames = ANames;
}

TIntf<IXmlNameTable> TXmlNode::Get_NameTable() { return FNames; }
TXmlString TXmlNode::Get_NodeName() { return FNames->NameOf(Get_NodeNameID()); }

TXmlNodeType TXmlNode::Get_NodeType() {
  const std::type_info& t = typeid(*this);
  if (t == typeid(TXmlElement)) return NODE_ELEMENT;
  if (t == typeid(TXmlText)) return NODE_TEXT;
  if (t == typeid(TXmlCDATASection)) return NODE_CDATA_SECTION;
  if (t == typeid(TXmlProcessingInstruction)) return NODE_PROCESSING_INSTRUCTION;
  if (t == typeid(TXmlComment)) return NODE_COMMENT;
  if (t == typeid(TXmlDocument)) return NODE_DOCUMENT;
  return NODE_INVALID;
}

TIntf<IXmlNode> TXmlNode::CloneNode(bool ADeep) { return DoCloneNode(ADeep)->NodeIntf(); }

TIntf<IXmlNode> TXmlNode::Get_ParentNode() { return FParentNode ? FParentNode->NodeIntf() : nullptr; }

TIntf<IXmlNode> TXmlNode::AppendChild(const TIntf<IXmlNode>& AChild) {
  TXmlNode* n = GetChilds()->Insert(NodeOf(AChild), -1);
  return n ? n->NodeIntf() : nullptr;
}

TIntf<IXmlNode> TXmlNode::InsertBefore(const TIntf<IXmlNode>& AChild, const TIntf<IXmlNode>& ABefore) {
  TXmlNodeList* list = GetChilds();
  TXmlNode* n = list->Insert(NodeOf(AChild), ABefore ? list->IndexOf(NodeOf(ABefore)) : -1);
  return n ? n->NodeIntf() : nullptr;
}

TIntf<IXmlNode> TXmlNode::ReplaceChild(const TIntf<IXmlNode>& ANewChild, const TIntf<IXmlNode>& AOldChild) {
  if (!Childs() || !ANewChild) return nullptr;
  const int32_t i = FChilds->IndexOf(NodeOf(AOldChild));
  if (i < 0) return nullptr;
  FChilds->Replace(i, NodeOf(ANewChild));
  return AOldChild;
}

TIntf<IXmlNode> TXmlNode::RemoveChild(const TIntf<IXmlNode>& AChild) {
  if (Childs() && AChild) FChilds->Remove(NodeOf(AChild));
  return AChild;
}

TXmlNode* TXmlNode::AppendNew(TXmlNode* ANode) {
  GetChilds()->AppendFresh(ANode);
  return ANode;
}

TIntf<IXmlElement> TXmlNode::AppendElement(const TXmlString& AName) { return AppendElement(FNames->GetID(AName)); }
TIntf<IXmlElement> TXmlNode::AppendElement(TXmlNameID ANameID) {
  auto* e = new (FNames->Pool()) TXmlElement(FNames, ANameID);
  AppendNew(e);
  return e;
}
TIntf<IXmlText> TXmlNode::AppendText(const TXmlString& AData) {
  auto* t = TXmlText::NewPacked(FNames, AData);
  AppendNew(t);
  return t;
}
TIntf<IXmlCDATASection> TXmlNode::AppendCDATA(const TXmlString& AData) {
  auto* t = new (FNames->Pool()) TXmlCDATASection(FNames, AData);
  AppendNew(t);
  return t;
}
TIntf<IXmlComment> TXmlNode::AppendComment(const TXmlString& AData) {
  auto* t = new (FNames->Pool()) TXmlComment(FNames, AData);
  AppendNew(t);
  return t;
}
TIntf<IXmlProcessingInstruction> TXmlNode::AppendProcessingInstruction(const TXmlString& ATarget,
                                                                       const TXmlString& AData) {
  return AppendProcessingInstruction(FNames->GetID(ATarget), AData);
}
TIntf<IXmlProcessingInstruction> TXmlNode::AppendProcessingInstruction(TXmlNameID ATargetID, const TXmlString& AData) {
  auto* p = new (FNames->Pool()) TXmlProcessingInstruction(FNames, ATargetID, AData);
  AppendNew(p);
  return p;
}

TXmlNode* TXmlNode::FindChild(TXmlNameID ANameID) {
  if (!Childs()) return nullptr;
  for (int32_t i = 0; i < FChilds->Get_Count(); ++i)
    if (FChilds->Item(i)->Get_NodeNameID() == ANameID) return FChilds->Item(i);
  return nullptr;
}

TXmlString TXmlNode::GetChildText(const TXmlString& AName, const TXmlString& ADefault) {
  return GetChildText(FNames->GetID(AName), ADefault);
}
TXmlString TXmlNode::GetChildText(TXmlNameID ANameID, const TXmlString& ADefault) {
  TXmlNode* c = FindChild(ANameID);
  return c ? c->Get_Text() : ADefault;
}
void TXmlNode::SetChildText(const TXmlString& AName, const TXmlString& AText) {
  SetChildText(FNames->GetID(AName), AText);
}
void TXmlNode::SetChildText(TXmlNameID ANameID, const TXmlString& AText) {
  TXmlNode* c = FindChild(ANameID);
  if (!c) c = AppendNew(new (FNames->Pool()) TXmlElement(FNames, ANameID));
  c->Set_Text(AText);
}
TIntf<IXmlNode> TXmlNode::NeedChild(const TXmlString& AName) { return NeedChild(FNames->GetID(AName)); }
TIntf<IXmlNode> TXmlNode::NeedChild(TXmlNameID ANameID) {
  TXmlNode* c = FindChild(ANameID);
  if (!c) XmlErrorFmt("Error: Child node \"%s\" not found", FNames->NameOf(ANameID));
  return c->NodeIntf();
}
TIntf<IXmlNode> TXmlNode::EnsureChild(const TXmlString& AName) { return EnsureChild(FNames->GetID(AName)); }
TIntf<IXmlNode> TXmlNode::EnsureChild(TXmlNameID ANameID) {
  TXmlNode* c = FindChild(ANameID);
  if (!c) c = AppendNew(new (FNames->Pool()) TXmlElement(FNames, ANameID));
  return c->NodeIntf();
}

void TXmlNode::RemoveAllChilds() {
  if (Childs()) FChilds->Clear();
}

TXmlString TXmlNode::JoinedChildText() {
  TXmlString r;
  if (!Childs()) return r;
  for (int32_t i = 0; i < FChilds->Get_Count(); ++i) {
    TXmlNode* c = FChilds->Item(i);
    const std::type_info& t = typeid(*c);
    if (t != typeid(TXmlText) && t != typeid(TXmlCDATASection)) continue;
    const TXmlString piece = c->Get_Text();
    if (piece.empty()) continue;
    if (!r.empty()) r += u' ';
    r += piece;
  }
  return r;
}

namespace {
[[noreturn]] void RaiseNotSupported() { XmlError("This feature is not supported by SimpleXML"); }
}  // namespace

TXmlNode* TXmlNode::DoSelectSingle(std::u16string_view AExpression) {
  TXmlNode* node = this;
  for (;;) {
    const size_t d = AExpression.find(XMLPathDelimiter);
    const std::u16string_view step = AExpression.substr(0, d);
    if (!IsName(step)) RaiseNotSupported();
    const TXmlNameID id = FNames->GetID(step);
    TXmlNode* found = nullptr;
    if (TXmlNodeList* list = node->Childs())
      for (int32_t i = 0; i < list->Get_Count() && !found; ++i) {
        TXmlNode* c = list->Item(i);
        if (IsExactElement(c) && c->Get_NodeNameID() == id) found = c;
      }
    if (!found || d == std::u16string_view::npos) return found;
    node = found;
    AExpression = AExpression.substr(d + XMLPathDelimiter.size());
  }
}

TIntf<IXmlNode> TXmlNode::SelectSingleNode(const TXmlString& AExpression) {
  TXmlNode* n = DoSelectSingle(AExpression);
  return n ? n->NodeIntf() : nullptr;
}

TIntf<IXmlNodeList> TXmlNode::SelectNodes(const TXmlString& AExpression) {
  std::u16string_view expr = AExpression;
  TXmlNode* node = this;
  const size_t d = expr.rfind(XMLPathDelimiter);
  if (d != std::u16string_view::npos) {
    node = DoSelectSingle(expr.substr(0, d));
    if (!node) return nullptr;
    expr = expr.substr(d + XMLPathDelimiter.size());
  }
  if (!IsName(expr)) RaiseNotSupported();
  const TXmlNameID id = FNames->GetID(expr);
  TIntf<IXmlNodeList> result(new TXmlNodeList(nullptr));
  auto* list = static_cast<TXmlNodeList*>(result.get());
  if (TXmlNodeList* childs = node->Childs())
    for (int32_t i = 0; i < childs->Get_Count(); ++i) {
      TXmlNode* c = childs->Item(i);
      if (IsExactElement(c) && c->Get_NodeNameID() == id) list->Insert(c, -1);
    }
  return result;
}

TXmlString TXmlNode::FullPath() {
  TXmlString r = Get_NodeName();
  for (TXmlNode* p = FParentNode; p && !IsDocument(p); p = p->FParentNode) r = p->Get_NodeName() + XMLPathDelimiter + r;
  return r;
}

TIntf<IXmlElement> TXmlNode::FindElement(const TXmlString& AChildName, const TXmlString& AAttrName,
                                         const TVariant& AAttrValue) {
  if (!Childs()) return nullptr;
  const TXmlNameID childID = FNames->GetID(AChildName);
  const TXmlNameID attrID = FNames->GetID(AAttrName);
  for (int32_t i = 0; i < FChilds->Get_Count(); ++i) {
    TXmlNode* c = FChilds->Item(i);
    if (!IsExactElement(c) || c->Get_NodeNameID() != childID) continue;
    const TVariant* v = c->FindAttr(attrID);
    if (v && *v == AAttrValue) return static_cast<TXmlElement*>(c);
  }
  return nullptr;
}

TXmlNameID TXmlNode::Get_AttrNameID(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= FAttrCount) XmlError("Error obtaining the element the list: Index out of range");
  if (FPacked) return FPacked[AIndex].NameID;
  return FAttrs[static_cast<size_t>(AIndex)].NameID;
}
TXmlString TXmlNode::Get_AttrName(int32_t AIndex) { return FNames->NameOf(Get_AttrNameID(AIndex)); }

void TXmlNode::RemoveAttr(const TXmlString& AName) { RemoveAttr(FNames->GetID(AName)); }
void TXmlNode::RemoveAttr(TXmlNameID ANameID) {
  UnpackAttrs();
  for (int32_t i = 0; i < FAttrCount; ++i) {
    if (FAttrs[static_cast<size_t>(i)].NameID != ANameID) continue;
    for (int32_t j = i + 1; j < FAttrCount; ++j) FAttrs[static_cast<size_t>(j - 1)] = std::move(FAttrs[static_cast<size_t>(j)]);
    --FAttrCount;
    FAttrs[static_cast<size_t>(FAttrCount)] = TXmlAttrData();
    return;
  }
}
void TXmlNode::RemoveAllAttrs() {
  if (FPacked) {
    FPacked = nullptr;
    FAttrCount = 0;
  }
  for (int32_t i = 0; i < FAttrCount; ++i) FAttrs[static_cast<size_t>(i)] = TXmlAttrData();
  FAttrCount = 0;
}
bool TXmlNode::AttrExists(const TXmlString& AName) { return AttrExists(FNames->GetID(AName)); }
bool TXmlNode::AttrExists(TXmlNameID ANameID) { return FindAttr(ANameID) != nullptr; }
TVarType TXmlNode::GetAttrType(const TXmlString& AName) { return GetAttrType(FNames->GetID(AName)); }
TVarType TXmlNode::GetAttrType(TXmlNameID ANameID) {
  const TVariant* v = FindAttr(ANameID);
  return v ? v->VarType() : varEmpty;
}
TVariant TXmlNode::GetVarAttr(const TXmlString& AName, const TVariant& ADefault) {
  return GetVarAttr(FNames->GetID(AName), ADefault);
}
TVariant TXmlNode::GetVarAttr(TXmlNameID ANameID, const TVariant& ADefault) {
  const TVariant* v = FindAttr(ANameID);
  return v ? *v : ADefault;
}
void TXmlNode::SetVarAttr(const TXmlString& AName, const TVariant& AValue) { SetAttrValue(FNames->GetID(AName), AValue); }
void TXmlNode::SetVarAttr(TXmlNameID ANameID, const TVariant& AValue) { SetAttrValue(ANameID, AValue); }
TXmlString TXmlNode::NeedAttr(const TXmlString& AName) { return NeedAttr(FNames->GetID(AName)); }
TXmlString TXmlNode::NeedAttr(TXmlNameID ANameID) {
  const TVariant* v = FindAttr(ANameID);
  if (!v) XmlErrorFmt("Attribute \"%s\" not assigned", FNames->NameOf(ANameID));
  return VarToXSTR(*v);
}
TXmlString TXmlNode::GetAttr(const TXmlString& AName, const TXmlString& ADefault) {
  return GetAttr(FNames->GetID(AName), ADefault);
}
TXmlString TXmlNode::GetAttr(TXmlNameID ANameID, const TXmlString& ADefault) {
  const TVariant* v = FindAttr(ANameID);
  return v ? VarToXSTR(*v) : ADefault;
}
void TXmlNode::SetAttr(const TXmlString& AName, const TXmlString& AValue) { SetAttrValue(FNames->GetID(AName), TVariant(AValue)); }
void TXmlNode::SetAttr(TXmlNameID ANameID, const TXmlString& AValue) { SetAttrValue(ANameID, TVariant(AValue)); }
bool TXmlNode::GetBoolAttr(const TXmlString& AName, bool ADefault) { return GetBoolAttr(FNames->GetID(AName), ADefault); }
bool TXmlNode::GetBoolAttr(TXmlNameID ANameID, bool ADefault) {
  const TVariant* v = FindAttr(ANameID);
  return v ? Converted([v] { return v->AsBoolean(); }) : ADefault;
}
void TXmlNode::SetBoolAttr(const TXmlString& AName, bool AValue) { SetAttrValue(FNames->GetID(AName), TVariant(AValue)); }
void TXmlNode::SetBoolAttr(TXmlNameID ANameID, bool AValue) { SetAttrValue(ANameID, TVariant(AValue)); }
int32_t TXmlNode::GetIntAttr(const TXmlString& AName, int32_t ADefault) { return GetIntAttr(FNames->GetID(AName), ADefault); }
int32_t TXmlNode::GetIntAttr(TXmlNameID ANameID, int32_t ADefault) {
  const TVariant* v = FindAttr(ANameID);
  return v ? Converted([v] { return v->AsInteger(); }) : ADefault;
}
void TXmlNode::SetIntAttr(const TXmlString& AName, int32_t AValue) { SetAttrValue(FNames->GetID(AName), TVariant(AValue)); }
void TXmlNode::SetIntAttr(TXmlNameID ANameID, int32_t AValue) { SetAttrValue(ANameID, TVariant(AValue)); }
TDateTime TXmlNode::GetDateTimeAttr(const TXmlString& AName, TDateTime ADefault) {
  return GetDateTimeAttr(FNames->GetID(AName), ADefault);
}
TDateTime TXmlNode::GetDateTimeAttr(TXmlNameID ANameID, TDateTime ADefault) {
  const TVariant* v = FindAttr(ANameID);
  if (!v) return ADefault;
  if (v->IsString()) return XSTRToDateTime(v->AsUnicodeString());
  return Converted([v] { return v->AsDateTime(); });
}
void TXmlNode::SetDateTimeAttr(const TXmlString& AName, TDateTime AValue) {
  SetAttrValue(FNames->GetID(AName), TVariant(AValue));
}
void TXmlNode::SetDateTimeAttr(TXmlNameID ANameID, TDateTime AValue) { SetAttrValue(ANameID, TVariant(AValue)); }
double TXmlNode::GetFloatAttr(const TXmlString& AName, double ADefault) { return GetFloatAttr(FNames->GetID(AName), ADefault); }
double TXmlNode::GetFloatAttr(TXmlNameID ANameID, double ADefault) {
  const TVariant* v = FindAttr(ANameID);
  if (!v) return ADefault;
  if (v->IsString()) return XSTRToFloat(v->AsUnicodeString());
  return Converted([v] { return v->AsDouble(); });
}
void TXmlNode::SetFloatAttr(const TXmlString& AName, double AValue) { SetAttrValue(FNames->GetID(AName), TVariant(AValue)); }
void TXmlNode::SetFloatAttr(TXmlNameID ANameID, double AValue) { SetAttrValue(ANameID, TVariant(AValue)); }
int32_t TXmlNode::GetHexAttr(const TXmlString& AName, int32_t ADefault) { return GetHexAttr(FNames->GetID(AName), ADefault); }
int32_t TXmlNode::GetHexAttr(TXmlNameID ANameID, int32_t ADefault) {
  const TVariant* v = FindAttr(ANameID);
  if (!v) return ADefault;
  const TXmlString text = VarToXSTR(*v);
  uint64_t value = 0;
  bool ok = !text.empty() && text.size() <= 8;
  for (char16_t c : text) {
    if (c >= '0' && c <= '9')
      value = value * 16 + (c - '0');
    else if (c >= 'a' && c <= 'f')
      value = value * 16 + (c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      value = value * 16 + (c - 'A' + 10);
    else
      ok = false;
  }
  if (!ok) throw EGVException(Format("'%s' is not a valid hexadecimal value", Utf16ToUtf8(text).c_str()));
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}
void TXmlNode::SetHexAttr(const TXmlString& AName, int32_t AValue, int32_t ADigits) {
  SetHexAttr(FNames->GetID(AName), AValue, ADigits);
}
void TXmlNode::SetHexAttr(TXmlNameID ANameID, int32_t AValue, int32_t ADigits) {
  const String hex = Format("%0*X", std::clamp(ADigits, 0, 64), static_cast<unsigned>(AValue));
  SetAttrValue(ANameID, TVariant(Ascii(hex)));
}

namespace {
int32_t EnumIndex(TXmlNode* ANode, TXmlNameID ANameID, const TVariant& AValue, const std::vector<TXmlString>& AValues) {
  const TXmlString text = VarToXSTR(AValue);
  for (size_t i = 0; i < AValues.size(); ++i)
    if (SameTextNoCase(text, AValues[i])) return static_cast<int32_t>(i);
  TXmlString allowed;
  for (size_t i = 0; i < AValues.size(); ++i) {
    if (i > 0) allowed += u"\r\n";
    allowed += AValues[i];
  }
  throw EGVException(Format("Incorrect value of the attribute \"%s\" at element \"%s\".\r\nAllowed values are: \r\n%s",
                            Utf16ToUtf8(ANode->Names()->NameOf(ANameID)).c_str(),
                            Utf16ToUtf8(ANode->Get_NodeName()).c_str(), Utf16ToUtf8(allowed).c_str()));
}
}  // namespace

int32_t TXmlNode::GetEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues, int32_t ADefault) {
  return GetEnumAttr(FNames->GetID(AName), AValues, ADefault);
}
int32_t TXmlNode::GetEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues, int32_t ADefault) {
  const TVariant* v = FindAttr(ANameID);
  return v ? EnumIndex(this, ANameID, *v, AValues) : ADefault;
}
int32_t TXmlNode::NeedEnumAttr(const TXmlString& AName, const std::vector<TXmlString>& AValues) {
  return NeedEnumAttr(FNames->GetID(AName), AValues);
}
int32_t TXmlNode::NeedEnumAttr(TXmlNameID ANameID, const std::vector<TXmlString>& AValues) {
  const TVariant* v = FindAttr(ANameID);
  if (!v) XmlErrorFmt("Attribute \"%s\" not found", FNames->NameOf(ANameID));
  return EnumIndex(this, ANameID, *v, AValues);
}

TVariant TXmlNode::Get_Values(const TXmlString& AName) {
  if (AName.empty()) return Get_TypedValue();
  if (AName[0] == u'@') {
    const TVariant* v = FindAttr(FNames->GetID(std::u16string_view(AName).substr(1)));
    return v ? *v : TVariant(TXmlString());
  }
  TXmlNode* n = DoSelectSingle(AName);
  return n ? n->Get_TypedValue() : TVariant(TXmlString());
}

void TXmlNode::Set_Values(const TXmlString& AName, const TVariant& AValue) {
  if (AName.empty()) return Set_TypedValue(AValue);
  if (AName[0] == u'@') return SetAttrValue(FNames->GetID(std::u16string_view(AName).substr(1)), AValue);
  TXmlNode* n = DoSelectSingle(AName);
  if (!n) n = AppendNew(new (FNames->Pool()) TXmlElement(FNames, FNames->GetID(AName)));
  n->Set_TypedValue(AValue);
}

void TXmlNode::CopyAttrsTo(TXmlNode* ADest) const {
  UnpackAttrs();
  ADest->UnpackAttrs();
  if (FAttrCount > 0) ADest->MarkHeavy();
  ADest->FAttrs.resize(static_cast<size_t>(FAttrCount), ADest->FNames->Pool());
  for (int32_t i = 0; i < FAttrCount; ++i) ADest->FAttrs[static_cast<size_t>(i)] = FAttrs[static_cast<size_t>(i)];
  ADest->FAttrCount = FAttrCount;
}

// ---- Element -------------------------------------------------------------------------------

TXmlElement* TXmlElement::NewWithRoom(TXmlNameTable* ANames, TXmlNameID ANameID, size_t ARoom, void*& APlace) {
  // The pool hands out 16-byte aligned blocks and the element's size keeps the room aligned for the
  // packed attributes.
  static_assert(sizeof(TXmlElement) % alignof(TPackedAttr) == 0);
  void* block = TXmlBase::operator new(sizeof(TXmlElement) + ARoom, ANames->Pool());
  auto* e = ::new (block) TXmlElement(ANames, ANameID);
  APlace = e + 1;
  return e;
}

TXmlNode* TXmlElement::DoCloneNode(bool ADeep) {
  auto* e = new (Names()->Pool()) TXmlElement(Names(), FNameID);
  if (FData) e->SetData(*FData);
  CopyAttrsTo(e);
  if (ADeep && Childs()) {
    TXmlNodeList* list = e->GetChilds();
    for (int32_t i = 0; i < Childs()->Get_Count(); ++i) list->AppendFresh(Childs()->Item(i)->DoCloneNode(true));
  }
  return e;
}

const TVariant& TXmlElement::EmptyValue() {
  static const TVariant empty;
  return empty;
}

TXmlString TXmlElement::Get_Text() {
  if (HasSoleText()) return TXmlString(SoleText());
  return Childs() ? JoinedChildText() : VarToXSTR(Data());
}

void TXmlElement::Set_Text(const TXmlString& AText) { Set_TypedValue(TVariant(AText)); }

void TXmlElement::Set_TypedValue(const TVariant& AValue) {
  DiscardChildList();
  SetData(AValue);
}

TVarType TXmlElement::Get_DataType() {
  if (HasSoleText() || (Childs() && Childs()->Get_Count() > 0) || Data().IsEmpty()) return varUString;
  return Data().VarType();
}

TVariant TXmlElement::Get_TypedValue() {
  if (HasSoleText()) return TVariant(TXmlString(SoleText()));
  if (Childs() && Childs()->Get_Count() > 0) return TVariant(JoinedChildText());
  return Data();
}

void TXmlElement::RemoveTextNodes() {
  TXmlNodeList* list = Childs();
  if (!list) return;
  for (int32_t i = list->Get_Count() - 1; i >= 0; --i) {
    const TXmlNode* child = list->Item(i);
    const std::type_info& t = typeid(*child);
    if (t == typeid(TXmlText) || t == typeid(TXmlCDATASection)) list->Delete(i);
  }
}

void TXmlElement::ReplaceTextByCDATASection(const TXmlString& AText) {
  RemoveTextNodes();
  std::u16string_view rest = AText;
  for (;;) {
    const size_t p = rest.find(u"]]>");
    if (p == std::u16string_view::npos) {
      AppendCDATA(TXmlString(rest));
      return;
    }
    AppendCDATA(TXmlString(rest.substr(0, p + 1)));
    rest = rest.substr(p + 1);
  }
}

void TXmlElement::ReplaceTextByBinaryData(const void* AData, int32_t ASize, int32_t AMaxLineLength) {
  RemoveTextNodes();
  AppendText(BinToBase64(AData, ASize, AMaxLineLength));
}

TXmlBytes TXmlElement::GetTextAsBinaryData() { return Base64ToBin(Get_Text()); }

// ---- Character nodes -----------------------------------------------------------------------

TXmlText* TXmlText::NewWithRoom(TXmlNameTable* ANames, size_t ARoom, char16_t*& AChars) {
  static_assert(sizeof(TXmlText) % alignof(char16_t) == 0);
  void* block = TXmlBase::operator new(sizeof(TXmlText) + ARoom * sizeof(char16_t), ANames->Pool());
  auto* t = ::new (block) TXmlText(ANames, nullptr);
  AChars = reinterpret_cast<char16_t*>(t + 1);
  return t;
}

TXmlText* TXmlText::NewPacked(TXmlNameTable* ANames, std::u16string_view AText) {
  char16_t* chars = nullptr;
  TXmlText* t = NewWithRoom(ANames, AText.size(), chars);
  if (!AText.empty()) std::memcpy(chars, AText.data(), AText.size() * sizeof(char16_t));
  t->SetPackedRange(chars, AText.size());
  return t;
}

void TXmlText::Unpack() {
  SetValue(TVariant(TXmlString(FPacked, FPackedLength)));
  FPacked = nullptr;
}

TXmlNode* TXmlText::DoCloneNode(bool) {
  if (FPacked) return NewPacked(Names(), std::u16string_view(FPacked, FPackedLength));
  return new (Names()->Pool()) TXmlText(Names(), *FData);
}
TXmlNameID TXmlText::Get_NodeNameID() { return Names()->XmlTextNameID(); }
TXmlString TXmlText::Get_Text() {
  TXmlString s = FPacked ? TXmlString(FPacked, FPackedLength) : VarToXSTR(*FData);
  if (PreservesWhiteSpace()) return s;
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= 0x20) ++b;
  while (e > b && s[e - 1] <= 0x20) --e;
  return s.substr(b, e - b);
}

TXmlNode* TXmlCDATASection::DoCloneNode(bool) { return new (Names()->Pool()) TXmlCDATASection(Names(), Data()); }
TXmlNameID TXmlCDATASection::Get_NodeNameID() { return Names()->XmlCDATASectionNameID(); }
TXmlNode* TXmlComment::DoCloneNode(bool) { return new (Names()->Pool()) TXmlComment(Names(), Data()); }
TXmlNameID TXmlComment::Get_NodeNameID() { return Names()->XmlCommentNameID(); }

TXmlNode* TXmlProcessingInstruction::DoCloneNode(bool) {
  auto* p = new (Names()->Pool()) TXmlProcessingInstruction(Names(), FTargetNameID, FData);
  CopyAttrsTo(p);
  return p;
}

// ---- Document ------------------------------------------------------------------------------

// A document lives outside its table's pool, so that the pool can be emptied while the document dies.
// It counts as heavy: a document held in another tree needs its destructor.
TXmlDocument::TXmlDocument(TXmlNameTable* ANames) : TXmlNodeIntf(ANames), FPreserveWhiteSpace(DefaultPreserveWhiteSpace) {
  MarkHeavy();
}

TXmlDocument::~TXmlDocument() { DropTreeAtOnce(); }

namespace {
std::atomic<bool> gCheckTreeDrops{false};
std::atomic<uint64_t> gWholeTreeReleases{0};

[[noreturn]] void TreeDropFault(const char* AWhat) {
  std::fprintf(stderr, "XML tree freed at once while %s\n", AWhat);
  std::abort();
}
}  // namespace

void detail::SetXmlTreeDropCheck(bool AOn) { gCheckTreeDrops.store(AOn, std::memory_order_relaxed); }
uint64_t detail::XmlWholeTreeReleases() { return gWholeTreeReleases.load(std::memory_order_relaxed); }

// Each node of a tree is held by its parent's list, each list by its node, and nothing else holds
// them when the table counts no reference from outside. Every node of the table then lies in this
// document's tree (any other tree's root would be held from outside), so the pool's blocks are
// exactly this tree's. What nodes own outside the pool (attributes read or set as values, typed
// values, instruction data) is given back first, through the table's list of heavy nodes, or when
// that list is not complete, in one walk over the tree. Then the pool is emptied in one step.
void TXmlDocument::DropTreeAtOnce() {
  TXmlNameTable* t = Names();
  if (!FChilds || t->FOutsideRefs != 0 || t->FFreeNodeByNode) return;
  const bool check = gCheckTreeDrops.load(std::memory_order_relaxed);
  // The document itself is heavy. Without memory for the walk, the tree is freed the usual way.
  if ((t->FHeavyNodes > 1 || check) && !ReleaseTreeOutsidePool(check)) return;
  gWholeTreeReleases.fetch_add(1, std::memory_order_relaxed);
  if (!t->Pool()) return;  // each node was allocated on its own (sanitizer builds): the usual way
  FChilds = nullptr;
  t->FNodeRefs = 1;  // the document's own
  // The document is the one node left, heavy and listed (a document is always heavy).
  t->FHeavyNodes = 0;
  t->FHeavyList.clear();
  t->FHeavyGone = 0;
  t->FHeavyListLost = false;
  t->NoteHeavy(this);
  DropXmlPoolBlocks(t->Pool());
  t->FreeImages();  // only nodes of this tree could still wait on them
}

bool TXmlDocument::ReleaseTreeOutsidePool(bool ACheck) try {
  TXmlNameTable* t = Names();
  const bool listed = t->HeavyListComplete();
  if (listed) {
    const std::vector<TXmlNode*>& heavy = t->FHeavyList;
    // Each node is asked for well ahead, and its attribute slots once the node is at hand.
    constexpr size_t NodeAhead = 16, SlotsAhead = 8;
    for (size_t i = 0; i < heavy.size(); ++i) {
      if (i + NodeAhead < heavy.size()) __builtin_prefetch(heavy[i + NodeAhead], 0, 3);
      if (i + SlotsAhead < heavy.size())
        if (const void* slots = heavy[i + SlotsAhead]->AttrSlots()) __builtin_prefetch(slots, 1, 3);
      heavy[i]->ReleaseOutsideMemory();
    }
    if (!ACheck) return true;
  }
  size_t nodes = 0, blocks = 0;
  // Level by level, so that the nodes to come are known well ahead: the walk mostly waits on
  // memory, and asks for each node and for its child list several steps before it reads them.
  constexpr size_t NodeAhead = 24, ListAhead = 12;
  std::vector<TXmlNode*> queue, owners;  // owners: each queued node's list owner, for the check
  queue.reserve(static_cast<size_t>(FChilds->FCount) + 256);
  auto add = [&](TXmlNodeList* AList) {
    if (ACheck) {
      if (AList->RefCount() != 1) TreeDropFault("a list was held from outside");
      blocks += 1 + (AList->FItems != AList->FInline ? 1 : 0);
    }
    queue.insert(queue.end(), AList->FItems, AList->FItems + AList->FCount);
    if (ACheck) owners.insert(owners.end(), static_cast<size_t>(AList->FCount), AList->FOwnerNode);
  };
  add(FChilds);
  for (size_t i = 0; i < queue.size(); ++i) {
    if (i + NodeAhead < queue.size()) {
      __builtin_prefetch(queue[i + NodeAhead], 0, 3);
      __builtin_prefetch(queue[i + NodeAhead]->PrefetchLine(), 0, 3);
    }
    if (i + ListAhead < queue.size())
      if (const TXmlNodeList* list = queue[i + ListAhead]->FChilds) __builtin_prefetch(&list->FCount, 0, 3);
    TXmlNode* n = queue[i];
    if (n->FHeavy && !listed) n->ReleaseOutsideMemory();
    if (ACheck) {
      if (n->RefCount() != 1) TreeDropFault("a node was held from outside");
      if (n->OwnsMemoryOutsidePool()) TreeDropFault("a node kept memory outside the pool");
      if (n->FNames != t || n->FParentNode != owners[i]) TreeDropFault("a node was not of this tree");
      ++nodes;
      blocks += 1 + n->ExtraPoolBlocks();
    }
    if (n->FChilds) add(n->FChilds);
  }
  if (!ACheck) return true;
  if (t->FNodeRefs != static_cast<int64_t>(nodes) + 1) TreeDropFault("the table had nodes outside the tree");
  if (t->Pool() && XmlPoolBlocksInUse(t->Pool()) != blocks) TreeDropFault("the pool had blocks outside the tree");
  return true;
} catch (const std::bad_alloc&) {
  // What was given back stays given back: the destructors that follow find nothing more to free.
  return false;
}

TXmlNode* TXmlDocument::DoCloneNode(bool) {
  auto* d = new TXmlDocument(Names());
  if (Childs()) {
    TXmlNodeList* list = d->GetChilds();
    for (int32_t i = 0; i < Childs()->Get_Count(); ++i) list->AppendFresh(Childs()->Item(i)->DoCloneNode(true));
  }
  return d;
}

TXmlNameID TXmlDocument::Get_NodeNameID() { return Names()->XmlDocumentNameID(); }

void TXmlDocument::Set_Text(const TXmlString& AText) {
  RemoveAllChilds();
  AppendText(AText);
}

TIntf<IXmlElement> TXmlDocument::Get_DocumentElement() {
  if (TXmlNodeList* list = Childs())
    for (int32_t i = 0; i < list->Get_Count(); ++i)
      if (IsExactElement(list->Item(i))) return static_cast<TXmlElement*>(list->Item(i));
  return nullptr;
}

TIntf<IXmlElement> TXmlDocument::NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                             const TXmlString& ARootElementName) {
  return NewDocument(AVersion, AnEncoding, Names()->GetID(ARootElementName));
}

TIntf<IXmlElement> TXmlDocument::NewDocument(const TXmlString& AVersion, const TXmlString& AnEncoding,
                                             TXmlNameID ARootElementNameID) {
  RemoveAllChilds();
  auto* pi = new (Names()->Pool()) TXmlProcessingInstruction(Names(), Names()->XmlNameID(), TXmlString());
  pi->SetAttr(u"version", AVersion.empty() ? TXmlString(u"1.0") : AVersion);
  pi->SetAttr(u"encoding", AnEncoding.empty() ? TXmlString(u"UTF-8") : AnEncoding);
  GetChilds()->Insert(pi, 0);
  auto* root = new (Names()->Pool()) TXmlElement(Names(), ARootElementNameID);
  GetChilds()->Insert(root, 1);
  return root;
}

TIntf<IXmlElement> TXmlDocument::CreateElement(const TXmlString& AName) { return CreateElement(Names()->GetID(AName)); }
TIntf<IXmlElement> TXmlDocument::CreateElement(TXmlNameID ANameID) { return new (Names()->Pool()) TXmlElement(Names(), ANameID); }
TIntf<IXmlText> TXmlDocument::CreateText(const TXmlString& AData) { return TXmlText::NewPacked(Names(), AData); }
TIntf<IXmlCDATASection> TXmlDocument::CreateCDATASection(const TXmlString& AData) {
  return new (Names()->Pool()) TXmlCDATASection(Names(), AData);
}
TIntf<IXmlComment> TXmlDocument::CreateComment(const TXmlString& AData) { return new (Names()->Pool()) TXmlComment(Names(), AData); }
TIntf<IXmlProcessingInstruction> TXmlDocument::CreateProcessingInstruction(const TXmlString& ATarget,
                                                                           const TXmlString& AData) {
  return CreateProcessingInstruction(Names()->GetID(ATarget), AData);
}
TIntf<IXmlProcessingInstruction> TXmlDocument::CreateProcessingInstruction(TXmlNameID ATargetID,
                                                                           const TXmlString& AData) {
  return new (Names()->Pool()) TXmlProcessingInstruction(Names(), ATargetID, AData);
}

void TXmlDocument::ClearForLoad() {
  RemoveAllChilds();
  RemoveAllAttrs();
}

void TXmlDocument::ParseText(TXmlSource& ASource) {
  ClearForLoad();
  GetChilds()->ParseXML(ASource, Names(), FPreserveWhiteSpace);
}

void TXmlDocument::LoadXML(const TXmlBytes& AXml) {
  if (XmlIsInBinaryFormat(AXml)) return LoadBinaryXML(AXml);
  TXmlSource source(AXml);
  ParseText(source);
}

void TXmlDocument::LoadBinaryXML(const TXmlBytes& AXml) {
  ClearForLoad();
  ReadBinaryBytes(AXml, sizeof(BinXmlSignature));
}

void TXmlDocument::Load(TXmlStream& AStream) {
  const int64_t left = AStream.GetSize() - AStream.GetPosition();
  if (left > static_cast<int64_t>(sizeof(BinXmlSignature))) {
    char head[sizeof(BinXmlSignature)];
    const int64_t got = AStream.Read(head, sizeof(head));
    if (got == sizeof(head) && std::memcmp(head, BinXmlSignature, sizeof(head)) == 0) {
      ClearForLoad();
      // The rest is read at once, so that the body can be kept and its nodes made on demand. A
      // stream that ends early leaves less to read, and the reader says so where it runs out.
      TXmlBytes rest(static_cast<size_t>(left - got), '\0');
      const int64_t read = AStream.Read(rest.data(), static_cast<int64_t>(rest.size()));
      rest.resize(static_cast<size_t>(std::max<int64_t>(read, 0)));
      ReadBinaryBytes(rest, 0);
      return;
    }
    AStream.Seek(-got, TXmlSeekOrigin::Current);
  }
  TXmlSource source(AStream);
  ParseText(source);
}

void TXmlDocument::Load(const String& AFileName) {
  TXmlFileStream stream(AFileName, false);
  Load(stream);
}

void TXmlDocument::LoadResource(const String& AType, const String& AName) {
  TXmlBytes data;
  if (FindXmlResource(AType, AName, data) && !data.empty()) LoadXML(data);
}

void TXmlDocument::Save(const String& AFileName) {
  TXmlFileStream stream(AFileName, true);
  Save(stream);
}

void TXmlDocument::SaveBinary(TXmlStream& AStream, int32_t AOptions) {
  AStream.Write(BinXmlSignature, sizeof(BinXmlSignature));
  TStmXmlWriter writer(AStream, AOptions);
  WriteBinary(writer);
  writer.FlushBuf();
}

void TXmlDocument::SaveBinary(const String& AFileName, int32_t AOptions) {
  TXmlFileStream stream(AFileName, true);
  SaveBinary(stream, AOptions);
}

TXmlBytes TXmlDocument::Get_BinaryXML() {
  TStrXmlWriter writer(0);
  writer.Write(BinXmlSignature, sizeof(BinXmlSignature));
  WriteBinary(writer);
  writer.FlushBuf();
  return writer.Data();
}

// ---- Module functions ----------------------------------------------------------------------

TIntf<IXmlNameTable> CreateNameTable(int32_t AHashTableSize) { return new TXmlNameTable(AHashTableSize); }

TIntf<IXmlElement> CreateXmlElement(const TXmlString& AName, const TIntf<IXmlNameTable>& ANameTable) {
  TIntf<IXmlNameTable> keep = ANameTable ? ANameTable : CreateNameTable(1009);
  TXmlNameTable* t = TableOf(keep);
  return new (t->Pool()) TXmlElement(t, t->GetID(AName));
}

TIntf<IXmlDocument> CreateXmlDocument(const TXmlString& ARootElementName, const TXmlString& AVersion,
                                      const TXmlString& AnEncoding, const TIntf<IXmlNameTable>& ANameTable) {
  TIntf<IXmlNameTable> keep = ANameTable ? ANameTable : CreateNameTable(1009);
  TIntf<IXmlDocument> doc(new TXmlDocument(TableOf(keep)));
  if (!ARootElementName.empty()) doc->NewDocument(AVersion, AnEncoding, ARootElementName);
  return doc;
}

TIntf<IXmlDocument> LoadXmlDocumentFromXML(const TXmlBytes& AXml) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->LoadXML(AXml);
  return doc;
}
TIntf<IXmlDocument> LoadXmlDocumentFromBinaryXML(const TXmlBytes& AXml) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->LoadBinaryXML(AXml);
  return doc;
}
TIntf<IXmlDocument> LoadXmlDocument(TXmlStream& AStream) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->Load(AStream);
  return doc;
}
TIntf<IXmlDocument> LoadXmlDocument(const String& AFileName) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->Load(AFileName);
  return doc;
}
TIntf<IXmlDocument> LoadXmlDocument(const String& AResType, const String& AResName) {
  TIntf<IXmlDocument> doc = CreateXmlDocument();
  doc->LoadResource(AResType, AResName);
  return doc;
}

bool XmlIsInBinaryFormat(const TXmlBytes& AXml) {
  return AXml.size() >= sizeof(BinXmlSignature) + 1 &&
         std::memcmp(AXml.data(), BinXmlSignature, sizeof(BinXmlSignature)) == 0;
}

bool IsXmlDataString(const TXmlBytes& AXml) {
  if (AXml.size() >= sizeof(BinXmlSignature) && std::memcmp(AXml.data(), BinXmlSignature, sizeof(BinXmlSignature)) == 0)
    return true;
  size_t i = 0;
  while (i < AXml.size() && (AXml[i] == 9 || AXml[i] == 10 || AXml[i] == 13 || AXml[i] == 32)) ++i;
  return AXml.compare(i, 6, "<?xml ") == 0;
}

void PrepareToSaveXml(TIntf<IXmlElement>& AElem, const TXmlString& AChildName) {
  if (!AChildName.empty() && AElem) AElem = AElem->AppendElement(AChildName);
}

bool PrepareToLoadXml(TIntf<IXmlElement>& AElem, const TXmlString& AChildName) {
  if (!AChildName.empty() && AElem) {
    TIntf<IXmlNode> n = AElem->SelectSingleNode(AChildName);
    AElem = n ? n->AsElement() : nullptr;
  }
  return bool(AElem);
}

namespace {
struct TResourceRegistry {
  std::mutex Lock;
  std::map<String, std::pair<const void*, size_t>> Items;
};
// Created on first use and never destroyed: modules register from static initialisers.
TResourceRegistry& Resources() {
  static auto* r = new TResourceRegistry;
  return *r;
}
String ResourceKey(const String& AType, const String& AName) {
  String k = AType + '\0' + AName;
  for (char& c : k)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return k;
}
}  // namespace

void RegisterXmlResource(const String& AType, const String& AName, const void* AData, size_t ASize) {
  auto& r = Resources();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Items[ResourceKey(AType, AName)] = {AData, ASize};
}

void UnregisterXmlResource(const String& AType, const String& AName) {
  auto& r = Resources();
  std::lock_guard<std::mutex> guard(r.Lock);
  r.Items.erase(ResourceKey(AType, AName));
}

bool FindXmlResource(const String& AType, const String& AName, TXmlBytes& AData) {
  auto& r = Resources();
  std::lock_guard<std::mutex> guard(r.Lock);
  auto it = r.Items.find(ResourceKey(AType, AName));
  if (it == r.Items.end()) return false;
  AData.assign(static_cast<const char*>(it->second.first), it->second.second);
  return true;
}

// ---- Text conversions ----------------------------------------------------------------------

TXmlString TextToXML(std::u16string_view AText) {
  TXmlString r;
  r.reserve(AText.size());
  const char16_t* p = AText.data();
  const char16_t* const end = p + AText.size();
  for (;;) {
    const char16_t* q = detail::FindMarkup(p, end);
    r.append(p, q);
    if (q == end) return r;
    r += detail::MarkupEntity(*q);
    p = q + 1;
  }
}

TXmlString VarToXSTR(const TVariant& AValue) {
  switch (AValue.VarType()) {
    case varEmpty: return TXmlString();
    case varNull: return u"{{null}}";
    case varShortInt: case varSmallint: case varInteger: case varInt64:
      return Ascii(std::to_string(AValue.AsInt64()));
    case varByte: case varWord: case varLongWord: case varUInt64:
      return Ascii(std::to_string(AValue.AsUInt64()));
    case varSingle: case varDouble: return FloatToXSTR(AValue.AsDouble());
    case varCurrency: return FloatToXSTR(static_cast<double>(AValue.AsCurrency().Scaled()) / 10000.0);
    case varDate: return DateTimeToXSTR(AValue.AsDateTime());
    case varBoolean: return AValue.AsBoolean() ? u"1" : u"0";
    case varString: case varUString: case varOleStr: return AValue.AsUnicodeString();
    case varByteArray: {
      const std::vector<uint8_t> bytes = AValue.AsBytes();
      return BinToBase64(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
    }
    default: return Converted([&] { return AValue.AsUnicodeString(); });
  }
}

TXmlString FloatToXSTR(double AValue) {
  if (std::isnan(AValue)) return u"NAN";
  if (std::isinf(AValue)) return AValue < 0 ? u"-INF" : u"INF";
  char buf[40];
  std::snprintf(buf, sizeof(buf), "%.15G", AValue);
  // "1E+20" and "1E-05" become "1E20" and "1E-5".
  String s = buf;
  const size_t e = s.find('E');
  if (e != String::npos) {
    String mantissa = s.substr(0, e), exponent = s.substr(e + 1);
    bool negative = false;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
      negative = exponent[0] == '-';
      exponent.erase(0, 1);
    }
    while (exponent.size() > 1 && exponent[0] == '0') exponent.erase(0, 1);
    s = mantissa + "E" + (negative ? "-" : "") + exponent;
  }
  return Ascii(s);
}

double XSTRToFloat(std::u16string_view AText) {
  String s;
  bool ascii = true;
  for (char16_t c : AText) {
    if (c >= 128) ascii = false;
    s += static_cast<char>(c < 128 ? c : '?');
  }
  auto invalid = [&]() -> double {
    throw EGVException(Format("'%s' is not a valid floating point value", Utf16ToUtf8(AText).c_str()));
  };
  if (!ascii || s.empty()) return invalid();
  String upper = s;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (upper == "INF" || upper == "+INF") return HUGE_VAL;
  if (upper == "-INF") return -HUGE_VAL;
  if (upper == "NAN") return std::bit_cast<double>(uint64_t(0xFFF8000000000000ull));
  size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i >= s.size() || !((s[i] >= '0' && s[i] <= '9') || s[i] == '.')) return invalid();
  double value = 0;
  auto [end, ec] = std::from_chars(s.data() + i, s.data() + s.size(), value, std::chars_format::general);
  if (ec == std::errc::invalid_argument || end != s.data() + s.size()) return invalid();
  if (ec == std::errc::result_out_of_range) return invalid();
  return negative ? -value : value;
}

TXmlString DateTimeToXSTR(TDateTime AValue) {
  const TDateTimeParts p = Converted([&] { return DecodeDateTime(AValue); });
  return Ascii(Format("%.4d-%.2d-%.2dT%.2d-%.2d-%.2d", p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second));
}

TDateTime XSTRToDateTime(std::u16string_view AText) {
  static constexpr char16_t Delimiters[6] = {'-', '-', 'T', '-', '-', '-'};
  int fields[6] = {0, 0, 0, 0, 0, 0};
  size_t i = 0;
  for (int f = 0; f < 6; ++f) {
    int64_t v = 0;
    while (i < AText.size() && AText[i] >= '0' && AText[i] <= '9') {
      if (v < 100000000) v = v * 10 + (AText[i] - '0');
      ++i;
    }
    fields[f] = static_cast<int>(v);
    if (i >= AText.size() || AText[i] != Delimiters[f]) break;
    ++i;
  }
  return Converted([&] { return EncodeDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], 0); });
}

namespace {
constexpr char Base64Chars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

TXmlString BinToBase64(const void* ABin, int32_t ASize, int32_t AMaxLineLength) {
  const auto* p = static_cast<const uint8_t*>(ABin);
  const size_t n = ASize > 0 ? static_cast<size_t>(ASize) : 0;
  TXmlString plain;
  plain.reserve((n + 2) / 3 * 4);
  for (size_t i = 0; i < n; i += 3) {
    const uint32_t b0 = p[i], b1 = i + 1 < n ? p[i + 1] : 0, b2 = i + 2 < n ? p[i + 2] : 0;
    const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
    plain += static_cast<char16_t>(Base64Chars[(v >> 18) & 63]);
    plain += static_cast<char16_t>(Base64Chars[(v >> 12) & 63]);
    plain += i + 1 < n ? static_cast<char16_t>(Base64Chars[(v >> 6) & 63]) : u'=';
    plain += i + 2 < n ? static_cast<char16_t>(Base64Chars[v & 63]) : u'=';
  }
  if (AMaxLineLength <= 0) return plain;
  TXmlString r;
  r.reserve(plain.size() + plain.size() / static_cast<size_t>(AMaxLineLength) * 2 + 2);
  size_t nextBreak = static_cast<size_t>(AMaxLineLength);  // 1-based position in the result
  for (char16_t c : plain) {
    if (r.size() + 1 == nextBreak) {
      r += u"\r\n";
      nextBreak += static_cast<size_t>(AMaxLineLength) + 2;
    }
    r += c;
  }
  return r;
}

TXmlBytes Base64ToBin(std::u16string_view ABase64) {
  std::u16string s;
  s.reserve(ABase64.size());
  for (char16_t c : ABase64)
    if (c > 0x20) s += c;
  if (s.size() < 4) return TXmlBytes();
  auto value = [](char16_t c) -> uint32_t {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
  };
  size_t length = (s.size() + 3) / 4 * 3;
  if (s[s.size() - 2] == '=')
    length -= 2;
  else if (s[s.size() - 1] == '=')
    length -= 1;
  TXmlBytes r;
  r.reserve((s.size() + 3) / 4 * 3);
  for (size_t i = 0; i < s.size(); i += 4) {
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) v = (v << 6) | (i + k < s.size() ? value(s[i + k]) : 0);
    r += static_cast<char>((v >> 16) & 0xFF);
    r += static_cast<char>((v >> 8) & 0xFF);
    r += static_cast<char>(v & 0xFF);
  }
  r.resize(length);
  return r;
}

}  // namespace fundrel
