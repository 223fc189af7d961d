#include "scene/components/ComponentStreams.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/BinaryStream.h"

// Sections:
//   TComponent's streaming
//   TWriter
//   TReader
//   Property helpers
//   Byte strings

namespace qira {

namespace {

constexpr int32_t kSignatureLength = 4;
const char kInvalidStreamFormat[] = "Invalid stream format";
const char kInvalidPropertyValue[] = "Invalid property value";

}  // namespace

// [SECTION] TComponent's streaming

void TComponent::ReadState(TReader& reader) { reader.ReadData(*this); }

void TComponent::WriteState(TWriter& writer) { writer.WriteData(*this); }

// [SECTION] TWriter

void TWriter::WriteRootComponent(TComponent& root) {
  SetRoot(&root);
  Write(kComponentStreamSignature, kSignatureLength);
  WriteComponent(root);
}

void TWriter::WriteComponent(TComponent& component) {
  WriteString(component.ClassName());
  WriteString(component.Name());
  component.WriteState(*this);
}

void TWriter::WriteData(TComponent& instance) {
  WriteProperties(instance);
  instance.GetChildren([this](TComponent& child) { WriteComponent(child); }, Root());
  WriteListEnd();
}

void TWriter::WriteProperties(TPersistent& instance) {
  instance.DefinePublished(*this);
  instance.DefineProperties(*this);
  WriteListEnd();
}

void TWriter::WriteCollection(TCollection& collection) {
  WriteListBegin();
  for (int i = 0; i < collection.Count(); ++i) {
    WriteListBegin();
    WriteProperties(collection.GetItem(i));
  }
  WriteListEnd();
}

void TWriter::DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                             bool hasData) {
  (void)read;
  if (!hasData || !write) return;
  WriteString(name);
  write(*this);
}

void TWriter::DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read,
                                   const TFilerStreamProc& write, bool hasData) {
  (void)read;
  if (!hasData || !write) return;
  WriteString(name);
  TMemoryStream bytes;
  write(bytes);
  WriteBinary(bytes.Data());
}

// [SECTION] TReader

void TReader::ReadRootComponent(TComponent& root) {
  char signature[kSignatureLength];
  if (Remaining() < kSignatureLength) throw EReadError(kInvalidStreamFormat);
  Read(signature, kSignatureLength);
  if (std::memcmp(signature, kComponentStreamSignature, kSignatureLength) != 0) {
    throw EReadError(kInvalidStreamFormat);
  }
  if (ReadString() != root.ClassName()) throw EReadError(kInvalidStreamFormat);
  const std::string name = ReadString();
  if (Root() == nullptr) SetRoot(&root);
  loading_.clear();
  created_.clear();
  references_.clear();
  try {
    root.SetName(name);
    root.BeginLoading();
    loading_.push_back(&root);
    root.ReadState(*this);
    ResolveReferences();
  } catch (...) {
    root.EndLoading();
    FreeCreated();
    throw;
  }
  // Every component is whole before any of them hears that it was loaded.
  for (TComponent* component : loading_) component->EndLoading();
  loading_.clear();
  created_.clear();
}

void TReader::ReadData(TComponent& instance) {
  ReadProperties(instance);
  int order = 0;
  while (!EndOfList()) ReadComponent(instance, order++);
  ReadListEnd();
}

int32_t TReader::ReadOrdinal(int32_t low, int32_t high) {
  const int32_t value = ReadInteger();
  if (value < low || value > high) throw EReadError(kInvalidPropertyValue);
  return value;
}

double TReader::ReadFloat() {
  const double value = TBinaryReader::ReadFloat();
  if (!std::isfinite(value)) throw EReadError(kInvalidPropertyValue);
  return value;
}

float TReader::ReadSingle() {
  const double value = ReadFloat();
  if (std::fabs(value) > std::numeric_limits<float>::max()) throw EReadError(kInvalidPropertyValue);
  return static_cast<float>(value);
}

uint32_t TReader::ReadFlags(uint32_t valid) {
  const auto bits = static_cast<uint32_t>(ReadInteger());
  if ((bits & ~valid) != 0) throw EReadError(kInvalidPropertyValue);
  return bits;
}

void TReader::ReadProperties(TPersistent& instance) {
  while (!EndOfList()) ReadProperty(instance);
  ReadListEnd();
}

void TReader::ReadCollection(TCollection& collection) {
  // Items are read into a list of their own first, so a damaged list leaves
  // the collection as it was.
  ReadListBegin();
  std::vector<std::unique_ptr<TCollectionItem>> items;
  const std::string savedName = propertyName_;
  EnterNested();
  while (!EndOfList()) {
    ReadListBegin();
    std::unique_ptr<TObject> made = collection.ItemClass().CreateInstance();
    if (dynamic_cast<TCollectionItem*>(made.get()) == nullptr) throw EReadError(kInvalidStreamFormat);
    items.emplace_back(static_cast<TCollectionItem*>(made.release()));
    ReadProperties(*items.back());
  }
  LeaveNested();
  ReadListEnd();
  propertyName_ = savedName;
  propertyFound_ = true;
  collection.BeginUpdate();
  collection.Clear();
  for (auto& item : items) collection.AddItem(std::move(item));
  collection.EndUpdate();
}

void TReader::AddReference(const std::string& name, std::function<void(TComponent&)> set) {
  references_.push_back({Root(), name, std::move(set)});
}

void TReader::ResolveReferences() {
  std::vector<TReference> references;
  references.swap(references_);
  for (const TReference& reference : references) {
    if (reference.root == nullptr) continue;
    TComponent* found = SameTextAscii(reference.root->Name(), reference.name)
                            ? reference.root
                            : reference.root->FindComponent(reference.name);
    if (found != nullptr) reference.set(*found);
  }
}

void TReader::ReadComponent(TComponent& parent, int order) {
  EnterNested();
  const std::string className = ReadString();
  const std::string name = ReadString();
  std::unique_ptr<TObject> made = FindClass(className).CreateInstance();
  auto* asComponent = dynamic_cast<TComponent*>(made.get());
  if (asComponent == nullptr) throw EReadError(kInvalidStreamFormat);
  made.release();
  std::unique_ptr<TComponent> owned(asComponent);
  TComponent& owner = Root() != nullptr ? *Root() : parent;
  TComponent& component = owner.InsertComponent(std::move(owned));
  created_.push_back(&component);
  component.SetName(name);
  component.BeginLoading();
  loading_.push_back(&component);
  component.SetParentComponent(&parent);
  parent.SetChildOrder(component, order);
  component.ReadState(*this);
  LeaveNested();
}

void TReader::ReadProperty(TPersistent& instance) {
  propertyName_ = ReadString();
  propertyFound_ = false;
  instance.DefinePublished(*this);
  if (!propertyFound_) instance.DefineProperties(*this);
  if (!propertyFound_) throw EReadError("Property " + propertyName_ + " does not exist");
}

void TReader::DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                             bool hasData) {
  (void)write;
  (void)hasData;
  if (propertyFound_ || !read || !SameTextAscii(name, propertyName_)) return;
  propertyFound_ = true;
  read(*this);
}

void TReader::DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read,
                                   const TFilerStreamProc& write, bool hasData) {
  (void)write;
  (void)hasData;
  if (propertyFound_ || !read || !SameTextAscii(name, propertyName_)) return;
  propertyFound_ = true;
  TMemoryStream bytes(ReadBinary());
  read(bytes);
  // A block longer than its reader takes is not what was written.
  CheckPropertyValue(bytes.Position() == bytes.Size());
}

bool TReader::Seeks(std::string_view name) const {
  if (propertyFound_ || propertyName_.size() < name.size()) return false;
  if (!SameTextAscii(std::string_view(propertyName_).substr(0, name.size()), name)) return false;
  return propertyName_.size() == name.size() || propertyName_[name.size()] == '.';
}

void TReader::FreeCreated() {
  // Last made first: a child leaves its parent before the parent goes.
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    if (TComponent* owner = (*it)->Owner()) owner->DestroyComponent(**it);
  }
  created_.clear();
  loading_.clear();
  references_.clear();
}

// [SECTION] Property helpers

namespace {

// Forwards every declaration under "<prefix>.<name>", written only when the
// holder stores the object at all; `after` (when set) runs once each of them
// has been read.
class TNestedFiler final : public TFiler {
 public:
  TNestedFiler(TFiler& outer, std::string_view prefix, bool stored, const std::function<void()>& after)
      : outer_(outer), prefix_(std::string(prefix) + "."), stored_(stored), after_(after) {
    SetRoot(outer.Root());
  }

  void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                      bool hasData) override {
    outer_.DefineProperty(prefix_ + std::string(name), Then(read), write, stored_ && hasData);
  }
  void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read, const TFilerStreamProc& write,
                            bool hasData) override {
    outer_.DefineBinaryProperty(prefix_ + std::string(name), Then(read), write, stored_ && hasData);
  }
  bool Seeks(std::string_view name) const override { return outer_.Seeks(prefix_ + std::string(name)); }

 private:
  template <class TProc>
  TProc Then(const TProc& read) const {
    if (!read || !after_) return read;
    return [read, after = after_](auto& from) {
      read(from);
      after();
    };
  }

  TFiler& outer_;
  std::string prefix_;
  bool stored_;
  std::function<void()> after_;
};

}  // namespace

void CheckPropertyValue(bool valid) {
  if (!valid) throw EReadError(kInvalidPropertyValue);
}

void DefineReference(TFiler& filer, std::string_view name, const TComponent* value,
                     const std::function<void(TComponent&)>& set) {
  const std::string target = value != nullptr ? value->Name() : std::string();
  filer.DefineProperty(
      name,
      [set](TReader& r) {
        const std::string read = r.ReadString();
        if (!read.empty()) r.AddReference(read, set);
      },
      [target](TWriter& w) { w.WriteString(target); }, !target.empty());
}

void DefineNested(TFiler& filer, std::string_view name, TPersistent& object, bool stored,
                  const std::function<void()>& afterRead) {
  TNestedFiler nested(filer, name, stored, afterRead);
  object.DefinePublished(nested);
  object.DefineProperties(nested);
}

void DefineNestedOnDemand(TFiler& filer, std::string_view name, bool exists,
                          const std::function<TPersistent&()>& object, bool stored) {
  if (exists || filer.Seeks(name)) DefineNested(filer, name, object(), stored);
}

void DefineCollection(TFiler& filer, std::string_view name, TCollection& collection, bool stored) {
  filer.DefineProperty(
      name, [&collection](TReader& r) { r.ReadCollection(collection); },
      [&collection](TWriter& w) { w.WriteCollection(collection); }, stored);
}

// [SECTION] Byte strings

std::vector<uint8_t> WriteComponentToBytes(TComponent& root) {
  TMemoryStream stream;
  TWriter writer(stream);
  writer.WriteRootComponent(root);
  return stream.TakeData();
}

void ReadComponentFromBytes(TComponent& root, const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  TReader reader(stream);
  reader.ReadRootComponent(root);
}

}  // namespace qira
