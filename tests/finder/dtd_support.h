// Helpers of the DTD report tests: a document's prolog parsed into the
// parser's tables the way the region finder does it before a report (the
// prolog only), with the report's standard output captured and the
// reports made through the error-handler hook recorded.
#pragma once

#include <string>

#include "io/vqio.h"
#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "finder/modeopts.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/switches.h"
#include "sgml/entities/tables.h"
#include "sgml/sgml_support.h"
#include "support/recorded_reports.h"
#include "support/scratch.h"
#include "support/stderr_capture.h"

// A scratch folder per test, the parser's state fresh, and the prolog of a
// document read into the tables.
class DtdFixture : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    static ModeOptions options;
    options = ModeOptions{};
    mode_options = &options;
    sgml_options() = ParserOptions{};
    sgml_parser_reset();
    switches_ = SwitchRecord{};
    switches_.program_name = "tavrel";
    switches_.prolog_only = 1;
  }
  void TearDown() override {
    parser_teardown();
    ScratchDir::TearDown();
  }
  // Parses the prolog of text (written as doc.sgml); the parser's messages
  // are kept in messages_.
  void parse(const std::string& text) {
    const std::string file = path("doc.sgml");
    write_file(file, text);
    messages_ = stderr_of(dir_, [&] {
      sgml_set_switches(&switches_);
      sgml_raise_limits();
      std::string list = file + std::string(2, '\0');
      ASSERT_EQ(entity_open_document(list.data()), 0);
      prolog_reset();
      for (;;) {
        const int code = parse_prolog();
        if (code == PROLOG_PI) {
          parse_literal(md_buffer(), &pcb_litc, quantity(kPILEN), '>');
          continue;
        }
        if (code != PROLOG_APPINFO) break;
      }
    });
  }
  // What f writes on standard output; the reports it makes through the
  // error-handler hook are in reports_.
  template <typename F>
  std::string output(F f) {
    ReportRecorder recorder;
    std::string out = stdout_of(dir_, f);
    reports_ = recorder.reports();
    return out;
  }
  SwitchRecord switches_;
  std::string messages_;
  std::vector<RecordedReport> reports_;
};
