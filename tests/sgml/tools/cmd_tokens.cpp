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
#include "sgml/sgml.h"
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
  if (c == kEntityEndChar || c == kBufferEndChar || (c == 0 && e->ptr + 1 >= e->end)) {
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
  return code != LEX_END_OF_INPUT;
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
    case CON_DATA_START:
      *data_start = lex_current_ptr();
      line(code);
      return true;
    case CON_DATA_END:
      if (pcb->last_action == ACT_CHAR_REF_NUMBER) {
        line(code, one_char(c));
      } else {
        const unsigned char* end = lex_current_ptr();
        line(code, quoted(*data_start, end - *data_start));
        lex_step_back(1);
      }
      return true;
    case CON_DATA_BUFFER_END: {
      const unsigned char* end = lex_current_ptr();
      line(code, quoted(*data_start, end - *data_start));
      return entpop() == 0;
    }
    case CON_ELEMENT_DATA:
      line(code, one_char(c));
      return true;
    case LEX_ESCAPE:
      line(code, escaped(lex_escape_pair(), 2));
      return true;
    case CON_END_TAG: case CON_DECLARATION: case CON_START_TAG: case CON_RCDATA_END_TAG:
      name_line(code);
      return true;
    case CON_COMMENT:
      if (c == '>') {
        line(code, ">");
      } else {
        lex_step_back(1);
        int r = parse_md_param(name_buffer, 1, nullptr, literal_max());
        line(code, std::to_string(r));
        if (r == MD_MDC) lex_engine(&pcb_mdc);  // the ">" of the declaration
      }
      return true;
    case CON_PI:
      literal_line(code, &pcb_litc, '>');
      return true;
    case CON_BLANK: {
      int n = read_blank_run(literal_buffer.data(), literal_max());
      line(code, std::to_string(n));
      return true;
    }
    case CON_SR_BEFORE: {
      lex_step_back(1);
      line(code, one_char(lex_current_char()));
      return true;
    }
    case CON_SR_AT:
      line(code, one_char(c));
      return true;
    case LEX_DATA_ENTITY: case LEX_PI_ENTITY: {
      std::string text = std::to_string(lex_data.flags);
      text.push_back(' ');
      text.append(lex_data.flags & DATA_EXTERNAL ? std::string("[data entity]")
                                     : quoted(lex_data.text, lex_data.length));
      line(code, text);
      return true;
    }
    case CON_RS:
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
    case PRO_SUBSET_DECLARATION: case PRO_DECLARATION:
      name_line(code);
      return true;
    case PRO_COMMENT: case PRO_PI:
      return content_step(&pcb_pro, code, nullptr);
    case PRO_INVALID_RUN: case PRO_DSC:
      line(code);
      lex_step_back(1);
      return true;
    case PRO_DATA_STARTS:
      data.assign(1, static_cast<char>(c));
      line(code, one_char(c));
      return true;
    case PRO_DATA:
      data += static_cast<char>(c);
      line(code, one_char(c));
      return true;
    case PRO_DATA_END:
      line(code, quoted(reinterpret_cast<const unsigned char*>(data.data()), data.size()));
      return false;
    case PRO_TAG_STARTS: case PRO_MS_STARTS: case PRO_REFERENCE_STARTS: case LEX_END_OF_INPUT:
      line(code);
      return false;
    default:
      line(code);
      return true;
  }
}

bool markup_step(ParseControlBlock* pcb, int code) {
  switch (code) {
    case MD_LITERAL: case MD_LITA:
      literal_line(code, pcb == &pcb_md ? &pcb_litp : &pcb_litc, code == MD_LITERAL ? '"' : '\'');
      return true;
    case MD_NAME: case MD_RNI_NAME:
      name_line(code);
      return true;
    case MD_NAME_TOKEN: case MD_NUMBER:
      token_line(code, 3);
      return true;
    case LEX_INVALID:
      line(code);
      return skip_char();
    default:
      return plain_line(code);
  }
}

bool group_step(int code) {
  switch (code) {
    case G_NAME: case G_RNI_NAME:
      name_line(code);
      return true;
    case G_NAME_TOKEN:
      token_line(code, 3);
      return true;
    case EAL_LIT: case EAL_LITA:
      literal_line(code, &pcb_litr, code == EAL_LIT ? '"' : '\'');
      return true;
    case EAL_VI:
      line(code, one_char(lex_current_char()));
      return true;
    case LEX_INVALID: case LEX_STEPPED_BACK:
      line(code);
      return skip_char();
    default:
      return plain_line(code);
  }
}

bool tag_step(int code) {
  switch (code) {
    case IN_TAG_NAME:
      name_line(code);
      return true;
    case IN_TAG_TOKEN:
      token_line(code, 3);
      return true;
    case IN_TAG_LIT: case IN_TAG_LITA:
      literal_line(code, &pcb_litr, code == IN_TAG_LIT ? '"' : '\'');
      return true;
    case IN_TAG_UNCLOSED: case IN_TAG_INVALID:
      line(code, one_char(lex_current_char()));
      return true;
    default:
      return plain_line(code);
  }
}

bool literal_step(int code) {
  switch (code) {
    case LIT_DATA: case LIT_CHAR_REF: case LIT_SPACE: case LIT_NOT_MINIMUM:
      line(code, one_char(lex_current_char()));
      return true;
    case LEX_ESCAPE:
      line(code, escaped(lex_escape_pair(), 2));
      return true;
    case LEX_DATA_ENTITY: case LEX_PI_ENTITY:
      return content_step(&pcb_litr, code, nullptr);
    default:
      return plain_line(code);
  }
}

bool sd_step(int code) {
  switch (code) {
    case SDC_LIT: case SDC_LITA:
      literal_line(code, &pcb_litv, code == SDC_LIT ? '"' : '\'');
      return true;
    case SDC_NUMBER:
      token_line(code, 5);
      return true;
    case SDC_NAME:
      name_line(code);
      return true;
    case SDC_BAD_DATA:
      line(code, one_char(lex_current_char()));
      return true;
    case SDC_INVALID:
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
