// tokens: runs one recognition block of the lexical engine over the
// document entity and prints one line per code the block returns.
//
//   sgml_driver [options] [-T name=text] [-F name=file] tokens BLOCK FILE...
//
// BLOCK is a block name ("CONM", "PRO", "MD", ...); "+NET" after it gives
// the NET character "/" its NET class, as while a NET-enabling start tag is
// open. FILE... is the document
// entity ("-" for standard input); -T and -F define entities first. Each
// line is the code, and after it what the reader that the code calls for
// takes (text is escaped: bytes outside 32..126 and "\" as \ooo):
//   names (GI, entity and declaration names, RNI names): the counted name's
//     characters (general names folded);
//   name tokens and numbers: the token;
//   literals: the literal's text between double quotes;
//   data (codes 21 and 74 after 35): the data run, between double quotes;
//     a character given by a character reference: that character;
//   37: the data character; 49, 50: the short-reference character;
//   36: the length of the blank run; 3: the escape pair;
//   62, 63: the flags and the text of the entity data;
//   24: ">" for the empty declaration, else the code of the one
//     declaration parameter read after it (the comment is passed over);
//   27: the processing instruction's text up to ">";
//   literal blocks: 21 and 20 the character, 25 the character.
// The run ends at code 19, or where the prolog gives way to the instance
// (PRO codes 34, 40, 75, 77). Codes after which the engine would read the
// same character again for ever (7 and 14, and 27 in STAG and ETAG) are
// printed and the character is passed over.
#include <cstring>
#include <string>

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

void line(int code, const std::string& text = std::string()) {
  if (text.empty())
    vqio_printf("%d\n", code);
  else
    vqio_printf("%d %s\n", code, text.c_str());
}

std::string name_text(const unsigned char* counted) {
  return escaped(counted + 1, counted[0] - 2);
}

std::string quoted(const unsigned char* text, size_t n) {
  std::string out(1, '"');
  out.append(escaped(text, n));
  out.push_back('"');
  return out;
}

std::string one_char(unsigned char c) { return escaped(&c, 1); }

// Passes over the character the engine stepped back to; an entity end is
// taken as the engine takes it. False at the end of the input.
bool skip_char() {
  EntityEntry* e = entity_top;
  if (!e) return false;
  unsigned char c = e->ptr[1];
  if (c == 26 || c == 28 || (c == 0 && e->ptr + 1 >= e->end)) {
    ++e->ptr;
    return entpop() == 0;
  }
  ++e->ptr;
  return true;
}

int literal_max() { return static_cast<int>(literal_buffer.size()) - 1; }

// A code that takes nothing after it; false at the end of the input.
bool plain_line(int code) {
  line(code);
  return code != 19;
}

// The readers the codes call for, each printing its line.
void name_line(int code) {
  parse_name(name_buffer, 1);
  line(code, name_text(name_buffer));
}
void token_line(int code, int min_class) {
  int n = parse_token(name_buffer, min_class, quantity(kNAMELEN));
  line(code, escaped(name_buffer, n));
}
void literal_line(int code, ParseControlBlock* block, int delimiter) {
  int n = parse_literal(literal_buffer.data(), block, literal_max(), delimiter);
  line(code, quoted(literal_buffer.data(), n));
}

bool is_block(ParseControlBlock* pcb, std::initializer_list<ParseControlBlock*> set) {
  for (ParseControlBlock* p : set)
    if (p == pcb) return true;
  return false;
}

// Content blocks and data marked sections; returns false at the end.
bool content_step(ParseControlBlock* pcb, int code, const unsigned char** data_start) {
  unsigned char c = lex_current_char();
  switch (code) {
    case 35:
      *data_start = lex_current_ptr();
      line(code);
      return true;
    case 21:
      if (pcb->last_action == 2) {
        line(code, one_char(c));
      } else {
        const unsigned char* end = lex_current_ptr();
        line(code, quoted(*data_start, end - *data_start));
        lex_step_back(1);
      }
      return true;
    case 74: {
      const unsigned char* end = lex_current_ptr();
      line(code, quoted(*data_start, end - *data_start));
      return entpop() == 0;
    }
    case 37:
      line(code, one_char(c));
      return true;
    case 3:
      line(code, escaped(lex_escape_pair(), 2));
      return true;
    case 22: case 23: case 29: case 45:
      name_line(code);
      return true;
    case 24:
      if (c == '>') {
        line(code, ">");
      } else {
        lex_step_back(1);
        int r = parse_md_param(name_buffer, 1, nullptr, literal_max());
        line(code, std::to_string(r));
        if (r == MD_MDC) lex_engine(&pcb_mdc);  // the ">" of the declaration
      }
      return true;
    case 27:
      literal_line(code, &pcb_litc, '>');
      return true;
    case 36: {
      int n = read_blank_run(literal_buffer.data(), literal_max());
      line(code, std::to_string(n));
      return true;
    }
    case 49: {
      lex_step_back(1);
      line(code, one_char(lex_current_char()));
      return true;
    }
    case 50:
      line(code, one_char(c));
      return true;
    case 62: case 63: {
      std::string text = std::to_string(lex_data.flags);
      text.push_back(' ');
      text.append(lex_data.flags & 8 ? std::string("[data entity]")
                                     : quoted(lex_data.text, lex_data.length));
      line(code, text);
      return true;
    }
    case 30:
      lex_count_record();
      line(code);
      return true;
    default:
      return plain_line(code);
  }
}

bool prolog_step(int code) {
  unsigned char c = lex_current_char();
  static std::string data;
  switch (code) {
    case 23: case 32:
      name_line(code);
      return true;
    case 24: case 27:
      return content_step(&pcb_pro, code, nullptr);
    case 31: case 33:
      line(code);
      lex_step_back(1);
      return true;
    case 38:
      data.assign(1, static_cast<char>(c));
      line(code, one_char(c));
      return true;
    case 39:
      data += static_cast<char>(c);
      line(code, one_char(c));
      return true;
    case 40:
      line(code, quoted(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
      return false;
    case 34: case 75: case 77: case 19:
      line(code);
      return false;
    default:
      line(code);
      return true;
  }
}

bool markup_step(ParseControlBlock* pcb, int code) {
  switch (code) {
    case 23: case 24:
      literal_line(code, pcb == &pcb_md ? &pcb_litp : &pcb_litc, code == 23 ? '"' : '\'');
      return true;
    case 26: case 31:
      name_line(code);
      return true;
    case 27: case 28:
      token_line(code, 3);
      return true;
    case 7:
      line(code);
      return skip_char();
    default:
      return plain_line(code);
  }
}

bool group_step(int code) {
  switch (code) {
    case 22: case 24:
      name_line(code);
      return true;
    case 23:
      token_line(code, 3);
      return true;
    case 31: case 32:
      literal_line(code, &pcb_litr, code == 31 ? '"' : '\'');
      return true;
    case 34:
      line(code, one_char(lex_current_char()));
      return true;
    case 7: case 14:
      line(code);
      return skip_char();
    default:
      return plain_line(code);
  }
}

bool tag_step(int code) {
  switch (code) {
    case 23:
      name_line(code);
      return true;
    case 25:
      token_line(code, 3);
      return true;
    case 26: case 28:
      literal_line(code, &pcb_litr, code == 26 ? '"' : '\'');
      return true;
    case 27: case 29:
      line(code, one_char(lex_current_char()));
      return true;
    default:
      return plain_line(code);
  }
}

bool literal_step(int code) {
  switch (code) {
    case 21: case 20: case 22: case 25:
      line(code, one_char(lex_current_char()));
      return true;
    case 3:
      line(code, escaped(lex_escape_pair(), 2));
      return true;
    case 62: case 63:
      return content_step(&pcb_litr, code, nullptr);
    default:
      return plain_line(code);
  }
}

bool sd_step(int code) {
  switch (code) {
    case 21: case 22:
      literal_line(code, &pcb_litv, code == 21 ? '"' : '\'');
      return true;
    case 23:
      token_line(code, 5);
      return true;
    case 24:
      name_line(code);
      return true;
    case 25:
      line(code, one_char(lex_current_char()));
      return true;
    case 7:
      line(code);
      return skip_char();
    default:
      return plain_line(code);
  }
}

int run_tokens(int argc, char** argv) {
  if (argc < 3) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver tokens BLOCK FILE...\n");
    return 2;
  }
  std::string block = argv[1];
  bool net = block.size() > 4 && block.compare(block.size() - 4, 4, "+NET") == 0;
  if (net) block.resize(block.size() - 4);
  ParseControlBlock* pcb = lex_block_by_name(block.c_str());
  if (!pcb || pcb == &pcb_val) {
    vqio_fprintf(vqio_stderr, "sgml_driver: %s is not a block of the engine\n", argv[1]);
    return 2;
  }
  driver_setup();
  entity_options_define();
  if (net) lex_net_switch(true);
  literal_buffer.assign(static_cast<size_t>(quantity(kLITLEN)) * 2 + 2, 0);
  if (!driver_open_document(argc - 2, argv + 2)) return 1;
  pcb_reset(pcb);
  const unsigned char* data_start = nullptr;
  for (;;) {
    int code = lex_engine(pcb);
    bool more;
    if (is_block(pcb, {&pcb_conm, &pcb_cone, &pcb_conr, &pcb_conc, &pcb_msrcdata,
                       &pcb_mscdata, &pcb_msignore}))
      more = content_step(pcb, code, &data_start);
    else if (is_block(pcb, {&pcb_pro, &pcb_mds}))
      more = prolog_step(code);
    else if (is_block(pcb, {&pcb_md, &pcb_mdc, &pcb_mdi}))
      more = markup_step(pcb, code);
    else if (is_block(pcb, {&pcb_grcm, &pcb_grnt, &pcb_grnm, &pcb_grcs, &pcb_entref,
                            &pcb_eal}))
      more = group_step(code);
    else if (is_block(pcb, {&pcb_stag, &pcb_etag}))
      more = tag_step(code);
    else if (pcb == &pcb_sd)
      more = sd_step(code);
    else
      more = literal_step(code);
    if (!more) break;
  }
  entity_close_all();
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("tokens", run_tokens, "tokens BLOCK FILE...");
