// The front end proper: from the command line to the exit status.
#include <nl_types.h>

#include <cstring>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/sgml.h"

namespace {

// The standard-error stream's own buffer.
char stderr_buffer[VQ_BUFSIZ];

// Base name of argv[0] ("tavrel" when it is missing or empty).
std::string base_name(const char* path) {
  if (path == nullptr || *path == '\0') return "tavrel";
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

void sgml_main(int argc, char** argv, int32_t version) {
  vqio_setbuf(vqio_stderr, stderr_buffer);
  FrontState& f = front_state();
  f.version = version;
  const char* started = argc > 0 ? argv[0] : nullptr;
  f.forwarded.assign(1, started != nullptr ? started : "tavrel");
  f.program_name = base_name(started);
  if (argc > 0) argv[0] = f.program_name.data();

  sgml_parser_reset();
  f.verbose = 0;
  f.merge = 0;
  f.carriage_return = 0;
  f.catalogue = catopen("tavrl", 0);

  SwitchRecord record;
  switch_record_init(&record);
  // A child started for a subdocument learns its level from its parent.
  record.subdoc_levels = subdoc_level_from_environment();
  int first = argc > 0 ? front_options_read(argc, argv, &record) : argc;
  if (first < 0) usage();
  int operands = argc - first;
  if (operands <= 0 && record.document_name == nullptr && record.dd_name == nullptr) usage();

  build_options(record);
  sgml_set_switches(&record);
  child_forward_options(record);

  std::string list = doc_list_build(record, operands > 0 ? operands : 0, argv + first);
  // Standard input as the document (filter mode's input above all) is read
  // through a buffer of 64 KB rather than the stream layer's 1 KB: far
  // fewer read calls. Set before anything is read from it.
  for (const char* name = list.data(); *name != '\0'; name += std::strlen(name) + 1) {
    if (std::strcmp(name, kDocStdinName) == 0) {
      vqio_setvbuf(vqio_stdin, nullptr, VQ_IOFBF, 64 * 1024);
      break;
    }
  }
  if (sgml_open_document(list.data()) < 0) front_fatal(kFrontCannotOpenDoc);

  sgmlvq(record, version);

  CapacityReport report;
  sgml_end_capacity(&report);
  if (f.capacity_report) capacity_report(vqio_stderr, report);
  if (f.has_capacity_file) capacity_write(f.capacity_file, report);

  front_cleanup_run();
  vqio_fflush(vqio_stdout);
  int status = 0;
  if (f.child_failed) {
    status = 1;
  } else if (sgml_error_count() > 0) {
    status = 1;
  }
  vqio_exit(status);
}
