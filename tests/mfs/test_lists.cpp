// Filter lists and filter types: compiling list texts into chains, the
// fatal ends for unknown or empty format names, and the two tables.
#include <algorithm>
#include <string>
#include <vector>

#include "mfs_support.h"
#include "msg/msg.h"

namespace {

using mfstest::Chain;
using mfstest::MfsTest;

using ListTest = MfsTest;

// Names and arguments of a chain, outermost first.
std::vector<std::string> Describe(MfsStream* s) {
  std::vector<std::string> out;
  for (; s; s = s->parent)
    out.push_back(std::string(s->name) + (s->argument ? "(" + std::string(s->argument) + ")" : ""));
  return out;
}

TEST_F(ListTest, CompilesWithMfsioInnermost) {
  struct Case {
    const char* list;
    std::vector<std::string> chain;
  };
  const Case cases[] = {
      {"", {"mfsio"}},
      {"flat", {"flat", "mfsio"}},
      {"sys(tr a-z A-Z)", {"sys(tr a-z A-Z)", "mfsio"}},
      {"double|half", {"half", "double", "mfsio"}},
      {"double||flat|", {"flat", "double", "mfsio"}},  // no empty elements
      {"sys(\"a|b\",x)|iflat", {"iflat", "sys(\"a|b\",x)", "mfsio"}},
      {"sys()", {"sys", "mfsio"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Chain chain(c.list);
    EXPECT_EQ(Describe(chain.get()), c.chain);
  }
}

TEST_F(ListTest, UnknownOrEmptyFormatNameEndsTheProgram) {
  struct Case {
    const char* list;
    const char* text;
  };
  const Case cases[] = {
      {"gzip", "FATAL: Cannot find filter named 'gzip'\n"},
      {"flat|gzip(x)|double", "FATAL: Cannot find filter named 'gzip'\n"},
      {"Flat", "FATAL: Cannot find filter named 'Flat'\n"},
      {" flat", "FATAL: Cannot find filter named ' flat'\n"},
      {"()", "FATAL: Cannot find filter named ''\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    EXPECT_EXIT(Chain chain(c.list), ::testing::ExitedWithCode(255),
                std::string("^") + c.text + "$");
  }
}

TEST_F(ListTest, FilterListTable) {
  MfsFilterListTable* table = mfs_fl_new(10, 10);
  const MfsFilterList rows[] = {
      {0, "", nullptr}, {1, "double", nullptr}, {3, "sys(cat)", nullptr}, {-1, "", nullptr}};
  mfs_fl_add_all(table, rows);
  mfs_fl_insert(table, {2, "half", nullptr}, 2);
  mfs_fl_insert(table, {4, "flat", nullptr}, 99);  // beyond the count: appended
  ASSERT_EQ(table->count(), 5);
  for (int32_t id = 0; id < 5; ++id) EXPECT_EQ(mfs_fl_find_id(table, id), id);
  EXPECT_EQ(mfs_fl_find_id(table, 7), -1);
  EXPECT_EQ(mfs_fl_index(table, "sys(cat)"), 3);
  EXPECT_EQ(mfs_fl_index(table, "nothing"), -1);
  ASSERT_NE(mfs_fl_find(table, "half"), nullptr);
  EXPECT_EQ(mfs_fl_find(table, "half")->id, 2);

  MfsFilterTypeTable* types = mfs_ft_new(10, 10);
  mfs_register_format_tables(table, types);
  EXPECT_EQ(types->count(), 7);
  std::vector<MfsStream*> chains;
  for (const MfsFilterList& row : table->rows) {
    ASSERT_NE(row.chain, nullptr);
    chains.push_back(row.chain);
  }
  // Registering again appends no format twice and keeps the chains (they
  // may be in use).
  mfs_register_format_tables(table, types);
  EXPECT_EQ(types->count(), 7);
  mfs_fl_compile_all(table, types);
  for (size_t i = 0; i < chains.size(); ++i) EXPECT_EQ(table->rows[i].chain, chains[i]);

  mfs_fl_delete(table, 42);  // outside the rows: nothing
  EXPECT_EQ(table->count(), 5);
  MfsStream* taken = table->rows[0].chain;
  mfs_fl_delete(table, 0);
  mfs_chain_destroy(taken);
  EXPECT_EQ(table->count(), 4);
  EXPECT_EQ(table->rows[0].text, "double");
  mfs_fl_free(table);
  mfs_ft_free(types);
}

TEST_F(ListTest, FilterListLines) {
  MfsFilterListTable* table = mfs_fl_new(10, 10);
  mfs_fl_insert(table, {0, "", nullptr}, -1);
  mfs_fl_insert(table, {1, "double|sys(tr a-z A-Z)", nullptr}, -1);
  const std::string path = dir_ + "/lists.lmp";
  VqStream* out = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(mfs_fl_write(table, out), 1);
  ASSERT_EQ(vqio_fclose(out), 0);
  EXPECT_EQ(mfstest::ReadFile(path),
            "<VQFilterList><VQListID>0</VQListID><VQList></VQList></VQFilterList>\n"
            "<VQFilterList><VQListID>1</VQListID><VQList>double|sys(tr a-z A-Z)</VQList>"
            "</VQFilterList>\n");
  mfs_fl_free(table);
}

TEST_F(ListTest, FilterTypeTable) {
  MfsFilterTypeTable* types = mfs_ft_new(10, 10);
  mfs_ft_add_all(types, mfs_builtin_formats());
  const char* order[] = {"meta", "mfsio", "flat", "iflat", "half", "double", "sys"};
  ASSERT_EQ(types->count(), 7);
  for (int32_t i = 0; i < 7; ++i) {
    EXPECT_EQ(mfs_ft_index(types, order[i]), i);
    EXPECT_STREQ(mfs_filtype_find(types, order[i])->name, order[i]);
  }
  EXPECT_EQ(mfs_filtype_find(types, "gzip"), nullptr);
  mfs_ft_delete(types, 0);
  EXPECT_EQ(mfs_ft_index(types, "sys"), 5);
  mfs_ft_insert(types, {"copy", mfsio_flat_new}, 0);
  EXPECT_EQ(mfs_ft_index(types, "copy"), 0);

  const std::string path = dir_ + "/types";
  VqStream* out = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  mfs_ft_dump(types, out);
  ASSERT_EQ(vqio_fclose(out), 0);
  const std::string text = mfstest::ReadFile(path);
  // "%-25s" then the constructor's address.
  EXPECT_EQ(text.rfind("<FilterType> copy" + std::string(22, ' '), 0), 0u) << text;
  EXPECT_NE(text.find(" </FilterType>\n<FilterType> mfsio "), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
  mfs_ft_free(types);
}

TEST_F(ListTest, TableWithoutRoomIsAnAllocationReport) {
  // Under the default handler a severity-14 report ends with status 14.
  EXPECT_EXIT(mfs_fl_new(0, 10), ::testing::ExitedWithCode(14), "mfsfillist");
  EXPECT_EXIT(mfs_ft_new(-1, 10), ::testing::ExitedWithCode(14), "mfsfiltype");
}

}  // namespace
