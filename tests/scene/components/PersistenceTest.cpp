#include "scene/components/Persistence.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "support/ArchiveBytes.h"
#include "support/ThrownMessage.h"

namespace qira {
namespace {

template <class F>
Bytes Written(F&& write) {
  TMemoryStream stream;
  TBinaryWriter writer(stream);
  write(writer);
  return stream.Data();
}

// A persistent test class with a version and one integer.
class TTestPoint : public TPersistentObject {
  QIRA_CLASS(TTestPoint, TPersistentObject)
  TTestPoint() = default;
  explicit TTestPoint(int32_t x) : x(x) {}
  void WriteToFiler(TVirtualWriter& writer) const override {
    TPersistentObject::WriteToFiler(writer);
    writer.WriteInteger(0);
    writer.WriteInteger(x);
  }
  void ReadFromFiler(TVirtualReader& reader) override {
    TPersistentObject::ReadFromFiler(reader);
    const int32_t version = reader.ReadInteger();
    if (version != 0) RaiseFilerException(version);
    x = reader.ReadInteger();
  }
  int32_t x = 0;
};

class TTestName : public TPersistentObject {
  QIRA_CLASS(TTestName, TPersistentObject)
  TTestName() = default;
  explicit TTestName(std::string n) : name(std::move(n)) {}
  void WriteToFiler(TVirtualWriter& writer) const override {
    TPersistentObject::WriteToFiler(writer);
    writer.WriteInteger(0);
    writer.WriteString(name);
  }
  void ReadFromFiler(TVirtualReader& reader) override {
    TPersistentObject::ReadFromFiler(reader);
    if (reader.ReadInteger() != 0) RaiseFilerException(1);
    name = reader.ReadString();
  }
  std::string name;
};

class TSignedThing : public TTestPoint {
  QIRA_CLASS(TSignedThing, TTestPoint)
  TSignedThing() = default;
  std::string FileSignature() const override { return "SIG1"; }
};

// Counts its frees.
class TWatchedPoint : public TTestPoint {
  QIRA_CLASS(TWatchedPoint, TTestPoint)
  TWatchedPoint() = default;
  explicit TWatchedPoint(int* freed) : freed_(freed) {}
  ~TWatchedPoint() override {
    if (freed_ != nullptr) ++*freed_;
  }
  int* freed_ = nullptr;
};

// Registered, but not a persistent object.
class TNotPersistent : public TPersistent {
  QIRA_CLASS(TNotPersistent, TPersistent)
  TNotPersistent() = default;
};

class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPersistenceClasses();
    RegisterClass(TTestPoint::StaticClass());
    RegisterClass(TTestName::StaticClass());
    RegisterClass(TNotPersistent::StaticClass());
  }
};

// ---------------------------------------------------------------- integers

struct IntegerCase {
  int32_t value;
  Bytes bytes;
};

TEST_F(PersistenceTest, IntegersTakeTheNarrowestTagOnEachSideOfEverySizeSwitch) {
  const IntegerCase cases[] = {
      {0, {2, 0x00}},
      {127, {2, 0x7F}},
      {-128, {2, 0x80}},
      {128, {3, 0x80, 0x00}},
      {-129, {3, 0x7F, 0xFF}},
      {32767, {3, 0xFF, 0x7F}},
      {-32768, {3, 0x00, 0x80}},
      {32768, {4, 0x00, 0x80, 0x00, 0x00}},
      {-32769, {4, 0xFF, 0x7F, 0xFF, 0xFF}},
      {std::numeric_limits<int32_t>::max(), {4, 0xFF, 0xFF, 0xFF, 0x7F}},
      {std::numeric_limits<int32_t>::min(), {4, 0x00, 0x00, 0x00, 0x80}},
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Written([&](TBinaryWriter& w) { w.WriteInteger(c.value); }), c.bytes);
    TMemoryStream stream(c.bytes);
    TBinaryReader reader(stream);
    EXPECT_EQ(reader.ReadInteger(), c.value);
    EXPECT_EQ(reader.Remaining(), 0);
  }
}

TEST_F(PersistenceTest, BooleansAndListMarksAreSingleTags) {
  const Bytes bytes = Written([](TBinaryWriter& w) {
    w.WriteBoolean(false);
    w.WriteBoolean(true);
    w.WriteListBegin();
    w.WriteListEnd();
  });
  EXPECT_EQ(bytes, (Bytes{8, 9, 1, 0}));
  TMemoryStream stream(bytes);
  TBinaryReader reader(stream);
  EXPECT_FALSE(reader.ReadBoolean());
  EXPECT_TRUE(reader.ReadBoolean());
  EXPECT_EQ(reader.NextValue(), TArchiveValueType::vaList);
  EXPECT_EQ(reader.NextValue(), TArchiveValueType::vaList) << "NextValue does not consume";
  reader.ReadListBegin();
  EXPECT_TRUE(reader.EndOfList());
  reader.ReadListEnd();
}

// ----------------------------------------------------------------- strings

TEST_F(PersistenceTest, StringsUpTo255BytesTakeTheShortTagAndLongerOnesTheLongTag) {
  EXPECT_EQ(Written([](TBinaryWriter& w) { w.WriteString(""); }), (Bytes{6, 0}));

  const std::string s255(255, 'x');
  Bytes expected255{6, 0xFF};
  expected255.insert(expected255.end(), s255.begin(), s255.end());
  EXPECT_EQ(Written([&](TBinaryWriter& w) { w.WriteString(s255); }), expected255);

  const std::string s256(256, 'y');
  Bytes expected256{12, 0x00, 0x01, 0x00, 0x00};
  expected256.insert(expected256.end(), s256.begin(), s256.end());
  EXPECT_EQ(Written([&](TBinaryWriter& w) { w.WriteString(s256); }), expected256);

  for (const Bytes& b : {expected255, expected256}) {
    TMemoryStream stream(b);
    TBinaryReader reader(stream);
    EXPECT_EQ(reader.ReadString().size(), b.size() - (b[0] == 6 ? 2 : 5));
  }
}

TEST_F(PersistenceTest, ByteStringsAreWindows1252OnDiskAndUtf8InTheProgram) {
  // e-acute, euro sign, a CJK character with no Windows-1252 byte.
  EXPECT_EQ(Written([](TBinaryWriter& w) { w.WriteString("\xC3\xA9\xE2\x82\xAC\xE6\x97\xA5"); }),
            (Bytes{6, 3, 0xE9, 0x80, '?'}));
  TMemoryStream stream(Bytes{6, 2, 0xE9, 0x80});
  TBinaryReader reader(stream);
  EXPECT_EQ(reader.ReadString(), "\xC3\xA9\xE2\x82\xAC");
}

TEST_F(PersistenceTest, Utf16StringsKeepSurrogatePairs) {
  const Bytes bytes = Written([](TBinaryWriter& w) { w.WriteWideString(u"A\U0001F600"); });
  EXPECT_EQ(bytes, (Bytes{18, 3, 0, 0, 0, 0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE}));
  TMemoryStream stream(bytes);
  TBinaryReader reader(stream);
  EXPECT_EQ(reader.ReadString(), "A\xF0\x9F\x98\x80");
}

struct TextCase {
  const char* what;
  Bytes bytes;
  std::string utf8;
};

TEST_F(PersistenceTest, WideAndUtf8StringsDecodeSoundly) {
  const std::string fffd = "\xEF\xBF\xBD";
  const TextCase cases[] = {
      {"UTF-8 four-byte sequence", {20, 4, 0, 0, 0, 0xF0, 0x9F, 0x98, 0x80}, "\xF0\x9F\x98\x80"},
      {"UTF-8 two-byte sequence", {20, 2, 0, 0, 0, 0xC3, 0xA9}, "\xC3\xA9"},
      {"bad continuation and stray byte", {20, 3, 0, 0, 0, 0xC3, 0x28, 0xFF}, fffd + "(" + fffd},
      {"sequence cut by the length", {20, 2, 0, 0, 0, 0xE2, 0x82, 0xAC}, fffd + fffd},
      {"overlong form", {20, 2, 0, 0, 0, 0xC0, 0xAF}, fffd + fffd},
      {"encoded surrogate", {20, 3, 0, 0, 0, 0xED, 0xA0, 0x80}, fffd + fffd + fffd},
      {"beyond U+10FFFF", {20, 4, 0, 0, 0, 0xF4, 0x90, 0x80, 0x80}, fffd + fffd + fffd + fffd},
      {"unpaired high surrogate", {18, 2, 0, 0, 0, 0x00, 0xD8, 0x41, 0x00}, fffd + "A"},
      {"unpaired low surrogate", {18, 1, 0, 0, 0, 0x00, 0xDC}, fffd},
      {"high surrogate at the end", {18, 1, 0, 0, 0, 0x3D, 0xD8}, fffd},
      {"empty wide string", {18, 0, 0, 0, 0}, ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryStream stream(c.bytes);
    TBinaryReader reader(stream);
    const size_t declared = c.bytes[1] * (c.bytes[0] == 18 ? 2u : 1u);
    EXPECT_EQ(reader.ReadString(), c.utf8);
    EXPECT_EQ(static_cast<size_t>(reader.Remaining()), c.bytes.size() - 5 - declared);
  }
}

TEST_F(PersistenceTest, StringLengthsBeyondTheStreamFailBeforeAllocating) {
  const Bytes cases[] = {
      {12, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'},  // 2 GiB promised
      {12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'},       // negative
      {18, 0x00, 0x00, 0x00, 0x40, 'a', 0},    // 2 GiB of UTF-16 units
      {18, 0xFF, 0xFF, 0xFF, 0xFF},            // negative
      {20, 0x10, 0x00, 0x00, 0x00, 'a'},       // 16 promised, 1 present
      {6, 5, 'a', 'b'},                        // short string cut
      {12, 1, 0},                              // length cut
  };
  for (const Bytes& b : cases) {
    TMemoryStream stream(b);
    TBinaryReader reader(stream);
    EXPECT_THROW(reader.ReadString(), EReadError);
  }
}

// ------------------------------------------------------------------ floats

struct FloatCase {
  const char* what;
  double value;
  TExtendedBytes bytes;
};

TEST_F(PersistenceTest, FloatsAreWrittenAsExtendedBitPatterns) {
  const FloatCase cases[] = {
      {"1.0", 1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
      {"-2.5", -2.5, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
      {"0.0", 0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"-0.0", -0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}},
      // The smallest double denormal, 2^-1074, is a normal extended number.
      {"denormal", std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},
      // 3 * 2^-1074: two significant bits.
      {"denormal 3", 3 * std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xCE, 0x3B}},
      {"+infinity", std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
      {"-infinity", -std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}},
      {"quiet NaN", std::bit_cast<double>(0x7FF8000000000000ull), {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}},
      {"largest double", std::numeric_limits<double>::max(),
       {0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x43}},
  };
  for (const FloatCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodeExtended(c.value), c.bytes);
    Bytes expected{5};
    expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
    EXPECT_EQ(Written([&](TBinaryWriter& w) { w.WriteFloat(c.value); }), expected);
    TMemoryStream stream(expected);
    TBinaryReader reader(stream);
    const double back = reader.ReadFloat();
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(back));
    } else {
      EXPECT_EQ(std::bit_cast<uint64_t>(back), std::bit_cast<uint64_t>(c.value));
    }
  }
}

struct DecodeCase {
  const char* what;
  uint64_t mantissa;
  uint16_t signExponent;
  uint64_t doubleBits;  // expected result; NaN checked by class
};

TExtendedBytes Extended(uint64_t mantissa, uint16_t signExponent) {
  TExtendedBytes b{};
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(mantissa >> (8 * i));
  b[8] = static_cast<uint8_t>(signExponent);
  b[9] = static_cast<uint8_t>(signExponent >> 8);
  return b;
}

TEST_F(PersistenceTest, ExtendedValuesRoundToNearestDoubleHalvesToEven) {
  const uint64_t one = 0x3FF0000000000000ull;
  const DecodeCase cases[] = {
      {"1 + 2^-53 is a tie: to even 1", 0x8000000000000400ull, 0x3FFF, one},
      {"just above the tie goes up", 0x8000000000000401ull, 0x3FFF, one + 1},
      {"1 + 3*2^-53 is a tie: to even 1 + 2^-51", 0x8000000000000C00ull, 0x3FFF, one + 2},
      {"carry into the exponent", 0xFFFFFFFFFFFFFFFFull, 0x3FFF, 0x4000000000000000ull},
      {"beyond the double range is infinity", 0x8000000000000000ull, 0x43FF, 0x7FF0000000000000ull},
      {"negative beyond the range", 0x8000000000000000ull, 0xC3FF, 0xFFF0000000000000ull},
      {"2^-1075 is a tie: to even 0", 0x8000000000000000ull, 0x3BCC, 0},
      {"1.5 * 2^-1075 rounds up to the smallest denormal", 0xC000000000000000ull, 0x3BCC, 1},
      {"2^-1076 rounds to 0", 0x8000000000000000ull, 0x3BCB, 0},
      {"extended denormal underflows to signed zero", 1, 0x8000, 0x8000000000000000ull},
      {"largest extended is infinity", 0xFFFFFFFFFFFFFFFFull, 0x7FFE, 0x7FF0000000000000ull},
      {"2^-1022 is the smallest normal double", 0x8000000000000000ull, 0x3C01, 0x0010000000000000ull},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(std::bit_cast<uint64_t>(DecodeExtended(Extended(c.mantissa, c.signExponent))), c.doubleBits);
  }
}

TEST_F(PersistenceTest, ExtendedNaNsAndInvalidEncodingsReadAsNaN) {
  EXPECT_TRUE(std::isnan(DecodeExtended(Extended(0xC000000000000001ull, 0x7FFF))));  // quiet NaN with payload
  EXPECT_TRUE(std::isnan(DecodeExtended(Extended(0x8000000000000001ull, 0xFFFF))));  // signalling NaN
  EXPECT_TRUE(std::isnan(DecodeExtended(Extended(0, 0x7FFF))));                      // pseudo-infinity
  EXPECT_TRUE(std::isnan(DecodeExtended(Extended(0x4000000000000000ull, 0x3FFF))));  // unnormal
  EXPECT_EQ(DecodeExtended(Extended(0x8000000000000000ull, 0xFFFF)), -std::numeric_limits<double>::infinity());
}

TEST_F(PersistenceTest, EveryDoubleSurvivesTheExtendedLayout) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = random();
    const double value = std::bit_cast<double>(bits);
    if (std::isnan(value)) continue;
    ASSERT_EQ(std::bit_cast<uint64_t>(DecodeExtended(EncodeExtended(value))), bits) << std::hex << bits;
  }
}

// ------------------------------------------------------------------ errors

TEST_F(PersistenceTest, EveryReadOperationChecksItsTag) {
  for (uint8_t tag = 0; tag < 30; ++tag) {
    Bytes b{tag, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    auto reads = [&](auto op) {
      TMemoryStream stream(b);
      TBinaryReader reader(stream);
      try {
        op(reader);
        return true;
      } catch (const EReadError&) {
        return false;
      }
    };
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadInteger(); }), tag >= 2 && tag <= 4) << int(tag);
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadBoolean(); }), tag == 8 || tag == 9) << int(tag);
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadString(); }), tag == 6 || tag == 12 || tag == 18 || tag == 20)
        << int(tag);
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadFloat(); }), tag == 5) << int(tag);
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadListBegin(); }), tag == 1) << int(tag);
    EXPECT_EQ(reads([](TBinaryReader& r) { r.ReadListEnd(); }), tag == 0) << int(tag);
  }
}

TEST_F(PersistenceTest, ValuesCutShortRaiseTheStreamReadError) {
  const Bytes whole[] = {{3, 1, 2}, {4, 1, 2, 3, 4}, {5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}, {6, 2, 'a', 'b'}};
  for (const Bytes& b : whole) {
    for (size_t cut = 0; cut < b.size(); ++cut) {
      TMemoryStream stream(Bytes(b.begin(), b.begin() + static_cast<long>(cut)));
      TBinaryReader reader(stream);
      const auto readValue = [&] {
        if (b[0] == 5) {
          reader.ReadFloat();
        } else if (b[0] == 6) {
          reader.ReadString();
        } else {
          reader.ReadInteger();
        }
      };
      EXPECT_EQ(ThrownMessage<EReadError>(readValue), "Stream read error") << "cut at " << cut;
    }
  }
  TMemoryStream empty;
  TBinaryReader reader(empty);
  EXPECT_THROW(reader.NextValue(), EReadError);
  EXPECT_THROW(reader.EndOfList(), EReadError);
}

// ------------------------------------------------------ persistent objects

TEST_F(PersistenceTest, TheFileSignatureLeadsTheArchiveAndIsChecked) {
  TSignedThing thing;
  thing.x = 7;
  const std::string data = thing.SaveToString();
  EXPECT_EQ(AsBytes(data), (Bytes{'S', 'I', 'G', '1', 2, 0, 2, 7}));
  TSignedThing back;
  back.LoadFromString(data);
  EXPECT_EQ(back.x, 7);
  for (const std::string& bad : {std::string("SIG2\x02\x00\x02\x07", 8), std::string("SI")}) {
    EXPECT_EQ(ThrownMessage<EInvalidFileSignature>([&] { back.LoadFromString(bad); }), "Invalid file signature")
        << bad.size();
  }
}

TEST_F(PersistenceTest, AnUnknownArchiveVersionNamesTheClass) {
  TTestPoint p;
  EXPECT_EQ(ThrownMessage<EFilerException>([&] { p.LoadFromString(AsString({2, 3, 2, 0})); }),
            "TTestPoint : unknown archive version 3");
}

// --------------------------------------------------------- the object list

TEST_F(PersistenceTest, ListIndicesAreCheckedAndCapacityGrowsByTheDelta) {
  TPersistentObjectList list;
  EXPECT_EQ(list.Pop(), nullptr);
  EXPECT_EQ(list.Count(), 0);
  TTestPoint items[17];
  list.Add(&items[0]);
  EXPECT_EQ(list.Capacity(), 16);
  for (int i = 1; i < 17; ++i) list.Add(&items[i]);
  EXPECT_EQ(list.Capacity(), 32);
  EXPECT_EQ(list.IndexOf(&items[3]), 3);
  EXPECT_EQ(list.Remove(&items[3]), 3);
  EXPECT_EQ(list.Remove(&items[3]), -1);
  list.Insert(0, nullptr);
  EXPECT_EQ(list.GetItem(0), nullptr);
  EXPECT_EQ(list.Pop(), &items[16]);
  EXPECT_THROW(list.GetItem(list.Count()), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(list.Count() + 1, nullptr), EListError);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
  list.SetCount(3);
  EXPECT_EQ(list.Capacity(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(list.GetItem(i), nullptr);
}

TEST_F(PersistenceTest, AnObjectListArchiveNamesEachClassOnceAndIndexesRepeats) {
  TTestPoint a(5), b(300);
  TTestName n("ab");
  TNotPersistent other;
  TPersistentObjectList list;
  list.Add(nullptr);
  list.Add(&a);
  list.Add(&b);
  list.Add(&n);
  list.Add(&other);

  Bytes expected;
  Append(expected, {2, 0, 1});              // version 0, list begin
  Append(expected, {8, 2, 0});              // nil
  AppendShortString(expected, "TTestPoint");  // first of its class
  Append(expected, {2, 0, 2, 5});
  Append(expected, {2, 0});                 // class index 0
  Append(expected, {2, 0, 3, 0x2C, 0x01});
  AppendShortString(expected, "TTestName");
  Append(expected, {2, 0});
  AppendShortString(expected, "ab");
  Append(expected, {8, 2, 0});              // not persistent: no address is stored
  Append(expected, {0});                    // list end
  EXPECT_EQ(AsBytes(list.SaveToString()), expected);

  TPersistentObjectList back;
  back.LoadFromString(AsString(expected));
  ASSERT_EQ(back.Count(), 5);
  EXPECT_EQ(back.GetItem(0), nullptr);
  auto* p1 = dynamic_cast<TTestPoint*>(back.GetItem(1));
  auto* p2 = dynamic_cast<TTestPoint*>(back.GetItem(2));
  auto* p3 = dynamic_cast<TTestName*>(back.GetItem(3));
  ASSERT_TRUE(p1 && p2 && p3);
  EXPECT_EQ(p1->x, 5);
  EXPECT_EQ(p2->x, 300);
  EXPECT_EQ(p3->name, "ab");
  EXPECT_EQ(back.GetItem(4), nullptr);
  EXPECT_TRUE(back.Owns(p1));
}

TEST_F(PersistenceTest, AStoredReferenceIsNeverTurnedBackIntoAPointer) {
  Bytes archive;
  Append(archive, {2, 0, 1, 9, 4, 0x78, 0x56, 0x34, 0x12, 8, 3, 0x10, 0x20, 0});
  TPersistentObjectList list;
  list.LoadFromString(AsString(archive));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetItem(0), nullptr);
  EXPECT_EQ(list.GetItem(1), nullptr);

  // Many of them: the list's storage once grew by the delta only, each time moved whole.
  constexpr int kMany = 1500000;
  Bytes many{2, 0, 1};
  for (int i = 0; i < kMany; ++i) Append(many, {8, 2, 0});
  Append(many, {0});
  list.LoadFromString(AsString(many));
  ASSERT_EQ(list.Count(), kMany);
  EXPECT_EQ(list.Capacity(), (kMany + 15) / 16 * 16) << "the capacity still grows by the delta";
  EXPECT_EQ(list.GetItem(kMany - 1), nullptr);
}

TEST_F(PersistenceTest, ObjectsTheListMadeLiveUntilTheListGoesOrHandsThemOver) {
  TPersistentObjectList list;
  Bytes archive{2, 0, 1};
  AppendShortString(archive, "TTestPoint");
  Append(archive, {2, 0, 2, 9, 0});
  list.LoadFromString(AsString(archive));
  TObject* made = list.Pop();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(static_cast<TTestPoint*>(made)->x, 9) << "still alive after leaving its slot";
  std::unique_ptr<TObject> mine = list.ReleaseOwned(made);
  EXPECT_EQ(mine.get(), made);
  EXPECT_FALSE(list.Owns(made));

  list.LoadFromString(AsString(archive));
  TObject* second = list.GetItem(0);
  list.FreeItems();
  EXPECT_EQ(list.GetItem(0), nullptr) << "a freed object's slot is emptied";
  EXPECT_FALSE(list.Owns(second));
}

TEST_F(PersistenceTest, CleanFreeFreesTheObjectsTheListOwnsAndThenTheList) {
  int freed = 0;
  TWatchedPoint elsewhere(&freed);
  auto list = std::make_unique<TPersistentObjectList>();
  list->AddOwned(std::make_unique<TWatchedPoint>(&freed));
  list->Add(&elsewhere);
  list->AddOwned(std::make_unique<TWatchedPoint>(&freed));
  TPersistentObjectList::CleanFree(list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(freed, 2);
  TPersistentObjectList::CleanFree(list);  // no list: nothing
  EXPECT_EQ(freed, 2);
}

TEST_F(PersistenceTest, ReadingWithAnEventHandsItEveryObjectBeforeTheObjectReadsItself) {
  Bytes archive{2, 0, 1};
  AppendShortString(archive, "TTestPoint");
  Append(archive, {2, 0, 2, 9});
  Append(archive, {2, 0, 2, 0, 2, 7});  // class index 0
  Append(archive, {0});
  TMemoryStream stream(archive);
  TBinaryReader reader(stream);
  TPersistentObjectList list;
  std::vector<std::pair<TObject*, int32_t>> seen;
  list.ReadFromFilerWithEvent(reader, [&](TObject& object) {
    seen.emplace_back(&object, static_cast<TTestPoint&>(object).x);
  });
  ASSERT_EQ(list.Count(), 2);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::pair<TObject*, int32_t>{list.GetItem(0), 0}));
  EXPECT_EQ(seen[1], (std::pair<TObject*, int32_t>{list.GetItem(1), 0}));
  EXPECT_EQ(static_cast<TTestPoint*>(list.GetItem(1))->x, 7);
}

struct BrokenCase {
  const char* what;
  Bytes archive;
};

TEST_F(PersistenceTest, BrokenObjectListArchivesAreRejected) {
  Bytes badIndex{2, 0, 1};
  AppendShortString(badIndex, "TTestPoint");
  Append(badIndex, {2, 0, 2, 1, 2, 1, 2, 0, 2, 1, 0});  // index 1 of a one-class table
  Bytes negativeIndex{2, 0, 1};
  AppendShortString(negativeIndex, "TTestPoint");
  Append(negativeIndex, {2, 0, 2, 1, 2, 0xFF, 2, 0, 2, 1, 0});
  Bytes indexFirst{2, 0, 1, 2, 0, 2, 0, 2, 1, 0};  // index before any class
  Bytes floatItem{2, 0, 1, 5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F, 0};
  Bytes listItem{2, 0, 1, 1, 0, 0};
  Bytes wrongClass{2, 0, 1};
  AppendShortString(wrongClass, "TNotPersistent");
  Append(wrongClass, {0});
  const BrokenCase cases[] = {
      {"class index beyond the table", badIndex},
      {"negative class index", negativeIndex},
      {"class index before any class", indexFirst},
      {"a float where an item starts", floatItem},
      {"a list where an item starts", listItem},
      {"a registered class that is not persistent", wrongClass},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.what);
    TPersistentObjectList list;
    EXPECT_EQ(ThrownMessage<Exception>([&] { list.LoadFromString(AsString(c.archive)); }),
              "Broken ObjectList archive");
  }
}

TEST_F(PersistenceTest, AnUnregisteredClassNameIsNotFound) {
  Bytes archive{2, 0, 1};
  AppendShortString(archive, "TNowhere");
  Append(archive, {0});
  TPersistentObjectList list;
  EXPECT_EQ(ThrownMessage<EClassNotFound>([&] { list.LoadFromString(AsString(archive)); }),
            "Class TNowhere not found");
}

TEST_F(PersistenceTest, AnObjectListArchiveCutAtAnyByteFails) {
  TTestPoint a(5), b(70000);
  TTestName n("name");
  TPersistentObjectList inner;
  inner.Add(&a);
  TPersistentObjectList list;
  list.Add(&a);
  list.Add(nullptr);
  list.Add(&b);
  list.Add(&n);
  list.Add(&inner);
  const std::string whole = list.SaveToString();
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    TPersistentObjectList back;
    EXPECT_THROW(back.LoadFromString(whole.substr(0, cut)), Exception) << "cut at " << cut;
  }
  TPersistentObjectList back;
  back.LoadFromString(whole);
  ASSERT_EQ(back.Count(), 5);
  auto* nested = dynamic_cast<TPersistentObjectList*>(back.GetItem(4));
  ASSERT_NE(nested, nullptr);
  ASSERT_EQ(nested->Count(), 1);
  EXPECT_EQ(static_cast<TTestPoint*>(nested->GetItem(0))->x, 5);
}

TEST_F(PersistenceTest, DeeplyNestedListsAreRefusedInsteadOfExhaustingTheStack) {
  // List inside list, 10000 deep; each level has its own class table, so each names the class.
  Bytes archive;
  const int depth = 10000;
  for (int i = 0; i < depth; ++i) {
    Append(archive, {2, 0, 1});
    AppendShortString(archive, "TPersistentObjectList");
  }
  Append(archive, {2, 0, 1});
  for (int i = 0; i <= depth; ++i) Append(archive, {0});
  TPersistentObjectList list;
  EXPECT_THROW(list.LoadFromString(AsString(archive)), EReadError);

  TPersistentObjectList selfHolding;
  selfHolding.Add(&selfHolding);
  EXPECT_THROW(selfHolding.SaveToString(), EWriteError);
}

}  // namespace
}  // namespace qira
