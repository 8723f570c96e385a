// Helpers of the getter tests: fixture dictionaries, entries found by name,
// a report recorder that stops at a fatal report as the programs' printers
// do, and owners of the getters' results.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "addgi/addgi.h"
#include "dd/dd.h"
#include "io/vqio.h"
#include "madat/madat.h"
#include "msg/msg.h"
#include "support/recorded_reports.h"
#include "support/scratch.h"

struct TreeDeleter {
  void operator()(MadNode* root) const { madmtfr(root); }
};
using Tree = std::unique_ptr<MadNode, TreeDeleter>;

// Reads a fixture dictionary of tests/fixtures/addgi; reading it must not
// report anything.
inline Tree load_fixture(const char* name) {
  start_io();
  const std::string path = std::string(VQ_FIXTURES) + "/addgi/" + name;
  ReportRecorder rec;
  Tree tree(addpadd(path.c_str()));
  EXPECT_TRUE(tree) << path;
  EXPECT_TRUE(rec.reports().empty()) << path << ": " << rec.reports().front().text;
  return tree;
}

// The entry (Text or Region) whose Name value is name: Text entries are
// children of DB, Region entries children of the first Regions.
inline MadNode* entry_named(const MadNode* root, int32_t tag_id, const char* name) {
  const MadNode* parent = madatgc(root, DD_DB);
  if (tag_id == DD_Region) parent = madatgc(parent, DD_Regions);
  for (MadNode* e = madatgc(parent, tag_id); e; e = madatns(e, tag_id)) {
    const char* v = madatgv(madatgc(e, DD_Name));
    if (v && strcmp(v, name) == 0) return e;
  }
  ADD_FAILURE() << "no entry named " << name;
  return nullptr;
}

// Thrown by FatalRecorder's handler for a report of severity 3 or above.
struct FatalReport {
  int severity;
};

inline int record_then_stop(int severity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[1024];
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  recorded_reports().push_back({severity, text});
  if (severity >= 3) throw FatalReport{severity};
  return 0;
}

// Records every report and, like the programs' printers, never returns
// from a fatal one: it throws FatalReport instead.
struct FatalRecorder {
  FatalRecorder() {
    recorded_reports().clear();
    set_error_handler(record_then_stop);
  }
  ~FatalRecorder() { set_error_handler(nullptr); }
  const std::vector<RecordedReport>& reports() const { return recorded_reports(); }
};

// The outputs of addgiti or addgiri, released at the end of the test.
struct Outputs {
  char* name = nullptr;
  char* desc = nullptr;
  FileInfo* list = nullptr;
  int32_t count = -7;
  long region_count = -7;
  int32_t pairs = -7;

  Outputs() = default;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;
  ~Outputs() {
    free(name);
    free(desc);
    addgi_files_free(list, count > 0 ? count : 0);
  }
  MadNode* text(MadNode* node) { return addgiti(node, &name, &desc, &list, &count); }
  MadNode* region(MadNode* node) {
    return addgiri(node, &name, &desc, &region_count, &pairs, &list, &count);
  }
};

// One record's plain fields, for comparing with a table row.
struct Plain {
  int32_t fragmented;
  const char* sys_name;
  const char* frg_dir;
  int32_t major;
  int32_t minor;
  uint32_t offset;
  uint32_t mod_date;
};

// A text output: equal to want, or null when want is null.
inline void expect_text_or_null(const char* got, const char* want) {
  if (want) {
    EXPECT_STREQ(got, want);
  } else {
    EXPECT_EQ(got, nullptr);
  }
}

inline void expect_plain(const FileInfo& got, const Plain& want, const std::string& where) {
  SCOPED_TRACE(where);
  EXPECT_EQ(got.fragmented, want.fragmented);
  ASSERT_NE(got.sys_name, nullptr);
  EXPECT_STREQ(got.sys_name, want.sys_name);
  expect_text_or_null(got.frg_dir, want.frg_dir);
  EXPECT_EQ(got.major, want.major);
  EXPECT_EQ(got.minor, want.minor);
  EXPECT_EQ(got.offset, want.offset);
  EXPECT_EQ(got.mod_date, want.mod_date);
  EXPECT_EQ(got.handle, nullptr);
  EXPECT_EQ(got.multi_file, 0);
  EXPECT_EQ(got.file_map, nullptr);
  EXPECT_EQ(got.chain_count, 0);
  EXPECT_EQ(got.chains, nullptr);
}
