#pragma once
// Growable arrays of plain values (vectors, texture points, integers, floats,
// bytes) kept contiguous and unboxed so their storage can be handed straight to
// OpenGL array calls and to the bulk routines of VectorGeometry.h, with
// whole-list geometric operations, their archive and the pair quicksort that
// the render loop's depth sorting uses.
//
// Contracts shared by every list:
// - indices run from 0; item accessors do not check their index (callers stay
//   below Count());
// - an append grows the capacity by the growth delta only when the list is full;
// - storage addresses (List(), GetItemAddress) stay valid until the next
//   capacity change.
//
// Archive of a list (WriteToFiler): integer 0 (version), integer count,
// integer item size, then count*item size raw little-endian bytes (no tag) when
// count > 0; a vector list appends its own integer 0. Reading checks the
// version (EFilerException), the item size against the class's (EReadError
// "<reader class>, read type error": the typed accessors assume their own size)
// and count*item size against the bytes left (EReadError "Stream read error")
// before allocating. A list whose header is rejected keeps its old items.
//
// Sections:
//   TBaseList
//   TBaseVectorList
//   Concrete lists
//   QuickSortPairs
//   Registration
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "scene/components/Persistence.h"
#include "scene/math/VectorTypes.h"

namespace qira {

// [SECTION] TBaseList

class TBaseList : public TPersistentObject {
  QIRA_CLASS(TBaseList, TPersistentObject)

  ~TBaseList() override;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int ItemSize() const { return itemSize_; }
  int GrowthDelta() const { return growthDelta_; }
  // Values below 1 become 1.
  void SetGrowthDelta(int delta) { growthDelta_ = delta > 0 ? delta : 1; }
  // Zero-fill on growth: items added by SetCount are zeroed (on after construction).
  bool SetCountResetsMemory() const { return zeroFill_; }
  void SetSetCountResetsMemory(bool value) { zeroFill_ = value; }

  // Reallocates the storage to n items when n differs from the capacity,
  // keeping the contents up to the smaller size. A capacity below the count
  // cuts the count; a negative n counts as 0.
  virtual void SetCapacity(int n);
  // Above the capacity the capacity becomes exactly n (no growth delta); items
  // added are zeroed when zero-fill is on. A negative n counts as 0.
  void SetCount(int n);
  // Count 0, storage kept.
  void Flush() { count_ = 0; }
  // Count 0 and capacity 0, storage released.
  void Clear();

  void* GetItemAddress(int index) { return storage_.get() + static_cast<std::ptrdiff_t>(index) * itemSize_; }
  const void* GetItemAddress(int index) const {
    return storage_.get() + static_cast<std::ptrdiff_t>(index) * itemSize_;
  }

  // From a TBaseList: capacity and count := the source's count, growth delta
  // := the source's; the items are copied when the source is of the target's
  // class (or a descendant), else they are zero (never left uninitialised).
  // A null source clears the list. Other sources: TPersistentObject's rules.
  void Assign(const TPersistent* source) override;

  void WriteToFiler(TVirtualWriter& writer) const override;
  void ReadFromFiler(TVirtualReader& reader) override;

  // The stored property "Items" of a list held in a component: the list
  // archive (binary writer) as hexadecimal text, two upper-case digits per
  // byte, written as one string.
  virtual void WriteItemsData(TVirtualWriter& writer) const;
  // Reads the string written by WriteItemsData and loads the list from it.
  // Text of odd length or with a character that is not a hex digit raises
  // EReadError "Stream read error"; exactly length/2 bytes are decoded.
  virtual void ReadItemsData(TVirtualReader& reader);
  // Declares "Items" (always written) through the two above.
  void DefineProperties(TFiler& filer) override;

 protected:
  TBaseList(int itemSize, int growthDelta);

  // The class whose instances (and descendants') Assign copies items from;
  // each concrete list answers its own class.
  virtual const TClassInfo& AssignableClass() const = 0;
  // Index of a new item at the end, growing by the growth delta when full.
  int GrowForAppend();
  std::byte* Storage() { return storage_.get(); }
  const std::byte* Storage() const { return storage_.get(); }

 private:
  struct FreeDeleter {
    void operator()(std::byte* p) const;
  };

  int count_ = 0;
  int capacity_ = 0;
  int growthDelta_;
  bool zeroFill_ = true;
  std::unique_ptr<std::byte, FreeDeleter> storage_;
  int itemSize_;
};

// "0A1B..." from bytes, two upper-case hex digits per byte.
std::string EncodeItemsHex(std::string_view bytes);
// The bytes of hex text; odd length or a non-hex character raises EReadError
// "Stream read error". Upper- and lower-case digits are accepted.
std::string DecodeItemsHex(std::string_view text);

// [SECTION] TBaseVectorList
// Whole-list operations over the x, y, z of each item (a TVectorList's w is
// left alone). Operations taking a second list read as many of its items as
// both lists have: items of this list beyond the other's count are untouched.

class TBaseVectorList : public TBaseList {
  QIRA_CLASS(TBaseVectorList, TBaseList)

  // Smallest and largest coordinate on each axis; an empty list gives
  // min (+inf, +inf, +inf) and max (-inf, -inf, -inf).
  virtual void GetExtents(TAffineVector& min, TAffineVector& max) const;
  virtual TAffineVector Sum() const;
  // Every item scaled to unit length (a null item becomes NaN).
  virtual void Normalize();
  // Largest AffineVectorSpacing between item i of both lists; 0 when empty.
  virtual float MaxSpacing(const TBaseVectorList& other) const;
  virtual void Translate(const TAffineVector& delta);
  virtual void Translate(const TBaseVectorList& other);
  virtual void TranslateInv(const TBaseVectorList& other);
  // item i += f * other item i
  virtual void Combine(const TBaseVectorList& other, float f);
  // When both lists are of this list's class: capacity and count := list1's
  // count, item i := list1 item i + (list2 item i - list1 item i) * t; items
  // beyond list2's count are copies of list1's. Otherwise nothing. Either list
  // may be this one.
  virtual void Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) = 0;

  void WriteToFiler(TVirtualWriter& writer) const override;
  void ReadFromFiler(TVirtualReader& reader) override;

 protected:
  using TBaseList::TBaseList;
  TAffineVector ItemXYZ(int index) const;
  void SetItemXYZ(int index, const TAffineVector& v);
};

// [SECTION] Concrete lists

class TAffineVectorList : public TBaseVectorList {
  QIRA_CLASS(TAffineVectorList, TBaseVectorList)

  TAffineVectorList() : TBaseVectorList(sizeof(TAffineVector), 16) {}

  TAffineVector* List() { return reinterpret_cast<TAffineVector*>(Storage()); }
  const TAffineVector* List() const { return reinterpret_cast<const TAffineVector*>(Storage()); }
  TAffineVector& operator[](int i) { return List()[i]; }
  const TAffineVector& operator[](int i) const { return List()[i]; }

  int Add(const TAffineVector& v);
  int Add(float x, float y, float z) { return Add(TAffineVector{x, y, z}); }
  TAffineVector GetItem(int i) const { return List()[i]; }
  void PutItem(int i, const TAffineVector& v) { List()[i] = v; }
  // First index whose x, y, z are bit-for-bit equal to v (so 0 and -0
  // differ), or -1.
  int IndexOf(const TAffineVector& v) const;
  // IndexOf, else Add.
  int FindOrAdd(const TAffineVector& v);

  void Translate(const TAffineVector& delta) override;
  using TBaseVectorList::Translate;
  void Normalize() override;
  void Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) override;

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

class TVectorList : public TBaseVectorList {
  QIRA_CLASS(TVectorList, TBaseVectorList)

  TVectorList() : TBaseVectorList(sizeof(TVector), 16) {}

  TVector* List() { return reinterpret_cast<TVector*>(Storage()); }
  const TVector* List() const { return reinterpret_cast<const TVector*>(Storage()); }
  TVector& operator[](int i) { return List()[i]; }
  const TVector& operator[](int i) const { return List()[i]; }

  int Add(const TVector& v);
  // (v, w)
  int AddVector(const TAffineVector& v, float w = 0.0f);
  // (v, 1)
  int AddPoint(const TAffineVector& v) { return AddVector(v, 1.0f); }
  int AddPoint(float x, float y, float z) { return Add(TVector{x, y, z, 1.0f}); }
  TVector GetItem(int i) const { return List()[i]; }
  void PutItem(int i, const TVector& v) { List()[i] = v; }

  // Interpolates all four components.
  void Lerp(const TBaseVectorList& list1, const TBaseVectorList& list2, float t) override;

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

class TTexPointList : public TBaseList {
  QIRA_CLASS(TTexPointList, TBaseList)

  TTexPointList() : TBaseList(sizeof(TTexPoint), 16) {}

  TTexPoint* List() { return reinterpret_cast<TTexPoint*>(Storage()); }
  const TTexPoint* List() const { return reinterpret_cast<const TTexPoint*>(Storage()); }
  TTexPoint& operator[](int i) { return List()[i]; }
  const TTexPoint& operator[](int i) const { return List()[i]; }

  int Add(const TTexPoint& p);
  int Add(float s, float t) { return Add(TTexPoint{s, t}); }
  TTexPoint GetItem(int i) const { return List()[i]; }
  void PutItem(int i, const TTexPoint& p) { List()[i] = p; }

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

class TIntegerList : public TBaseList {
  QIRA_CLASS(TIntegerList, TBaseList)

  TIntegerList() : TBaseList(sizeof(int32_t), 16) {}

  int32_t* List() { return reinterpret_cast<int32_t*>(Storage()); }
  const int32_t* List() const { return reinterpret_cast<const int32_t*>(Storage()); }
  int32_t& operator[](int i) { return List()[i]; }
  const int32_t& operator[](int i) const { return List()[i]; }

  int Add(int32_t value);
  // The count grows by 2 (or 3); the capacity grows by the growth delta,
  // repeatedly, until it covers the count; the values go to the last places.
  void Add(int32_t a, int32_t b);
  void Add(int32_t a, int32_t b, int32_t c);
  int32_t GetItem(int i) const { return List()[i]; }
  void PutItem(int i, int32_t value) { List()[i] = value; }

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }

 private:
  void AddCount(int added);
};

class TSingleList : public TBaseList {
  QIRA_CLASS(TSingleList, TBaseList)

  TSingleList() : TBaseList(sizeof(float), 16) {}

  float* List() { return reinterpret_cast<float*>(Storage()); }
  const float* List() const { return reinterpret_cast<const float*>(Storage()); }
  float& operator[](int i) { return List()[i]; }
  const float& operator[](int i) const { return List()[i]; }

  int Add(float value);
  float GetItem(int i) const { return List()[i]; }
  void PutItem(int i, float value) { List()[i] = value; }

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

class TDoubleList : public TBaseList {
  QIRA_CLASS(TDoubleList, TBaseList)

  TDoubleList() : TBaseList(sizeof(double), 16) {}

  double* List() { return reinterpret_cast<double*>(Storage()); }
  const double* List() const { return reinterpret_cast<const double*>(Storage()); }
  double& operator[](int i) { return List()[i]; }
  const double& operator[](int i) const { return List()[i]; }

  int Add(double value);
  double GetItem(int i) const { return List()[i]; }
  void PutItem(int i, double value) { List()[i] = value; }

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

class TByteList : public TBaseList {
  QIRA_CLASS(TByteList, TBaseList)

  TByteList() : TBaseList(sizeof(uint8_t), 16) {}

  uint8_t* List() { return reinterpret_cast<uint8_t*>(Storage()); }
  const uint8_t* List() const { return reinterpret_cast<const uint8_t*>(Storage()); }
  uint8_t& operator[](int i) { return List()[i]; }
  const uint8_t& operator[](int i) const { return List()[i]; }

  int Add(uint8_t value);
  uint8_t GetItem(int i) const { return List()[i]; }
  void PutItem(int i, uint8_t value) { List()[i] = value; }

 protected:
  const TClassInfo& AssignableClass() const override { return StaticClass(); }
};

// [SECTION] QuickSortPairs

// Sorts keys[first..last] ascending and applies every swap to the same
// positions of `objects`, so objects follow their keys. Not stable. A range
// outside either list raises EListError "Invalid list index"; an empty range
// (last < first) does nothing.
void QuickSortPairs(int first, int last, TSingleList& keys, TPersistentObjectList& objects);

// [SECTION] Registration

// Registers every concrete list class (the vector, texture point, single and
// double lists, and the integer and byte lists) with the class registry.
void RegisterVectorListClasses();

}  // namespace qira
