// -T and -F entity definitions and the document entity of the commands
// that read through the entity manager.
#include "tools/entity_options.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "io/vqio.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"

namespace {

struct EntityOption {
  bool external;
  std::string name;
  std::string value;
};

std::vector<EntityOption>& entity_options() {
  static auto* options = new std::vector<EntityOption>;
  return *options;
}

std::vector<unsigned char> counted(const std::string& name) {
  std::vector<unsigned char> out(name.size() + 2);
  out[0] = static_cast<unsigned char>(name.size() + 2);
  std::memcpy(out.data() + 1, name.data(), name.size());
  return out;
}

bool take_text(const char* argument) { return entity_option_add(false, argument); }
bool take_file(const char* argument) { return entity_option_add(true, argument); }

const bool registered_t = driver_register_option('T', take_text, "-T name=text");
const bool registered_f = driver_register_option('F', take_file, "-F name=file");

}  // namespace

bool entity_option_add(bool external, const char* argument) {
  const char* eq = std::strchr(argument, '=');
  if (!eq || eq == argument) return false;
  entity_options().push_back({external, std::string(argument, eq - argument), eq + 1});
  return true;
}

void entity_options_define() {
  for (const EntityOption& o : entity_options()) {
    std::vector<unsigned char> name = counted(o.name);
    bool parameter = o.name[0] == '%';
    if (o.external) {
      // A file list: the name, a NUL, and the empty name that ends it.
      auto* list = static_cast<unsigned char*>(sgml_calloc(o.value.size() + 2));
      std::memcpy(list, o.value.data(), o.value.size());
      entdef(name.data(), parameter ? ENT_PARAM : ENT_GENERAL, list, 0);
    } else {
      entdef(name.data(), ENT_TEXT, reinterpret_cast<const unsigned char*>(o.value.data()),
             static_cast<int32_t>(o.value.size()));
    }
  }
}

bool driver_open_document(int argc, char** argv) {
  std::string list;
  for (int i = 0; i < argc; ++i) {
    list += std::strcmp(argv[i], "-") == 0 ? kDocStdinName : argv[i];
    list += '\0';
  }
  list += '\0';
  if (argc == 0 || entity_open_document(list.data()) != 0) {
    vqio_fprintf(vqio_stderr, "sgml_driver: cannot open the document\n");
    return false;
  }
  return true;
}

bool driver_read_prolog(int argc, char** argv) {
  driver_options().switches.prolog_only = 1;
  driver_setup();
  entity_options_define();
  if (!driver_open_document(argc, argv)) return false;
  prolog_reset();
  for (;;) {
    int code = parse_prolog();
    if (code == PROLOG_PI) {
      parse_literal(md_buffer(), &pcb_litc, quantity(kPILEN), '>');
      continue;
    }
    if (code == PROLOG_APPINFO) continue;
    break;
  }
  return true;
}

std::string escaped(const unsigned char* text, size_t length, bool backslash_doubled) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = text[i];
    if (c == '\\' && backslash_doubled) {
      out += "\\\\";
    } else if (c >= 32 && c <= 126 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    }
  }
  return out;
}
