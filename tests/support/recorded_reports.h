// Test handler for the error-handler hook: records the severity and the
// formatted text of every report and returns, so that a test can check
// reports that would end a program under the installed printer.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "msg/msg.h"

struct RecordedReport {
  int severity;
  std::string text;
};

inline std::vector<RecordedReport>& recorded_reports() {
  static std::vector<RecordedReport> reports;
  return reports;
}

inline int record_report(int severity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  recorded_reports().push_back({severity, text});
  return 0;
}

// Installs the recorder for the lifetime of the object.
struct ReportRecorder {
  ReportRecorder() {
    recorded_reports().clear();
    set_error_handler(record_report);
  }
  ~ReportRecorder() { set_error_handler(nullptr); }
  const std::vector<RecordedReport>& reports() const { return recorded_reports(); }
};
