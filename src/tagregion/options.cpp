// Command line of pellion and the name of its region file.
#include <cctype>
#include <cstring>

#include "tagregion/tagregion.h"

namespace {

bool ends_with(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// A relative name is appended to what stands, an absolute one replaces it.
void place(std::string& name, const std::string& path) {
  if (path_is_relative(path.c_str()))
    name += path;
  else
    name = path;
}

}  // namespace

ErrorHandler msg_get_callback() { return current_error_handler(); }

int path_is_relative(const char* path) {
  if (path[0] == '/' || path[0] == '\\') return 0;
  if (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      (path[2] == '/' || path[2] == '\\'))
    return 0;
  return 1;
}

void region_usage(const char* program) {
  msg_report(9, 80011, program);
  vqio_exit(1);  // only when the installed handler returned
}

int region_options_parse(int argc, char** argv, RegionRunOptions* o) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    auto value = [&](bool* has, std::string* into) {
      if (i + 1 < argc) {
        *has = true;
        *into = argv[++i];
      }
    };
    if (std::strcmp(a, "-d") == 0) continue;
    if (std::strcmp(a, "-v") == 0 || std::strcmp(a, "-v1") == 0) {
      o->verbose = true;
    } else if (std::strcmp(a, "-v2") == 0) {
      o->verbose = o->trace = true;
    } else if (std::strcmp(a, "-f") == 0) {
      o->prefix_cwd = true;
    } else if (std::strcmp(a, "-o") == 0) {
      value(&o->has_output, &o->output_name);
    } else if (std::strcmp(a, "-sw") == 0) {
      value(&o->has_tagpos, &o->tagpos_file);
    } else if (std::strcmp(a, "-D") == 0) {
      value(&o->has_dd, &o->dd_name);
    } else if (std::strcmp(a, "-t") == 0) {
      value(&o->has_tagnames, &o->tagname_file);
    } else if (std::strcmp(a, "-meta") == 0) {
      o->meta = true;
      value(&o->has_meta_file, &o->meta_file);
    } else if (std::strcmp(a, "-displayfmt") == 0) {
      o->display_fmt = true;
      value(&o->has_display_name, &o->display_name);
    } else if (positional == 0) {
      ++positional;
      if (!o->has_dd) {
        o->has_dd = true;
        o->dd_name = a;
      }
    } else if (positional == 1) {
      ++positional;
      if (!o->has_tagnames) {
        o->has_tagnames = true;
        o->tagname_file = a;
      }
    } else {
      return 1;
    }
  }
  return o->has_dd && o->has_tagnames ? 0 : 1;
}

std::string region_file_name(const RegionRunOptions& o, const std::string& cwd) {
  std::string name;
  if (o.prefix_cwd) name = cwd + "/";
  if (o.has_output) {
    place(name, o.output_name);
    if (!ends_with(name, ".rgn")) name += ".rgn";
  } else {
    place(name, o.dd_name);
    if (ends_with(name, ".dd"))
      name.replace(name.size() - 3, 3, ".rgn");
    else
      name += ".rgn";
  }
  return name;
}
