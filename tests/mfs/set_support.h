// Helpers of the multi-file set tests: member trees, the expected map-file
// bytes and logical texts worked out from the file formats (independently
// of the code under test), and building and reading sets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "mfs_support.h"
#include "pitas/pitas.h"

namespace settest {

// Member contents: text with letters of both cases (so "tr" changes them),
// markup characters and line ends, different for every seed.
inline std::string Text(size_t n, uint32_t seed) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ <>/&\n0123456789";
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = kAlphabet[(x >> 16) % (sizeof kAlphabet - 1)];
  }
  return s;
}

inline std::string Doubled(const std::string& s) {
  std::string out;
  for (char c : s) out.append(2, c);
  return out;
}
inline std::string Halved(const std::string& s) {
  std::string out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) out += s[i];
  return out;
}
inline std::string Upper(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

inline int32_t MTime(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return static_cast<int32_t>(st.st_mtime);
}

// One member as the set should describe it.
struct Expect {
  std::string file;
  std::string bytes;  // the member file's bytes
  int32_t views[3];
  std::string fmt;
  const char* tag;     // default data tag or null
  bool has_fields;
  std::string fields;
  std::string search;  // the search-view list text
};

// The header the "meta" format puts before a member (TZ=UTC in the tests).
inline std::string MetaHeader(const Expect& e) {
  const time_t when = MTime(e.file);
  struct tm t;
  gmtime_r(&when, &t);
  char date[32], clock[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return "<VQDoc><VQMeta><VQFile>" + e.file + "</VQFile><VQDate>" + date + "</VQDate><VQTime>" +
         clock + "</VQTime><VQDisplayFmt>" + e.fmt + "</VQDisplayFmt><VQFieldsSize>" +
         std::to_string(e.has_fields ? e.fields.size() : 0) + "</VQFieldsSize><VQFields>" +
         (e.has_fields ? e.fields : "") + "</VQFields></VQMeta><VQData>";
}
inline const char* kTrailer = "</VQData></VQDoc>\n";

// The filtered text of a member for a list (the lists the tests use).
inline std::string Filtered(const std::string& list, const Expect& e) {
  const std::string& b = e.bytes;
  if (list == "" || list == "mfsio" || list == "flat" || list == "iflat" || list == "sys" || list == "sys(cat)" ||
      list == "double|half")
    return b;
  if (list == "double") return Doubled(b);
  if (list == "half") return Halved(b);
  if (list == "sys(tr a-z A-Z)") return Upper(b);
  if (list == "meta" || list == "flat|meta|flat") return MetaHeader(e) + b + kTrailer;
  if (list == "meta|double") return Doubled(MetaHeader(e) + b + kTrailer);
  if (list == "double|meta") return MetaHeader(e) + Doubled(b) + kTrailer;
  if (list == "sys(tr a-z A-Z)|meta") return MetaHeader(e) + Upper(b) + kTrailer;
  ADD_FAILURE() << "no expectation for list " << list;
  return "";
}

// The expected ".fmp" text and the offsets of its entries, with each
// member's start from the lengths of the filtered texts.
struct ExpectedSet {
  std::string fmp;
  std::vector<int32_t> starts, offsets;
  std::string text;  // the logical text
};

inline ExpectedSet ExpectFiles(const std::vector<Expect>& members) {
  ExpectedSet out;
  int32_t address = 0;
  char line[512];
  for (size_t i = 0; i < members.size(); ++i) {
    const Expect& e = members[i];
    const std::string t = Filtered(e.search, e);
    const int32_t start = address, end = address + static_cast<int32_t>(t.size()) - 1;
    address += static_cast<int32_t>(t.size());
    out.text += t;
    out.starts.push_back(start);
    out.offsets.push_back(static_cast<int32_t>(out.fmp.size()));
    std::snprintf(line, sizeof line,
                  "<VQMap><VQMapID>%zu</VQMapID><VQStart>%d</VQStart><VQEnd>%d</VQEnd>\n", i,
                  start, end);
    out.fmp += line;
    out.fmp += "  <VQFile>" + e.file + "</VQFile><VQDate>" + std::to_string(MTime(e.file)) +
               "</VQDate>\n";
    std::snprintf(line, sizeof line,
                  "  <VQSearchView>%d</VQSearchView><VQDisplayView>%d</VQDisplayView>\n",
                  e.views[0], e.views[1]);
    out.fmp += line;
    out.fmp += "  <VQRawView>" + std::to_string(e.views[2]) + "</VQRawView><VQDisplayFmt>" +
               e.fmt + "</VQDisplayFmt>\n";
    if (e.tag && *e.tag) out.fmp += std::string("  <VQDefaultDataTag>") + e.tag + "</VQDefaultDataTag>\n";
    if (e.has_fields)
      out.fmp += "  <VQFields><VQSize>" + std::to_string(e.fields.size()) + "</VQSize>" +
                 e.fields + "</VQFields>\n";
    out.fmp += "  </VQMap>\n";
  }
  out.starts.push_back(address);
  out.offsets.push_back(static_cast<int32_t>(out.fmp.size()));
  return out;
}

// 32-bit words of a file, in this machine's order.
inline std::vector<uint32_t> Words(const std::string& bytes) {
  std::vector<uint32_t> w(bytes.size() / 4);
  std::memcpy(w.data(), bytes.data(), w.size() * 4);
  return w;
}

// The whole logical text of a set, read with getc from address 0.
inline std::string ReadLogical(const std::string& base, int view = MFS_VIEW_SEARCH) {
  MfsReader* r = mfs_file_open("", base.c_str(), 0);
  if (!r) return "<open failed>";
  std::string out;
  if (view != MFS_VIEW_SEARCH) mfs_file_set_view(r, view);
  if (mfs_file_seek(r, 0) >= 0) {
    int c;
    while ((c = mfs_file_getc(r)) != -1) out += static_cast<char>(c);
  }
  mfs_file_close(r);
  return out;
}

// One file group of a build.
struct Group {
  std::string dir, pattern, fmt;
  const char* tag;
  std::string lists[3];
  int sort, recursive;
};

// Builds a set at base from groups (full or fast mode): 1 on success.
inline int Build(const std::string& base, const std::vector<Group>& groups, bool fast = false) {
  if (!mfs_create_empty(PITAS_VERSION, "", base.c_str())) return 0;
  MfsReader* r = mfs_file_open("", base.c_str(), 0);
  if (!r) return 0;
  for (const Group& g : groups) {
    const char* lists[3] = {g.lists[0].c_str(), g.lists[1].c_str(), g.lists[2].c_str()};
    mfs_add_groups(r, g.dir.c_str(), g.pattern.c_str(), g.fmt.c_str(), g.tag, lists, g.sort,
                   g.recursive);
  }
  const int ok = fast ? mfs_build_fast(r, nullptr, PITAS_VERSION)
                      : mfs_build_full(r, nullptr, PITAS_VERSION);
  mfs_file_close(r);
  return ok;
}

// The set tests: members under dir_, the set files under dir_/set, TZ=UTC.
class SetTest : public mfstest::MfsTest {
 protected:
  void SetUp() override {
    MfsTest::SetUp();
    setenv("TZ", "UTC", 1);
    tzset();
    mfs_reset_state();
    base_ = dir_ + "/set/coll";
    std::filesystem::create_directories(dir_ + "/set");
  }
  void TearDown() override {
    mfs_reset_state();
    MfsTest::TearDown();
  }
  std::string Put(const std::string& rel, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(dir_ + "/" + rel).parent_path());
    return Member(rel, bytes);
  }
  std::string base_;
};

}  // namespace settest
