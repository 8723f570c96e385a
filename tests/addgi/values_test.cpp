// The value getters over single child values: which texts are numbers for
// each width, what a missing, empty or non-numeric value gives and reports.
#include "addgi/getter_support.h"

#include <climits>

namespace {

// A File node holding one child with the tag id and value (no child when
// value is null).
Tree node_with(int32_t tag_id, const char* value) {
  Tree root(madmtmr());
  MadNode* file = madmtac(root.get(), MAD_TAG, DD_File, nullptr);
  if (value) madmtac(file, MAD_TAG, tag_id, value);
  return root;
}

MadNode* parent_of(const Tree& t) { return t->child; }

std::string bad(const char* value) {
  return std::string("40025: id: Data dictionary tag 'path' contains '") + value +
         "'; should be numeric.";
}
const char kMissing[] = "40009: id: Data dictionary tag 'path' is missing or empty.";

// Expected value, or an expected report (ok false).
struct Row {
  const char* text;
  bool ok;
  long long value;
};

// "%lu": digits only, white space around them, up to ULONG_MAX.
const Row kUnsigned[] = {
    {"0", true, 0},
    {"42", true, 42},
    {"  42\n", true, 42},
    {"\t7 \r\n", true, 7},
    {"000123", true, 123},
    {"18446744073709551615", true, static_cast<long long>(ULONG_MAX)},  // compared as unsigned
    {"18446744073709551616", false, 0},
    {"99999999999999999999999", false, 0},
    {"-1", false, 0},
    {"+1", false, 0},
    {"1 2", false, 0},
    {"12x", false, 0},
    {"x12", false, 0},
    {"0x10", false, 0},
    {"1.5", false, 0},
    {" ", false, 0},
};

// "%ld": an optional sign, digits, white space around them.
const Row kLong[] = {
    {"-7", true, -7},
    {" -7 ", true, -7},
    {"+5", true, 5},
    {"-0", true, 0},
    {"9223372036854775807", true, LONG_MAX},
    {"-9223372036854775808", true, LONG_MIN},
    {"9223372036854775808", false, 0},
    {"-9223372036854775809", false, 0},
    {"--1", false, 0},
    {"- 1", false, 0},
    {"+", false, 0},
    {"5-", false, 0},
};

// "%d" of addgioi: the same within int.
const Row kInt[] = {
    {"2147483647", true, INT_MAX},
    {"-2147483648", true, INT_MIN},
    {" 12\n", true, 12},
    {"2147483648", false, 0},
    {"-2147483649", false, 0},
    {"3 4", false, 0},
};

TEST(Values, UnsignedRequiredAndOptional) {
  for (const Row& r : kUnsigned) {
    SCOPED_TRACE(std::string("'") + r.text + "'");
    Tree t = node_with(DD_Offset, r.text);
    ReportRecorder rec;
    const unsigned long want = r.ok ? static_cast<unsigned long>(r.value) : 0;
    EXPECT_EQ(addgiru(parent_of(t), DD_Offset, "id", "path"), want);
    EXPECT_EQ(addgiou(parent_of(t), DD_Offset, "id", "path"), want);
    if (r.ok) {
      EXPECT_TRUE(rec.reports().empty());
    } else {
      ASSERT_EQ(rec.reports().size(), 2u);
      for (const RecordedReport& got : rec.reports()) {
        EXPECT_EQ(got.severity, 9);
        EXPECT_EQ(got.text, bad(r.text));
      }
    }
  }
}

TEST(Values, SignedRequiredAndOptional) {
  for (const Row& r : kLong) {
    SCOPED_TRACE(std::string("'") + r.text + "'");
    Tree t = node_with(DD_Count, r.text);
    ReportRecorder rec;
    EXPECT_EQ(addgirl(parent_of(t), DD_Count, "id", "path"), r.ok ? r.value : 0);
    if (r.ok) {
      EXPECT_TRUE(rec.reports().empty());
    } else {
      ASSERT_EQ(rec.reports().size(), 1u);
      EXPECT_EQ(rec.reports()[0].text, bad(r.text));
    }
  }
  for (const Row& r : kInt) {
    SCOPED_TRACE(std::string("'") + r.text + "'");
    Tree t = node_with(DD_Major, r.text);
    ReportRecorder rec;
    EXPECT_EQ(addgioi(parent_of(t), DD_Major, "id", "path"), r.ok ? r.value : 0);
    if (r.ok) {
      EXPECT_TRUE(rec.reports().empty());
    } else {
      ASSERT_EQ(rec.reports().size(), 1u);
      EXPECT_EQ(rec.reports()[0].severity, 9);
      EXPECT_EQ(rec.reports()[0].text, bad(r.text));
    }
  }
}

// Missing (no child) and empty (a child without value, or ""): the
// required getters report 40009 and give null or 0, the optional ones give
// null or 0 silently.
TEST(Values, MissingAndEmpty) {
  Tree absent = node_with(DD_Name, nullptr);
  Tree no_value = node_with(DD_Name, nullptr);
  madmtac(parent_of(no_value), MAD_TAG, DD_Name, nullptr);
  Tree empty = node_with(DD_Name, "");
  for (const Tree* t : {&absent, &no_value, &empty}) {
    MadNode* p = parent_of(*t);
    ReportRecorder rec;
    EXPECT_EQ(addgirs(p, DD_Name, "id", "path"), nullptr);
    EXPECT_EQ(addgirl(p, DD_Name, "id", "path"), 0);
    EXPECT_EQ(addgiru(p, DD_Name, "id", "path"), 0u);
    ASSERT_EQ(rec.reports().size(), 3u);
    for (const RecordedReport& got : rec.reports()) {
      EXPECT_EQ(got.severity, 9);
      EXPECT_EQ(got.text, kMissing);
    }
    recorded_reports().clear();
    EXPECT_EQ(addgios(p, DD_Name), nullptr);
    EXPECT_EQ(addgioi(p, DD_Name, "id", "path"), 0);
    EXPECT_EQ(addgiou(p, DD_Name, "id", "path"), 0u);
    EXPECT_TRUE(rec.reports().empty());
  }
}

// Texts are copied as they stand (white space kept); the first of two
// children with the id is taken.
TEST(Values, TextsAreOwnedCopiesOfTheFirstChild) {
  Tree t = node_with(DD_Name, "  first ");
  madmtac(parent_of(t), MAD_TAG, DD_Name, "second");
  ReportRecorder rec;
  char* required = addgirs(parent_of(t), DD_Name, "id", "path");
  char* optional = addgios(parent_of(t), DD_Name);
  EXPECT_STREQ(required, "  first ");
  EXPECT_STREQ(optional, "  first ");
  EXPECT_NE(required, parent_of(t)->child->value);
  EXPECT_NE(required, optional);
  free(required);
  free(optional);
  EXPECT_TRUE(rec.reports().empty());
}

// Offset and ModDate are stored in 32 bits: the largest 32-bit value is
// read whole, one more is refused rather than wrapped to 0.
TEST(Values, FileNumbersAreCheckedAgainstTheir32BitFields) {
  struct Case {
    int32_t tag;
    const char* text;
    const char* path;
  } cases[] = {
      {DD_Offset, "4294967296", "<File><Offset>"},
      {DD_ModDate, "18446744073709551615", "<File><ModDate>"},
      {DD_Minor, "-2147483649", "<File><Minor>"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    Tree t = node_with(k.tag, k.text);
    madmtac(parent_of(t), MAD_TAG, DD_SysName, "s");
    ReportRecorder rec;
    FileInfo* list = nullptr;
    int32_t count = 0;
    EXPECT_EQ(addgifi(parent_of(t), &list, &count), 9);
    ASSERT_EQ(rec.reports().size(), 1u);
    EXPECT_EQ(rec.reports()[0].text, std::string("40025: addgifi: Data dictionary tag '") +
                                         k.path + "' contains '" + k.text +
                                         "'; should be numeric.");
    ASSERT_EQ(count, 1);
    EXPECT_EQ(list[0].offset, 0u);
    EXPECT_EQ(list[0].mod_date, 0u);
    EXPECT_EQ(list[0].minor, -1);
    addgi_files_free(list, count);
  }

  Tree t = node_with(DD_Offset, "4294967295");
  madmtac(parent_of(t), MAD_TAG, DD_SysName, "s");
  madmtac(parent_of(t), MAD_TAG, DD_ModDate, "4294967295");
  ReportRecorder rec;
  FileInfo* list = nullptr;
  int32_t count = 0;
  EXPECT_EQ(addgifi(parent_of(t), &list, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(list[0].offset, 4294967295u);
  EXPECT_EQ(list[0].mod_date, 4294967295u);
  addgi_files_free(list, count);
  EXPECT_TRUE(rec.reports().empty());
}

}  // namespace
