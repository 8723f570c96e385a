// Test handler for the error-handler hook that behaves like the programs'
// printer: every report is recorded, and one of severity 3 or more ends the
// call (here by throwing FatalReport) instead of the program.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "msg/msg.h"
#include "support/recorded_reports.h"

struct FatalReport {
  int severity;
  std::string text;
};

inline int record_or_throw(int severity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* formatted = nullptr;
  const std::string text = vasprintf(&formatted, format, args) >= 0 ? formatted : "";
  va_end(args);
  free(formatted);
  record_report(severity, "%s", text.c_str());
  if (severity >= 3) throw FatalReport{severity, text};
  return 0;
}

// Installs the handler for the lifetime of the object.
struct FatalRecorder {
  FatalRecorder() {
    recorded_reports().clear();
    set_error_handler(record_or_throw);
  }
  ~FatalRecorder() { set_error_handler(nullptr); }
  const std::vector<RecordedReport>& reports() const { return recorded_reports(); }
};

// Runs f and returns the fatal report it ended with ({-1, ""} when none).
template <typename F>
FatalReport fatal_of(F&& f) {
  try {
    f();
  } catch (const FatalReport& r) {
    return r;
  }
  return {-1, ""};
}
