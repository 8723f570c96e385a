// The tag stream against the reference tokenizer, token for token: on the
// SGML and XML files that Debian's sgml-data, w3c-sgml-lib and docbook
// packages install, and on seeded random input built to hit every state
// and the buffer limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

const std::vector<ref::DelimiterSet>& angle_only() {
  static const std::vector<ref::DelimiterSet> sets = {harness::angle_set({
      {"!ENTITY", 1}, {"!ELEMENT", 2}, {"!ATTLIST", 3}, {"!DOCTYPE", 4}, {"!--", 5},
      {"!NOTATION", 6}, {"?xml", 7}, {"book", 10}, {"chapter", 11}, {"para", 12},
      {"section", 13}, {"title", 14}, {"html", 20}, {"head", 21}, {"body", 22}, {"p", 23},
      {"a", 24}, {"div", 25}, {"xsl:template", 30}, {"xsl:stylesheet", 31}, {"catalog", 32},
      {"public", 33}, {"system", 34}, {"uri", 35}, {"xsl:value-of", 36}, {"", 40}})};
  return sets;
}

// The angle set plus general and parameter entity references as sets
// without an end marker.
const std::vector<ref::DelimiterSet>& with_entities() {
  static const std::vector<ref::DelimiterSet> sets = [] {
    std::vector<ref::DelimiterSet> s = angle_only();
    s.push_back({'&', 0, ';', {{"amp", 100}, {"lt", 101}, {"gt", 102}, {"quot", 103}}});
    s.push_back({'%', 0, ';', {{"ISOlat1", 200}, {"ISOnum", 201}, {"xhtml-lat1", 202}}});
    return s;
  }();
  return sets;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The tagged files under the packages' trees, in a stable order.
std::vector<fs::path> installed_tagged_files() {
  static const std::set<std::string> exts = {".dtd", ".mod", ".ent", ".xml", ".dcl", ".decl",
                                             ".cat", ".soc", ".xsl", ".elements", ".txt"};
  std::set<fs::path> found;
  for (const char* root : {"/usr/share/sgml", "/usr/share/xml"}) {
    std::error_code ec;
    if (!fs::is_directory(root, ec)) continue;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec),
         end;
         it != end; it.increment(ec)) {
      if (ec) break;
      const fs::path& p = it->path();
      if (!it->is_regular_file(ec)) continue;
      if (exts.count(p.extension().string()) == 0 && p.filename() != "catalog") continue;
      if (it->file_size(ec) > (8u << 20)) continue;
      found.insert(fs::weakly_canonical(p, ec));
    }
  }
  return {found.begin(), found.end()};
}

std::vector<ref::Token> run_file(const fs::path& p, const std::vector<ref::DelimiterSet>& sets) {
  VqStream* in = vqio_fopen(p.c_str(), "r");
  EXPECT_NE(in, nullptr) << p;
  if (in == nullptr) return {};
  SinsiStream* s = sinsios(in, nullptr, nullptr, nullptr);
  for (const auto& set : sets) EXPECT_EQ(harness::define_set(s, set), SINSI_OK);
  auto tokens = harness::run(s);
  sinsicl(s);
  vqio_fclose(in);
  return tokens;
}

std::string joined(const std::vector<ref::Token>& tokens) {
  std::string all;
  for (const auto& t : tokens) all += t.text;
  return all;
}

TEST(Conformance, InstalledSgmlAndXmlFiles) {
  harness::start_io();
  const auto files = installed_tagged_files();
  if (files.size() < 5) GTEST_SKIP() << "sgml-data, w3c-sgml-lib or docbook not installed";

  size_t by_kind[7] = {};
  size_t bytes = 0;
  for (const fs::path& p : files) {
    const std::string content = read_file(p);
    bytes += content.size();
    // Through a stream of the I/O layer, angle brackets only.
    auto got = run_file(p, angle_only());
    ASSERT_TRUE(harness::same_tokens(got, ref::tokenize(content, angle_only()))) << p;
    // Every byte comes out once, in order.
    ASSERT_EQ(joined(got), content) << p;
    for (const auto& t : got) by_kind[t.kind]++;
    // Through a read callback, with entity references as further sets.
    got = harness::run_string(content, with_entities());
    const auto want = ref::tokenize(content, with_entities());
    ASSERT_TRUE(harness::same_tokens(got, want)) << p;
    ASSERT_EQ(joined(got), content) << p;
    // Counting text from blocks: one set (memchr) and three sets.
    ASSERT_TRUE(harness::same_tokens(harness::run_counting(content, angle_only(), {4096, 17}),
                                     harness::text_counted(ref::tokenize(content, angle_only()))))
        << p;
    ASSERT_TRUE(harness::same_tokens(harness::run_counting(content, with_entities(), {512}),
                                     harness::text_counted(want)))
        << p;
  }
  // The files exercise known and unknown tags of both sorts and malformed
  // tags ("<!--" comments holding "<" or ">" in declarations).
  for (int kind : {0, 2, 3, 4, 5}) EXPECT_GT(by_kind[kind], 0u) << "kind " << kind;
  RecordProperty("files", static_cast<int>(files.size()));
  RecordProperty("bytes", static_cast<int>(bytes));
}

// Random input: mostly delimiters, quotes and short names, with now and
// then a long run of name bytes or a long quoted value to cross the buffer
// size, and any byte value.
std::string random_input(std::mt19937& rng) {
  static const std::string pieces[] = {"<", ">", "/", "\"", "=", ",", " ", "\n", "\t", "a", "b",
                                       "p", "ab", "x", "&", ";", "%", "\r"};
  std::uniform_int_distribution<int> len_dist(0, 4000), piece(0, 17), pct(0, 99), byte(0, 255),
      long_run(1000, 1050);
  std::string s;
  const int target = len_dist(rng);
  while (static_cast<int>(s.size()) < target) {
    int r = pct(rng);
    if (r < 2)
      s += std::string(static_cast<size_t>(long_run(rng)), 'n');
    else if (r < 4)
      s += "<a k=\"" + std::string(static_cast<size_t>(long_run(rng)) - 8, 'q');
    else if (r < 9)
      s += static_cast<char>(byte(rng));
    else
      s += pieces[piece(rng)];
  }
  return s;
}

TEST(Conformance, SeededRandomInput) {
  harness::start_io();
  const std::vector<std::vector<ref::DelimiterSet>> configs = {
      {harness::angle_set({{"a", 1}, {"b", 2}, {"ab", 3}, {"p", 4}, {"", 5}})},
      with_entities(),
  };
  std::mt19937 rng(20241210);
  char path[] = "/tmp/sinsi_randomXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (int i = 0; i < 600; ++i) {
    const std::string input = random_input(rng);
    const auto& sets = configs[static_cast<size_t>(i) % configs.size()];
    const auto want = ref::tokenize(input, sets);
    ASSERT_TRUE(harness::same_tokens(harness::run_string(input, sets), want)) << "input " << i;
    // Counting text from blocks of every size from one byte on, so that
    // tags and runs cross block ends everywhere.
    ASSERT_TRUE(harness::same_tokens(
        harness::run_counting(input, sets, {1 + static_cast<size_t>(i) % 97, 1, 3000}),
        harness::text_counted(want)))
        << "counted input " << i;
    if (i % 5 == 0) {
      std::ofstream(path, std::ios::binary | std::ios::trunc) << input;
      ASSERT_TRUE(harness::same_tokens(run_file(path, sets), want)) << "file input " << i;
    }
  }
  std::remove(path);
}

}  // namespace
