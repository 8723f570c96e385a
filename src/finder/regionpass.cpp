// The region pass: the document parsed to its end, every start tag, element
// and attribute value written as one temporary record, then the records
// laid out in region files and registered in the data dictionary (or
// merged into the existing region file with -J).
#include <cerrno>
#include <cstring>
#include <ctime>

#include "finder/dtdreport.h"
#include "finder/finder.h"
#include "finder/regions.h"
#include "sgml/entities/attlist.h"
#include "sgml/input/docin.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"

namespace {

// The run of this process (one pass per process), read by the per-document
// callback of the meta-document branch.
RegionRun* current_run = nullptr;

double parsed_kb() { return static_cast<double>(doc_offsets.buffer_file) / 1024.0; }

// A record that could not be written ends the run: a temporary file that
// cannot be made with front message 7, the other failures after their own
// report. The clean-up list removes the temporary files.
void record(RegionRun* run, int kind, const unsigned char* counted_name, int64_t start,
            int64_t end) {
  const int status =
      region_record_write(run, kind, reinterpret_cast<const char*>(counted_name + 1), start, end);
  if (status == 0) return;
  if (status == -1)
    front_fatal(kFrontCannotOpenFile, run->temp.failed_name.c_str(),
                std::strerror(run->temp.failed_errno));
  vqio_exit(1);
}

// One kind-3 record per attribute of the list whose value was neither
// refused nor missing; the token entries after an attribute with a group
// are stepped over. A tag that gave no values (an implied start tag, "<>")
// comes with the element's declared list: its attributes are recorded at
// the offset where the tag's attribute list would have ended, (start,
// start) for an implied tag, the ">" of "<>".
void region_attributes(RegionRun* run, const EventTagRecord& tag, int32_t tag_end) {
  const AttributeList* list = tag.attributes;
  const bool given = tag.kind != TAG_EMPTY && tag.kind != TAG_IMPLIED;
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    if ((a.flags & (ATT_GIVEN_BAD | ATT_DEFAULT_BAD)) == 0 && a.name != nullptr) {
      record(run, REGION_ATTRIBUTE, a.name, given ? a.value_start : tag_end,
             given ? a.value_end : tag_end);
    }
    if (a.flags & ATT_GROUP) i += a.count;
  }
}

void region_event(RegionRun* run, int event, const EventTagRecord& tag) {
  if (event == PARSE_START_TAG) {
    const OpenElement* top = open_element_at(open_element_level());
    if (top == nullptr) return;
    const int32_t tag_end = top->start + top->start_length;
    if (tag.attributes != nullptr) region_attributes(run, tag, tag_end);
    record(run, REGION_START_TAG, tag.name, top->start, tag_end);
  } else if (event == PARSE_END_TAG) {
    // The entry of the element just closed is still in place one level up.
    const OpenElement* closed = open_element_at(open_element_level() + 1);
    if (closed == nullptr) return;
    record(run, REGION_ELEMENT, tag.name, closed->start, closed->end);
  }
}

// Pulls the events of the current document to its end. The element and
// attribute names the events give stay in place until then. Only tags make
// records: data and record ends are passed over inside the parser.
void region_document() {
  EventDataRecord data;
  EventTagRecord tag;
  int event;
  region_names_in_place(current_run, true);
  sgml_events_tags_only(true);
  while ((event = sgml_next_event_ext(&data, &tag)) != PARSE_END)
    region_event(current_run, event, tag);
  sgml_events_tags_only(false);
  region_names_in_place(current_run, false);
}

void add_to_cleanup(const std::string& name) { front_cleanup_add(name); }

}  // namespace

int region_pass(const std::string& dd_file, const std::string& base, int32_t version) {
  static RegionRun run;
  current_run = &run;
  run.verbose = front_verbose != 0;
  run.size_kb = parsed_kb;
  run.temp.on_create = add_to_cleanup;
  if (temp_set_open(&run.temp) != 0)
    front_fatal(kFrontCannotOpenFile, run.temp.failed_name.c_str(),
                std::strerror(run.temp.failed_errno));
  run.start_time = time(nullptr);

  start_document();
  FrgacText* fragmented = nullptr;
  if (cur_fragment_handle(&fragmented)) run.fragmented = fragmented;
  if (region_meta_documents(region_document) == 0) region_document();

  if (temp_set_close(&run.temp) != 0) vqio_exit(1);
  if (run.verbose)
    vq_report(1, GetMsgNumText(220003), static_cast<int>(run.temp.records), parsed_kb(),
              static_cast<int>(time(nullptr) - run.start_time));

  RegionWriteOptions options;
  options.dd_file = dd_file;
  options.base = base;
  options.version = version;
  options.verbose = run.verbose;
  options.merge = front_state().merge != 0;
  std::vector<const char*> names(kDtdElementLimit);
  std::vector<int32_t> depths(kDtdElementLimit);
  int count = 0;
  element_levels(kDtdElementLimit, &count, names.data(), depths.data());
  for (int i = 0; i < count; ++i)
    options.levels.emplace_back(names[static_cast<size_t>(i)], depths[static_cast<size_t>(i)]);

  const int status = region_write_files(options, &run);
  const std::vector<std::string> made = run.temp.names;
  temp_set_remove(&run.temp);
  for (const std::string& name : made) front_cleanup_drop(name);
  return status;
}
