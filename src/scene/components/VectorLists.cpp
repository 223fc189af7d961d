// Sections:
//   TBaseList
//   TBaseVectorList
//   Concrete lists
//   QuickSortPairs
//   Registration

#include "scene/components/VectorLists.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "scene/components/ComponentStreams.h"
#include "platform/BinaryStream.h"
#include "scene/math/VectorGeometry.h"

namespace qira {

namespace {

const char kStreamReadError[] = "Stream read error";

[[noreturn]] void ReadTypeError(const TVirtualReader& reader) {
  throw EReadError(std::string(reader.ClassName()) + ", read type error");
}

}  // namespace

// [SECTION] TBaseList

void TBaseList::FreeDeleter::operator()(std::byte* p) const { std::free(p); }

TBaseList::TBaseList(int itemSize, int growthDelta) : growthDelta_(growthDelta), itemSize_(itemSize) {}

TBaseList::~TBaseList() { Clear(); }

void TBaseList::SetCapacity(int n) {
  if (n < 0) n = 0;
  if (n == capacity_) return;
  if (n == 0) {
    storage_.reset();
  } else {
    const std::size_t bytes = static_cast<std::size_t>(n) * static_cast<std::size_t>(itemSize_);
    void* grown = std::realloc(storage_.get(), bytes);
    if (grown == nullptr) throw std::bad_alloc();
    (void)storage_.release();
    storage_.reset(static_cast<std::byte*>(grown));
  }
  capacity_ = n;
  if (count_ > capacity_) count_ = capacity_;
}

void TBaseList::SetCount(int n) {
  if (n < 0) n = 0;
  if (n > capacity_) SetCapacity(n);
  if (n > count_ && zeroFill_) {
    std::memset(GetItemAddress(count_), 0, static_cast<std::size_t>(n - count_) * itemSize_);
  }
  count_ = n;
}

void TBaseList::Clear() {
  count_ = 0;
  SetCapacity(0);
}

int TBaseList::GrowForAppend() {
  if (count_ == capacity_) {
    if (capacity_ > std::numeric_limits<int>::max() - growthDelta_) throw std::bad_alloc();
    SetCapacity(capacity_ + growthDelta_);
  }
  return count_++;
}

void TBaseList::Assign(const TPersistent* source) {
  if (source == nullptr) {
    Clear();
    return;
  }
  const auto* list = dynamic_cast<const TBaseList*>(source);
  if (list == nullptr) {
    TPersistentObject::Assign(source);
    return;
  }
  if (list == this) return;
  const int n = list->count_;
  count_ = 0;
  SetCapacity(n);
  growthDelta_ = list->growthDelta_;
  count_ = n;
  if (n == 0) return;
  const std::size_t bytes = static_cast<std::size_t>(n) * itemSize_;
  if (list->InheritsFrom(AssignableClass()) && list->itemSize_ == itemSize_) {
    std::memcpy(storage_.get(), list->storage_.get(), bytes);
  } else {
    // A list of another class: its items mean something else here.
    std::memset(storage_.get(), 0, bytes);
  }
}

void TBaseList::WriteToFiler(TVirtualWriter& writer) const {
  TPersistentObject::WriteToFiler(writer);
  writer.WriteInteger(0);
  writer.WriteInteger(count_);
  writer.WriteInteger(itemSize_);
  const int64_t bytes = int64_t{count_} * itemSize_;
  // Streams address at most 2^31-1 bytes.
  if (bytes > std::numeric_limits<int32_t>::max()) throw EWriteError("Stream write error");
  if (bytes > 0) writer.Write(storage_.get(), static_cast<int32_t>(bytes));
}

void TBaseList::ReadFromFiler(TVirtualReader& reader) {
  TPersistentObject::ReadFromFiler(reader);
  const int32_t version = reader.ReadInteger();
  if (version != 0) RaiseFilerException(version);
  const int32_t count = reader.ReadInteger();
  const int32_t itemSize = reader.ReadInteger();
  // The typed accessors assume the class's own item size.
  if (itemSize != itemSize_) ReadTypeError(reader);
  if (count < 0 || int64_t{count} * itemSize > reader.Remaining()) throw EReadError(kStreamReadError);
  count_ = 0;
  SetCapacity(count);
  if (count > 0) reader.Read(storage_.get(), count * itemSize);
  count_ = count;
}

void TBaseList::WriteItemsData(TVirtualWriter& writer) const {
  writer.WriteString(EncodeItemsHex(SaveToString()));
}

void TBaseList::ReadItemsData(TVirtualReader& reader) {
  LoadFromString(DecodeItemsHex(reader.ReadString()));
}

void TBaseList::DefineProperties(TFiler& filer) {
  filer.DefineProperty(
      "Items", [this](TReader& reader) { ReadItemsData(reader); },
      [this](TWriter& writer) { WriteItemsData(writer); }, true);
}

std::string EncodeItemsHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

std::string DecodeItemsHex(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) throw EReadError(kStreamReadError);
  std::string bytes(text.size() / 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int hi = digit(text[2 * i]);
    const int lo = digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) throw EReadError(kStreamReadError);
    bytes[i] = static_cast<char>((hi << 4) | lo);
  }
  return bytes;
}

// [SECTION] TBaseVectorList

TAffineVector TBaseVectorList::ItemXYZ(int index) const {
  TAffineVector v;
  std::memcpy(&v, GetItemAddress(index), sizeof v);
  return v;
}

void TBaseVectorList::SetItemXYZ(int index, const TAffineVector& v) {
  std::memcpy(GetItemAddress(index), &v, sizeof v);
}

void TBaseVectorList::GetExtents(TAffineVector& min, TAffineVector& max) const {
  constexpr float inf = std::numeric_limits<float>::infinity();
  min = {inf, inf, inf};
  max = {-inf, -inf, -inf};
  for (int i = 0; i < Count(); ++i) {
    const TAffineVector v = ItemXYZ(i);
    for (std::size_t k = 0; k < 3; ++k) {
      if (v[k] < min[k]) min[k] = v[k];
      if (v[k] > max[k]) max[k] = v[k];
    }
  }
}

TAffineVector TBaseVectorList::Sum() const {
  TAffineVector sum{0.0f, 0.0f, 0.0f};
  for (int i = 0; i < Count(); ++i) AddAffineVector(sum, ItemXYZ(i));
  return sum;
}

void TBaseVectorList::Normalize() {
  for (int i = 0; i < Count(); ++i) SetItemXYZ(i, AffineVectorNormalize(ItemXYZ(i)));
}

float TBaseVectorList::MaxSpacing(const TBaseVectorList& other) const {
  float result = 0.0f;
  const int n = std::min(Count(), other.Count());
  for (int i = 0; i < n; ++i) result = std::max(result, AffineVectorSpacing(ItemXYZ(i), other.ItemXYZ(i)));
  return result;
}

void TBaseVectorList::Translate(const TAffineVector& delta) {
  for (int i = 0; i < Count(); ++i) SetItemXYZ(i, AffineVectorAdd(ItemXYZ(i), delta));
}

void TBaseVectorList::Translate(const TBaseVectorList& other) {
  const int n = std::min(Count(), other.Count());
  for (int i = 0; i < n; ++i) SetItemXYZ(i, AffineVectorAdd(ItemXYZ(i), other.ItemXYZ(i)));
}

void TBaseVectorList::TranslateInv(const TBaseVectorList& other) {
  const int n = std::min(Count(), other.Count());
  for (int i = 0; i < n; ++i) SetItemXYZ(i, AffineVectorSubtract(ItemXYZ(i), other.ItemXYZ(i)));
}

void TBaseVectorList::Combine(const TBaseVectorList& other, float f) {
  const int n = std::min(Count(), other.Count());
  for (int i = 0; i < n; ++i) {
    TAffineVector v = ItemXYZ(i);
    AddScaledAffineVector(v, other.ItemXYZ(i), f);
    SetItemXYZ(i, v);
  }
}

void TBaseVectorList::WriteToFiler(TVirtualWriter& writer) const {
  TBaseList::WriteToFiler(writer);
  writer.WriteInteger(0);
}

void TBaseVectorList::ReadFromFiler(TVirtualReader& reader) {
  TBaseList::ReadFromFiler(reader);
  const int32_t version = reader.ReadInteger();
  if (version != 0) {
    Flush();
    RaiseFilerException(version);
  }
}

namespace {

// The lerp of Lerp for lists of one item type T: list1 and list2 may alias the target.
template <class TList, class LerpArray>
void LerpLists(TList& target, const TList& list1, const TList& list2, float t, LerpArray lerpArray) {
  const int n1 = list1.Count();
  const int n = std::min(n1, list2.Count());
  // Resizing keeps the first n items even when list1 or list2 is the target,
  // and nothing is zeroed, so the inputs are intact when they are read.
  const bool zeroFill = target.SetCountResetsMemory();
  target.SetSetCountResetsMemory(false);
  target.SetCapacity(n1);
  target.SetCount(n1);
  target.SetSetCountResetsMemory(zeroFill);
  // Beyond list2's items there is nothing to move toward: keep list1's.
  if (&list1 != &target) std::copy(list1.List() + n, list1.List() + n1, target.List() + n);
  lerpArray(list1.List(), list2.List(), n, t, target.List());
}

}  // namespace

// [SECTION] Concrete lists

int TAffineVectorList::Add(const TAffineVector& v) {
  const int index = GrowForAppend();
  List()[index] = v;
  return index;
}

int TAffineVectorList::IndexOf(const TAffineVector& v) const {
  for (int i = 0; i < Count(); ++i) {
    if (AffineVectorEquals(List()[i], v)) return i;
  }
  return -1;
}

int TAffineVectorList::FindOrAdd(const TAffineVector& v) {
  const int index = IndexOf(v);
  return index >= 0 ? index : Add(v);
}

void TAffineVectorList::Translate(const TAffineVector& delta) {
  AffineVectorArrayAdd(List(), delta, Count(), List());
}

void TAffineVectorList::Normalize() { NormalizeAffineVectorArray(List(), Count()); }

void TAffineVectorList::Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) {
  const auto* a = dynamic_cast<const TAffineVectorList*>(&list1);
  const auto* b = dynamic_cast<const TAffineVectorList*>(&list2);
  if (a == nullptr || b == nullptr) return;
  LerpLists(*this, *a, *b, t, &AffineVectorArrayLerp);
}

int TVectorList::Add(const TVector& v) {
  const int index = GrowForAppend();
  List()[index] = v;
  return index;
}

int TVectorList::AddVector(const TAffineVector& v, float w) { return Add(TVector{v.x, v.y, v.z, w}); }

void TVectorList::Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) {
  const auto* a = dynamic_cast<const TVectorList*>(&list1);
  const auto* b = dynamic_cast<const TVectorList*>(&list2);
  if (a == nullptr || b == nullptr) return;
  LerpLists(*this, *a, *b, t, &VectorArrayLerp);
}

int TTexPointList::Add(const TTexPoint& p) {
  const int index = GrowForAppend();
  List()[index] = p;
  return index;
}

int TIntegerList::Add(int32_t value) {
  const int index = GrowForAppend();
  List()[index] = value;
  return index;
}

void TIntegerList::AddCount(int added) {
  const int count = Count() + added;
  int capacity = Capacity();
  while (capacity < count) capacity += GrowthDelta();
  SetCapacity(capacity);
  const bool zeroFill = SetCountResetsMemory();
  SetSetCountResetsMemory(false);
  SetCount(count);
  SetSetCountResetsMemory(zeroFill);
}

void TIntegerList::Add(int32_t a, int32_t b) {
  AddCount(2);
  int32_t* last = List() + Count();
  last[-2] = a;
  last[-1] = b;
}

void TIntegerList::Add(int32_t a, int32_t b, int32_t c) {
  AddCount(3);
  int32_t* last = List() + Count();
  last[-3] = a;
  last[-2] = b;
  last[-1] = c;
}

int TSingleList::Add(float value) {
  const int index = GrowForAppend();
  List()[index] = value;
  return index;
}

int TDoubleList::Add(double value) {
  const int index = GrowForAppend();
  List()[index] = value;
  return index;
}

int TByteList::Add(uint8_t value) {
  const int index = GrowForAppend();
  List()[index] = value;
  return index;
}

// [SECTION] QuickSortPairs

namespace {

void SwapPair(TSingleList& keys, TPersistentObjectList& objects, int a, int b) {
  std::swap(keys[a], keys[b]);
  objects.Exchange(a, b);
}

// Hoare partition around the middle key; recurses on the left part and loops
// on the right one. The swap order is part of the result for equal keys.
void SortPairs(int lo, int hi, TSingleList& keys, TPersistentObjectList& objects) {
  if (lo + 1 >= hi) {
    if (lo < hi && keys[hi] < keys[lo]) SwapPair(keys, objects, lo, hi);
    return;
  }
  do {
    int i = lo;
    int j = hi;
    const float pivot = keys[(lo + hi) >> 1];
    do {
      while (keys[i] < pivot) ++i;
      while (keys[j] > pivot) --j;
      if (i <= j) {
        SwapPair(keys, objects, i, j);
        ++i;
        --j;
      }
    } while (i <= j);
    if (j > lo) SortPairs(lo, j, keys, objects);
    lo = i;
  } while (lo < hi);
}

}  // namespace

void QuickSortPairs(int first, int last, TSingleList& keys, TPersistentObjectList& objects) {
  if (last < first) return;
  if (first < 0 || last >= keys.Count() || last >= objects.Count()) throw EListError("Invalid list index");
  SortPairs(first, last, keys, objects);
}

// [SECTION] Registration

void RegisterVectorListClasses() {
  RegisterClass(TAffineVectorList::StaticClass());
  RegisterClass(TVectorList::StaticClass());
  RegisterClass(TTexPointList::StaticClass());
  RegisterClass(TSingleList::StaticClass());
  RegisterClass(TDoubleList::StaticClass());
  RegisterClass(TIntegerList::StaticClass());
  RegisterClass(TByteList::StaticClass());
}

}  // namespace qira
