// A set built from a tree of members (nested directories, an empty file, a
// directory loop, two file groups, user data): its file map, filter lists
// and compiled map hold exactly the bytes the formats give, and its logical
// text is the members' filtered texts back to back, for every filter chain
// and for "meta"; seeking to an address and reading gives the right bytes
// across member boundaries.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "set_support.h"

namespace {

using settest::Expect;
using settest::Group;

const char* const kChains[] = {"",       "flat", "iflat", "double",          "half",
                               "double|half", "sys", "sys(cat)", "sys(tr a-z A-Z)", "meta", "double|meta",
                               "flat|meta|flat", "meta|double"};

class SetFilesTest : public settest::SetTest, public ::testing::WithParamInterface<const char*> {
 protected:
  // Makes the tree and the user-data file; the members as the set should
  // list them, in path order.
  std::vector<Expect> MakeTree(const std::string& search) {
    struct File {
      const char* rel;
      size_t size;
      int group;  // 0 not a member
    };
    const File files[] = {
        {"tree/a.txt", 100, 1},          {"tree/empty.txt", 0, 1},
        {"tree/sub/b.txt", 4097, 1},     {"tree/sub/deeper/c.txt", 1, 1},
        {"tree/sub/deeper/d.txt", 10000, 1}, {"tree/sub/skip.bin", 50, 0},
        {"tree2/x.txt", 4096, 2},        {"tree2/y.txt", 4095, 2},
        {"tree2/nested/z.txt", 7, 0},  // group 2 is not recursive
    };
    // A link back to an enclosing directory: a loop that is not followed.
    std::filesystem::create_directories(dir_ + "/tree/sub");
    EXPECT_EQ(0, symlink("..", (dir_ + "/tree/sub/loop").c_str()));

    lists_.clear();
    auto id = [this](const std::string& text) {
      auto it = std::find(lists_.begin(), lists_.end(), text);
      if (it != lists_.end()) return static_cast<int32_t>(it - lists_.begin());
      lists_.push_back(text);
      return static_cast<int32_t>(lists_.size() - 1);
    };
    groups_ = {{dir_ + "/tree", "*.txt", "FMT1", "VQData", {search, "flat", "iflat"}, 1, 1},
               {dir_ + "/tree2", "*.txt", "FMT2", nullptr, {"mfsio", "flat", "half"}, 1, 0}};
    int32_t ids[3][3];
    for (int g = 0; g < 2; ++g)
      for (int v = 0; v < 3; ++v) ids[g + 1][v] = id(groups_[g].lists[v]);

    std::vector<Expect> out;
    uint32_t seed = 1;
    for (const File& f : files) {
      const std::string bytes = settest::Text(f.size, seed++);
      const std::string path = Put(f.rel, bytes);
      if (!f.group) continue;
      const Group& g = groups_[f.group - 1];
      out.push_back({path, bytes, {ids[f.group][0], ids[f.group][1], ids[f.group][2]}, g.fmt,
                     g.tag, false, "", g.lists[0]});
    }
    std::sort(out.begin(), out.end(), [](const Expect& a, const Expect& b) {
      return std::strcmp(a.file.c_str(), b.file.c_str()) < 0;
    });
    // User data, not in name order; the fields keep their markup.
    const std::string y = dir_ + "/tree2/y.txt", a = dir_ + "/tree/a.txt";
    mfstest::WriteFile(base_ + ".dat",
                       "<VQUserData><VQFile>" + y + "</VQFile>\n  <VQFields><Author>Y</Author>\n"
                       "line two</VQFields></VQUserData>\n<VQUserData><VQFile>" + a +
                           "</VQFile>\n  <VQFields>plain &amp; simple</VQFields></VQUserData>\n");
    for (Expect& e : out) {
      if (e.file == y) e.has_fields = true, e.fields = "<Author>Y</Author>\nline two";
      if (e.file == a) e.has_fields = true, e.fields = "plain &amp; simple";
    }
    return out;
  }

  std::vector<std::string> lists_;
  std::vector<Group> groups_;
};

TEST_P(SetFilesTest, FilesAndLogicalText) {
  const std::string search = GetParam();
  const std::vector<Expect> members = MakeTree(search);
  ASSERT_EQ(1, settest::Build(base_, groups_));
  const settest::ExpectedSet want = settest::ExpectFiles(members);

  // File map and filter lists.
  const std::string fmp = mfstest::ReadFile(base_ + ".fmp");
  EXPECT_EQ(want.fmp, fmp);
  std::string lmp;
  for (size_t i = 0; i < lists_.size(); ++i)
    lmp += "<VQFilterList><VQListID>" + std::to_string(i) + "</VQListID><VQList>" + lists_[i] +
           "</VQList></VQFilterList>\n";
  EXPECT_EQ(lmp, mfstest::ReadFile(base_ + ".lmp"));

  // Compiled map: header, block, pairs.
  const std::vector<uint32_t> w = settest::Words(mfstest::ReadFile(base_ + ".xmp"));
  const size_t pairs = members.size() + 1;
  ASSERT_EQ(256 + 2 * pairs, w.size());
  const uint32_t header[8] = {6, 0x01020304u, 1, 0, 0, 50300, 0, 0x0A0D0A00u};
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(header[i], w[i]) << "header word " << i;
  for (size_t i = 8; i < 128; ++i) EXPECT_EQ(0u, w[i]) << "header word " << i;
  EXPECT_EQ(static_cast<uint32_t>(settest::MTime(base_ + ".fmp")), w[128]);
  EXPECT_EQ(static_cast<uint32_t>(settest::MTime(base_ + ".lmp")), w[129]);
  EXPECT_EQ(fmp.size(), w[130]);
  EXPECT_EQ(lmp.size(), w[131]);
  EXPECT_EQ(pairs, w[132]);
  for (size_t i = 133; i < 256; ++i) EXPECT_EQ(0u, w[i]) << "block word " << i - 128;
  for (size_t i = 0; i < pairs; ++i) {
    EXPECT_EQ(static_cast<uint32_t>(want.starts[i]), w[256 + 2 * i]) << "start of pair " << i;
    EXPECT_EQ(static_cast<uint32_t>(want.offsets[i]), w[257 + 2 * i]) << "offset of pair " << i;
  }

  // The logical text, whole and from addresses across the members.
  EXPECT_EQ(want.text, settest::ReadLogical(base_));
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  const int32_t length = static_cast<int32_t>(want.text.size());
  EXPECT_EQ(length, mfs_file_length(r));
  std::vector<int32_t> addresses;
  const bool shell = search.rfind("sys", 0) == 0;  // a shell run per positioned read
  for (int32_t start : want.starts)
    for (int32_t d = -2; d <= 2; ++d) addresses.push_back(start + d);
  for (int32_t k = 0; k < length && !shell; k += 7) addresses.push_back(k);
  for (int32_t k : addresses) {
    if (k < 0 || k >= length) continue;
    SCOPED_TRACE("address " + std::to_string(k));
    ASSERT_EQ(k, mfs_file_seek(r, k));
    EXPECT_EQ(k, mfs_file_tell(r));
    char got[6];
    const long n = mfs_file_read(r, got, sizeof got);
    EXPECT_EQ(want.text.substr(static_cast<size_t>(k), sizeof got), std::string(got, static_cast<size_t>(n)));
    EXPECT_EQ(k + n, mfs_file_tell(r));
  }
  // Outside the set (from another address: a seek to where the reader
  // stands is done at once).
  ASSERT_EQ(0, mfs_file_seek(r, 0));
  EXPECT_EQ(-1, mfs_file_seek(r, length));
  EXPECT_EQ(-1, mfs_file_seek(r, -1));
  EXPECT_EQ(0, mfs_file_tell(r));
  EXPECT_EQ(static_cast<unsigned char>(want.text[0]), mfs_file_getc(r));
  mfs_file_close(r);
  EXPECT_TRUE(TempFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Chains, SetFilesTest, ::testing::ValuesIn(kChains),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name;
                           for (const char* p = info.param; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name.empty() ? std::string("plain") : name;
                         });

// The user-data file the build writes: one empty record per member, in the
// map's order.
TEST_F(SetFilesTest, UserDataFileHasOneEmptyRecordPerMember) {
  const std::vector<Expect> members = MakeTree("");
  ASSERT_EQ(0, std::remove((base_ + ".dat").c_str()));
  ASSERT_EQ(1, mfs_create_empty(PITAS_VERSION, "", base_.c_str()));
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  for (const Group& g : groups_) {
    const char* lists[3] = {g.lists[0].c_str(), g.lists[1].c_str(), g.lists[2].c_str()};
    mfs_add_groups(r, g.dir.c_str(), g.pattern.c_str(), g.fmt.c_str(), g.tag, lists, 1,
                   g.recursive);
  }
  ASSERT_EQ(1, mfs_build_full(r, nullptr, PITAS_VERSION));
  ASSERT_EQ(1, mfs_build_user_data(r, base_.c_str()));
  mfs_file_close(r);
  std::string want;
  for (const Expect& e : members)
    want += "<VQUserData><VQFile>" + e.file + "</VQFile>\n  <VQFields></VQFields></VQUserData>\n";
  EXPECT_EQ(want, mfstest::ReadFile(base_ + ".dat"));
}

// The test-only driver builds the set from a data dictionary and prints
// its logical text.
TEST_F(SetFilesTest, DriverBuildsFromDataDictionaryAndPrintsText) {
  const std::vector<Expect> members = MakeTree("sys(tr a-z A-Z)|meta");
  const std::string dd = dir_ + "/coll.dd";
  mfstest::WriteFile(dd, "<DB>\n<Text>\n<Name>Coll</Name>\n<MfsFiles>\n<FileMap>" + base_ +
                             "</FileMap>\n"
                             "<FilterChain><SearchView>sys(tr a-z A-Z)|meta</SearchView>"
                             "<DisplayView>flat</DisplayView><RawView>iflat</RawView>"
                             "<DisplayFmt>FMT1</DisplayFmt><DefaultDataTag>VQData</DefaultDataTag>"
                             "<FileGroup><MfsDir>" + dir_ + "/tree</MfsDir><MfsFile>*.txt</MfsFile>"
                             "<MfsExpand>1</MfsExpand></FileGroup></FilterChain>\n"
                             "<FilterChain><SearchView>mfsio</SearchView>"
                             "<DisplayView>flat</DisplayView><RawView>half</RawView>"
                             "<DisplayFmt>FMT2</DisplayFmt>"
                             "<FileGroup><MfsDir>" + dir_ + "/tree2</MfsDir><MfsFile>*.txt</MfsFile>"
                             "<MfsExpand>0</MfsExpand></FileGroup></FilterChain>\n"
                             "</MfsFiles>\n</Text>\n</DB>\n");
  const std::string driver = std::string(VQ_BIN_DIR) + "/tests/mfsset_driver";
  const std::string out = dir_ + "/text.out";
  ASSERT_EQ(0, std::system((driver + " build " + dd + " 2>/dev/null").c_str()));
  ASSERT_EQ(0, std::system((driver + " cat " + base_ + " > " + out).c_str()));
  const settest::ExpectedSet want = settest::ExpectFiles(members);
  EXPECT_EQ(want.fmp, mfstest::ReadFile(base_ + ".fmp"));
  EXPECT_EQ(want.text, mfstest::ReadFile(out));
}

}  // namespace
