// input: reads documents through the document input as the entity manager
// will, and prints what each doc_read call delivers.
//
//   sgml_driver [options] input FILE...
//
// The files form one document entity's list ("-" stands for standard
// input, as the front end makes it "vq_stdin"). Output on standard output:
//   read NEW OFFSET CHARS     one line per doc_read call: the new-file flag,
//                             the buffer file offset, and the characters
//                             delivered, bytes outside 32-126 and "\"
//                             written as \ooo (so the end-of-buffer
//                             character 28 is \034)
//   end RESULT                the result of the last call: the count of the
//                             last buffer, or -1 after an input error
//   filter STOP CONTROL ROOT  with -m 8: the stop flag, the last control
//                             byte and the document name (root element)
// Reading stops after a buffer holding the end-of-text character 26, or an
// error. The status is 1 when the document could not be opened ("open -1"
// is printed) or a read failed.
#include <cstring>
#include <string>

#include "io/vqio.h"
#include "sgml/input/docin.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"

namespace {

// A guard against a reader that never ends: far more calls than any test
// document needs.
constexpr long kMaxReads = 10000000;

int run_input(int argc, char** argv) {
  if (argc < 2) return 2;
  driver_setup();
  offsets_reset();
  std::string list;
  for (int i = 1; i < argc; ++i) {
    list += std::strcmp(argv[i], "-") == 0 ? kDocStdinName : argv[i];
    list.push_back('\0');
  }
  list.push_back('\0');
  DocHandle* h = nullptr;
  if (doc_open(list.c_str(), &h, true) < 0) {
    vqio_printf("open -1\n");
    doc_close(h);
    return 1;
  }
  std::string buffer(static_cast<size_t>(doc_buffer_size()) + 3, '\0');
  auto* b = reinterpret_cast<unsigned char*>(buffer.data()) + 3;
  int n = 0;
  for (long calls = 0; calls < kMaxReads; ++calls) {
    int new_file = 0;
    n = doc_read(h, b, &new_file);
    if (n < 0) break;
    vqio_printf("read %d %ld ", new_file, static_cast<long>(doc_offsets.buffer_file));
    bool end = false;
    for (int i = 0; i < n; ++i) {
      unsigned c = b[i];
      if (c >= 32 && c <= 126 && c != '\\') {
        vqio_putc(static_cast<int>(c), vqio_stdout);
      } else {
        vqio_printf("\\%03o", c);
      }
      end = end || c == 26;
    }
    vqio_putc('\n', vqio_stdout);
    if (end) break;
  }
  vqio_printf("end %d\n", n);
  if (sgml_options().filter_input) {
    const ParserOptions& p = sgml_options();
    vqio_printf("filter %d %d %s\n", p.filter_stop, p.filter_last_control, p.document_name.c_str());
  }
  doc_close(h);
  return n < 0 ? 1 : 0;
}

}  // namespace

SGML_DRIVER_COMMAND("input", run_input, "input FILE...");
