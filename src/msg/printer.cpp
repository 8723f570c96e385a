// The printer that the three programs install in the error-handler hook. A
// numbered report arrives as "NUMBER: text"; the user sees the text alone.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "msg/msg.h"

namespace {

// errno values at or above this bound print no system text.
constexpr int kSystemTextBound = 126;
// Longest run of digits taken for a message number.
constexpr int kMaxNumberDigits = 10;

// The format without the "NUMBER: " that GetMsgNumText put in front: a run
// of at most 10 digits (possibly empty) followed by ": ".
const char* skip_number(const char* format) {
  int digits = 0;
  while (digits <= kMaxNumberDigits && format[digits] >= '0' && format[digits] <= '9') ++digits;
  if (digits <= kMaxNumberDigits && format[digits] == ':' && format[digits + 1] == ' ') {
    return format + digits + 2;
  }
  return format;
}

}  // namespace

int print_message(int severity, const char* format, ...) {
  // The failing call's error, before anything here can change errno.
  int error = errno;
  va_list args;
  va_start(args, format);
  vqio_vfprintf(vqio_stderr, skip_number(format), args);
  va_end(args);
  // Only a failed call leaves an error to show: errno 0 has no text.
  if (severity == 16 && error > 0 && error < kSystemTextBound) {
    vqio_fprintf(vqio_stderr, "[%s]", std::strerror(error));
  }
  vqio_fputc('\n', vqio_stderr);
  vqio_fflush(vqio_stderr);
  if (static_cast<unsigned>(severity) >= 3) vqio_exit(1);
  return 0;
}
