#include "scene/components/ComponentStreams.h"

#include <cstring>
#include <memory>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/BinaryStream.h"

// Sections:
//   TComponent's streaming
//   TWriter
//   TReader
//   Byte strings

namespace qira {

namespace {

constexpr int32_t kSignatureLength = 4;
const char kInvalidStreamFormat[] = "Invalid stream format";

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
  instance.DefinePublished(*this);
  instance.DefineProperties(*this);
  WriteListEnd();
  instance.GetChildren([this](TComponent& child) { WriteComponent(child); }, Root());
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
  try {
    root.SetName(name);
    root.BeginLoading();
    loading_.push_back(&root);
    root.ReadState(*this);
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
  while (!EndOfList()) ReadProperty(instance);
  ReadListEnd();
  int order = 0;
  while (!EndOfList()) ReadComponent(instance, order++);
  ReadListEnd();
}

int32_t TReader::ReadOrdinal(int32_t low, int32_t high) {
  const int32_t value = ReadInteger();
  if (value < low || value > high) throw EReadError("Invalid property value");
  return value;
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

void TReader::ReadProperty(TComponent& instance) {
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
}

void TReader::FreeCreated() {
  // Last made first: a child leaves its parent before the parent goes.
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    if (TComponent* owner = (*it)->Owner()) owner->DestroyComponent(**it);
  }
  created_.clear();
  loading_.clear();
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
