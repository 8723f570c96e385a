// The meta modes over multi-file sets made here from random documents. The
// generator writes each document's parts (gap, head, data part, trailer)
// token by token, knows where every tag and value lies, and applies the
// rules itself: outside the data parts all names with the element stacks of
// the plain scan; a "VQData" data part gives one pair of slot 254 spanning
// it and nothing inside; a data part with another default data tag gives a
// pair of slot 254 for each of that tag's start and end tags; a data part
// without one gives nothing. In display-format mode only the data parts of
// the documents of the format are scanned, with all names. Parts often end
// in text (carriage returns and line feeds among it) right before the next
// part, and trailers are often missing.
#include <algorithm>
#include <cstring>
#include <map>

#include "mfs/mfs.h"
#include "pitas/pitas.h"
#include "support.h"

namespace {

// Slots: a 0, b 1, A-id 2; d is not listed; the default data slot is 254.
const char* const kNames =
    "<region><element>a</element><element>b</element></region>\n"
    "<region><att>id</att></region>\n";

using pt::Random;

using Span = std::pair<uint32_t, uint32_t>;
using Pairs = std::map<int, std::vector<Span>>;

struct Token {
  bool end;
  std::string name;
  uint32_t b, e;
  std::vector<Span> ids;  // values of id attributes
};

// Appends n random tokens (tags of a, b and d, and text runs) to text.
std::vector<Token> random_part(Random& r, std::string& text, int n) {
  std::vector<Token> tokens;
  static const char* const kTags[] = {"a", "b", "d"};
  for (int t = 0; t < n; ++t) {
    std::string name = kTags[r.next(3)];
    uint32_t b = static_cast<uint32_t>(text.size());
    switch (r.next(4)) {
      case 0: {
        Token tok{false, name, b, 0, {}};
        text += "<" + name;
        for (int k = static_cast<int>(r.next(3)); k > 0; --k) {
          bool id = r.next(2);
          text += std::string(id ? " id" : " zz") + "=\"";
          uint32_t vb = static_cast<uint32_t>(text.size());
          text.append(1 + r.next(4), r.pick("xy <>/"));
          if (id) tok.ids.push_back({vb, static_cast<uint32_t>(text.size()) - 1});
          text += '"';
        }
        text += ">";
        tok.e = static_cast<uint32_t>(text.size()) - 1;
        tokens.push_back(tok);
        break;
      }
      case 1:
        text += "</" + name + ">";
        tokens.push_back({true, name, b, static_cast<uint32_t>(text.size()) - 1, {}});
        break;
      default:
        text.append(1, r.pick("xyz \t=\"/>\xff"));
        for (int i = static_cast<int>(r.next(6)); i > 0; --i) text += r.pick("xyz \r\n\t=/>");
        break;
    }
  }
  if (r.next(2)) text += "\r\n";
  return tokens;
}

// The rules of the scan with all names: per slot, an end tag closes the
// most recently opened open instance; the instances of a slot are written
// sorted by start when its outermost one closes; at the end the closed ones
// still held are written and the open ones dropped.
struct FullModel {
  Pairs* want = nullptr;
  std::vector<Span> cells[2] = {};  // end 0 while open
  std::vector<size_t> open[2] = {};

  void flush(int slot, bool closed_only) {
    for (const Span& c : cells[slot])
      if (!closed_only || c.second != 0) (*want)[slot].push_back(c);
    cells[slot].clear();
    open[slot].clear();
  }
  void apply(const std::vector<Token>& tokens) {
    for (const Token& t : tokens) {
      if (t.name == "d") continue;
      int slot = t.name == "a" ? 0 : 1;
      if (!t.end) {
        open[slot].push_back(cells[slot].size());
        cells[slot].push_back({t.b, 0});
        for (const Span& v : t.ids) (*want)[2].push_back(v);
      } else if (!open[slot].empty()) {
        cells[slot][open[slot].back()].second = t.e;
        open[slot].pop_back();
        if (open[slot].empty()) flush(slot, false);
      }
    }
  }
  void finish() {
    flush(0, true);
    flush(1, true);
  }
};

struct Document {
  std::vector<Token> gap, head, data, trailer;
  uint32_t start, data_pos, trail_pos, end;
  std::string tag, format;
};

struct Collection {
  std::string text;
  std::vector<Document> documents;
  std::vector<Token> tail;
};

Collection random_collection(Random& r) {
  Collection c;
  static const char* const kDataTags[] = {"VQData", "b", "a", ""};
  int count = 1 + static_cast<int>(r.next(8));
  for (int i = 0; i < count; ++i) {
    Document d;
    d.gap = random_part(r, c.text, static_cast<int>(r.next(3)));
    d.start = static_cast<uint32_t>(c.text.size());
    d.head = random_part(r, c.text, static_cast<int>(r.next(8)));
    d.data_pos = static_cast<uint32_t>(c.text.size());
    d.data = random_part(r, c.text, static_cast<int>(r.next(10)));
    d.trail_pos = static_cast<uint32_t>(c.text.size());
    d.trailer = r.next(3) ? random_part(r, c.text, static_cast<int>(r.next(8))) : std::vector<Token>{};
    if (c.text.size() == d.start) c.text += '\n';  // no document is empty
    d.end = static_cast<uint32_t>(c.text.size()) - 1;
    d.tag = kDataTags[r.next(4)];
    d.format = r.next(2) ? "f1" : "f2";
    c.documents.push_back(d);
  }
  c.tail = random_part(r, c.text, static_cast<int>(r.next(4)));
  return c;
}

Pairs meta_pairs(const Collection& c) {
  Pairs want;
  FullModel full;
  full.want = &want;
  for (const Document& d : c.documents) {
    full.apply(d.gap);
    full.apply(d.head);
    if (d.tag == "VQData") {
      if (d.data_pos < d.trail_pos) want[254].push_back({d.data_pos, d.trail_pos - 1});
    } else {
      for (const Token& t : d.data)
        if (t.name == d.tag) want[254].push_back({t.b, t.e});
    }
    full.apply(d.trailer);
  }
  full.apply(c.tail);
  full.finish();
  return want;
}

Pairs display_pairs(const Collection& c, const std::string& format) {
  Pairs want;
  FullModel full;
  full.want = &want;
  for (const Document& d : c.documents)
    if (d.format == format) full.apply(d.data);
  full.finish();
  return want;
}

std::string meta_file_text(const Collection& c, const std::string& set) {
  std::string m = "<FileMap>" + set + "</FileMap>\n";
  for (const Document& d : c.documents)
    m += "<VQMetaStruct><VQFile>doc</VQFile><VQDefaultDataTag>" + d.tag +
         "</VQDefaultDataTag>\n <VQDisplayFmt>" + d.format + "</VQDisplayFmt><VQStart>" +
         std::to_string(d.start) + "</VQStart><VQDataPos>" + std::to_string(d.data_pos) +
         "</VQDataPos>\n <VQTrailPos>" + std::to_string(d.trail_pos) + "</VQTrailPos><VQEnd>" +
         std::to_string(d.end) + "</VQEnd></VQMetaStruct>\n";
  return m;
}

// A multi-file set at base whose logical text is text, cut into members at
// the given places.
void make_set(const pt::Scratch& s, const std::string& base, const std::string& text,
              std::vector<size_t> cuts) {
  std::system(("rm -rf '" + s.path("m") + "' && mkdir -p '" + s.path("m") + "'").c_str());
  cuts.push_back(text.size());
  size_t from = 0;
  for (size_t i = 0; i < cuts.size(); ++i) {
    s.write("m/" + std::to_string(10 + i) + ".txt", text.substr(from, cuts[i] - from));
    from = cuts[i];
  }
  ASSERT_EQ(mfs_create_empty(PITAS_VERSION, "", base.c_str()), 1);
  MfsReader* reader = mfs_file_open("", base.c_str(), 0);
  ASSERT_NE(reader, nullptr);
  const char* lists[3] = {"mfsio", "mfsio", "mfsio"};
  mfs_add_groups(reader, s.path("m").c_str(), "*.txt", "txt", "VQData", lists, 1, 0);
  ASSERT_EQ(mfs_build_full(reader, nullptr, PITAS_VERSION), 1);
  mfs_file_close(reader);
}

// Runs a meta mode (format null: meta mode) and returns the records.
std::vector<pt::Record> run_meta(const pt::Scratch& s, const TagNameLists& lists,
                                 const std::string& base, const std::string& meta,
                                 const char* format, int expect = 0) {
  std::string meta_path = s.write("meta.xml", meta);
  std::string out_path = s.path("tagint");
  VqStream* out = vqio_fopen(out_path.c_str(), "w");
  FileInfo info{};
  info.sys_name = const_cast<char*>(base.c_str());
  info.file_map = const_cast<char*>(base.c_str());
  info.multi_file = 1;
  info.major = info.minor = -1;
  int result = format == nullptr
                   ? md_find_meta("names.txt", &lists, meta_path.c_str(), &info, 1, "db.dd", 0, out)
                   : md_find_displayfmt("names.txt", &lists, meta_path.c_str(), format, &info, 1,
                                        "db.dd", 0, out);
  EXPECT_EQ(result, expect);
  vqio_fclose(out);
  return pt::decode_records(pt::read_file(out_path));
}

void expect_pairs(const std::vector<pt::Record>& records, const Pairs& want, const char* what,
                  uint32_t seed) {
  for (int slot : {0, 1, 2, 254}) {
    auto it = want.find(slot);
    EXPECT_EQ(pt::pairs_of(records, slot), it == want.end() ? std::vector<Span>{} : it->second)
        << what << " seed " << seed << " slot " << slot;
  }
}

TEST(MetaModes, RandomDocumentsFollowTheRules) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  const std::string base = s.path("set");
  size_t pairs = 0, data_pairs = 0;
  for (uint32_t seed = 1; seed <= 120; ++seed) {
    Random r{seed};
    Collection c = random_collection(r);
    std::vector<size_t> cuts;
    for (int k = static_cast<int>(r.next(3)); k > 0; --k)
      cuts.push_back(1 + r.next(static_cast<uint32_t>(c.text.size())));
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    if (!cuts.empty() && cuts.back() >= c.text.size()) cuts.pop_back();
    make_set(s, base, c.text, cuts);
    std::string meta = meta_file_text(c, base);
    ReportRecorder quiet;
    Pairs want = meta_pairs(c);
    expect_pairs(run_meta(s, lists, base, meta, nullptr), want, "meta", seed);
    for (auto& [slot, v] : want) pairs += v.size();
    data_pairs += want[254].size();
    expect_pairs(run_meta(s, lists, base, meta, "f1"), display_pairs(c, "f1"), "f1", seed);
    for (const RecordedReport& rep : quiet.reports()) EXPECT_LT(rep.severity, 3) << rep.text;
  }
  EXPECT_GT(pairs, 600u);  // the collections are not trivial
  EXPECT_GT(data_pairs, 200u);
}

}  // namespace

namespace {

// Records are cleared before each read: a record without VQDisplayFmt
// after one of the format is no match, and the trace shows each record
// given as it reads.
TEST(MetaRecords, ClearedBetweenReadsAndTraced) {
  pt::Scratch s;
  std::string path = s.write(
      "meta.xml",
      "<FileMap>set/x</FileMap>\n"
      "<VQMetaStruct><VQFile>one</VQFile><VQDefaultDataTag>VQData</VQDefaultDataTag>"
      "<VQDisplayFmt>f1</VQDisplayFmt><VQStart>0</VQStart><VQDataPos>5</VQDataPos>"
      "<VQTrailPos>9</VQTrailPos><VQEnd>12</VQEnd></VQMetaStruct>\n"
      "<VQMetaStruct><VQFile>two</VQFile><VQStart>13</VQStart></VQMetaStruct>\n"
      "<VQMetaStruct><VQFile>three</VQFile><VQDisplayFmt>f1</VQDisplayFmt>"
      "<VQDataPos>x</VQDataPos></VQMetaStruct>\n");
  VqStream* in = vqio_fopen(path.c_str(), "r");
  ASSERT_NE(in, nullptr);
  ReportRecorder recorder;
  filemap_read_reset();
  EXPECT_EQ(meta_check_filemap(in, "set/x"), 1);
  MetaStructRecord r;
  ASSERT_EQ(meta_next_record_with_format(in, "f1", &r, 1), 1);
  EXPECT_STREQ(r.file, "one");
  ASSERT_EQ(meta_next_record_with_format(in, "f1", &r, 1), 1);
  EXPECT_STREQ(r.file, "three");
  EXPECT_STREQ(r.default_data_tag, "");
  EXPECT_EQ(r.start, 0);
  EXPECT_EQ(r.data_pos, 0);  // not a number: the cleared value stays
  EXPECT_EQ(meta_next_record_with_format(in, "f1", &r, 1), 0);
  ASSERT_EQ(recorder.reports().size(), 2u);
  EXPECT_EQ(recorder.reports()[0].severity, 1);
  EXPECT_EQ(recorder.reports()[0].text, "80024: Processing ... 'one' VQData f1 0 5 9");
  EXPECT_EQ(recorder.reports()[1].text, "80024: Processing ... 'three'  f1 0 0 0");
  vqio_rewind(in);
  filemap_read_reset();
  EXPECT_EQ(meta_check_filemap(in, "set/y"), 0);
  filemap_read_reset();
  vqio_fclose(in);
}

}  // namespace
