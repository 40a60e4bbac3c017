#include "host/Quenra.Serialization.h"

#include <nlohmann/json.hpp>

#include "host/Quenra.ComponentStreaming.h"
#include "host/Quenra.TypInfo.h"

namespace fundrel {

using TJson = nlohmann::ordered_json;

struct detail::TSerialDocument {
  TJson Root = TJson::object();
};

namespace {

constexpr int kMaxDepth = 200;

[[noreturn]] void Fail(const String& AMessage) { throw ESerializationError(AMessage); }

TJson& Level(void* ALevel) { return *static_cast<TJson*>(ALevel); }
const TJson& Level(const void* ALevel) { return *static_cast<const TJson*>(ALevel); }

// Counts nesting while the parser runs, so that hostile input cannot drive the recursive CBOR
// parser (or our decoders) off the stack.
class TDepthCheck {
 public:
  using number_integer_t = TJson::number_integer_t;
  using number_unsigned_t = TJson::number_unsigned_t;
  using number_float_t = TJson::number_float_t;
  using string_t = TJson::string_t;
  using binary_t = TJson::binary_t;

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(number_integer_t) { return true; }
  bool number_unsigned(number_unsigned_t) { return true; }
  bool number_float(number_float_t, const string_t&) { return true; }
  bool string(string_t&) { return true; }
  bool binary(binary_t&) { return true; }
  bool start_object(std::size_t) { return Enter(); }
  bool key(string_t&) { return true; }
  bool end_object() { return Leave(); }
  bool start_array(std::size_t) { return Enter(); }
  bool end_array() { return Leave(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& AError) {
    Error = AError.what();
    return false;
  }

  String Error;

 private:
  bool Enter() {
    if (++FDepth > kMaxDepth) Error = "nesting too deep";
    return FDepth <= kMaxDepth;
  }
  bool Leave() {
    --FDepth;
    return true;
  }
  int FDepth = 0;
};

template <typename TChar>
TJson ParseChecked(const TChar* AFirst, const TChar* ALast, nlohmann::json::input_format_t AFormat) {
  TDepthCheck check;
  bool ok = false;
  try {
    ok = TJson::sax_parse(AFirst, ALast, &check, AFormat);
  } catch (const nlohmann::json::exception& e) {
    Fail(String("Invalid serialized data: ") + e.what());
  }
  if (!ok) Fail("Invalid serialized data: " + (check.Error.empty() ? String("parse error") : check.Error));
  try {
    TJson doc = AFormat == nlohmann::json::input_format_t::cbor ? TJson::from_cbor(AFirst, ALast)
                                                                : TJson::parse(AFirst, ALast);
    if (!doc.is_object()) Fail("Invalid serialized data: the document is not a set of named entries");
    return doc;
  } catch (const nlohmann::json::exception& e) {
    Fail(String("Invalid serialized data: ") + e.what());
  }
}

// --- component trees as entries

TJson EncodeValue(const TStreamValue& AValue);

TJson EncodeProperties(const std::vector<TPropertyNode>& AList) {
  TJson props = TJson::object();
  for (const TPropertyNode& p : AList) props[p.Path] = EncodeValue(p.Value);
  return props;
}

TJson EncodeValue(const TStreamValue& AValue) {
  switch (AValue.Type) {
    case TValueType::vaInt:
      return AValue.Int;
    case TValueType::vaExtended:
      return AValue.Float;
    case TValueType::vaSingle:
      return TJson{{"single", AValue.Float}};
    case TValueType::vaString:
      return AValue.Text;
    case TValueType::vaIdent:
      return TJson{{"ident", AValue.Text}};
    case TValueType::vaFalse:
      return false;
    case TValueType::vaTrue:
      return true;
    case TValueType::vaNil:
      return nullptr;
    case TValueType::vaBinary:
      return TJson::binary(std::vector<uint8_t>(AValue.Text.begin(), AValue.Text.end()));
    case TValueType::vaSet: {
      TJson members = TJson::array();
      for (const TStreamValue& e : AValue.Elements) members.push_back(e.Text);
      return TJson{{"set", members}};
    }
    case TValueType::vaList: {
      TJson list = TJson::array();
      for (const TStreamValue& e : AValue.Elements) list.push_back(EncodeValue(e));
      return list;
    }
    case TValueType::vaCollection: {
      TJson items = TJson::array();
      for (const TItemNode& item : AValue.Items) {
        TJson entry = TJson::object();
        if (!item.ClassName.empty()) entry["class"] = item.ClassName;
        entry["properties"] = EncodeProperties(item.Properties);
        items.push_back(std::move(entry));
      }
      return TJson{{"items", items}};
    }
    case TValueType::vaNull:
      break;
  }
  throw EWriteError("Cannot serialise an empty value");
}

TJson EncodeNode(const TObjectNode& ANode) {
  TJson node = TJson::object();
  node["class"] = ANode.ClassName;
  if (!ANode.Name.empty()) node["name"] = ANode.Name;
  node["properties"] = EncodeProperties(ANode.Properties);
  if (!ANode.Children.empty()) {
    TJson children = TJson::array();
    for (const TObjectNode& c : ANode.Children) children.push_back(EncodeNode(c));
    node["children"] = std::move(children);
  }
  return node;
}

const TJson* Member(const TJson& AObject, const char* AKey) {
  auto it = AObject.find(AKey);
  return it == AObject.end() ? nullptr : &*it;
}

String TextMember(const TJson& AObject, const char* AKey, bool ARequired) {
  const TJson* m = Member(AObject, AKey);
  if (!m) {
    if (ARequired) Fail(String("Invalid component entry: \"") + AKey + "\" missing");
    return String();
  }
  if (!m->is_string()) Fail(String("Invalid component entry: \"") + AKey + "\" is not a string");
  return m->get<String>();
}

std::vector<uint8_t> BinaryOf(const TJson& AValue, bool& AIsBinary) {
  AIsBinary = true;
  if (AValue.is_binary()) return AValue.get_binary();
  // The JSON text form shows binary values as {"bytes": [...], "subtype": ...}.
  if (AValue.is_object() && AValue.contains("bytes") && AValue["bytes"].is_array()) {
    std::vector<uint8_t> bytes;
    for (const TJson& b : AValue["bytes"]) {
      if (!b.is_number_unsigned() || b.get<uint64_t>() > 255) Fail("Invalid binary value");
      bytes.push_back(static_cast<uint8_t>(b.get<uint64_t>()));
    }
    return bytes;
  }
  AIsBinary = false;
  return {};
}

std::vector<TPropertyNode> DecodeProperties(const TJson& AProps);

TStreamValue DecodeValue(const TJson& AValue) {
  TStreamValue v;
  bool binary = false;
  std::vector<uint8_t> bytes = BinaryOf(AValue, binary);
  if (binary) {
    v.Type = TValueType::vaBinary;
    v.Text.assign(bytes.begin(), bytes.end());
  } else if (AValue.is_number_unsigned()) {
    if (AValue.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)) Fail("Invalid component entry: integer out of range");
    v.Type = TValueType::vaInt;
    v.Int = AValue.get<int64_t>();
  } else if (AValue.is_number_integer()) {
    v.Type = TValueType::vaInt;
    v.Int = AValue.get<int64_t>();
  } else if (AValue.is_number_float()) {
    v.Type = TValueType::vaExtended;
    v.Float = AValue.get<double>();
  } else if (AValue.is_string()) {
    v.Type = TValueType::vaString;
    v.Text = AValue.get<String>();
  } else if (AValue.is_boolean()) {
    v.Type = AValue.get<bool>() ? TValueType::vaTrue : TValueType::vaFalse;
  } else if (AValue.is_null()) {
    v.Type = TValueType::vaNil;
  } else if (AValue.is_array()) {
    v.Type = TValueType::vaList;
    for (const TJson& e : AValue) v.Elements.push_back(DecodeValue(e));
  } else if (const TJson* single = Member(AValue, "single"); single && single->is_number()) {
    v.Type = TValueType::vaSingle;
    v.Float = single->get<double>();
  } else if (const TJson* ident = Member(AValue, "ident"); ident && ident->is_string()) {
    v.Type = TValueType::vaIdent;
    v.Text = ident->get<String>();
  } else if (const TJson* set = Member(AValue, "set"); set && set->is_array()) {
    v.Type = TValueType::vaSet;
    for (const TJson& e : *set) {
      if (!e.is_string()) Fail("Invalid component entry: a set member is not an identifier");
      TStreamValue m;
      m.Type = TValueType::vaIdent;
      m.Text = e.get<String>();
      v.Elements.push_back(std::move(m));
    }
  } else if (const TJson* items = Member(AValue, "items"); items && items->is_array()) {
    v.Type = TValueType::vaCollection;
    for (const TJson& e : *items) {
      if (!e.is_object()) Fail("Invalid component entry: a collection item is not an object");
      TItemNode item;
      item.ClassName = TextMember(e, "class", false);
      if (const TJson* props = Member(e, "properties")) item.Properties = DecodeProperties(*props);
      v.Items.push_back(std::move(item));
    }
  } else {
    Fail("Invalid component entry: unknown value " +
         AValue.dump(-1, ' ', false, TJson::error_handler_t::replace).substr(0, 40));
  }
  return v;
}

std::vector<TPropertyNode> DecodeProperties(const TJson& AProps) {
  if (!AProps.is_object()) Fail("Invalid component entry: properties are not named entries");
  std::vector<TPropertyNode> list;
  for (auto it = AProps.begin(); it != AProps.end(); ++it) list.push_back({it.key(), DecodeValue(it.value()), 0});
  return list;
}

TObjectNode DecodeNode(const TJson& ANode) {
  if (!ANode.is_object()) Fail("Invalid component entry: not an object");
  TObjectNode node;
  node.ClassName = TextMember(ANode, "class", true);
  node.Name = TextMember(ANode, "name", false);
  if (const TJson* props = Member(ANode, "properties")) node.Properties = DecodeProperties(*props);
  if (const TJson* children = Member(ANode, "children")) {
    if (!children->is_array()) Fail("Invalid component entry: children are not a list");
    for (const TJson& c : *children) node.Children.push_back(DecodeNode(c));
  }
  return node;
}

TClass ExactClass(const TObject& AObject) {
  TClass cls = ClassOf(AObject);
  if (!cls || cls->TypeKey() != typeid(AObject).name())
    throw EWriteError("Class " + ClassNameOf(AObject) + " has no class declaration and cannot be serialised");
  return cls;
}

}  // namespace

// --- writer

TSerializationWriter::TSerializationWriter()
    : FDocument(std::make_shared<detail::TSerialDocument>()), FLevel(&FDocument->Root) {}

TSerializationWriter::TSerializationWriter(std::shared_ptr<detail::TSerialDocument> ADocument, void* ALevel)
    : FDocument(std::move(ADocument)), FLevel(ALevel) {}

TSerializationWriter::~TSerializationWriter() = default;

void TSerializationWriter::WriteBinary(const String& AName, const void* AData, size_t ASize) {
  auto* bytes = static_cast<const uint8_t*>(AData);
  Level(FLevel)[AName] = TJson::binary(std::vector<uint8_t>(bytes, bytes + ASize));
}

void TSerializationWriter::WriteNumber(const String& AName, double AValue) { Level(FLevel)[AName] = AValue; }
void TSerializationWriter::WriteInteger(const String& AName, int64_t AValue) { Level(FLevel)[AName] = AValue; }
void TSerializationWriter::WriteBoolean(const String& AName, bool AValue) { Level(FLevel)[AName] = AValue; }
void TSerializationWriter::WriteString(const String& AName, const String& AValue) { Level(FLevel)[AName] = AValue; }

void TSerializationWriter::WriteNested(const String& AName, const std::function<void(TSerializationWriter&)>& AProc) {
  TJson& nested = Level(FLevel)[AName] = TJson::object();
  TSerializationWriter sub(FDocument, &nested);
  AProc(sub);
}

void TSerializationWriter::WriteObjects(const String& AName, const std::vector<TObject*>& AObjects,
                                        const TSerializedObjects& ASelected) {
  TJson array = TJson::array();
  for (TObject* object : AObjects) {
    if (!object) {
      array.push_back(nullptr);
      continue;
    }
    TJson entry = TJson::object();
    entry["class"] = ExactClass(*object)->Name();
    if (auto* serializable = dynamic_cast<ISerializable*>(object)) {
      TJson& data = entry["data"] = TJson::object();
      TSerializationWriter sub(FDocument, &data);
      serializable->SerializationWrite(sub, ASelected);
    } else if (auto* component = dynamic_cast<TComponent*>(object)) {
      entry["component"] = EncodeNode(TWriter().WriteNode(component));
    } else {
      throw EWriteError("Class " + ClassNameOf(*object) + " cannot be serialised");
    }
    array.push_back(std::move(entry));
  }
  Level(FLevel)[AName] = std::move(array);
}

void TSerializationWriter::WriteComponent(const String& AName, TComponent* AComponent) {
  Level(FLevel)[AName] = EncodeNode(TWriter().WriteNode(AComponent));
}

std::vector<uint8_t> TSerializationWriter::ToCBOR() const { return TJson::to_cbor(FDocument->Root); }

String TSerializationWriter::ToJSON(int AIndent) const {
  return FDocument->Root.dump(AIndent, ' ', false, TJson::error_handler_t::replace);
}

void TSerializationWriter::SaveToStream(TStream& AStream) const {
  std::vector<uint8_t> bytes = ToCBOR();
  AStream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

// --- reader

TSerializationReader::TSerializationReader(std::shared_ptr<detail::TSerialDocument> ADocument, const void* ALevel)
    : FDocument(std::move(ADocument)), FLevel(ALevel) {}

TSerializationReader::TSerializationReader(TSerializationReader&&) noexcept = default;
TSerializationReader::~TSerializationReader() = default;

TSerializationReader TSerializationReader::FromCBOR(const uint8_t* AData, size_t ASize) {
  auto document = std::make_shared<detail::TSerialDocument>();
  document->Root = ParseChecked(AData, AData + ASize, nlohmann::json::input_format_t::cbor);
  const void* root = &document->Root;
  return TSerializationReader(std::move(document), root);
}

TSerializationReader TSerializationReader::FromCBOR(const std::vector<uint8_t>& ABytes) {
  return FromCBOR(ABytes.data(), ABytes.size());
}

TSerializationReader TSerializationReader::FromJSON(const String& AText) {
  auto document = std::make_shared<detail::TSerialDocument>();
  document->Root = ParseChecked(AText.data(), AText.data() + AText.size(), nlohmann::json::input_format_t::json);
  const void* root = &document->Root;
  return TSerializationReader(std::move(document), root);
}

TSerializationReader TSerializationReader::FromStream(TStream& AStream) {
  int64_t size = AStream.Size() - AStream.Position();
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max<int64_t>(size, 0)));
  AStream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return FromCBOR(bytes);
}

bool TSerializationReader::Has(const String& AName) const { return Entry(AName) != nullptr; }

const void* TSerializationReader::Entry(const String& AName) const {
  const TJson& level = Level(FLevel);
  auto it = level.find(AName);
  return it == level.end() ? nullptr : &*it;
}

namespace {
[[noreturn]] void WrongKind(const String& AName, const char* AKind) { Fail("Entry " + AName + " is not " + AKind); }
[[noreturn]] void Missing(const String& AName) { Fail("Entry " + AName + " not found"); }
}  // namespace

bool TSerializationReader::ReadBinary(const String& AName,
                                      const std::function<void(const std::vector<uint8_t>&)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  bool binary = false;
  std::vector<uint8_t> bytes = BinaryOf(Level(e), binary);
  if (!binary) WrongKind(AName, "binary");
  AProc(bytes);
  return true;
}

std::vector<uint8_t> TSerializationReader::ReadBinary(const String& AName) const {
  std::vector<uint8_t> result;
  if (!ReadBinary(AName, [&](const std::vector<uint8_t>& ABytes) { result = ABytes; })) Missing(AName);
  return result;
}

bool TSerializationReader::ReadNumber(const String& AName, const std::function<void(double)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  if (!Level(e).is_number()) WrongKind(AName, "a number");
  AProc(Level(e).get<double>());
  return true;
}

double TSerializationReader::ReadNumber(const String& AName) const {
  double result = 0;
  if (!ReadNumber(AName, [&](double AValue) { result = AValue; })) Missing(AName);
  return result;
}

bool TSerializationReader::ReadInteger(const String& AName, const std::function<void(int64_t)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  const TJson& v = Level(e);
  if (!v.is_number_integer() || (v.is_number_unsigned() && v.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)))
    WrongKind(AName, "a 64-bit integer");
  AProc(v.get<int64_t>());
  return true;
}

int64_t TSerializationReader::ReadInteger(const String& AName) const {
  int64_t result = 0;
  if (!ReadInteger(AName, [&](int64_t AValue) { result = AValue; })) Missing(AName);
  return result;
}

bool TSerializationReader::ReadBoolean(const String& AName, const std::function<void(bool)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  if (!Level(e).is_boolean()) WrongKind(AName, "a boolean");
  AProc(Level(e).get<bool>());
  return true;
}

bool TSerializationReader::ReadBoolean(const String& AName) const {
  bool result = false;
  if (!ReadBoolean(AName, [&](bool AValue) { result = AValue; })) Missing(AName);
  return result;
}

bool TSerializationReader::ReadString(const String& AName, const std::function<void(const String&)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  if (!Level(e).is_string()) WrongKind(AName, "a string");
  AProc(Level(e).get_ref<const String&>());
  return true;
}

String TSerializationReader::ReadString(const String& AName) const {
  String result;
  if (!ReadString(AName, [&](const String& AValue) { result = AValue; })) Missing(AName);
  return result;
}

bool TSerializationReader::ReadNested(const String& AName, const std::function<void(TSerializationReader&)>& AProc) const {
  const void* e = Entry(AName);
  if (!e) return false;
  if (!Level(e).is_object()) WrongKind(AName, "a nested entry");
  TSerializationReader sub(FDocument, e);
  sub.FOwner = FOwner;
  AProc(sub);
  return true;
}

bool TSerializationReader::BeginObjects(const String& AName) {
  const void* e = Entry(AName);
  FArray = nullptr;
  FArrayIndex = 0;
  if (!e) return false;
  if (!Level(e).is_array()) WrongKind(AName, "an array of objects");
  FArray = e;
  return true;
}

bool TSerializationReader::More() const { return FArray && FArrayIndex < Level(FArray).size(); }

TObject* TSerializationReader::ReadObject() {
  if (!More()) Fail("No more objects to read");
  const TJson& entry = Level(FArray)[FArrayIndex++];
  if (entry.is_null()) return nullptr;
  if (!entry.is_object()) Fail("Invalid object entry");
  const TJson* className = Member(entry, "class");
  if (!className || !className->is_string()) Fail("Invalid object entry: no class name");
  if (const TJson* component = Member(entry, "component")) {
    TObjectNode node = DecodeNode(*component);
    TReader reader(FOwner);
    return reader.ReadNode(node, nullptr);
  }
  TClass cls = FindClass(className->get<String>());
  const TJson* data = Member(entry, "data");
  if (!data || !data->is_object()) Fail("Invalid object entry: no data for " + cls->Name());
  TObject* object = cls->IsComponent() ? cls->CreateComponent(FOwner) : cls->Create();
  try {
    auto* serializable = dynamic_cast<ISerializable*>(object);
    if (!serializable) Fail("Class " + cls->Name() + " does not serialise itself");
    TSerializationReader sub(FDocument, data);
    sub.FOwner = FOwner;
    serializable->SerializationRead(sub);
  } catch (...) {
    TObject::Free(object);
    throw;
  }
  return object;
}

void TSerializationReader::EndObjects() {
  FArray = nullptr;
  FArrayIndex = 0;
}

TComponent* TSerializationReader::ReadComponent(const String& AName, TComponent* ARoot) {
  const void* e = Entry(AName);
  if (!e) Missing(AName);
  TObjectNode node = DecodeNode(Level(e));
  TReader reader(FOwner);
  return reader.ReadNode(node, ARoot);
}

}  // namespace fundrel
