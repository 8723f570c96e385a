// The "meta" format on its own: header, data and trailer; reads that give
// the header by itself; seeks into each phase; position records; spans;
// and the same without a parent stream.
#include <string>
#include <vector>

#include "set_support.h"

namespace {

using MetaTest = settest::SetTest;

// Up to n bytes, over as many reads as it takes (a read ends with the header).
std::string ReadN(MfsStream* s, long n) {
  std::string out;
  while (static_cast<long>(out.size()) < n) {
    const std::string more = mfstest::ReadSome(s, n - static_cast<long>(out.size()));
    if (more.empty()) break;
    out += more;
  }
  return out;
}

struct MetaCase {
  bool parent;
  bool fields;
  bool other_length;  // the entry's length is that of another chain's text
};

TEST_F(MetaTest, PhasesSeeksRecordsAndSpans) {
  const std::string data = settest::Text(5000, 9);
  const std::string path = Member("m.txt", data);
  for (const MetaCase c : {MetaCase{true, false, false}, MetaCase{true, true, false},
                           MetaCase{false, true, false}, MetaCase{true, false, true},
                           MetaCase{false, false, true}}) {
    SCOPED_TRACE(std::string(c.parent ? "over mfsio" : "alone") + (c.fields ? ", fields" : "") +
                 (c.other_length ? ", entry of another length" : ""));
    settest::Expect e{path, data, {0, 0, 0}, "FMT", nullptr, c.fields, std::string(300, 'q'), "meta"};
    const std::string header = settest::MetaHeader(e);
    const std::string want = header + data + settest::kTrailer;
    MfsMapEntry entry;
    entry.file = path;
    entry.date = settest::MTime(path);
    entry.display_fmt = "FMT";
    entry.has_fields = c.fields;
    entry.fields = e.fields;
    entry.start = 1000;
    // In a chain where "meta" is not outermost (meta|double), or in a view
    // whose chain differs from the search view's, the entry's length is not
    // that of meta's own output.
    entry.end = 1000 + static_cast<int32_t>(want.size()) * (c.other_length ? 2 : 1) - 1;
    MfsStream* base = c.parent ? mfsio_new(nullptr) : nullptr;
    MfsStream* s = mfsio_meta_new(base);
    ASSERT_NE(nullptr, s);
    s->setopt(s, MFS_OPT_ENTRY, &entry);
    ASSERT_EQ(0, mfs_chain_open(s, path.c_str()));
    // The header comes by a read of its own.
    std::vector<char> buf(want.size() + 10);
    EXPECT_EQ(static_cast<long>(header.size()), s->read(s, buf.data(), static_cast<long>(buf.size())));
    EXPECT_EQ(header, std::string(buf.data(), header.size()));
    EXPECT_EQ(data + settest::kTrailer, mfstest::ReadAll(s));
    const off_t total = static_cast<off_t>(want.size());
    EXPECT_EQ(total, s->span(s, 0, total, total));
    int32_t record_size = 0;
    ASSERT_EQ(0, s->ctl(s, MFS_CTL_RECORD_SIZE, &record_size));
    EXPECT_EQ(c.parent ? 20 : 12, record_size);
    // Seeks into the header, the data and the trailer, and back through
    // position records taken there.
    std::vector<std::vector<unsigned char>> records;
    const std::vector<size_t> offsets = {0, 5, header.size() - 1, header.size(), header.size() + 4097,
                                         want.size() - 18, want.size() - 1};
    for (size_t k : offsets) {
      SCOPED_TRACE(k);
      ASSERT_EQ(0, s->seek(s, static_cast<off_t>(k)));
      records.emplace_back(static_cast<size_t>(record_size));
      s->getpos(s, records.back().data());
      EXPECT_EQ(want.substr(k, 40), ReadN(s, 40));
    }
    for (size_t i = offsets.size(); i-- > 0;) {
      SCOPED_TRACE(offsets[i]);
      ASSERT_EQ(0, s->setpos(s, records[i].data()));
      EXPECT_EQ(want.substr(offsets[i], 40), ReadN(s, 40));
    }
    mfs_chain_close(s);
    mfs_chain_destroy(s);
  }
}

}  // namespace
