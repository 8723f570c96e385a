// Random texts made of known tokens: the generator knows where every tag
// and value lies as it writes them, and applies the rules of the finding to
// its own token list (per slot, an end tag closes the most recently opened
// open instance; the instances of a slot are written sorted by start when
// its outermost one closes; at the end the closed ones still held are
// written and the open ones dropped). The records of a scan must give
// exactly those pairs, slot by slot.
#include <cstring>
#include <map>

#include "support.h"

namespace {

// Slots: a 0, b 1, A-id 2, A-n 3, b-T 4, c-T 5; d and zz are not listed.
const char* const kNames =
    "<region><element>a</element><element>b</element></region>\n"
    "<region><att>id</att><att>n</att></region>\n"
    "<region><tag>b</tag><tag>c</tag></region>\n";

using pt::Random;

using Pairs = std::map<int, std::vector<std::pair<uint32_t, uint32_t>>>;

struct Model {
  std::string text;
  Pairs want;
  struct Cell {
    uint32_t start, end;  // end 0 while open
  };
  std::vector<Cell> cells[2];
  std::vector<size_t> open[2];

  void pair(int slot, uint32_t b, uint32_t e) { want[slot].push_back({b, e}); }
  void flush(int slot, bool closed_only) {
    for (const Cell& c : cells[slot])
      if (!closed_only || c.end != 0) pair(slot, c.start, c.end);
    cells[slot].clear();
    open[slot].clear();
  }

  void start_tag(Random& r, const std::string& name) {
    uint32_t b = static_cast<uint32_t>(text.size());
    text += "<" + name;
    std::vector<std::pair<int, std::pair<uint32_t, uint32_t>>> values;
    int attributes = static_cast<int>(r.next(4));
    for (int k = 0; k < attributes; ++k) {
      text.append(1 + r.next(2), r.next(2) ? ' ' : '\n');
      const char* attr = k % 3 == 0 ? "id" : (r.next(2) ? "n" : "zz");
      text += std::string(attr) + "=";
      uint32_t vb, ve;
      if (r.next(2)) {
        text += '"';
        vb = static_cast<uint32_t>(text.size());
        int n = static_cast<int>(r.next(6));
        for (int i = 0; i < n; ++i) text += r.pick("xy <>/=,\n");
        ve = static_cast<uint32_t>(text.size()) - 1;  // vb - 1 when empty
        text += '"';
      } else {
        vb = static_cast<uint32_t>(text.size());
        int n = 1 + static_cast<int>(r.next(5));
        for (int i = 0; i < n; ++i) text += r.pick("xy12.-=");
        ve = static_cast<uint32_t>(text.size()) - 1;
      }
      int slot = std::string(attr) == "id" ? 2 : std::string(attr) == "n" ? 3 : -1;
      if (slot >= 0) values.push_back({slot, {vb, ve}});
    }
    text += ">";
    uint32_t e = static_cast<uint32_t>(text.size()) - 1;
    if (name == "d") return;
    if (name == "c") {
      pair(5, b, e);
    } else {
      int slot = name == "a" ? 0 : 1;
      if (slot == 1) pair(4, b, e);
      open[slot].push_back(cells[slot].size());
      cells[slot].push_back({b, 0});
    }
    for (auto& [slot, span] : values) pair(slot, span.first, span.second);
  }

  void end_tag(const std::string& name) {
    uint32_t b = static_cast<uint32_t>(text.size());
    text += "</" + name + ">";
    uint32_t e = static_cast<uint32_t>(text.size()) - 1;
    if (name == "c") pair(5, b, e);
    if (name != "a" && name != "b") return;
    int slot = name == "a" ? 0 : 1;
    if (open[slot].empty()) return;  // stray: reported, nothing written
    cells[slot][open[slot].back()].end = e;
    open[slot].pop_back();
    if (open[slot].empty()) flush(slot, false);
  }
};

// One random text of `bytes` bytes or more (at least `min_tokens` tokens).
Model random_text(Random& r, int min_tokens, size_t bytes) {
  Model m;
  for (int t = 0; t < min_tokens || m.text.size() < bytes; ++t) {
    static const char* const kTags[] = {"a", "b", "c", "d"};
    std::string name = kTags[r.next(4)];
    switch (r.next(5)) {
      case 0:
      case 1: m.start_tag(r, name); break;
      case 2: m.end_tag(name); break;
      default: {
        int n = 1 + static_cast<int>(r.next(40));
        for (int i = 0; i < n; ++i) m.text += r.pick("xyz \n\t=\"/>\xff");
        break;
      }
    }
  }
  m.flush(0, true);
  m.flush(1, true);
  return m;
}

TEST(RandomTexts, PairsFollowTheRules) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  size_t pairs = 0;
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    Random r{seed};
    Model m = random_text(r, 20 + static_cast<int>(r.next(300)), 0);
    ReportRecorder quiet;
    std::vector<pt::Record> records = pt::scan_plain(s, m.text, lists);
    for (int slot = 0; slot < 6; ++slot) pairs += m.want[slot].size();
    for (int slot = 0; slot < 6; ++slot)
      EXPECT_EQ(pt::pairs_of(records, slot), m.want[slot]) << "seed " << seed << " slot " << slot;
  }
  EXPECT_GT(pairs, 5000u);  // the texts are not trivial
}

// A text of several of the blocks the scan reads at a time: tags, values
// and text runs cross the block ends and keep their positions.
TEST(RandomTexts, ALargeTextKeepsItsPositionsAcrossBlocks) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  Random r{4711};
  Model m = random_text(r, 0, 1200 * 1024);
  ReportRecorder quiet;
  std::vector<pt::Record> records = pt::scan_plain(s, m.text, lists);
  for (int slot = 0; slot < 6; ++slot)
    EXPECT_EQ(pt::pairs_of(records, slot), m.want[slot]) << "slot " << slot;
}

}  // namespace
