// The eight front-end messages: texts from the system's message catalogue
// "tavrl" (set 4) when it has them, else the compiled-in defaults, printed
// after the program name on the standard-error stream.
#include <nl_types.h>

#include <cstdarg>
#include <cstdlib>

#include "finder/finder.h"

namespace {

constexpr int kCatalogueSet = 4;

const char* const kDefaults[] = {
    nullptr,
    "Out of memory",
    "Cannot open SGML document entity",
    "Cannot exec `%s': %s",
    "Cannot fork: %s",
    "Error waiting for process: %s",
    "Program %s got fatal signal %d",
    "Cannot open `%s': %s",
    "Subdocument capacity botch",
};
constexpr int kLastMessage = 8;

void print_va(int n, va_list args) {
  const char* text = front_message_text(n);
  if (text == nullptr) vq_assert_failed("sgmlmain", __LINE__);
  vqio_fprintf(vqio_stderr, "%s: ", front_state().program_name.c_str());
  vqio_vfprintf(vqio_stderr, text, args);
  vqio_fputc('\n', vqio_stderr);
  vqio_fflush(vqio_stderr);
}

}  // namespace

const char* front_message_text(int n) {
  if (n < 1 || n > kLastMessage) return nullptr;
  nl_catd catalogue = front_state().catalogue;
  if (catalogue != reinterpret_cast<nl_catd>(-1)) {
    // A catalogue text is a format: taken only when it reads what the
    // default reads.
    const char* text = catgets(catalogue, kCatalogueSet, n, nullptr);
    if (msg_text_usable(text, kDefaults[n])) return text;
  }
  return kDefaults[n];
}

void front_print(int n, ...) {
  va_list args;
  va_start(args, n);
  print_va(n, args);
  va_end(args);
}

void front_error(int n, ...) {
  va_list args;
  va_start(args, n);
  print_va(n, args);
  va_end(args);
}

void front_fatal(int n, ...) {
  va_list args;
  va_start(args, n);
  print_va(n, args);
  va_end(args);
  vqio_exit(1);
}

void* front_alloc(size_t size) {
  void* p = std::malloc(size > 0 ? size : 1);
  if (p == nullptr) front_fatal(kFrontNoMemory);
  return p;
}

void* front_realloc(void* pointer, size_t size) {
  void* p = std::realloc(pointer, size > 0 ? size : 1);
  if (p == nullptr) front_fatal(kFrontNoMemory);
  return p;
}
