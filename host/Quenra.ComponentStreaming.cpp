#include "host/Quenra.ComponentStreaming.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <algorithm>
#include <optional>

namespace fundrel {

namespace {

constexpr int kMaxDepth = 200;

bool SameText(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void AppendUtf8(String& AOut, uint32_t ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

// Decodes one UTF-8 sequence at AText[AIndex]; an invalid byte answers itself as a code point
// (Latin-1), so no input is dropped.
uint32_t NextCodePoint(const String& AText, size_t& AIndex) {
  auto b = static_cast<unsigned char>(AText[AIndex]);
  int extra = (b >= 0xC2 && b < 0xE0) ? 1 : (b >= 0xE0 && b < 0xF0) ? 2 : (b >= 0xF0 && b < 0xF5) ? 3 : 0;
  if (extra > 0 && AIndex + static_cast<size_t>(extra) < AText.size()) {
    uint32_t cp = b & (0x3Fu >> extra);
    bool ok = true;
    for (int i = 1; i <= extra && ok; ++i) {
      auto c = static_cast<unsigned char>(AText[AIndex + static_cast<size_t>(i)]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    uint32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    if (ok && cp >= least && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
      AIndex += static_cast<size_t>(extra) + 1;
      return cp;
    }
  }
  ++AIndex;
  return b;
}

String QuoteString(const String& AText) {
  if (AText.empty()) return "''";
  String out;
  bool quoted = false;
  for (size_t i = 0; i < AText.size();) {
    uint32_t cp = NextCodePoint(AText, i);
    if (cp >= 0x20 && cp < 0x7F) {
      if (!quoted) out += '\'';
      quoted = true;
      if (cp == '\'') out += '\'';
      out += static_cast<char>(cp);
      continue;
    }
    if (quoted) out += '\'';
    quoted = false;
    // Characters outside printable ASCII are written as UTF-16 code units, as form files hold them.
    if (cp >= 0x10000) {
      uint32_t v = cp - 0x10000;
      out += "#" + std::to_string(0xD800 + (v >> 10)) + "#" + std::to_string(0xDC00 + (v & 0x3FF));
    } else {
      out += "#" + std::to_string(cp);
    }
  }
  if (quoted) out += '\'';
  return out;
}

String FloatText(double AValue, bool ASingle) {
  if (std::isnan(AValue)) return "NaN";
  if (std::isinf(AValue)) return AValue > 0 ? "Inf" : "-Inf";
  char buf[64];
  auto r = ASingle ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(AValue))
                   : std::to_chars(buf, buf + sizeof buf, AValue);
  String text(buf, r.ptr);
  if (text.find_first_of(".eE") == String::npos) text += ".0";
  return ASingle ? text + "s" : text;
}

bool SpecialFloat(const String& AIdent, double& AValue) {
  if (SameText(AIdent, "NaN")) AValue = std::nan("");
  else if (SameText(AIdent, "Inf")) AValue = HUGE_VAL;
  else if (SameText(AIdent, "-Inf")) AValue = -HUGE_VAL;
  else return false;
  return true;
}

// --- parser

class TTextParser {
 public:
  explicit TTextParser(std::string_view AText) : FText(AText) {}

  TObjectNode ParseRoot() {
    TObjectNode node = ParseObject(0);
    SkipBlanks();
    if (!AtEnd()) Fail("Text after the end of the object");
    return node;
  }

 private:
  [[noreturn]] void Fail(const String& AMessage) const {
    throw EParserError(Format("Line %d: %s", FLine, AMessage.c_str()));
  }
  bool AtEnd() const { return FPos >= FText.size(); }
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
  char PeekAt(size_t AOffset) const { return FPos + AOffset < FText.size() ? FText[FPos + AOffset] : '\0'; }
  void SkipBlanks() {
    while (!AtEnd() && std::isspace(static_cast<unsigned char>(FText[FPos]))) {
      if (FText[FPos] == '\n') ++FLine;
      ++FPos;
    }
  }
  void Expect(char AChar) {
    SkipBlanks();
    if (Peek() != AChar) Fail(String("'") + AChar + "' expected");
    ++FPos;
  }
  String Ident() {
    SkipBlanks();
    if (!IsIdentStart(Peek())) Fail("Identifier expected");
    size_t start = FPos;
    while (IsIdentChar(Peek())) ++FPos;
    return String(FText.substr(start, FPos - start));
  }
  String DottedIdent() {
    String id = Ident();
    while (Peek() == '.' && IsIdentStart(PeekAt(1))) {
      ++FPos;
      id += "." + Ident();
    }
    return id;
  }
  bool PeekKeyword(std::string_view AWord) {
    SkipBlanks();
    size_t end = FPos;
    while (end < FText.size() && IsIdentChar(FText[end])) ++end;
    return end > FPos && SameText(FText.substr(FPos, end - FPos), AWord);
  }
  void CheckDepth(int ADepth) const {
    if (ADepth > kMaxDepth) Fail("Nesting too deep");
  }

  TObjectNode ParseObject(int ADepth) {
    CheckDepth(ADepth);
    SkipBlanks();
    TObjectNode node;
    node.Line = FLine;
    String keyword = Ident();
    if (!SameText(keyword, "object") && !SameText(keyword, "inherited") && !SameText(keyword, "inline"))
      Fail("'object' expected");
    String first = Ident();
    SkipBlanks();
    if (Peek() == ':') {
      ++FPos;
      node.Name = first;
      node.ClassName = Ident();
    } else {
      node.ClassName = first;
    }
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("'end' expected");
      if (PeekKeyword("end")) {
        Ident();
        break;
      }
      if (PeekKeyword("object") || PeekKeyword("inherited") || PeekKeyword("inline")) {
        node.Children.push_back(ParseObject(ADepth + 1));
        continue;
      }
      node.Properties.push_back(ParseProperty(ADepth + 1));
    }
    return node;
  }

  TPropertyNode ParseProperty(int ADepth) {
    TPropertyNode prop;
    SkipBlanks();
    prop.Line = FLine;
    prop.Path = DottedIdent();
    Expect('=');
    prop.Value = ParseValue(ADepth);
    return prop;
  }

  TStreamValue ParseValue(int ADepth) {
    CheckDepth(ADepth);
    SkipBlanks();
    TStreamValue v;
    char c = Peek();
    if (AtEnd()) Fail("Value expected");
    if (c == '[') {
      ++FPos;
      v.Type = TValueType::vaSet;
      SkipBlanks();
      if (Peek() == ']') {
        ++FPos;
        return v;
      }
      for (;;) {
        TStreamValue e;
        e.Type = TValueType::vaIdent;
        e.Text = Ident();
        v.Elements.push_back(std::move(e));
        SkipBlanks();
        if (Peek() == ']') {
          ++FPos;
          return v;
        }
        Expect(',');
      }
    }
    if (c == '(') {
      ++FPos;
      v.Type = TValueType::vaList;
      for (;;) {
        SkipBlanks();
        if (Peek() == ')') {
          ++FPos;
          return v;
        }
        v.Elements.push_back(ParseValue(ADepth + 1));
      }
    }
    if (c == '<') {
      ++FPos;
      v.Type = TValueType::vaCollection;
      for (;;) {
        SkipBlanks();
        if (Peek() == '>') {
          ++FPos;
          return v;
        }
        if (!PeekKeyword("item")) Fail("'item' expected");
        Ident();
        TItemNode item;
        SkipBlanks();
        if (Peek() == ':') {
          ++FPos;
          item.ClassName = Ident();
        }
        for (;;) {
          SkipBlanks();
          if (AtEnd()) Fail("'end' expected");
          if (PeekKeyword("end")) {
            Ident();
            break;
          }
          item.Properties.push_back(ParseProperty(ADepth + 1));
        }
        v.Items.push_back(std::move(item));
      }
    }
    if (c == '{') {
      ++FPos;
      v.Type = TValueType::vaBinary;
      int pending = -1;
      for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail("'}' expected");
        char h = FText[FPos++];
        if (h == '}') break;
        int d = std::isdigit(static_cast<unsigned char>(h)) ? h - '0'
                : (h >= 'a' && h <= 'f')                    ? h - 'a' + 10
                : (h >= 'A' && h <= 'F')                    ? h - 'A' + 10
                                                            : -1;
        if (d < 0) Fail("Invalid binary value");
        if (pending < 0) {
          pending = d;
        } else {
          v.Text += static_cast<char>(pending * 16 + d);
          pending = -1;
        }
      }
      if (pending >= 0) Fail("Invalid binary value");
      return v;
    }
    if (c == '\'' || c == '#') return ParseString();
    if (c == '-' && IsIdentStart(PeekAt(1))) {
      ++FPos;
      v.Type = TValueType::vaIdent;
      v.Text = "-" + Ident();
      return v;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '$') return ParseNumber();
    if (IsIdentStart(c)) {
      v.Text = DottedIdent();
      v.Type = SameText(v.Text, "True")    ? TValueType::vaTrue
               : SameText(v.Text, "False") ? TValueType::vaFalse
               : SameText(v.Text, "nil")   ? TValueType::vaNil
                                           : TValueType::vaIdent;
      return v;
    }
    Fail(String("Invalid value starting with '") + c + "'");
  }

  TStreamValue ParseNumber() {
    TStreamValue v;
    size_t start = FPos;
    bool negative = Peek() == '-';
    if (Peek() == '-' || Peek() == '+') ++FPos;
    if (Peek() == '$') {
      ++FPos;
      size_t digits = FPos;
      uint64_t value = 0;
      while (std::isxdigit(static_cast<unsigned char>(Peek()))) {
        if (FPos - digits >= 16) Fail("Integer out of range");
        char h = FText[FPos++];
        value = value * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (h | 0x20) - 'a' + 10);
      }
      if (FPos == digits) Fail("Hexadecimal digits expected");
      v.Type = TValueType::vaInt;
      v.Int = static_cast<int64_t>(negative ? 0 - value : value);
      return v;
    }
    size_t digits = FPos;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) ++FPos;
    if (FPos == digits) Fail("Number expected");
    bool isFloat = false;
    if (Peek() == '.' && std::isdigit(static_cast<unsigned char>(PeekAt(1)))) {
      isFloat = true;
      ++FPos;
      while (std::isdigit(static_cast<unsigned char>(Peek()))) ++FPos;
    }
    if ((Peek() == 'e' || Peek() == 'E') &&
        (std::isdigit(static_cast<unsigned char>(PeekAt(1))) ||
         ((PeekAt(1) == '-' || PeekAt(1) == '+') && std::isdigit(static_cast<unsigned char>(PeekAt(2)))))) {
      isFloat = true;
      FPos += 2;
      while (std::isdigit(static_cast<unsigned char>(Peek()))) ++FPos;
    }
    const char* first = FText.data() + start + (FText[start] == '+' ? 1 : 0);
    const char* last = FText.data() + FPos;
    if (isFloat) {
      v.Type = TValueType::vaExtended;
      auto r = std::from_chars(first, last, v.Float);
      if (r.ec != std::errc() || r.ptr != last) Fail("Invalid floating point number");
      char suffix = static_cast<char>(std::tolower(static_cast<unsigned char>(Peek())));
      if ((suffix == 's' || suffix == 'c' || suffix == 'd') && !IsIdentChar(PeekAt(1))) {
        ++FPos;
        if (suffix == 's') v.Type = TValueType::vaSingle;
      }
      return v;
    }
    v.Type = TValueType::vaInt;
    auto r = std::from_chars(first, last, v.Int);
    if (r.ec != std::errc() || r.ptr != last) Fail("Integer out of range");
    return v;
  }

  TStreamValue ParseString() {
    TStreamValue v;
    v.Type = TValueType::vaString;
    uint32_t high = 0;  // a pending UTF-16 high surrogate
    auto flush = [&] {
      if (high) AppendUtf8(v.Text, 0xFFFD);
      high = 0;
    };
    for (;;) {
      while (Peek() == '\'' || Peek() == '#') {
        if (Peek() == '\'') {
          flush();
          ++FPos;
          for (;;) {
            if (AtEnd() || Peek() == '\n') Fail("Unterminated string");
            char ch = FText[FPos++];
            if (ch == '\'') {
              if (Peek() != '\'') break;
              ++FPos;
            }
            v.Text += ch;
          }
          continue;
        }
        ++FPos;
        uint64_t code = 0;
        size_t digits;
        if (Peek() == '$') {
          ++FPos;
          digits = FPos;
          while (std::isxdigit(static_cast<unsigned char>(Peek())) && code <= 0x10FFFF) {
            char h = FText[FPos++];
            code = code * 16 + static_cast<uint64_t>(std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (h | 0x20) - 'a' + 10);
          }
        } else {
          digits = FPos;
          while (std::isdigit(static_cast<unsigned char>(Peek())) && code <= 0x10FFFF)
            code = code * 10 + static_cast<uint64_t>(FText[FPos++] - '0');
        }
        if (FPos == digits) Fail("Character code expected");
        if (code > 0x10FFFF) Fail("Character code out of range");
        auto cp = static_cast<uint32_t>(code);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          flush();
          high = cp;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          AppendUtf8(v.Text, high ? 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00) : 0xFFFD);
          high = 0;
        } else {
          flush();
          AppendUtf8(v.Text, cp);
        }
      }
      // Long strings continue on the next line after a '+'.
      size_t save = FPos;
      int32_t saveLine = FLine;
      SkipBlanks();
      if (Peek() == '+') {
        ++FPos;
        SkipBlanks();
        if (Peek() != '\'' && Peek() != '#') Fail("String expected");
        continue;
      }
      FPos = save;
      FLine = saveLine;
      break;
    }
    flush();
    return v;
  }

  std::string_view FText;
  size_t FPos = 0;
  int32_t FLine = 1;
};

// --- formatter

String Pad(int AIndent) { return String(static_cast<size_t>(AIndent) * 2, ' '); }

void FormatValue(const TStreamValue& AValue, int AIndent, String& AOut);

void FormatProperty(const TPropertyNode& AProp, int AIndent, String& AOut) {
  AOut += Pad(AIndent) + AProp.Path + " = ";
  FormatValue(AProp.Value, AIndent, AOut);
  AOut += '\n';
}

void FormatValue(const TStreamValue& AValue, int AIndent, String& AOut) {
  static const char* kHex = "0123456789ABCDEF";
  switch (AValue.Type) {
    case TValueType::vaNull:
      throw EWriteError("Cannot write an empty value");
    case TValueType::vaInt:
      AOut += std::to_string(AValue.Int);
      break;
    case TValueType::vaExtended:
      AOut += FloatText(AValue.Float, false);
      break;
    case TValueType::vaSingle:
      AOut += FloatText(AValue.Float, true);
      break;
    case TValueType::vaString:
      AOut += QuoteString(AValue.Text);
      break;
    case TValueType::vaIdent:
      AOut += AValue.Text;
      break;
    case TValueType::vaFalse:
      AOut += "False";
      break;
    case TValueType::vaTrue:
      AOut += "True";
      break;
    case TValueType::vaNil:
      AOut += "nil";
      break;
    case TValueType::vaSet:
      AOut += '[';
      for (size_t i = 0; i < AValue.Elements.size(); ++i) AOut += (i ? ", " : "") + AValue.Elements[i].Text;
      AOut += ']';
      break;
    case TValueType::vaList:
      AOut += '(';
      for (const TStreamValue& e : AValue.Elements) {
        AOut += '\n' + Pad(AIndent + 1);
        FormatValue(e, AIndent + 1, AOut);
      }
      AOut += ')';
      break;
    case TValueType::vaBinary:
      AOut += '{';
      for (size_t i = 0; i < AValue.Text.size(); ++i) {
        if (i % 32 == 0) AOut += '\n' + Pad(AIndent + 1);
        auto b = static_cast<unsigned char>(AValue.Text[i]);
        AOut += kHex[b >> 4];
        AOut += kHex[b & 15];
      }
      AOut += '}';
      break;
    case TValueType::vaCollection:
      AOut += '<';
      for (const TItemNode& item : AValue.Items) {
        AOut += '\n' + Pad(AIndent + 1) + "item";
        if (!item.ClassName.empty()) AOut += ": " + item.ClassName;
        AOut += '\n';
        for (const TPropertyNode& p : item.Properties) FormatProperty(p, AIndent + 2, AOut);
        AOut += Pad(AIndent + 1) + "end";
      }
      AOut += '>';
      break;
  }
}

void FormatObject(const TObjectNode& ANode, int AIndent, String& AOut) {
  AOut += Pad(AIndent) + "object " + (ANode.Name.empty() ? "" : ANode.Name + ": ") + ANode.ClassName + '\n';
  for (const TPropertyNode& p : ANode.Properties) FormatProperty(p, AIndent + 1, AOut);
  for (const TObjectNode& c : ANode.Children) FormatObject(c, AIndent + 1, AOut);
  AOut += Pad(AIndent) + "end\n";
}

// The class to write for AObject: its own declaration, or the object could not be read back as itself.
TClass ExactClass(const TObject& AObject) {
  TClass cls = ClassOf(AObject);
  if (!cls || cls->TypeKey() != typeid(AObject).name())
    throw EWriteError("Class " + ClassNameOf(AObject) + " has no class declaration and cannot be written");
  return cls;
}

[[noreturn]] void FailAt(const String& AWhere, const String& AMessage) {
  throw EReadError("Error reading " + AWhere + ": " + AMessage);
}

}  // namespace

TObjectNode ParseObjectText(std::string_view AText) { return TTextParser(AText).ParseRoot(); }

String FormatObjectText(const TObjectNode& ANode) {
  String out;
  FormatObject(ANode, 0, out);
  return out;
}

// --- filers

class TWriterFiler : public TFiler {
 public:
  struct TEntry {
    String Name;
    TWriterProc Write;
    TStreamProc WriteBinary;
  };
  explicit TWriterFiler(TWriter& AWriter) : FWriter(AWriter) {}
  void DefineProperty(const String& AName, TReaderProc, TWriterProc AWriteData, bool AHasData) override {
    if (AHasData && AWriteData) Entries.push_back({AName, std::move(AWriteData), {}});
  }
  void DefineBinaryProperty(const String& AName, TStreamProc, TStreamProc AWriteData, bool AHasData) override {
    if (AHasData && AWriteData) Entries.push_back({AName, {}, std::move(AWriteData)});
  }
  TWriter* Writer() override { return &FWriter; }
  std::vector<TEntry> Entries;

 private:
  TWriter& FWriter;
};

class TReaderFiler : public TFiler {
 public:
  struct TEntry {
    String Name;
    TReaderProc Read;
    TStreamProc ReadBinary;
    bool Binary;
  };
  explicit TReaderFiler(TReader& AReader) : FReader(AReader) {}
  void DefineProperty(const String& AName, TReaderProc AReadData, TWriterProc, bool) override {
    Entries.push_back({AName, std::move(AReadData), {}, false});
  }
  void DefineBinaryProperty(const String& AName, TStreamProc AReadData, TStreamProc, bool) override {
    Entries.push_back({AName, {}, std::move(AReadData), true});
  }
  TReader* Reader() override { return &FReader; }
  std::vector<TEntry> Entries;

 private:
  TReader& FReader;
};

// --- writer

TStreamValue TWriter::Value(TValueType AType, int64_t AInt) {
  TStreamValue v;
  v.Type = AType;
  v.Int = AInt;
  return v;
}

void TWriter::Put(TStreamValue AValue) {
  if (FTargets.empty()) throw EWriteError("Values are written only inside a defined property");
  FTargets.back()->push_back(std::move(AValue));
}

void TWriter::WriteFloat(double AValue) {
  TStreamValue v = Value(TValueType::vaExtended, 0);
  v.Float = AValue;
  Put(std::move(v));
}

void TWriter::WriteSingle(float AValue) {
  TStreamValue v = Value(TValueType::vaSingle, 0);
  v.Float = AValue;
  Put(std::move(v));
}

void TWriter::WriteString(const String& AValue) {
  TStreamValue v = Value(TValueType::vaString, 0);
  v.Text = AValue;
  Put(std::move(v));
}

void TWriter::WriteIdent(const String& AValue) {
  TStreamValue v = Value(TValueType::vaIdent, 0);
  v.Text = AValue;
  Put(std::move(v));
}

void TWriter::WriteListBegin() {
  Put(Value(TValueType::vaList, 0));
  FTargets.push_back(&FTargets.back()->back().Elements);
}

void TWriter::WriteListEnd() {
  if (FTargets.size() < 2) throw EWriteError("WriteListEnd without WriteListBegin");
  FTargets.pop_back();
}

void TWriter::WriteDescendent(TComponent* ARoot) {
  Assert(FStream != nullptr, "TWriter::WriteDescendent needs a stream");
  String text = FormatObjectText(WriteNode(ARoot));
  FStream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

TObjectNode TWriter::WriteNode(TComponent* ARoot) {
  FRoot = ARoot;
  return WriteComponentNode(ARoot);
}

TObjectNode TWriter::WriteComponentNode(TComponent* AComponent) {
  TClass cls = ExactClass(*AComponent);
  bool wasWriting = AComponent->IsWriting();
  AComponent->SetWriting(true);
  TObjectNode node;
  try {
    node.Name = AComponent->Name();
    node.ClassName = cls->Name();
    WriteProperties(*AComponent, String(), node.Properties, 0);
    AComponent->GetChildren([&](TComponent* AChild) { node.Children.push_back(WriteComponentNode(AChild)); }, FRoot);
  } catch (...) {
    AComponent->SetWriting(wasWriting);
    throw;
  }
  AComponent->SetWriting(wasWriting);
  return node;
}

String TWriter::ReferenceName(TComponent* AComponent) const {
  if (AComponent->Name().empty()) throw EWriteError("Cannot write a reference to an unnamed " + ClassNameOf(*AComponent));
  if (AComponent == FRoot || AComponent->Owner() == FRoot || !AComponent->Owner()) return AComponent->Name();
  if (AComponent->Owner()->Name().empty())
    throw EWriteError("Cannot write a reference to " + AComponent->Name() + " inside an unnamed owner");
  return AComponent->Owner()->Name() + "." + AComponent->Name();
}

void TWriter::WriteProperties(TObject& AObject, const String& APrefix, std::vector<TPropertyNode>& AOut, int ADepth) {
  if (ADepth > 32) throw EWriteError("Nested properties too deep at " + APrefix);
  TClass cls = ClassOf(AObject);
  for (const TPropInfo* p : cls->Properties()) {
    if (p->Kind == TTypeKind::tkMethod || !p->IsReadable() || !p->IsStored(AObject)) continue;
    TPropertyNode node;
    node.Path = APrefix + p->Name;
    TStreamValue& v = node.Value;
    switch (p->Kind) {
      case TTypeKind::tkClass: {
        TObject* value = p->GetObject(AObject);
        if (!value) continue;
        if (auto* component = dynamic_cast<TComponent*>(value)) {
          if (!p->IsWritable()) continue;
          v.Type = TValueType::vaIdent;
          v.Text = ReferenceName(component);
        } else if (auto* collection = dynamic_cast<TLockCollection*>(value)) {
          if (collection->Count() == 0) continue;
          v = WriteCollection(*collection, ADepth + 1);
        } else {
          WriteProperties(*value, node.Path + ".", AOut, ADepth + 1);
          continue;
        }
        break;
      }
      case TTypeKind::tkInteger:
      case TTypeKind::tkEnumeration:
      case TTypeKind::tkSet:
      case TTypeKind::tkFloat:
      case TTypeKind::tkString:
        if (!p->IsWritable() || p->IsDefaultValue(AObject)) continue;
        if (p->Kind == TTypeKind::tkInteger) {
          v = Value(TValueType::vaInt, p->GetOrd(AObject));
        } else if (p->Kind == TTypeKind::tkEnumeration) {
          int64_t ord = p->GetOrd(AObject);
          if (p->EnumType == detail::BooleanEnum()) {
            v.Type = ord ? TValueType::vaTrue : TValueType::vaFalse;
          } else {
            v.Type = TValueType::vaIdent;
            v.Text = GetEnumName(*p->EnumType, ord);
            if (v.Text.empty()) throw EWriteError(Format("Property %s holds %lld, which is no %s", node.Path.c_str(),
                                                         static_cast<long long>(ord), p->EnumType->Name.c_str()));
          }
        } else if (p->Kind == TTypeKind::tkSet) {
          v.Type = TValueType::vaSet;
          auto mask = static_cast<uint64_t>(p->GetOrd(AObject));
          for (size_t i = 0; i < p->EnumType->Identifiers.size() && i < 64; ++i)
            if (mask & (uint64_t(1) << i)) {
              TStreamValue e;
              e.Type = TValueType::vaIdent;
              e.Text = p->EnumType->Identifiers[i];
              v.Elements.push_back(std::move(e));
            }
        } else if (p->Kind == TTypeKind::tkFloat) {
          v.Type = p->FloatType == TFloatType::ftSingle ? TValueType::vaSingle : TValueType::vaExtended;
          v.Float = p->GetFloat(AObject);
        } else {
          v.Type = TValueType::vaString;
          v.Text = p->GetStr(AObject);
        }
        break;
      default:
        continue;
    }
    AOut.push_back(std::move(node));
  }

  auto* persistent = dynamic_cast<TPersistent*>(&AObject);
  if (!persistent) return;
  TWriterFiler filer(*this);
  persistent->DefineProperties(filer);
  for (auto& entry : filer.Entries) {
    TPropertyNode node;
    node.Path = APrefix + entry.Name;
    if (entry.WriteBinary) {
      TMemoryStream bytes;
      entry.WriteBinary(bytes);
      node.Value.Type = TValueType::vaBinary;
      node.Value.Text.assign(reinterpret_cast<const char*>(bytes.Memory()), bytes.Bytes().size());
    } else {
      std::vector<TStreamValue> values;
      FTargets.assign(1, &values);
      try {
        entry.Write(*this);
      } catch (...) {
        FTargets.clear();
        throw;
      }
      bool balanced = FTargets.size() == 1;
      FTargets.clear();
      if (!balanced) throw EWriteError("Defined property " + node.Path + " left a list open");
      if (values.size() != 1) throw EWriteError("Defined property " + node.Path + " must write exactly one value");
      node.Value = std::move(values.front());
    }
    AOut.push_back(std::move(node));
  }
}

TStreamValue TWriter::WriteCollection(TLockCollection& ACollection, int ADepth) {
  TStreamValue v;
  v.Type = TValueType::vaCollection;
  for (int32_t i = 0; i < ACollection.Count(); ++i) {
    TLockCollectionItem* item = ACollection.Items(i);
    TItemNode node;
    if (typeid(*item) != ACollection.ItemType()) node.ClassName = ExactClass(*item)->Name();
    WriteProperties(*item, String(), node.Properties, ADepth);
    v.Items.push_back(std::move(node));
  }
  return v;
}

// --- reader

TComponent* TReader::ReadRootComponent(TComponent* ARoot) {
  Assert(FStream != nullptr, "TReader::ReadRootComponent needs a stream");
  int64_t size = FStream->Size() - FStream->Position();
  String text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  FStream->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return ReadNode(ParseObjectText(text), ARoot);
}

TComponent* TReader::ReadNode(const TObjectNode& node, TComponent* ARoot) {
  Assert(!FRoot, "A reader reads one tree");
  std::optional<TComponentLoadScope> scope(std::in_place);
  bool ownRoot = !ARoot;
  try {
    if (ownRoot) {
      TClass cls = FindClass(node.ClassName);
      if (!cls->IsComponent()) FailAt(node.ClassName, "Class " + cls->Name() + " is not a component");
      ARoot = cls->CreateComponent(FRootOwner);
      FCreated.push_back(ARoot);
    } else {
      ARoot->SetLoading(true);
    }
    FRoot = ARoot;
    FOwner = ARoot;
    FLoaded.push_back(ARoot);
    FPath = node.Name.empty() ? node.ClassName : node.Name;
    if (!node.Name.empty()) {
      try {
        ARoot->SetName(node.Name);
      } catch (const EComponentError& e) {
        FailAt(FPath, e.Message());
      }
    }
    FNode = &node;
    ARoot->ReadState(*this);
    ResolveFixups();
  } catch (...) {
    // Last made first: whatever a later component owns is gone before its owner goes.
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) TObject::Free(*it);
    if (!ownRoot) ARoot->SetLoading(false);
    throw;
  }
  // Components that Loaded makes start normally.
  scope.reset();
  try {
    for (TComponent* c : FLoaded) c->Loaded();
  } catch (...) {
    if (ownRoot) TObject::Free(ARoot);
    throw;
  }
  return ARoot;
}

void TReader::ReadData(TComponent* AInstance) {
  const TObjectNode* node = FNode;
  String path = FPath;
  for (const TPropertyNode& p : node->Properties) ReadProperty(*AInstance, p, path);
  TComponent* oldParent = FParent;
  TComponent* oldOwner = FOwner;
  FParent = AInstance->GetChildParent();
  FOwner = AInstance->GetChildOwner();
  if (!FOwner) FOwner = FRoot;
  try {
    for (const TObjectNode& child : node->Children) ReadComponentNode(child);
  } catch (...) {
    FParent = oldParent;
    FOwner = oldOwner;
    throw;
  }
  FParent = oldParent;
  FOwner = oldOwner;
  FNode = node;
  FPath = path;
}

TComponent* TReader::ReadComponentNode(const TObjectNode& ANode) {
  TClass cls = FindClass(ANode.ClassName);
  String path = FPath + "." + (ANode.Name.empty() ? ANode.ClassName : ANode.Name);
  if (!cls->IsComponent()) FailAt(path, "Class " + cls->Name() + " is not a component");
  TComponent* component = nullptr;
  // A component its owner made already (a sub-component, or a second read into the same root)
  // is read into rather than made again.
  if (!ANode.Name.empty() && FOwner)
    if (TComponent* existing = FOwner->FindComponent(ANode.Name))
      if (ClassOf(*existing) == cls && std::find(FCreated.begin(), FCreated.end(), existing) == FCreated.end())
        component = existing;
  if (component) {
    component->SetLoading(true);
  } else {
    component = cls->CreateComponent(FOwner);
    FCreated.push_back(component);
    try {
      if (!ANode.Name.empty()) component->SetName(ANode.Name);
    } catch (const EComponentError& e) {
      FailAt(path, e.Message());
    }
  }
  FLoaded.push_back(component);
  if (FParent) component->SetParentComponent(FParent);
  const TObjectNode* oldNode = FNode;
  String oldPath = FPath;
  FNode = &ANode;
  FPath = path;
  component->ReadState(*this);
  FNode = oldNode;
  FPath = oldPath;
  return component;
}

void TReader::ReadProperty(TObject& AInstance, const TPropertyNode& AProp, const String& AWhere) {
  String where = AWhere + "." + AProp.Path;
  try {
    TObject* target = &AInstance;
    size_t start = 0;
    for (size_t dot; (dot = AProp.Path.find('.', start)) != String::npos; start = dot + 1) {
      String name = AProp.Path.substr(start, dot - start);
      const TPropInfo* p = ClassOf(*target)->FindProperty(name);
      if (!p || p->Kind != TTypeKind::tkClass) FailAt(where, "Property " + name + " does not exist");
      target = p->GetObject(*target);
      if (!target) FailAt(where, "Property " + name + " is nil");
    }
    String name = AProp.Path.substr(start);
    if (const TPropInfo* p = ClassOf(*target)->FindProperty(name)) {
      if (!p->IsWritable() && p->Kind != TTypeKind::tkClass) FailAt(where, "Property " + name + " is read-only");
      ReadValue(*target, *p, AProp.Value, where);
    } else if (!ReadDefined(*target, name, AProp.Value)) {
      FailAt(where, "Property " + name + " does not exist in " + ClassOf(*target)->Name());
    }
  } catch (const EClassNotFound&) {
    throw;
  } catch (const Exception& e) {
    if (e.Message().rfind("Error reading ", 0) == 0) throw;
    FailAt(where, e.Message());
  }
}

void TReader::ReadValue(TObject& AInstance, const TPropInfo& AInfo, const TStreamValue& AValue, const String& AWhere) {
  switch (AInfo.Kind) {
    case TTypeKind::tkInteger:
      if (AValue.Type != TValueType::vaInt) FailAt(AWhere, "Integer value expected");
      AInfo.SetOrd(AInstance, AValue.Int);
      return;
    case TTypeKind::tkEnumeration: {
      if (AInfo.EnumType == detail::BooleanEnum() &&
          (AValue.Type == TValueType::vaTrue || AValue.Type == TValueType::vaFalse)) {
        AInfo.SetOrd(AInstance, AValue.Type == TValueType::vaTrue);
        return;
      }
      if (AValue.Type != TValueType::vaIdent) FailAt(AWhere, "Identifier expected");
      int64_t v = GetEnumValue(*AInfo.EnumType, AValue.Text);
      if (v < 0) FailAt(AWhere, "Invalid property value " + AValue.Text);
      AInfo.SetOrd(AInstance, v);
      return;
    }
    case TTypeKind::tkSet: {
      if (AValue.Type != TValueType::vaSet) FailAt(AWhere, "Set value expected");
      uint64_t mask = 0;
      for (const TStreamValue& e : AValue.Elements) {
        int64_t v = GetEnumValue(*AInfo.EnumType, e.Text);
        if (v < 0 || v >= 64) FailAt(AWhere, "Invalid property element " + e.Text);
        mask |= uint64_t(1) << v;
      }
      AInfo.SetOrd(AInstance, static_cast<int64_t>(mask));
      return;
    }
    case TTypeKind::tkFloat: {
      double v = 0;
      if (AValue.Type == TValueType::vaInt)
        v = static_cast<double>(AValue.Int);
      else if (AValue.Type == TValueType::vaExtended || AValue.Type == TValueType::vaSingle)
        v = AValue.Float;
      else if (AValue.Type != TValueType::vaIdent || !SpecialFloat(AValue.Text, v))
        FailAt(AWhere, "Floating point value expected");
      AInfo.SetFloat(AInstance, v);
      return;
    }
    case TTypeKind::tkString:
      if (AValue.Type != TValueType::vaString) FailAt(AWhere, "String value expected");
      AInfo.SetStr(AInstance, AValue.Text);
      return;
    case TTypeKind::tkClass:
      if (AValue.Type == TValueType::vaCollection) {
        auto* collection = dynamic_cast<TLockCollection*>(AInfo.GetObject(AInstance));
        if (!collection) FailAt(AWhere, "Property " + AInfo.Name + " is not a collection");
        ReadCollection(*collection, AValue, AWhere);
      } else if (AValue.Type == TValueType::vaNil) {
        AInfo.SetObject(AInstance, nullptr);
      } else if (AValue.Type == TValueType::vaIdent && AInfo.IsWritable() && AInfo.ClassType()->IsComponent()) {
        FFixups.push_back({&AInstance, &AInfo, AValue.Text, AWhere});
      } else {
        FailAt(AWhere, "Invalid value for property " + AInfo.Name);
      }
      return;
    case TTypeKind::tkMethod:
      FailAt(AWhere, "Event " + AInfo.Name + " is not read from a stream");
  }
}

void TReader::ReadCollection(TLockCollection& ACollection, const TStreamValue& AValue, const String& AWhere) {
  TClass base = ClassOfType(ACollection.ItemType());
  ACollection.BeginUpdate();
  try {
    ACollection.Clear();
    for (size_t i = 0; i < AValue.Items.size(); ++i) {
      const TItemNode& node = AValue.Items[i];
      String where = AWhere + "[" + std::to_string(i) + "]";
      TLockCollectionItem* item = nullptr;
      if (node.ClassName.empty()) {
        item = ACollection.Add();
      } else {
        TClass cls = FindClass(node.ClassName);
        if (base && !cls->InheritsFrom(base)) FailAt(where, "Class " + cls->Name() + " is no " + base->Name());
        item = cls->CreateItem(&ACollection);
      }
      if (!item) FailAt(where, "The collection refused a new item");
      for (const TPropertyNode& p : node.Properties) ReadProperty(*item, p, where);
    }
  } catch (...) {
    ACollection.EndUpdate();
    throw;
  }
  ACollection.EndUpdate();
}

bool TReader::ReadDefined(TObject& AInstance, const String& AName, const TStreamValue& AValue) {
  auto* persistent = dynamic_cast<TPersistent*>(&AInstance);
  if (!persistent) return false;
  TReaderFiler filer(*this);
  persistent->DefineProperties(filer);
  for (auto& entry : filer.Entries) {
    if (!SameText(entry.Name, AName)) continue;
    if (entry.Binary) {
      if (AValue.Type != TValueType::vaBinary) throw EReadError("Binary value expected");
      TMemoryStream bytes(std::vector<uint8_t>(AValue.Text.begin(), AValue.Text.end()));
      if (entry.ReadBinary) entry.ReadBinary(bytes);
      return true;
    }
    if (!entry.Read) return true;
    std::vector<TStreamValue> single{AValue};
    size_t depth = FCursors.size();
    FCursors.push_back({&single, 0});
    try {
      entry.Read(*this);
    } catch (...) {
      FCursors.resize(depth);
      throw;
    }
    bool complete = FCursors.size() == depth + 1 && FCursors.back().Index == 1;
    FCursors.resize(depth);
    if (!complete) throw EReadError("Defined property " + AName + " was not read completely");
    return true;
  }
  return false;
}

void TReader::ResolveFixups() {
  for (const TFixup& f : FFixups) {
    TComponent* target = nullptr;
    if (SameText(f.Name, FRoot->Name())) {
      target = FRoot;
    } else {
      target = FRoot;
      size_t start = 0;
      for (;;) {
        size_t dot = f.Name.find('.', start);
        target = target ? target->FindComponent(f.Name.substr(start, dot == String::npos ? dot : dot - start)) : nullptr;
        if (dot == String::npos) break;
        start = dot + 1;
      }
    }
    if (!target) FailAt(f.Where, "Invalid component reference " + f.Name);
    try {
      f.Info->SetObject(*f.Instance, target);
    } catch (const Exception& e) {
      FailAt(f.Where, e.Message());
    }
  }
  FFixups.clear();
}

const TStreamValue& TReader::Take(const char* AExpected) {
  if (FCursors.empty()) throw EReadError("Values are read only inside a defined property");
  TCursor& c = FCursors.back();
  if (c.Index >= c.List->size()) throw EReadError(String(AExpected) + " expected, found the end of the list");
  return (*c.List)[c.Index++];
}

TValueType TReader::NextValue() const {
  if (FCursors.empty()) return TValueType::vaNull;
  const TCursor& c = FCursors.back();
  return c.Index < c.List->size() ? (*c.List)[c.Index].Type : TValueType::vaNull;
}

int64_t TReader::ReadInt64() {
  const TStreamValue& v = Take("Integer");
  if (v.Type != TValueType::vaInt) throw EReadError("Integer value expected");
  return v.Int;
}

int32_t TReader::ReadInteger() {
  int64_t v = ReadInt64();
  if (v < INT32_MIN || v > INT32_MAX) throw EReadError("Integer value out of range");
  return static_cast<int32_t>(v);
}

double TReader::ReadFloat() {
  const TStreamValue& v = Take("Floating point value");
  double result = 0;
  if (v.Type == TValueType::vaInt) return static_cast<double>(v.Int);
  if (v.Type == TValueType::vaExtended || v.Type == TValueType::vaSingle) return v.Float;
  if (v.Type == TValueType::vaIdent && SpecialFloat(v.Text, result)) return result;
  throw EReadError("Floating point value expected");
}

String TReader::ReadString() {
  const TStreamValue& v = Take("String");
  if (v.Type != TValueType::vaString) throw EReadError("String value expected");
  return v.Text;
}

String TReader::ReadIdent() {
  const TStreamValue& v = Take("Identifier");
  switch (v.Type) {
    case TValueType::vaIdent:
      return v.Text;
    case TValueType::vaTrue:
      return "True";
    case TValueType::vaFalse:
      return "False";
    case TValueType::vaNil:
      return "nil";
    default:
      throw EReadError("Identifier expected");
  }
}

bool TReader::ReadBoolean() {
  const TStreamValue& v = Take("Boolean");
  if (v.Type != TValueType::vaTrue && v.Type != TValueType::vaFalse) throw EReadError("Boolean value expected");
  return v.Type == TValueType::vaTrue;
}

void TReader::ReadListBegin() {
  const TStreamValue& v = Take("List");
  if (v.Type != TValueType::vaList) throw EReadError("List expected");
  FCursors.push_back({&v.Elements, 0});
}

bool TReader::EndOfList() const { return NextValue() == TValueType::vaNull; }

void TReader::ReadListEnd() {
  if (FCursors.size() < 2) throw EReadError("ReadListEnd without ReadListBegin");
  if (!EndOfList()) throw EReadError("List end expected");
  FCursors.pop_back();
}

void TReader::SkipValue() { Take("Value"); }

void TComponent::ReadState(TReader& AReader) { AReader.ReadData(this); }

void WriteComponent(TStream& AStream, TComponent* AInstance) {
  TWriter writer(AStream);
  writer.WriteDescendent(AInstance);
}

TComponent* ReadComponent(TStream& AStream, TComponent* AInstance, TComponent* AOwner) {
  TReader reader(AStream, AOwner);
  return reader.ReadRootComponent(AInstance);
}

String ComponentToString(TComponent* AInstance) {
  TMemoryStream stream;
  WriteComponent(stream, AInstance);
  return String(reinterpret_cast<const char*>(stream.Memory()), stream.Bytes().size());
}

TComponent* StringToComponent(const String& AText, TComponent* AInstance, TComponent* AOwner) {
  TMemoryStream stream(std::vector<uint8_t>(AText.begin(), AText.end()));
  return ReadComponent(stream, AInstance, AOwner);
}

}  // namespace fundrel
