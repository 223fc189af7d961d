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
// SetParentComponent, SetChildOrder). A property object held by a component
// (a colour, coordinates, a material) stores its own properties under the
// holder's property name and a dot ("EdgeColor.Color"); a collection is one
// property whose value is a list of items, each a list of the item's
// properties; a reference to another component is that component's name,
// resolved once the whole stream has been read. Components read from a stream are made
// by their class's constructor without arguments, owned by the reader's root,
// marked loading while they are read, and told Loaded, in the order they were
// read, once the whole stream has been read.
//
// What is written: every published property without a "stored only when"
// rule, and every colour and coordinate, always; a property with such a rule
// (an ordinal, a Boolean, a string or a reference at its default, or a float
// whose class says so) only when the rule says. A stream read into an
// existing root so sets every property the writer held.
//
// Reading validates as it goes: a bad signature, an unknown class or
// property, a value of the wrong kind or length, or a value no setter can
// take (an ordinal past its enumeration or integer type, a set bit the set
// does not have, a float that is not finite or out of single range) raises
// (EReadError, EClassNotFound) at the first bad byte, and every component made
// by that read is freed again, so no half-read tree is left behind (the
// root's own properties read before the failure keep their new values). A
// value its setter clamps or ignores goes to the setter, as one set by hand.
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
  // True while reading a property called `name` or one of its nested ones
  // ("<name>.…"): a property object made only on demand is made then. A
  // writer never seeks.
  virtual bool Seeks(std::string_view name) const {
    (void)name;
    return false;
  }
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
  // The properties of `instance` that have data, then the end of the list.
  void WriteProperties(TPersistent& instance);
  // A list of the collection's items, each the list of its properties.
  void WriteCollection(TCollection& collection);

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
  // A stored float; an infinity or NaN is damage: EReadError "Invalid
  // property value".
  double ReadFloat() override;
  // A stored float that a property keeps in single precision; beyond the
  // single range it is damage as well.
  float ReadSingle();
  // A set of flags stored as their bits; bits outside `valid` are damage.
  uint32_t ReadFlags(uint32_t valid);
  // The properties of `instance` up to the end of its list (collection items
  // and components alike).
  void ReadProperties(TPersistent& instance);
  // A collection's items, replacing those it holds (the collection form
  // written by TWriter::WriteCollection).
  void ReadCollection(TCollection& collection);
  // `set` is called with the component of that name once the whole stream
  // has been read; it is looked for among the components of the reader's root
  // at this moment (and the root itself). A name found nowhere leaves the
  // reference as it is: the component lives outside what was streamed.
  void AddReference(const std::string& name, std::function<void(TComponent&)> set);

  void DefineProperty(std::string_view name, const TFilerReadProc& read, const TFilerWriteProc& write,
                      bool hasData) override;
  void DefineBinaryProperty(std::string_view name, const TFilerStreamProc& read, const TFilerStreamProc& write,
                            bool hasData) override;
  bool Seeks(std::string_view name) const override;

 private:
  struct TReference {
    TComponent* root;
    std::string name;
    std::function<void(TComponent&)> set;
  };

  void ReadComponent(TComponent& parent, int order);
  void ReadProperty(TPersistent& instance);
  void ResolveReferences();
  void FreeCreated();

  std::string propertyName_;
  bool propertyFound_ = false;
  std::vector<TComponent*> loading_;
  std::vector<TComponent*> created_;
  std::vector<TReference> references_;
};

// An enumeration stored as its ordinal when `stored`; read back through
// `set`, values beyond `last` refused.
template <class E, class Setter>
void DefineEnumeration(TFiler& filer, std::string_view name, E value, E last, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set, last](TReader& r) { set(static_cast<E>(r.ReadOrdinal(0, static_cast<int32_t>(last)))); },
      [value](TWriter& w) { w.WriteInteger(static_cast<int32_t>(value)); }, stored);
}

// An enumeration stored when it differs from `defaultValue`.
template <class E, class Setter>
void DefineOrdinal(TFiler& filer, std::string_view name, E value, E last, E defaultValue, Setter set) {
  DefineEnumeration(filer, name, value, last, value != defaultValue, set);
}

// [SECTION] Property helpers

// EReadError "Invalid property value" unless `valid`: a value read whole that
// the property does not take.
void CheckPropertyValue(bool valid);
// Each declares one published property of the usual kinds: `value` is what is
// written, `stored` whether it is (the property's "stored only when" rule),
// and `set` receives what is read (after the reader's checks).

template <class Setter>
void DefineFloat(TFiler& filer, std::string_view name, float value, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set](TReader& r) { set(r.ReadSingle()); }, [value](TWriter& w) { w.WriteFloat(value); }, stored);
}

// A property kept in double precision (finite values only).
template <class Setter>
void DefineDouble(TFiler& filer, std::string_view name, double value, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set](TReader& r) { set(r.ReadFloat()); }, [value](TWriter& w) { w.WriteFloat(value); }, stored);
}

template <class Setter>
void DefineBoolean(TFiler& filer, std::string_view name, bool value, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set](TReader& r) { set(r.ReadBoolean()); }, [value](TWriter& w) { w.WriteBoolean(value); }, stored);
}

// An integer read back within low..high, the bounds of its type (EReadError
// "Invalid property value" outside); a narrower range is its setter's.
template <class Setter>
void DefineInteger(TFiler& filer, std::string_view name, int32_t value, bool stored, Setter set,
                   int32_t low = INT32_MIN, int32_t high = INT32_MAX) {
  filer.DefineProperty(
      name, [set, low, high](TReader& r) { set(r.ReadOrdinal(low, high)); },
      [value](TWriter& w) { w.WriteInteger(value); }, stored);
}

template <class Setter>
void DefineString(TFiler& filer, std::string_view name, const std::string& value, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set](TReader& r) { set(r.ReadString()); }, [value](TWriter& w) { w.WriteString(value); }, stored);
}

// A set of flags stored as its bits; `valid` holds every bit the set can have.
template <class Setter>
void DefineFlags(TFiler& filer, std::string_view name, uint32_t bits, uint32_t valid, bool stored, Setter set) {
  filer.DefineProperty(
      name, [set, valid](TReader& r) { set(r.ReadFlags(valid)); },
      [bits](TWriter& w) { w.WriteInteger(static_cast<int32_t>(bits)); }, stored);
}

// A reference to another component, stored as its name when it has one.
void DefineReference(TFiler& filer, std::string_view name, const TComponent* value,
                     const std::function<void(TComponent&)>& set);

// A property object's own properties (its DefinePublished and
// DefineProperties), each under "<name>.<its name>"; with `stored` false
// none of them is written. `afterRead`, when given, runs each time one of
// them has been read: for a holder that must hear of what was read into the
// object.
void DefineNested(TFiler& filer, std::string_view name, TPersistent& object, bool stored = true,
                  const std::function<void()>& afterRead = {});

// A property object made on first use: declared when it exists, or when the
// reader meets one of its properties (then `object` makes it).
void DefineNestedOnDemand(TFiler& filer, std::string_view name, bool exists,
                          const std::function<TPersistent&()>& object, bool stored = true);

// A collection: written when `stored`, as the list of its items.
void DefineCollection(TFiler& filer, std::string_view name, TCollection& collection, bool stored);

// The component as a stream of bytes, and back into an existing root.
std::vector<uint8_t> WriteComponentToBytes(TComponent& root);
void ReadComponentFromBytes(TComponent& root, const std::vector<uint8_t>& bytes);

}  // namespace qira
