#pragma once
// Component streams: a component, its properties and its children written to
// a stream and read back, in place of the class library's form streams.
//
// Stored form, in the tagged values of the persistence layer:
//   the signature "QCS1" (raw bytes), then the root's record;
//   a record: class name (string), component name (string), its properties
//   (each a name string and a value) up to an end-of-list tag, then its
//   children's records up to an end-of-list tag.
// A value is whatever the property's own writer put there: a tagged integer,
// Boolean, float or string, or a block of bytes (tag 10, int32 count, bytes).
//
// A class takes part by declaring its properties to the filer (DefinePublished,
// DefineProperties) and its children and parent (GetChildren,
// SetParentComponent, SetChildOrder). Components read from a stream are made
// by their class's constructor without arguments, owned by the reader's root,
// marked loading while they are read, and told Loaded, in the order they were
// read, once the whole stream has been read.
//
// Reading validates as it goes: a bad signature, an unknown class or
// property, or a value of the wrong kind raises (EReadError, EClassNotFound)
// at the first bad byte, and every component made by that read is freed
// again, so no half-read tree is left behind (the root's own properties read
// before the failure keep their new values).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "scene/components/Components.h"
#include "scene/components/Persistence.h"

namespace qira {

class TBinaryStream;

inline constexpr char kComponentStreamSignature[] = "QCS1";

using TFilerReadProc = std::function<void(TReader& reader)>;
using TFilerWriteProc = std::function<void(TWriter& writer)>;
// A block property's bytes, on a memory stream of their own.
using TFilerStreamProc = std::function<void(TBinaryStream& stream)>;

// What a class declares its stored properties to; the writer stores the
// declared properties that have data, the reader calls the read procedure of
// the one it has just met.
class TFiler {
 public:
  // A property stored as tagged values.
  virtual void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                              bool hasData) = 0;
  // A property stored as a block of bytes.
  virtual void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read,
                                    const TFilerStreamProc& write, bool hasData) = 0;
  // The component that owns what is read (and whose children are written).
  TComponent* Root() const { return root_; }
  void SetRoot(TComponent* root) { root_ = root; }

 protected:
  ~TFiler() = default;

 private:
  TComponent* root_ = nullptr;
};

class TWriter : public TBinaryWriter, public TFiler {
  QIRA_CLASS(TWriter, TBinaryWriter)

  explicit TWriter(TBinaryStream& stream) : TBinaryWriter(stream) {}

  // The signature, then the root's record. EWriteError when the stream refuses bytes.
  void WriteRootComponent(TComponent& root);
  // A component's record.
  void WriteComponent(TComponent& component);
  // A component's properties and its children (TComponent::WriteState).
  void WriteData(TComponent& instance);

  void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                      bool hasData) override;
  void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read, const TFilerStreamProc& write,
                            bool hasData) override;
};

class TReader : public TBinaryReader, public TFiler {
  QIRA_CLASS(TReader, TBinaryReader)

  explicit TReader(TBinaryStream& stream) : TBinaryReader(stream) {}

  // Reads a stream written by WriteRootComponent into `root`, which must be
  // of the stored class; its children are made anew. Raises EReadError
  // "Invalid stream format" for a wrong signature or root class.
  void ReadRootComponent(TComponent& root);
  // A component's properties and its children (TComponent::ReadState).
  void ReadData(TComponent& instance);
  // An enumeration's ordinal within low..high; EReadError "Invalid property
  // value" otherwise.
  int32_t ReadOrdinal(int32_t low, int32_t high);

  void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                      bool hasData) override;
  void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read, const TFilerStreamProc& write,
                            bool hasData) override;

 private:
  void ReadComponent(TComponent& parent, int order);
  void ReadProperty(TComponent& instance);
  void FreeCreated();

  std::string propertyName_;
  bool propertyFound_ = false;
  std::vector<TComponent*> loading_;
  std::vector<TComponent*> created_;
};

// An enumeration stored as its ordinal when it differs from `defaultValue`;
// read back through `set`, values beyond `last` refused.
template <class E, class Setter>
void DefineOrdinal(TFiler& filer, std::string_view name, E value, E last, E defaultValue, Setter set) {
  filer.DefineProperty(
      name, [set, last](TReader& r) { set(static_cast<E>(r.ReadOrdinal(0, static_cast<int32_t>(last)))); },
      [value](TWriter& w) { w.WriteInteger(static_cast<int32_t>(value)); }, value != defaultValue);
}

// The component as a stream of bytes, and back into an existing root.
std::vector<uint8_t> WriteComponentToBytes(TComponent& root);
void ReadComponentFromBytes(TComponent& root, const std::vector<uint8_t>& bytes);

}  // namespace qira
