// The compound file: what we write is read by an independent reader (Python's
// olefile, which also checks the sibling trees here), and what we read comes
// from an independent generator (tests/fixtures/make_compound_files.py).
//
// Sections (each begins at a line "// [SECTION] <name>"):
//   helpers
//   peer: olefile
//   the version-3 layout
//   reading independent files
//   errors
//   saving on disk
//   stream access
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/BinaryStream.h"
#include "support/EnvVar.h"
#include "support/GeneratedFixtures.h"
#include "support/PeerRun.h"
#include "support/ScopedMemoryProbe.h"
#include "support/ScopedSaveStep.h"
#include "support/ScopedWriteFailure.h"
#include "support/ScratchFolder.h"
#include "support/ThrownMessage.h"
#include "xls/CompoundFile.h"

namespace qira {
namespace {

// [SECTION] helpers

std::vector<uint8_t> Payload(size_t n, int seed) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed)) & 0xFF);
  return bytes;
}

void Put(TCFileStorage& storage, const std::string& name, const std::vector<uint8_t>& bytes) {
  TCFileStream& s = storage.CreateStream(name);
  if (bytes.empty()) return;
  ASSERT_TRUE(s.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size())));
}

std::string Sha256(const std::vector<uint8_t>& bytes) {
  return QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<qsizetype>(bytes.size())),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

// Lines "storage <path>" and "stream <path> <size> <sha256>", sorted, for every
// item below `storage`.
void Describe(const TCFileStorage& storage, const std::string& prefix, std::vector<std::string>& lines) {
  for (int i = 0; i < storage.Count(); ++i) {
    const TCFileItem& item = storage.Item(i);
    const std::string path = prefix + item.Name();
    if (item.IsStorage()) {
      lines.push_back("storage " + path);
      Describe(static_cast<const TCFileStorage&>(item), path + "/", lines);
    } else {
      const auto& data = static_cast<const TCFileStream&>(item).Data();
      lines.push_back("stream " + path + " " + std::to_string(data.size()) + " " + Sha256(data));
    }
  }
}

std::vector<std::string> Describe(TCFile& file) {
  std::vector<std::string> lines;
  Describe(file.Root(), "", lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// olefile reads the file strictly (any defect of the level "incorrect" fails),
// prints the root name, every storage and stream with its bytes' digest, then
// checks each sibling tree: name order of the format and the red-black rules.
const char* const kOlefilePeer = R"PY(
import hashlib, sys, olefile
ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
print("root " + ole.root.name)
for p in ole.listdir(streams=True, storages=True):
    if ole.get_type(p) == olefile.STGTY_STREAM:
        data = ole.openstream(p).read()
        print("stream %s %d %s" % ("/".join(p), len(data), hashlib.sha256(data).hexdigest()))
    else:
        print("storage " + "/".join(p))
def key(name):
    return (len(name), name.upper())
def walk(sid, parent_red, out):
    if sid == olefile.NOSTREAM:
        return 1
    e = ole.direntries[sid]
    red = e.color == 0
    if red and parent_red:
        raise Exception("red child of red " + e.name)
    left = walk(e.sid_left, red, out)
    out.append(e.name)
    right = walk(e.sid_right, red, out)
    if left != right:
        raise Exception("black heights differ at " + e.name)
    return left + (0 if red else 1)
def check(entry):
    if entry.sid_child != olefile.NOSTREAM:
        if ole.direntries[entry.sid_child].color == 0:
            raise Exception("red tree root under " + entry.name)
        names = []
        walk(entry.sid_child, False, names)
        if [key(n) for n in names] != sorted(key(n) for n in names) or len(set(map(key, names))) != len(names):
            raise Exception("siblings out of order under " + entry.name)
    for kid in entry.kids:
        check(kid)
check(ole.root)
print("trees ok")
)PY";

struct TPeerResult {
  int status = -1;
  std::vector<std::string> lines;  // sorted, without "root" and "trees ok"
  std::string root;
  bool treesOk = false;
  std::string output;
};

TPeerResult ReadWithOlefile(const TScratchFolder& folder, const std::string& path) {
  const test::TPeerOutput run = test::RunPython(folder, "peer.py", kOlefilePeer, {path});
  TPeerResult r;
  r.status = run.status;
  r.output = run.text;
  for (const std::string& line : run.lines) {
    if (line.rfind("root ", 0) == 0) {
      r.root = line.substr(5);
    } else if (line == "trees ok") {
      r.treesOk = true;
    } else {
      r.lines.push_back(line);
    }
  }
  std::sort(r.lines.begin(), r.lines.end());
  return r;
}

// The streams of the peer test: either side of the 4096-byte cutoff, exact
// sector and mini-sector multiples, empty, and several sectors long.
void FillSampleTree(TCFile& file) {
  TCFileStorage& root = file.Root();
  Put(root, "Workbook", Payload(10000, 1));
  Put(root, "One", Payload(1, 2));
  Put(root, "Sixty-four", Payload(64, 3));
  Put(root, "Below cutoff", Payload(4095, 4));
  Put(root, "At cutoff", Payload(4096, 5));
  Put(root, "Sector multiple", Payload(8192, 6));
  root.CreateStream("Empty");
  TCFileStorage& folder = root.CreateStorage("Folder");
  Put(folder, "Inner", Payload(700, 7));
  TCFileStorage& deep = folder.CreateStorage("Deeper");
  Put(deep, "Big", Payload(20000, 8));
  Put(deep, "\xC3\x84rger \xE2\x82\xAC", Payload(5, 9));  // "Ärger €"
  TCFileStorage& many = root.CreateStorage("Many");
  for (int i = 0; i < 23; ++i) Put(many, "s" + std::to_string(i * 37 % 23), Payload(static_cast<size_t>(i * 10), i));
}

// [SECTION] peer: olefile

TEST(CompoundFilePeers, OlefileReadsEveryStreamAndTheTreeAsWritten) {
  TScratchFolder folder;
  const std::string path = folder.File("book.xls");
  std::vector<std::string> expected;
  {
    TCFile file(cfmCreate, path);
    FillSampleTree(file);
    expected = Describe(file);
    file.Commit();
  }
  const TPeerResult peer = ReadWithOlefile(folder, path);
  ASSERT_EQ(peer.status, 0) << peer.output;
  EXPECT_EQ(peer.root, "Root Entry");
  EXPECT_TRUE(peer.treesOk) << peer.output;
  EXPECT_EQ(peer.lines, expected);
}

TEST(CompoundFilePeers, OlefileReadsAFileWhoseFatNeedsDifatSectors) {
  // 110 FAT sectors cover 14080 sectors: more than the header's 109 entries.
  TScratchFolder folder;
  const std::string path = folder.File("large.cfb");
  std::vector<std::string> expected;
  {
    TCFile file(cfmCreate, path);
    Put(file.Root(), "Workbook", Payload(109 * 128 * 512 + 4000, 11));
    Put(file.Root(), "Small", Payload(300, 12));
    expected = Describe(file);
    file.Commit();
  }
  const TPeerResult peer = ReadWithOlefile(folder, path);
  ASSERT_EQ(peer.status, 0) << peer.output;
  EXPECT_EQ(peer.lines, expected);
}

TEST(CompoundFilePeers, OlefileReadsAFileWithoutStreams) {
  TScratchFolder folder;
  const std::string path = folder.File("empty.cfb");
  TCFile(cfmCreate, path).Commit();
  const TPeerResult peer = ReadWithOlefile(folder, path);
  ASSERT_EQ(peer.status, 0) << peer.output;
  EXPECT_TRUE(peer.lines.empty());
  EXPECT_TRUE(peer.treesOk);
}

// [SECTION] the version-3 layout

TEST(CompoundFileLayout, HeaderIsVersionThreeWithFiveHundredTwelveByteSectors) {
  TCFile file(cfmCreateInMemory, "");
  Put(file.Root(), "Workbook", Payload(5000, 1));
  file.Commit();
  const std::vector<uint8_t>& b = file.MemoryImage();
  ASSERT_GE(b.size(), 512u);
  EXPECT_EQ(b.size() % 512, 0u);
  const uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  EXPECT_TRUE(std::equal(signature, signature + 8, b.begin()));
  auto u16 = [&](size_t at) { return b[at] | b[at + 1] << 8; };
  EXPECT_EQ(u16(26), 3);       // major version
  EXPECT_EQ(u16(28), 0xFFFE);  // byte order
  EXPECT_EQ(u16(30), 9);       // sector shift
  EXPECT_EQ(u16(32), 6);       // mini sector shift
  EXPECT_EQ(u16(56), 4096);    // mini stream cutoff
  EXPECT_EQ(file.Bytes(), b);
}

// [SECTION] reading independent files

TEST(CompoundFileReading, GeneratedFilesOfBothVersionsGiveTheirTree) {
  const auto& fixtures = TGeneratedFixtures::Of("make_compound_files.py");
  const std::vector<std::string> expected = [] {
    std::vector<std::string> lines = {
        "storage Folder",
        "storage Folder/Deep",
        "stream Empty 0 " + Sha256({}),
        "stream Folder/Deep/Leaf 10 " + Sha256(Payload(10, 4)),
        "stream Folder/Inner 3000 " + Sha256(Payload(3000, 3)),
        "stream Small 100 " + Sha256(Payload(100, 2)),
        "stream Workbook 5000 " + Sha256(Payload(5000, 1)),
    };
    std::sort(lines.begin(), lines.end());
    return lines;
  }();
  for (const char* name : {"good_v3.cfb", "good_v4.cfb"}) {
    TCFile onDisk(cfmOpen, fixtures.File(name));
    EXPECT_EQ(Describe(onDisk), expected) << name;
    TMemoryStream stream = fixtures.Stream(name);
    std::unique_ptr<TCFile> inMemory = TCFile::CreateFromStream(stream);
    EXPECT_EQ(Describe(*inMemory), expected) << name;
  }
}

TEST(CompoundFileReading, ChildrenComeInTheFormatsNameOrder) {
  const auto& fixtures = TGeneratedFixtures::Of("make_compound_files.py");
  TCFile file(cfmOpen, fixtures.File("good_v3.cfb"));
  std::vector<std::string> names;
  for (int i = 0; i < file.Root().Count(); ++i) names.push_back(file.Root().Item(i).Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Small", "Folder", "Workbook"}));
  ASSERT_NE(file.Root().FindStream("WORKBOOK"), nullptr);
  EXPECT_EQ(file.Root().FindStorage("folder")->FindStorage("Deep")->FindStream("leaf")->GetSize(), 10);
  EXPECT_EQ(file.Root().FindStorage("Workbook"), nullptr);
}

TEST(CompoundFileReading, DamagedFilesRaiseTheirCodes) {
  const auto& fixtures = TGeneratedFixtures::Of("make_compound_files.py");
  struct TCase {
    const char* file;
    int openCode;        // mode 1 on disk
    int fromStreamCode;  // CreateFromStream
  } cases[] = {
      {"bad_signature.cfb", 3, 0}, {"truncated.cfb", 3, 0},     {"sibling_loop.cfb", 3, 0},
      {"fat_loop.cfb", 4, 4},      {"short_chain.cfb", 4, 4},   {"shared_sector.cfb", 4, 4},
      {"long_name.cfb", 4, 4},     {"nested_loop.cfb", 5, 5},
      // The clash comes after many names, each once checked against all before it.
      {"many_names.cfb", 4, 4},
  };
  for (const TCase& c : cases) {
    try {
      TCFile file(cfmOpen, fixtures.File(c.file));
      ADD_FAILURE() << c.file << " opened";
    } catch (const ECFileError& e) {
      EXPECT_EQ(e.Code(), c.openCode) << c.file;
      EXPECT_STREQ(e.what(), CFileErrorText(c.openCode)) << c.file;
    }
    TMemoryStream stream = fixtures.Stream(c.file);
    try {
      TCFile::CreateFromStream(stream);
      ADD_FAILURE() << c.file << " opened from a stream";
    } catch (const ECFileError& e) {
      EXPECT_EQ(e.Code(), c.fromStreamCode) << c.file;
    }
  }
}

TEST(CompoundFileReading, WhatWeWriteReadsBackWithTheSameTree) {
  TCFile file(cfmCreateInMemory, "");
  FillSampleTree(file);
  TMemoryStream stream(file.Bytes());
  std::unique_ptr<TCFile> back = TCFile::CreateFromStream(stream);
  EXPECT_EQ(Describe(*back), Describe(file));
}

TEST(CompoundFileReading, OpenedFilesAreReadOnly) {
  const auto& fixtures = TGeneratedFixtures::Of("make_compound_files.py");
  TCFile file(cfmOpen, fixtures.File("good_v3.cfb"));
  EXPECT_TRUE(file.ReadOnly());
  TCFileStream* small = file.Root().FindStream("Small");
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->Write("x", 1), 0);
  EXPECT_FALSE(small->WriteByte(1));
  EXPECT_EQ(small->Data(), Payload(100, 2));
  try {
    file.Root().CreateStream("New");
    FAIL() << "created a stream in an opened file";
  } catch (const ECFileError& e) {
    EXPECT_EQ(e.Code(), 1);
  }
}

TEST(CompoundFileReading, AMissingFileRaisesCodeThreeWithItsFullText) {
  TScratchFolder folder;
  try {
    TCFile file(cfmOpen, folder.File("absent.xls"));
    FAIL() << "opened";
  } catch (const ECFileError& e) {
    EXPECT_EQ(e.Code(), 3);
    EXPECT_STREQ(e.what(), "Can not open a file (probably it is already opened or does not exist)");
  }
  // A file the memory cannot hold is told so, with the code of a file that does not open.
  const TScopedMemoryProbe probe([] { return int64_t{0}; });
  const std::string path = TGeneratedFixtures::Of("make_compound_files.py").File("good_v3.cfb");
  try {
    TCFile file(cfmOpen, path);
    FAIL() << "opened";
  } catch (const ECFileError& e) {
    EXPECT_EQ(e.Code(), 3);
    EXPECT_EQ(std::string(e.what()), "The file \"" + path +
                                         "\" is too large to be read: it needs 1 MB of memory, more than the 0 MB "
                                         "available now.");
  }
}

// [SECTION] errors

TEST(CompoundFileErrors, CodesCarryTheirFixedTexts) {
  const char* const texts[] = {
      "Can not create a file",
      "Can not create a stream",
      "Can not create a storage",
      "Can not open a file (probably it is already opened or does not exist)",
      "Can not open a stream",
      "Can not open a storage",
      "Can not set stream position",
      "Can not commit a storage",
  };
  for (int code = 0; code < 8; ++code) {
    const ECFileError e(code);
    EXPECT_EQ(e.Code(), code);
    EXPECT_STREQ(e.what(), texts[code]);
  }
}

TEST(CompoundFileErrors, NamesThatDoNotFitOrClashAreRefused) {
  TCFile file(cfmCreateInMemory, "");
  file.Root().CreateStream("Workbook");
  file.Root().CreateStorage("Folder");
  struct TCase {
    std::string name;
    const char* why;
  } cases[] = {
      {std::string(32, 'a'), "32 characters"},
      {std::string(101, 'a'), "more than 100 characters"},
      {"", "empty"},
      {"a/b", "slash"},
      {"a:b", "colon"},
      {"a!b", "exclamation mark"},
      {"a\\b", "backslash"},
      {"WORKBOOK", "an existing stream, other case"},
      {"folder", "an existing storage, other case"},
      {"\xFF\xFE", "not UTF-8"},
  };
  for (const TCase& c : cases) {
    try {
      file.Root().CreateStream(c.name);
      ADD_FAILURE() << "stream " << c.why;
    } catch (const ECFileError& e) {
      EXPECT_EQ(e.Code(), 1) << c.why;
    }
    try {
      file.Root().CreateStorage(c.name);
      ADD_FAILURE() << "storage " << c.why;
    } catch (const ECFileError& e) {
      EXPECT_EQ(e.Code(), 2) << c.why;
    }
  }
  EXPECT_NO_THROW(file.Root().CreateStream(std::string(31, 'a')));
  EXPECT_EQ(file.Root().Count(), 3);
}

TEST(CompoundFileErrors, AFileThatCannotBeCreatedRaisesCodeZeroNamingTheFileAndWhy) {
  TScratchFolder folder;
  const std::string path = folder.File("missing/book.xls");
  try {
    TCFile file(cfmCreate, path);
    FAIL() << "created";
  } catch (const ECFileError& e) {
    EXPECT_EQ(e.Code(), 0);
    EXPECT_EQ(std::string(e.what()), "Can not create a file " + path + ": No such file or directory");
  }
}

// [SECTION] saving on disk

TEST(CompoundFileSaving, CreatingOverAnExistingFileReplacesItOnCommit) {
  TScratchFolder folder;
  folder.Put("book.xls", "old");
  {
    TCFile file(cfmCreate, folder.File("book.xls"));
    Put(file.Root(), "Workbook", Payload(600, 1));
    EXPECT_EQ(folder.Get("book.xls"), "old");
    file.Commit();
  }
  TCFile back(cfmOpen, folder.File("book.xls"));
  ASSERT_NE(back.Root().FindStream("Workbook"), nullptr);
  EXPECT_EQ(back.Root().FindStream("Workbook")->Data(), Payload(600, 1));
  EXPECT_EQ(folder.Entries().size(), 1u);
}

TEST(CompoundFileSaving, AFileDroppedWithoutCommitLeavesTheOldFileAndNoTemporary) {
  TScratchFolder folder;
  folder.Put("book.xls", "old");
  {
    TCFile file(cfmCreate, folder.File("book.xls"));
    Put(file.Root(), "Workbook", Payload(600, 1));
  }
  EXPECT_EQ(folder.Get("book.xls"), "old");
  EXPECT_EQ(folder.Entries().size(), 1u);
}

// The files without a name in `folder` this process holds open (an unnamed
// temporary file, or one removed while open), as the kernel lists its descriptors.
std::vector<std::string> UnnamedFilesHeldIn(const std::string& folder) {
  std::vector<std::string> held;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string file = std::filesystem::read_symlink(fd.path(), ec).string();
    if (!ec && file.starts_with(folder + "/") && file.ends_with(" (deleted)")) held.push_back(file);
  }
  return held;
}

// A commit that meets a full disk keeps the older file whole, by rename or in place
// (a hard-linked file). The disk here has room again only once the save holds no
// temporary file beside the target, as a small disk would: a large stream's goes
// before the older content is put back.
TEST(CompoundFileSaving, ACommitOnAFullDiskKeepsTheOlderFileWhole) {
  for (const TSaveWay& way : kSaveWays) {
    SCOPED_TRACE(way.Way);
    TScratchFolder state;
    TEnvVar stateHome("XDG_STATE_HOME", state.Path().c_str());
    TScratchFolder folder;
    const std::string path = folder.File("book.xls");
    const std::string older = "the older workbook";
    folder.Put("book.xls", older);
    if (way.Linked) {
      ASSERT_EQ(::link(path.c_str(), folder.File("other-name.xls").c_str()), 0);
    }
    TCFile file(cfmCreate, path);
    Put(file.Root(), "Workbook", Payload(static_cast<size_t>(kCFileStreamSpillSize) + 4096, 1));
    ASSERT_FALSE(UnnamedFilesHeldIn(folder.Path()).empty()) << "the stream was not moved to a temporary file";
    std::vector<std::string> heldAtPutBack;
    TScopedSaveStep putBack([&](TSaveStep step, const std::string&) {
      if (step != TSaveStep::ssPuttingBack) return;
      heldAtPutBack = UnnamedFilesHeldIn(folder.Path());
      if (heldAtPutBack.empty()) SetFileWriteFailureForTesting(0);
    });
    {
      TScopedWriteFailure full(ENOSPC);
      try {
        file.Commit();
        ADD_FAILURE() << "committed";
      } catch (const ECFileError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": No space left on device");
      }
    }
    EXPECT_EQ(heldAtPutBack, std::vector<std::string>{});
    EXPECT_EQ(folder.Get("book.xls"), older);
    std::vector<std::string> entries = folder.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (way.Linked ? std::vector<std::string>{"book.xls", "other-name.xls"}
                                   : std::vector<std::string>{"book.xls"}));
  }
}

// A large stream whose temporary file fails, as it is made or later, takes no more
// writes and is not moved again; the commit tells the system's reason once the disk
// has room again.
TEST(CompoundFileSaving, AStreamWhoseTemporaryFileFailedStaysFailedWithTheReason) {
  for (const int fullFrom : {0, 1500}) {
    SCOPED_TRACE(fullFrom);
    TScratchFolder folder;
    const std::string path = folder.File("book.xls");
    folder.Put("book.xls", "old");
    TCFile file(cfmCreate, path);
    TCFileStream& s = file.Root().CreateStream("Workbook");
    const std::vector<uint8_t> chunk = Payload(1000, 2);
    const int64_t attempts = CFileSpillAttemptsForTesting();
    int taken = 0;
    for (int k = 0; k < 2000; ++k) {
      if (k == fullFrom) SetFileWriteFailureForTesting(ENOSPC);
      taken += s.WriteBuffer(chunk.data(), 1000) ? 1 : 0;
    }
    SetFileWriteFailureForTesting(0);
    EXPECT_LT(taken, 2000);
    EXPECT_FALSE(s.WriteBuffer(chunk.data(), 1000)) << "a write once the disk has room again";
    EXPECT_EQ(CFileSpillAttemptsForTesting() - attempts, 1);
    EXPECT_EQ(s.FailureReason(), std::strerror(ENOSPC));
    EXPECT_EQ(ThrownMessage<ECFileError>([&] { file.Commit(); }), path + ": " + std::strerror(ENOSPC));
    EXPECT_TRUE(folder.Get("book.xls") == "old") << "the older file was replaced";
  }
}

TEST(CompoundFileSaving, CommitCanBeRepeatedAfterMoreWrites) {
  TScratchFolder folder;
  TCFile file(cfmCreate, folder.File("book.xls"));
  Put(file.Root(), "A", Payload(10, 1));
  file.Commit();
  Put(file.Root(), "B", Payload(5000, 2));
  file.Commit();
  TCFile back(cfmOpen, folder.File("book.xls"));
  EXPECT_EQ(Describe(back), Describe(file));
}

// [SECTION] stream access

TEST(CompoundFileStreams, SeekAndSetPositionStayInsideTheStreamLimits) {
  TCFile file(cfmCreateInMemory, "");
  TCFileStream& s = file.Root().CreateStream("S");
  ASSERT_TRUE(s.WriteBuffer("abcdef", 6));
  EXPECT_EQ(s.Seek(2, soFromBeginning), 2);
  EXPECT_EQ(s.Seek(1, soFromCurrent), 3);
  EXPECT_EQ(s.Seek(-1, soFromEnd), 5);
  EXPECT_EQ(s.Seek(-10, soFromCurrent), 5);  // before the start: unchanged
  EXPECT_EQ(s.Seek(kMaxCFileStreamSize + 1, soFromBeginning), 5);
  EXPECT_EQ(s.Seek(INT64_MIN, soFromEnd), 5);
  EXPECT_EQ(s.Seek(100, soFromBeginning), 100);  // past the end is allowed
  EXPECT_EQ(s.GetSize(), 6);
  for (int64_t bad : {int64_t{-1}, kMaxCFileStreamSize + 1}) {
    try {
      s.SetPosition(bad);
      ADD_FAILURE() << bad;
    } catch (const ECFileError& e) {
      EXPECT_EQ(e.Code(), 6);
      EXPECT_STREQ(e.what(), "Can not set stream position");
    }
  }
  EXPECT_NO_THROW(s.SetPosition(0));
  EXPECT_EQ(s.Position(), 0);
}

TEST(CompoundFileStreams, WritingPastTheEndFillsTheGapWithZeros) {
  TCFile file(cfmCreateInMemory, "");
  TCFileStream& s = file.Root().CreateStream("S");
  s.SetPosition(3);
  ASSERT_TRUE(s.WriteWord(0x0201));
  ASSERT_TRUE(s.WriteDWord(0x06050403));
  ASSERT_TRUE(s.WriteByte(7));
  EXPECT_EQ(s.Data(), (std::vector<uint8_t>{0, 0, 0, 1, 2, 3, 4, 5, 6, 7}));
  s.SetPosition(0);
  ASSERT_TRUE(s.WriteBuffer("\x09", 1));  // overwrites, does not insert
  EXPECT_EQ(s.GetSize(), 10);
  EXPECT_FALSE(s.WriteBuffer(nullptr, 4));
  EXPECT_EQ(s.Seek(kMaxCFileStreamSize, soFromBeginning), kMaxCFileStreamSize);
  EXPECT_FALSE(s.WriteByte(1));  // would pass the largest stream
  EXPECT_EQ(s.GetSize(), 10);
}

TEST(CompoundFileStreams, AStreamPastTheMemoryLimitKeepsEveryWritePatchAndGap) {
  // Small writes past the size kept in memory, with patches far behind the end
  // (as the workbook writer patches record lengths and sheet offsets), a large
  // single write, and a gap: everything reads back and reaches olefile as a
  // stream held in memory would have.
  TScratchFolder folder;
  const std::string path = folder.File("big.cfb");
  std::vector<uint8_t> expected;
  {
    TCFile file(cfmCreate, path);
    TCFileStream& s = file.Root().CreateStream("Workbook");
    const std::vector<uint8_t> chunk = Payload(1000, 3);
    for (int k = 0; k < 3000; ++k) {
      ASSERT_TRUE(s.WriteBuffer(chunk.data(), static_cast<int32_t>(chunk.size())));
      expected.insert(expected.end(), chunk.begin(), chunk.end());
      if (k % 500 == 499) {
        const int64_t back = s.Position();
        const int64_t at = static_cast<int64_t>(k) * 600 + 3;
        s.SetPosition(at);
        ASSERT_TRUE(s.WriteDWord(0xA1B2C3D4));
        for (int b = 0; b < 4; ++b) expected[static_cast<size_t>(at) + b] = static_cast<uint8_t>(0xA1B2C3D4u >> (8 * b));
        s.SetPosition(back);
      }
    }
    const std::vector<uint8_t> large = Payload(300000, 5);
    ASSERT_TRUE(s.WriteBuffer(large.data(), static_cast<int32_t>(large.size())));
    expected.insert(expected.end(), large.begin(), large.end());
    s.SetPosition(s.GetSize() + 5000);
    ASSERT_TRUE(s.WriteWord(0x0102));
    expected.resize(expected.size() + 5000, 0);
    expected.push_back(2);
    expected.push_back(1);

    EXPECT_EQ(s.GetSize(), static_cast<int64_t>(expected.size()));
    EXPECT_EQ(s.Data(), expected);
    std::vector<uint8_t> middle(1000);
    s.SetPosition(1499990);
    ASSERT_TRUE(s.ReadBuffer(middle.data(), 1000));
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), expected.begin() + 1499990));
    Put(file.Root(), "Small", Payload(300, 12));
    file.Commit();
  }
  const TPeerResult peer = ReadWithOlefile(folder, path);
  ASSERT_EQ(peer.status, 0) << peer.output;
  EXPECT_TRUE(std::find(peer.lines.begin(), peer.lines.end(),
                        "stream Workbook " + std::to_string(expected.size()) + " " + Sha256(expected)) !=
              peer.lines.end())
      << peer.output;
  TCFile back(cfmOpen, path);
  ASSERT_NE(back.Root().FindStream("Workbook"), nullptr);
  EXPECT_EQ(back.Root().FindStream("Workbook")->Data(), expected);
}

TEST(CompoundFileStreams, TypedReadsSucceedOnlyWhenEveryByteIsThere) {
  TCFile file(cfmCreateInMemory, "");
  TCFileStream& s = file.Root().CreateStream("S");
  ASSERT_TRUE(s.WriteBuffer("\x01\x02\x03\x04\x05", 5));
  s.SetPosition(0);
  uint16_t w = 0;
  uint32_t d = 0;
  uint8_t b = 0;
  EXPECT_TRUE(s.ReadWord(w));
  EXPECT_EQ(w, 0x0201);
  EXPECT_TRUE(s.ReadByte(b));
  EXPECT_EQ(b, 3);
  EXPECT_FALSE(s.ReadDWord(d));  // two bytes left
  EXPECT_EQ(d, 0u);
  s.SetPosition(3);
  char buf[4] = {};
  EXPECT_FALSE(s.ReadBuffer(buf, 4));
  s.SetPosition(1);
  EXPECT_TRUE(s.ReadBuffer(buf, 4));
  EXPECT_EQ(std::string(buf, 4), "\x02\x03\x04\x05");
  EXPECT_EQ(s.Read(buf, 4), 0);  // at the end
}

}  // namespace
}  // namespace qira
