// The process-wide error-handler hook, the default handler, the plain
// standard-error printers and the assertion report.
//
// The hook is one plain function pointer (trivially destructible, so nothing
// runs at exit). Handlers print on the layer's standard-error stream, which
// is unbuffered, and flush it before deciding whether the program goes on.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "msg/msg.h"

namespace {

struct HookState {
  ErrorHandler handler;
};
HookState hook = {default_error_handler};

// The system's text for err, or null when the C library has none (the
// successor of "errno below the count of error texts").
const char* system_error_text(int err) {
  if (err <= 0) return nullptr;
  return strerrordesc_np(err);
}

}  // namespace

void set_error_handler(ErrorHandler handler) {
  hook.handler = handler ? handler : default_error_handler;
}

ErrorHandler current_error_handler() { return hook.handler; }

int default_error_handler(int severity, const char* format, ...) {
  // Read errno before printing can change it.
  const int saved_errno = errno;
  va_list args;
  va_start(args, format);
  vqio_vfprintf(vqio_stderr, format, args);
  va_end(args);
  const char* text = severity == 16 ? system_error_text(saved_errno) : nullptr;
  if (text)
    vqio_fprintf(vqio_stderr, "[%s]\n", text);
  else
    vqio_fputs("\n", vqio_stderr);
  vqio_fflush(vqio_stderr);
  if (severity != 0 && severity != 1 && severity != 2) vqio_exit(severity);
  errno = saved_errno;
  return 0;
}

int error_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vqio_vfprintf(vqio_stderr, format, args);
  va_end(args);
  vqio_fflush(vqio_stderr);
  return n;
}

// Prints "FATAL: " and then the formatted text. Writing the two pieces in
// turn gives the same output as formatting "FATAL: " + format, without a
// buffer that a long format could overflow.
void fatal_exit(const char* format, ...) {
  vqio_fputs("FATAL: ", vqio_stderr);
  va_list args;
  va_start(args, format);
  vqio_vfprintf(vqio_stderr, format, args);
  va_end(args);
  vqio_fflush(vqio_stderr);
  vqio_exit(-1);
}

void vq_assert_failed(const char* file, int line) {
  vqio_fprintf(vqio_stderr, "%s(%d): ", file, line);
  vq_report(15, "assert");
  // Severity 15 never returns; end here should an installed handler return.
  vqio_exit(15);
}
