// The command line of vexabld: options, the memory value and the derived
// file names.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "builder/builder.h"
#include "msg/msg.h"

namespace {

// Largest memory value taken: the text buffer (half of what is left after
// the reserve) must stay addressable by a 32-bit offset.
constexpr int64_t kMaxMemory = BUILD_RESERVED_MEMORY + 2 * int64_t{INT32_MAX};

// "-m": a number followed by k, K, m or M. The value in bytes, or -1 when
// it does not scan (the caller reports 90044).
int64_t parse_memory(const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || std::isnan(value)) return -1;
  double unit;
  switch (*end) {
    case 'k': case 'K': unit = 1024.0; break;
    case 'm': case 'M': unit = 1048576.0; break;
    default: return -1;
  }
  double bytes = std::trunc(value * unit);
  if (bytes <= 0) return 0;
  if (bytes >= static_cast<double>(kMaxMemory)) return kMaxMemory;
  return static_cast<int64_t>(bytes);
}

bool ends_with(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

constexpr const char* kValueOptions[] = {"-c", "-d", "-D", "-i", "-I", "-m",
                                         "-o", "-p", "-s", "-t"};

bool takes_value(const char* arg) {
  for (const char* o : kValueOptions) {
    if (std::strcmp(arg, o) == 0) return true;
  }
  return false;
}

// The base map named by a -c value (lower-cased), or -1.
int base_map_named(std::string value) {
  for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (value == "isolatin") return BASE_MAP_ISOLATIN;
  if (value == "none") return BASE_MAP_NONE;
  if (value == "basic") return BASE_MAP_BASIC;
  if (value == "sgml") return BASE_MAP_SGML;
  return -1;
}

}  // namespace

BuildOptions* ReadArgsB(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "vexabld";
  if (argc < 3) {
    vq_report(9, GetMsgNumText(100029), program);
    return nullptr;
  }
  // Owned here until it is handed over, also when a report unwinds.
  auto options = std::make_unique<BuildOptions>();
  BuildOptions* o = options.get();
  bool memory_given = false;
  std::optional<std::string> int_name, merge_name;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-r") == 0) {
      o->restart = 1;
      continue;
    }
    if (std::strcmp(arg, "-v") == 0) {
      o->verbose = 1;
      continue;
    }
    if (!takes_value(arg)) {
      vq_report(3, GetMsgNumText(100030), program);
      return nullptr;
    }
    // An option at the end of the line is skipped without a value.
    if (i + 1 >= argc) continue;
    const std::string value = argv[++i];
    switch (arg[1]) {
      case 'c': {
        int map = base_map_named(value);
        if (map < 0) {
          vq_report(9, GetMsgNumText(100028), value.c_str());
          return nullptr;
        }
        o->base_map = map;
        o->map_given = true;
        break;
      }
      case 'd': o->region_name = value; break;
      case 'D': o->dd_name = value; break;
      case 'i': int_name = value; break;
      case 'I': o->index_name = value; break;
      case 'm': {
        int64_t bytes = parse_memory(value.c_str());
        if (bytes < 0) {
          vq_report(9, GetMsgNumText(90044));
          return nullptr;
        }
        o->memory = bytes;
        memory_given = true;
        break;
      }
      case 'o': o->out_name = value; break;
      case 'p': o->points_file = value; break;
      case 's': merge_name = value; break;
      case 't': o->text_name = value; break;
    }
  }
  if (o->dd_name && o->text_name) {
    vq_report(9, GetMsgNumText(100006));
    return nullptr;
  }
  if (o->dd_name && o->map_given) {
    vq_report(9, GetMsgNumText(100004));
    return nullptr;
  }
  bool index_decided = false;
  if (o->out_name) {
    o->out_base = *o->out_name;
  } else if (o->dd_name) {
    o->out_base = *o->dd_name;
    if (ends_with(o->out_base, ".dd")) o->out_base.resize(o->out_base.size() - 3);
    index_decided = true;  // the data dictionary names the index file
  } else {
    o->out_base = GetMsgText(60017);
  }
  if (!index_decided) o->index_file = o->out_base + ".idx";
  o->int_name = int_name.value_or(o->out_base);
  o->merge_name = merge_name.value_or(o->out_base);
  if (!memory_given) o->memory = BUILD_DEFAULT_MEMORY;
  o->dd_update = o->out_base + ".dd";
  o->log_file = o->out_base + ".log";
  if (!o->dd_name && !o->text_name) {
    vq_report(9, GetMsgNumText(100017));
    return nullptr;
  }
  return options.release();
}
