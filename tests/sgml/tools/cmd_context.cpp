// context: follows the content model of an element type with the context
// checks, as the content parser will for the elements of its content.
//
//   sgml_driver [options] context FILE ELEMENT NAME...
//
// Reads the prolog of FILE, then walks ELEMENT's model from its start: for
// each NAME (an element type, or #PCDATA for data) context_check runs in
// the normal mode; "+NAME" runs it as a trial (mode -1, an element that an
// inclusion admits) and "-k:NAME" in the excluding mode k. One line each:
//   NAME RESULT [IMPLIED]
// with the result (1 to 7) and, for 2, the element whose start tag is
// implied. Then the result of end_context_check:
//   end RESULT [REQUIRED]
// with the required element still missing when it is 0 (when one element
// begins the missing token).
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/vqio.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"
#include "tools/entity_options.h"

namespace {

std::string type_name(const ElementTypeDef* e) {
  return e == nullptr ? std::string() : std::string(" ") + name_chars(e->name);
}

ElementTypeDef* element_named(const char* text) {
  if (std::strcmp(text, "#PCDATA") == 0) return pseudo_data();
  unsigned char name[512];
  make_counted_name(text, name, 1);
  return etd_define(name);
}

int run_context(int argc, char** argv) {
  if (argc < 3) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver context FILE ELEMENT NAME...\n");
    return 2;
  }
  if (!driver_read_prolog(1, argv + 1)) return 1;
  unsigned char name[512];
  make_counted_name(argv[2], name, 1);
  const ElementTypeDef* owner = etd_find(name);
  if (owner == nullptr || owner->model == nullptr) {
    vqio_fprintf(vqio_stderr, "sgml_driver: %s has no content model\n", argv[2]);
    entity_close_all();
    return 1;
  }
  const ContentModel* model = owner->model;
  ContextState state;
  context_state_init(&state, (quantity(kGRPCNT) + 31) / 32);
  uint8_t status = 0;
  for (int i = 3; i < argc; ++i) {
    const char* text = argv[i];
    int mode = 0;
    if (text[0] == '+') {
      mode = -1;
      ++text;
    } else if (text[0] == '-' && std::strchr(text, ':') != nullptr) {
      mode = std::atoi(text + 1);
      text = std::strchr(text, ':') + 1;
    }
    const int result = context_check(element_named(text), model, &state, &status, mode);
    const std::string implied = result == CONTEXT_IMPLY ? type_name(context_implied_element()) : "";
    vqio_printf("%s %d%s\n", argv[i], result, implied.c_str());
  }
  const int end = end_context_check(model, &state, &status);
  vqio_printf("end %d%s\n", end, end == 0 ? type_name(context_implied_element()).c_str() : "");
  entity_close_all();
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("context", run_context, "context FILE ELEMENT NAME...");
