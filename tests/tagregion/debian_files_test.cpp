// Real SGML, HTML and XML files of the installed Debian packages: every file
// scans without a report, and every pair found holds what it claims, read
// back from the text itself: an element region starts with "<name" and ends
// with "</name>", a start-tag region is one start tag of its name, and an
// attribute region lies inside a start tag right after "name=" (quoted or
// not).
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "support.h"

namespace {

const char* const kNames =
    "<region><element>html</element><element>head</element><element>title</element>"
    "<element>body</element><element>p</element><element>a</element><element>div</element>"
    "<element>li</element><element>ul</element><element>para</element><element>section</element>"
    "<element>chapter</element><element>entry</element><element>row</element></region>\n"
    "<region><att>href</att><att>id</att><att>class</att><att>name</att></region>\n"
    "<region><tag>img</tag><tag>a</tag><tag>br</tag></region>\n";

bool wanted(const std::string& name) {
  for (const char* ext : {".html", ".htm", ".sgml", ".sgm", ".xml", ".dtd", ".ent"}) {
    size_t n = std::strlen(ext);
    if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return true;
  }
  return false;
}

void walk(const std::string& dir, std::vector<std::string>& out, int depth = 0) {
  if (depth > 8) return;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode))
      walk(path, out, depth + 1);
    else if (S_ISREG(st.st_mode) && wanted(name) && st.st_size < (4 << 20))
      out.push_back(path);
  }
  closedir(d);
}

bool starts_tag(const std::string& t, size_t at, const std::string& name, bool end) {
  std::string open = end ? "</" + name : "<" + name;
  if (t.compare(at, open.size(), open) != 0) return false;
  char next = t[at + open.size()];
  return next == '>' || (!end && sinsi_is_blank(static_cast<unsigned char>(next)));
}

TEST(DebianFiles, PairsHoldWhatTheyClaim) {
  std::vector<std::string> files;
  for (const char* root : {"/usr/share/sgml", "/usr/share/xml", "/usr/share/doc"}) walk(root, files);
  if (files.empty()) GTEST_SKIP() << "no SGML, HTML or XML files installed";
  std::sort(files.begin(), files.end());
  if (files.size() > 600) files.resize(600);
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  size_t pairs = 0;
  for (const std::string& path : files) {
    std::string text = pt::read_file(path);
    ReportRecorder r;
    std::vector<pt::Record> records = pt::scan_plain(s, text, lists);
    for (const RecordedReport& rep : r.reports())
      EXPECT_EQ(rep.text.rfind("80009:", 0), 0u) << path << ": " << rep.text;  // stray ends only
    ASSERT_EQ(records.size() % 2, 0u) << path;
    std::string t = text + std::string(SINSI_BUFSIZE, '\0');
    for (int32_t i = 0; i < lists.elements.count; ++i) {
      const std::string& name = lists.elements.names[i];
      for (auto [b, e] : pt::pairs_of(records, lists.elements.slots[i])) {
        ++pairs;
        ASSERT_LT(b, e) << path;
        ASSERT_LT(e, text.size()) << path;
        EXPECT_TRUE(starts_tag(t, b, name, false)) << path << " " << name << " at " << b;
        EXPECT_EQ(t[e], '>') << path;
        size_t close = e + 1 - (name.size() + 3);
        EXPECT_TRUE(starts_tag(t, close, name, true)) << path << " " << name << " at " << b;
      }
    }
    for (int32_t i = 0; i < lists.tags.count; ++i) {
      for (auto [b, e] : pt::pairs_of(records, lists.tags.slots[i])) {
        ++pairs;
        ASSERT_LE(e, text.size()) << path;
        EXPECT_EQ(t[b], '<') << path;
        EXPECT_EQ(t[e], '>') << path;
        EXPECT_EQ(t.find('>', b), e) << path;
      }
    }
    for (int32_t i = 0; i < lists.attributes.count; ++i) {
      const std::string& name = lists.attributes.names[i];
      for (auto [b, e] : pt::pairs_of(records, lists.attributes.slots[i])) {
        ++pairs;
        ASSERT_LE(e + 1, text.size()) << path;
        bool quoted = b >= 1 && t[b - 1] == '"';
        size_t eq = quoted ? b - 2 : b - 1;
        EXPECT_EQ(t[eq], '=') << path << " " << name << " at " << b;
        EXPECT_EQ(t.compare(eq - name.size(), name.size(), name), 0) << path << " at " << b;
        if (quoted) {
          EXPECT_EQ(t[e + 1], '"') << path << " at " << b;
        }
        EXPECT_LE(b, e + 1) << path;
      }
    }
  }
  EXPECT_GT(pairs, 0u);
  std::printf("%zu files, %zu pairs\n", files.size(), pairs);
}

}  // namespace
