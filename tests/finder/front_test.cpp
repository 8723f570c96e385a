// The front end's pieces that need no parse: the command line (options after
// operands, "--", numbers), the forwarded options of child processes, mode
// selection, the region names, and the clean-up list on every way out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "finder/finder.h"

namespace {

// An argv of owned strings (front_options_read reorders it).
struct Args {
  std::vector<std::string> text;
  std::vector<char*> argv;
  explicit Args(std::vector<std::string> words) : text(std::move(words)) {
    for (std::string& s : text) argv.push_back(s.data());
    argv.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(text.size()); }
};

void reset_front() {
  FrontState& f = front_state();
  f = FrontState{};
}

// Reads args into a fresh record; returns the first operand's index.
int read(Args& a, SwitchRecord* r) {
  reset_front();
  switch_record_init(r);
  return front_options_read(a.argc(), a.argv.data(), r);
}

std::vector<std::string> forwarded(std::vector<std::string> words) {
  Args a(std::move(words));
  SwitchRecord r;
  EXPECT_GE(read(a, &r), 0);
  front_state().forwarded.assign(1, "./bin/tavrel");
  child_forward_options(r);
  return front_state().forwarded;
}

using V = std::vector<std::string>;

TEST(FrontOptions, ForwardedOptionsKeepTheirOrderAndLeaveTheRestOut) {
  struct Case {
    V args;
    V want;
  } cases[] = {
      {{"tavrel", "x"}, {"./bin/tavrel"}},
      // Given in another order, forwarded in the fixed one.
      {{"tavrel", "-D", "coll", "-C", "-m", "norm", "-y", "ab", "-x", "cd", "-r", "-g", "-e", "-d",
        "-l", "-s", "x"},
       {"./bin/tavrel", "-s", "-l", "-d", "-e", "-g", "-r", "-x", "cd", "-y", "ab", "-m", "norm",
        "-C", "-D", "coll"}},
      // -p sets the suppress flag too.
      {{"tavrel", "-p", "x"}, {"./bin/tavrel", "-s"}},
      {{"tavrel", "-R", "0", "x"}, {"./bin/tavrel", "-R", "0"}},
      {{"tavrel", "-R", "2", "x"}, {"./bin/tavrel"}},
      {{"tavrel", "-R", "1", "x"}, {"./bin/tavrel"}},
      // Never forwarded.
      {{"tavrel", "-i", "draft", "-u", "-K", "-c", "-o", "out", "-M", "meta", "-G", "grp", "-S",
        "5", "-E", "9", "-J", "-v", "-a", "-z", "cap", "x"},
       {"./bin/tavrel"}},
  };
  for (const Case& c : cases) EXPECT_EQ(forwarded(c.args), c.want) << c.args[1];
}

TEST(FrontOptions, OptionsAfterOperandsCountAndMoveInFront) {
  Args a({"tavrel", "one.sgm", "-m", "check", "two.sgm", "-v"});
  SwitchRecord r;
  int first = read(a, &r);
  ASSERT_EQ(first, 4);
  EXPECT_STREQ(r.mode, "check");
  EXPECT_EQ(front_state().verbose, 1);
  EXPECT_STREQ(a.argv[4], "one.sgm");
  EXPECT_STREQ(a.argv[5], "two.sgm");
}

TEST(FrontOptions, OptionsAfterOperandsCountWhateverTheEnvironmentSays) {
  setenv("POSIXLY_CORRECT", "1", 1);
  Args a({"tavrel", "doc.sgm", "-m", "check"});
  SwitchRecord r;
  int first = read(a, &r);
  unsetenv("POSIXLY_CORRECT");
  ASSERT_EQ(first, 3);
  EXPECT_STREQ(r.mode, "check");
  EXPECT_STREQ(a.argv[3], "doc.sgm");
}

TEST(FrontOptions, DoubleDashEndsTheOptionsAndDashIsAnOperand) {
  Args a({"tavrel", "-s", "-", "--", "-v", "--", "x"});
  SwitchRecord r;
  int first = read(a, &r);
  ASSERT_EQ(first, 3);
  EXPECT_EQ(front_state().verbose, 0);
  V operands(a.argv.begin() + first, a.argv.begin() + a.argc());
  EXPECT_EQ(operands, (V{"-", "-v", "--", "x"}));
  std::string list = doc_list_build(r, a.argc() - first, a.argv.data() + first);
  EXPECT_EQ(list, std::string("vq_stdin\0-v\0--\0x\0\0", 18));

  Args b({"tavrel", "-s", "--"});
  EXPECT_EQ(read(b, &r), 3);
}

TEST(FrontOptions, UnknownOptionsAndMissingValuesAreRefused) {
  for (V words : {V{"tavrel", "-q", "x"}, V{"tavrel", "x", "-m"}, V{"tavrel", "-vq"}}) {
    Args a(words);
    SwitchRecord r;
    EXPECT_EQ(read(a, &r), -1) << words[1];
  }
}

TEST(FrontOptions, NumbersFollowStrtolAndAreClampedTo32Bits) {
  Args a({"tavrel", "-S", "99999999999", "-E", "-99999999999", "-R", "abc", "x"});
  SwitchRecord r;
  ASSERT_EQ(read(a, &r), 7);
  EXPECT_EQ(r.start_position, INT32_MAX);
  EXPECT_EQ(r.end_limit, INT32_MIN);
  EXPECT_EQ(r.entity_echo, 0);
  Args b({"tavrel", "-S", "12abc", "-E", " 7", "x"});
  ASSERT_EQ(read(b, &r), 5);
  EXPECT_EQ(r.start_position, 12);
  EXPECT_EQ(r.end_limit, 7);
}

TEST(FrontOptions, SwitchWordsAndIncludeList) {
  Args a({"tavrel", "-i", "draft", "-degpru", "-i", "final", "-G", "g", "-x", "abc", "x"});
  SwitchRecord r;
  ASSERT_GT(read(a, &r), 0);
  EXPECT_EQ(r.duplicate_warnings, 1);
  EXPECT_EQ(r.entity_chain, 1);
  EXPECT_EQ(r.open_elements, 1);
  EXPECT_EQ(r.prolog_only, 1);
  EXPECT_EQ(r.default_entity_warnings, 1);
  EXPECT_EQ(r.undefined_elements, 1);
  EXPECT_EQ(r.meta, 1);  // -G alone turns meta processing on
  EXPECT_EQ(front_state().suppress, 1);
  ASSERT_NE(r.include_entities, nullptr);
  EXPECT_STREQ(r.include_entities[0], "draft");
  EXPECT_STREQ(r.include_entities[1], "final");
  EXPECT_EQ(r.include_entities[2], nullptr);
  // Defaults of the words no option changed.
  EXPECT_EQ(r.buffer_size, 514);
  EXPECT_EQ(r.ambiguity_check, 1);
  EXPECT_EQ(r.namecase, 1);
  EXPECT_EQ(r.escape, 31);
  EXPECT_EQ(r.escape_offset, 64);
}

TEST(FrontOptions, WithoutOperandsTheDataDictionaryIsTheDocument) {
  SwitchRecord r;
  switch_record_init(&r);
  r.dd_name = "coll.dd";
  EXPECT_EQ(doc_list_build(r, 0, nullptr), std::string("coll.dd\0\0", 9));
}

TEST(ModeSelection, FirstTwoCharactersPickTheFirstMatchingName) {
  struct Case {
    const char* text;
    const char* mode;  // null: region
  } cases[] = {
      {"ch", "check"}, {"check", "check"}, {"chk", "check"}, {"c", nullptr},
      {"re", "region"}, {"xyz", nullptr}, {"de", "declare"}, {"dt", "dtd"},
      {"te", "test"},  {"ge", "gentest"}, {"pr", "print"},   {"ve", "vesk"},
      {"qu", "query"}, {"ro", "root"},    {"el", "elist"},   {"sp", "spec"},
      {"le", "level"}, {"fi", "filter"},  {"no", "normalize"}, {"", nullptr},
      {"d", nullptr},  {"normalise", "normalize"},
  };
  for (const Case& c : cases) {
    const ModeEntry* m = mode_select(c.text);
    if (c.mode == nullptr) {
      EXPECT_EQ(m, nullptr) << c.text;
    } else {
      ASSERT_NE(m, nullptr) << c.text;
      EXPECT_STREQ(m->name, c.mode);
    }
  }
  EXPECT_EQ(mode_select(nullptr), nullptr);
}

TEST(ModeSelection, ModeValuesAndNames) {
  struct Case {
    const char* name;
    int32_t value;
  } cases[] = {{"vesk", 1},  {"check", 2},  {"print", 4},    {"region", 5},  {"declare", 6},
               {"normalize", 7}, {"filter", 8}, {"dtd", 9},     {"test", 10},   {"gentest", 11},
               {"elist", 12}, {"spec", 13},  {"root", 14},    {"query", 15},  {"level", 16}};
  for (const Case& c : cases) EXPECT_STREQ(mode_name(c.value), c.name);
  EXPECT_EQ(ModeTableCount, 15);
  EXPECT_STREQ(mode_name(3), "region");
}

TEST(ModeSelection, RegionNamesDropTheirSuffixes) {
  ModeOptions o;
  SwitchRecord r;
  switch_record_init(&r);
  struct Case {
    const char* dd;
    const char* output;
    const char* dd_file;
    const char* base;
  } cases[] = {
      {"text.dd", nullptr, "text.dd", "text"},
      {"text", nullptr, "text.dd", "text"},
      {"text", "out.rgn", "text.dd", "out"},
      {"text", "out", "text.dd", "out"},
  };
  for (const Case& c : cases) {
    r.dd_name = c.dd;
    r.output_name = c.output;
    build_options(r);
    EXPECT_EQ(region_dd_file(*mode_options), c.dd_file);
    EXPECT_EQ(region_base_name(*mode_options), c.base);
  }
  // Other modes keep the -D text as given.
  r.mode = "test";
  r.dd_name = "param.dd";
  build_options(r);
  EXPECT_EQ(mode_options->dd_name, "param.dd");
}

TEST(ModeSelection, LongTextsReachTheRecordWhole) {
  std::string dd(300, 'd'), out(300, 'o'), meta(300, 'm'), group(300, 'g');
  SwitchRecord r;
  switch_record_init(&r);
  r.dd_name = dd.c_str();
  r.output_name = out.c_str();
  r.meta_file = meta.c_str();
  r.group = group.c_str();
  r.start_position = 7;
  r.end_limit = 9;
  r.entity_echo = 0;
  r.meta = 1;
  build_options(r);
  const ModeOptions& o = *mode_options;
  EXPECT_EQ(o.mode, kModeRegion);
  EXPECT_EQ(o.dd_name, dd);
  EXPECT_EQ(o.output_name, out);
  EXPECT_EQ(o.meta_file, meta);
  EXPECT_EQ(o.group, group);
  EXPECT_EQ(o.meta, 1);
  const ParserOptions& p = sgml_options();
  EXPECT_EQ(p.start_position, 7);
  EXPECT_EQ(p.end_limit, 9);
  EXPECT_FALSE(p.echo_references);
  EXPECT_TRUE(p.documents_in_sequence);  // meta processing
  EXPECT_FALSE(p.filter_input);
  EXPECT_EQ(p.filter_last_control, ' ');
}

// A file in the test's folder that the clean-up list must remove.
std::string listed_file(const char* name) {
  std::string path = testing::TempDir() + name + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("x", f);
  std::fclose(f);
  return path;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Runs end in a child process with the file of name on the clean-up list,
// and tells whether the file is gone afterwards.
template <typename ExitPredicate>
bool removed_by(const char* name, void (*end)(const std::string& path), ExitPredicate exit,
                const char* output) {
  std::string path = listed_file(name);
  EXPECT_EXIT(
      {
        vqio_start(0, nullptr, "VQ_IOMAP");
        set_error_handler(print_message);
        front_cleanup_add(path);
        end(path);
      },
      exit, output)
      << name;
  bool gone = !exists(path);
  std::remove(path.c_str());
  return gone;
}

TEST(CleanupList, EveryWayOutRemovesTheListedFiles) {
  EXPECT_TRUE(removed_by(
      "cleanup_fatal", [](const std::string&) { front_fatal(kFrontCannotOpenDoc); },
      testing::ExitedWithCode(1), "Cannot open SGML document entity"));
  EXPECT_TRUE(removed_by(
      "cleanup_message", [](const std::string&) { vq_report(9, GetMsgNumText(220000)); },
      testing::ExitedWithCode(1), "Error: \\[-D name\\]"));
  EXPECT_TRUE(removed_by(
      "cleanup_normal", [](const std::string&) { vqio_exit(0); }, testing::ExitedWithCode(0), ""));
  EXPECT_TRUE(removed_by(
      "cleanup_signal",
      [](const std::string&) {
        front_cleanup_signals();
        raise(SIGTERM);
      },
      testing::KilledBySignal(SIGTERM), ""));
  // A name taken off the list stays.
  EXPECT_FALSE(removed_by(
      "cleanup_kept",
      [](const std::string& path) {
        front_cleanup_drop(path);
        vqio_exit(0);
      },
      testing::ExitedWithCode(0), ""));
}

TEST(FrontMessages, DefaultsAndNumbersOutOfRange) {
  reset_front();
  EXPECT_STREQ(front_message_text(2), "Cannot open SGML document entity");
  EXPECT_STREQ(front_message_text(7), "Cannot open `%s': %s");
  EXPECT_STREQ(front_message_text(8), "Subdocument capacity botch");
  EXPECT_EQ(front_message_text(0), nullptr);
  EXPECT_EQ(front_message_text(9), nullptr);
  // A catalogue text is a format only when it reads what the default reads.
  EXPECT_TRUE(msg_text_usable("Kann `%s' nicht oeffnen: %s", "Cannot open `%s': %s"));
  EXPECT_FALSE(msg_text_usable("Kann %d nicht oeffnen: %s", "Cannot open `%s': %s"));
  EXPECT_FALSE(msg_text_usable("%n", "Out of memory"));
  EXPECT_FALSE(msg_text_usable(nullptr, "Out of memory"));
}

}  // namespace
