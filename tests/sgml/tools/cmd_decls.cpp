// decls: walks files as a declaration subset and prints each markup
// declaration with its parameters as parse_md_param returns them.
//
//   sgml_driver [options] [-T name=text] [-F name=file] decls FILE...
//
// One line per markup declaration: its name (general names folded), then
// each parameter after a blank:
//   names as written, name tokens and numbers as
//   they are, "#NAME" for an RNI name, literals as their text between
//   double quotes (bytes outside 32..126 and "\" as \ooo), "%" for PERO,
//   "+" and "-" before an exception group, "[" and "]" for DSO and DSC;
//   a group as "(" its tokens and connectors ")" (nested groups likewise)
//   followed by its occurrence indicator, if any;
//   "!" and the code when a parameter cannot be read (the declaration
//   ends there).
// A marked section start prints "<![" and its status keywords; an IGNORE
// section is passed over; a marked section end prints "]]>". Processing
// instructions print "<?" and their text. Comment declarations print
// nothing. Parameter entity references are replaced by their text (-T,
// -F); others give P35 and are passed over.
#include <string>
#include <vector>

#include "io/vqio.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"
#include "tools/entity_options.h"

namespace {

unsigned char name_buffer[512];
std::vector<unsigned char> literal_buffer;

std::string name_text(const unsigned char* counted) { return escaped(counted + 1, counted[0] - 2); }

// Appends a blank, prefix and text (built piece by piece: g++ 12 warns
// falsely about overlapping copies in chained std::string additions).
void add(std::string* out, const char* prefix, const std::string& text = std::string(),
         const char* suffix = "") {
  out->push_back(' ');
  out->append(prefix);
  out->append(text);
  out->append(suffix);
}

// A group from its "(" to the matching ")", then its occurrence indicator.
std::string read_group() {
  std::string out;
  int depth = 0;
  pcb_reset(&pcb_grcm);
  for (;;) {
    int code = lex_engine(&pcb_grcm);
    if (code == LEX_ENTITY_END || code == LEX_PI_ENTITY) continue;
    if (code == LEX_END_OF_INPUT) {
      add(&out, "!19");
      return out;
    }
    switch (code) {
      case G_GRPO:
        if (depth++)
          add(&out, "(");
        else
          out += "(";
        break;
      case G_GRPC:
        add(&out, ")");
        if (--depth == 0) {
          pcb_reset(&pcb_grcs);
          int occ = lex_engine(&pcb_grcs);
          if (occ == G_OPT) out += "?";
          if (occ == G_PLUS) out += "+";
          if (occ == G_REP) out += "*";
          return out;
        }
        break;
      case G_NAME:
        parse_name(name_buffer, 0);
        add(&out, "", name_text(name_buffer));
        break;
      case G_RNI_NAME:
        parse_name(name_buffer, 0);
        add(&out, "#", name_text(name_buffer));
        break;
      case G_NAME_TOKEN: {
        int n = parse_token(name_buffer, 3, quantity(kNAMELEN));
        add(&out, "", escaped(name_buffer, n));
        break;
      }
      case G_AND: add(&out, "&"); break;
      case G_OR: add(&out, "|"); break;
      case G_SEQ: add(&out, ","); break;
      case G_OPT: add(&out, "?"); break;
      case G_PLUS: add(&out, "+"); break;
      case G_REP: add(&out, "*"); break;
      default:
        add(&out, "!", std::to_string(code));
        return out;
    }
  }
}

// The parameters of one declaration up to its MDC. Returns false when it
// ended on something else (the character is read again by the subset).
bool read_parameters(std::string* out) {
  for (;;) {
    int code = parse_md_param(literal_buffer.data(), 0, &pcb_litp,
                              static_cast<int>(literal_buffer.size()) - 1);
    switch (code) {
      case MD_MDC:
        lex_engine(&pcb_mdc);  // takes the ">"
        return true;
      case MD_NAME:
        add(out, "", name_text(literal_buffer.data()));
        break;
      case MD_RNI_NAME:
        add(out, "#", name_text(literal_buffer.data()));
        break;
      case MD_NAME_TOKEN:
      case MD_NUMBER:
        add(out, "", escaped(literal_buffer.data(), md_state.length));
        break;
      case MD_LITERAL:
        add(out, "\"", escaped(literal_buffer.data(), md_state.length), "\"");
        break;
      case MD_PERO: add(out, "%"); break;
      case MD_PLUS: add(out, "+"); break;
      case MD_MINUS: add(out, "-"); break;
      case MD_DSO: add(out, "["); break;
      case MD_DSC: add(out, "]"); break;
      case MD_GROUP:
        add(out, "", read_group());
        break;
      default:
        add(out, "!", std::to_string(code));
        return false;
    }
  }
}

int run_decls(int argc, char** argv) {
  if (argc < 2) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver decls FILE...\n");
    return 2;
  }
  driver_setup();
  entity_options_define();
  literal_buffer.assign(static_cast<size_t>(quantity(kLITLEN)) * 2 + 2, 0);
  if (!driver_open_document(argc - 1, argv + 1)) return 1;
  ParseControlBlock* pcb = &pcb_mds;
  pcb_reset(pcb);
  int ignore_depth = 0;
  for (;;) {
    int code = lex_engine(pcb);
    if (code == LEX_END_OF_INPUT) break;
    if (pcb == &pcb_msignore) {
      if (code == CON_MS_START) ++ignore_depth;
      if (code == CON_MS_END && --ignore_depth == 0) {
        pcb = &pcb_mds;
        pcb_reset(pcb);
      }
      continue;
    }
    switch (code) {
      case PRO_SUBSET_DECLARATION: {
        md_state.level = entity_stack.level;
        md_context().parameters = 0;
        parse_name(name_buffer, 1);
        std::string text = name_text(name_buffer);
        read_parameters(&text);
        vqio_printf("%s\n", text.c_str());
        break;
      }
      case PRO_COMMENT:
        if (lex_current_char() != '>') {
          lex_step_back(1);
          md_state.level = entity_stack.level;
          std::string ignored;
          read_parameters(&ignored);
        }
        break;
      case PRO_MS_START: {
        md_state.level = entity_stack.level;
        std::string text = "<![";
        bool ignore = false;
        for (;;) {
          int r = parse_md_param(name_buffer, 1, nullptr, quantity(kNAMELEN));  // keywords
          if (r == MD_NAME) {
            add(&text, "", name_text(name_buffer));
            if (name_text(name_buffer) == "IGNORE") ignore = true;
            continue;
          }
          if (r != MD_DSO) add(&text, "!", std::to_string(r));
          break;
        }
        vqio_printf("%s\n", text.c_str());
        if (ignore) {
          pcb = &pcb_msignore;
          pcb_reset(pcb);
          ignore_depth = 1;
        }
        break;
      }
      case PRO_MS_END:
        vqio_printf("]]>\n");
        break;
      case PRO_PI: {
        int n = parse_literal(literal_buffer.data(), &pcb_litc,
                              static_cast<int>(literal_buffer.size()) - 1, '>');
        vqio_printf("<? %s\n", escaped(literal_buffer.data(), n).c_str());
        break;
      }
      case PRO_INVALID_RUN:
      case PRO_DSC:
        lex_step_back(1);
        break;
      default:
        break;
    }
  }
  entity_close_all();
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("decls", run_decls, "decls FILE...");
