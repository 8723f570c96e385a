// The options record, mode selection on the -m text, and the dispatcher
// that runs the selected mode.
#include <cstring>

#include "finder/dtdreport.h"
#include "finder/finder.h"
#include "finder/gentest.h"
#include "finder/regions.h"
#include "sgml/sgml.h"
#include "util/util.h"

ModeOptions* mode_options = nullptr;

namespace {

void region_mode();

}  // namespace

// One entry per mode, in the order -m texts are matched against the names.
// Region comes last: no other name begins with "re", and a text that
// selects nothing means region anyway.
const ModeEntry ModeTable[] = {
    {"vesk", kModeVesk, kStartDirect, lineout_run},
    {"check", kModeCheck, kStartPerDocument, check_mode},
    {"dtd", kModeDtd, kStartAfterProlog, dtd_mode_run},
    {"query", kModeQuery, kStartAfterProlog, query_mode_run},
    {"test", kModeTest, kStartAfterProlog, test_mode_run},
    {"gentest", kModeGentest, kStartAfterProlog, gentest_mode_run},
    {"root", kModeRoot, kStartAfterProlog, root_mode},
    {"elist", kModeElist, kStartAfterProlog, elist_mode},
    {"spec", kModeSpec, kStartAfterProlog, spec_mode},
    {"level", kModeLevel, kStartAfterProlog, level_mode},
    {"filter", kModeFilter, kStartAfterProlog, filter_mode},
    {"print", kModePrint, kStartPerDocument, print_mode},
    {"normalize", kModeNormalize, kStartPerDocument, normalize_mode},
    {"declare", kModeDeclare, kStartDirect, declare_mode},
    {"region", kModeRegion, kStartDirect, region_mode},
};
const int ModeTableCount = static_cast<int>(sizeof ModeTable / sizeof ModeTable[0]);

namespace {

const ModeEntry* mode_entry(int32_t value) {
  for (const ModeEntry& m : ModeTable) {
    if (m.value == value) return &m;
  }
  return nullptr;
}

// Region set-up: the run's lock and start-up, a data dictionary that opens
// and reads (a damaged one is refused before the parse), then the region
// pass.
void region_mode() {
  const ModeOptions& o = *mode_options;
  if (o.dd_name.empty()) vq_report(9, GetMsgNumText(220000));
  std::string dd_file = region_dd_file(o);
  region_run_begin(dd_file, region_base_name(o));
  VqStream* test = vqio_fopen(dd_file.c_str(), "r");
  if (test == nullptr) vq_report(16, GetMsgNumText(10003), "sgmlvq", dd_file.c_str());
  vqio_fclose(test);
  if (region_dd_check(dd_file) != 0) vqio_exit(1);
  if (region_pass(dd_file, region_base_name(o), front_state().version) != 0) vqio_exit(1);
}

}  // namespace

const ModeEntry* mode_select(const char* text) {
  if (text == nullptr) return nullptr;
  for (const ModeEntry& m : ModeTable) {
    // The first two characters only; a text of one character compares its
    // NUL with the name's second character and so selects nothing.
    if (text[0] == m.name[0] && text[1] == m.name[1]) return &m;
  }
  return nullptr;
}

const char* mode_name(int32_t value) {
  const ModeEntry* m = mode_entry(value);
  return m != nullptr ? m->name : "region";
}

void build_options(const SwitchRecord& r) {
  // The run's record, read until the process ends: made once, cleared by
  // each call.
  static ModeOptions* const o = new ModeOptions;
  *o = ModeOptions{};
  const ModeEntry* selected = mode_select(r.mode);
  o->mode = selected != nullptr ? selected->value : kModeRegion;
  if (front_state().verbose) vq_report(1, GetMsgNumText(220001), mode_name(o->mode));
  if (r.dd_name != nullptr) {
    if (o->mode == kModeRegion) {
      wild_match_prefix("*.dd", r.dd_name, o->dd_name);
    } else {
      o->dd_name = r.dd_name;
    }
  }
  if (r.output_name != nullptr) o->output_name = r.output_name;
  if (r.meta_file != nullptr) o->meta_file = r.meta_file;
  if (r.group != nullptr) o->group = r.group;
  o->meta = r.meta;
  mode_options = o;

  ParserOptions& p = sgml_options();
  p = ParserOptions{};
  p.documents_in_sequence = o->mode == kModeFilter || o->meta != 0;
  p.filter_input = o->mode == kModeFilter;
  p.echo_references = r.entity_echo == 1;
  p.verbose = front_state().verbose != 0;
  p.carriage_return_blank = front_state().carriage_return != 0;
  if (r.document_name != nullptr) p.document_name = r.document_name;
  p.start_position = r.start_position;
  if (o->mode == kModeTest) {
    // In test mode -S seeds the generator; the document with the DTD is
    // read from its start.
    test_seed_option = r.start_position;
    p.start_position = 0;
  }
  p.end_limit = r.end_limit;
}

std::string region_dd_file(const ModeOptions& o) { return o.dd_name + ".dd"; }

std::string region_base_name(const ModeOptions& o) {
  if (o.output_name.empty()) return o.dd_name;
  std::string base;
  wild_match_prefix("*.rgn", o.output_name.c_str(), base);
  return base;
}

void sgmlvq(const SwitchRecord&, int32_t) {
  sgml_raise_limits();
  offsets_reset();
  const ModeEntry* m = mode_entry(mode_options->mode);
  if (m == nullptr) return;  // value 3: nothing runs
  switch (m->start) {
    case kStartDirect:
      m->run();
      break;
    case kStartAfterProlog:
      start_document();
      m->run();
      break;
    case kStartPerDocument:
      run_per_document(m->run);
      break;
  }
}

void declare_mode() { sgmldecl_write(vqio_stdout); }
