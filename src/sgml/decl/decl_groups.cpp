// The groups of markup declarations: content models (ELEMENT) and name
// groups of element types (ELEMENT, ATTLIST, USEMAP, exceptions) and of
// notations (ATTLIST #NOTATION).
//
// A content model is compiled into the model buffer: the header, the
// outermost group at position 1, then every token inside it depth first.
// The buffer holds GRPGTCNT + 3 tokens: the limits are tested before each
// lexical token of a group, so the one token past GRPGTCNT is stored before
// it is refused. A group reader that ends the declaration passes over the
// rest of the group quietly, so that the caller only has the parameters
// after it to pass over; after an incorrect character (P9, already
// reported) it stops at that character, which the enclosing block reads
// again, as after any parameter.
#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

// Reads the rest of a group (depth groups open) up to the ")" that closes
// the outermost one and its occurrence indicator, without messages. Stops
// at an incorrect character (P9 given by the engine).
void group_pass_rest(ParseControlBlock* block, int depth) {
  unsigned char name[512];
  for (;;) {
    int code = lex_engine(block);
    switch (code) {
      case LEX_END_OF_INPUT:
        sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
      case G_GRPO:
        ++depth;
        break;
      case G_GRPC:
        if (--depth <= 0) {
          pcb_reset(&pcb_grcs);
          lex_engine(&pcb_grcs);  // an occurrence indicator, or stepped back
          return;
        }
        break;
      case G_NAME:
      case G_RNI_NAME:
        parse_name(name, 0);
        break;
      case G_NAME_TOKEN:
        parse_token(name, kNameChar, quantity(kNAMELEN));
        break;
      case G_INVALID:
        md_group_stopped = true;
        return;
      default:
        break;
    }
  }
}

// An entity end or a PI entity reference inside a group begun at entity
// level level: an end below that level is P37, a PI entity P59. true when
// code was one of them.
bool entity_code(int code, int level) {
  if (code == LEX_ENTITY_END) {
    if (entity_stack.level < level)
      syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
    return true;
  }
  if (code == LEX_PI_ENTITY) {
    syntax_error(P59_REFERENCE_TO_PI_ENTITY_NOT_PERMITTED, kStateCurrent);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Content models

struct ModelReader {
  std::vector<ContentModel> tokens;  // GRPGTCNT + 3
  int count = 0;                     // tokens inside the outermost group
  int depth = 0;                     // groups open
  bool content_seen = false;         // an element or #PCDATA token was read
};

ModelReader& model_reader() {
  static ModelReader r;
  return r;
}

// Token numbers for messages are positions in the model (the outermost
// group is token 1): the token read last, or (ahead 1) the one being read.
const char* token_number(const ModelReader& r, int ahead = 0) {
  return number_text(r.count + 1 + ahead);
}

// A new token after the last one; its position.
int model_token_add(ModelReader* r, uint8_t flags, ElementTypeDef* etd) {
  const int at = ++r->count + 1;
  ContentModel& t = r->tokens[static_cast<size_t>(at)];
  t.flags = flags;
  t.count = 0;
  t.etd = etd;
  return at;
}

// The occurrence indicator code applied to the token at position at.
void indicator_apply(ContentModel* t, int code) {
  if (code == G_OPT || code == G_REP) t->flags |= MODEL_OPTIONAL | MODEL_DECLARED_OPT;
  if (code == G_PLUS || code == G_REP) t->flags |= MODEL_REPEAT | MODEL_DECLARED_REP;
}

// Reads the group whose token is at position g, after its "(". Returns
// false when the declaration ended (the message given, the rest of the
// group passed over).
bool parse_model_group(ModelReader* r, int g) {
  const int level = entity_stack.level;
  const int grpcnt = quantity(kGRPCNT);
  const int grpgtcnt = quantity(kGRPGTCNT);
  const int grplvl = quantity(kGRPLVL);
  ContentModel* header = &r->tokens[0];
  unsigned char name[512];
  int members = 0;
  int connector = 0;
  int last = 0;  // position of the last member, while an indicator may follow
  auto fail = [&](int n, const char* p2) {
    md_error(n, token_number(*r, n == P116_CONTENT_MODEL_TOKEN_INVALID ? 1 : 0), p2);
    group_pass_rest(&pcb_grcm, r->depth);
    return false;
  };
  for (;;) {
    if (members > grpcnt)
      return fail(P113_CONTENT_MODEL_TOKEN_MORE_THAN_GRPCNT_MODEL_GROUP_TOKENS, nullptr);
    if (r->count > grpgtcnt)
      return fail(P114_CONTENT_MODEL_TOKEN_MORE_THAN_GRPGTCNT_CONTENT_MODEL_TOKENS, nullptr);
    const int code = lex_engine(&pcb_grcm);
    if (entity_code(code, level)) continue;
    switch (code) {
      case G_AND:
      case G_OR:
      case G_SEQ: {
        const int type = code == G_AND ? MODEL_AND : code == G_OR ? MODEL_OR : MODEL_SEQ;
        if (connector == 0)
          connector = type;
        else if (type != connector)
          md_error(P55_CONTENT_MODEL_TOKEN_CONNECTORS_CONFLICT, token_number(*r), nullptr);
        last = 0;
        break;
      }
      case G_GRPO: {
        ++members;
        const int at = model_token_add(r, 0, nullptr);
        if (++r->depth > grplvl)
          return fail(P115_CONTENT_MODEL_TOKEN_MORE_THAN_GRPLVL_NESTED_MODEL_GROUPS, nullptr);
        if (!parse_model_group(r, at)) return false;
        last = at;
        break;
      }
      case G_NAME: {
        parse_name(name, 1);
        ++members;
        last = model_token_add(r, MODEL_ELEMENT, etd_define(name));
        header->flags |= CONTENT_ELEMENTS;
        r->content_seen = true;
        break;
      }
      case G_RNI_NAME: {
        parse_name(name, 1);
        if (!keyword_is(name, "PCDATA"))
          return fail(P116_CONTENT_MODEL_TOKEN_INVALID, name_chars(name));
        ++members;
        last = model_token_add(r, MODEL_PCDATA_FLAGS | MODEL_PCDATA, pseudo_data());
        header->flags |= CONTENT_MIXED;
        if (!r->content_seen) header->flags |= CONTENT_KEYWORD;
        r->content_seen = true;
        break;
      }
      case G_OPT:
      case G_PLUS:
      case G_REP:
        if (last == 0) {
          syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
          group_pass_rest(&pcb_grcm, r->depth);
          return false;
        }
        indicator_apply(&r->tokens[static_cast<size_t>(last)], code);
        last = 0;
        break;
      case G_GRPC: {
        ContentModel* group = &r->tokens[static_cast<size_t>(g)];
        const int type = members == 1 || connector == 0 ? MODEL_SEQ : connector;
        group->flags = static_cast<uint8_t>((group->flags & MODEL_OCCURRENCE_MASK) | type);
        group->count = static_cast<uint32_t>(members);
        bool any_optional = false;
        bool all_optional = true;
        const ContentModel* t = group + 1;
        for (int m = 0; m < members; ++m) {
          const bool optional = (t->flags & MODEL_OPTIONAL) != 0;
          any_optional = any_optional || optional;
          all_optional = all_optional && optional;
          t += model_token_size(t);
        }
        if ((type == MODEL_OR && any_optional) || all_optional) group->flags |= MODEL_OPTIONAL;
        if (entity_stack.level != level)
          syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
        --r->depth;
        return true;
      }
      case LEX_END_OF_INPUT:
        sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
      case G_INVALID:
        md_group_stopped = true;  // P9 given; the character is read again
        return false;
      default:
        syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
        if (code == G_NAME_TOKEN) parse_token(name, kNameChar, quantity(kNAMELEN));
        group_pass_rest(&pcb_grcm, r->depth);
        return false;
    }
  }
}

// ---------------------------------------------------------------------------
// Name groups

// Reads a name group after its "(" (stepped back) into list: each name is
// found (or made) by define; a name already in the group is P98. Returns
// the number of entries + 1, or 0 when the declaration ended.
template <class T>
int name_group_read(std::vector<T*>* list, T* (*define)(const unsigned char*),
                    void (*trace)(T* const*)) {
  list->clear();
  md_group_stopped = false;
  ParseControlBlock* block = &pcb_grnm;
  pcb_reset(block);
  const int level = entity_stack.level;
  const int grpcnt = quantity(kGRPCNT);
  unsigned char name[512];
  int number = 0;  // names read, duplicates included
  bool open = false;
  for (;;) {
    const int code = lex_engine(block);
    if (entity_code(code, level)) continue;
    switch (code) {
      case G_GRPO:
        if (!open) {
          open = true;
          break;
        }
        md_error(P121_PARAMETER_MUST_BE_GI_OR_GROUP, nullptr, nullptr);
        group_pass_rest(block, 2);
        return 0;
      case G_NAME: {
        parse_name(name, 1);
        ++number;
        T* item = define(name);
        bool seen = false;
        for (T* t : *list) seen = seen || t == item;
        if (seen) {
          md_error(P98_GROUP_TOKEN, number_text(number), name_chars(name));
          break;
        }
        if (static_cast<int>(list->size()) >= grpcnt) {
          md_error(P113_CONTENT_MODEL_TOKEN_MORE_THAN_GRPCNT_MODEL_GROUP_TOKENS,
                   number_text(number), nullptr);
          group_pass_rest(block, 1);
          return 0;
        }
        list->push_back(item);
        break;
      }
      case G_AND:
      case G_OR:
      case G_SEQ:
        break;
      case G_GRPC:
        if (entity_stack.level != level)
          syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
        if (trace_on.grp) {
          std::vector<T*> ended(*list);
          ended.push_back(nullptr);
          trace(ended.data());
        }
        return static_cast<int>(list->size()) + 1;
      case LEX_END_OF_INPUT:
        sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
      case G_INVALID:
        md_group_stopped = true;
        return 0;
      default:
        // A name token, a reserved name or an occurrence indicator: not a
        // name of the group.
        if (code == G_NAME_TOKEN) parse_token(name, kNameChar, quantity(kNAMELEN));
        if (code == G_RNI_NAME) parse_name(name, 0);
        md_error(P121_PARAMETER_MUST_BE_GI_OR_GROUP, nullptr, nullptr);
        group_pass_rest(block, 1);
        return 0;
    }
  }
}

NotationRecord* notation_referenced(const unsigned char* name) {
  NotationRecord* n = notation_find(name);
  if (n != nullptr) return n;
  n = notation_define(name);
  n->referenced = 1;
  return n;
}

}  // namespace

ContentModel* parse_model(int keyword) {
  ModelReader& r = model_reader();
  const size_t size = static_cast<size_t>(quantity(kGRPGTCNT)) + 3;
  if (r.tokens.size() < size) r.tokens.resize(size);
  r.tokens[0] = ContentModel{0, 0, nullptr};
  r.count = 0;
  r.depth = 0;
  r.content_seen = false;
  md_group_stopped = false;
  if (keyword != 0) {
    r.tokens[0].flags = static_cast<uint8_t>(keyword);
    return r.tokens.data();
  }
  pcb_reset(&pcb_grcm);
  const int first = lex_engine(&pcb_grcm);  // the "(" the caller stepped back
  if (first != G_GRPO) {
    if (first == G_INVALID) md_group_stopped = true;
    return nullptr;
  }
  r.tokens[1] = ContentModel{0, 0, nullptr};
  r.depth = 1;
  if (!parse_model_group(&r, 1)) return nullptr;
  r.tokens[0].count = static_cast<uint32_t>(r.count + 1);
  pcb_reset(&pcb_grcs);
  const int code = lex_engine(&pcb_grcs);
  if (code == G_OPT || code == G_PLUS || code == G_REP) indicator_apply(&r.tokens[1], code);
  if (trace_on.grp) trace_model(r.tokens.data());
  if (sgml_switches().ambiguity_check) ambig_check(r.tokens.data());
  return r.tokens.data();
}

int parse_name_group(std::vector<ElementTypeDef*>* list) {
  return name_group_read<ElementTypeDef>(list, etd_define, trace_element_group);
}

int parse_notation_group(std::vector<NotationRecord*>* list) {
  return name_group_read<NotationRecord>(list, notation_referenced, trace_notation_group);
}

bool md_skip_group() {
  md_group_stopped = false;
  pcb_reset(&pcb_grcm);
  group_pass_rest(&pcb_grcm, 0);
  return !md_group_stopped;
}

void md_skip_after_group(unsigned char* buffer) {
  if (md_group_stopped) return;
  md_skip(md_param(buffer, 1));
}

ContentModel* model_copy(const ContentModel* model) {
  const size_t n = static_cast<size_t>(model[0].count) + 1;
  auto* copy = static_cast<ContentModel*>(sgml_calloc(sizeof(ContentModel) * n));
  std::memcpy(static_cast<void*>(copy), model, sizeof(ContentModel) * n);
  return copy;
}

namespace {

template <class T>
bool names_or_group(int code, unsigned char* buffer, std::vector<T*>* out, bool subject,
                    T* (*define)(const unsigned char*), int (*group)(std::vector<T*>*)) {
  out->clear();
  if (code == MD_NAME) {
    if (subject) md_subject(buffer);
    out->push_back(define(buffer));
    return true;
  }
  if (code == MD_GROUP) {
    if (group(out) > 0) return true;
    md_skip_after_group(buffer);
    return false;
  }
  md_error(P121_PARAMETER_MUST_BE_GI_OR_GROUP, nullptr, nullptr);
  md_skip(code);
  return false;
}

}  // namespace

bool md_element_types(int code, unsigned char* buffer, std::vector<ElementTypeDef*>* out,
                      bool subject) {
  return names_or_group<ElementTypeDef>(code, buffer, out, subject, etd_define, parse_name_group);
}

bool md_notations(int code, unsigned char* buffer, std::vector<NotationRecord*>* out,
                  bool subject) {
  return names_or_group<NotationRecord>(code, buffer, out, subject, notation_define,
                                        parse_notation_group);
}
