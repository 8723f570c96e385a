// Trace switches, their summary lines and the printers of the events that
// need no parser records.
#include "sgml/messages/trace.h"

#include <cstring>

#include "io/vqio.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"


void trace_switches(const char* letters) {
  auto has = [letters](char c) -> int32_t {
    return letters != nullptr && std::strchr(letters, c) != nullptr ? 1 : 0;
  };
  trace_on.state = has('t');
  trace_on.att = has('a');
  trace_on.con = has('c');
  trace_on.dcl = has('d');
  trace_on.ent = has('e');
  trace_on.grp = has('g');
  trace_on.id = has('i');
  trace_on.ms = has('m');
  trace_on.dcn = has('n');
}

void trace_pro() {
  trace_switches(sgml_switches().prolog_trace);
  const TraceSwitches& t = trace_on;
  if (t.state || t.att || t.dcl || t.ent || t.grp || t.ms || t.dcn) {
    vqio_fprintf(vqio_stderr, "TRACEPRO: state=%d; att=%d; dcl=%d; ent=%d; grp=%d; ms=%d; dcn=%d.\n",
                 t.state, t.att, t.dcl, t.ent, t.grp, t.ms, t.dcn);
  }
}

void trace_set() {
  trace_switches(sgml_switches().instance_trace);
  const TraceSwitches& t = trace_on;
  if (t.state || t.att || t.con || t.dcl || t.ent || t.grp || t.id || t.ms || t.dcn) {
    vqio_fprintf(vqio_stderr,
                 "TRACESET: state=%d;att=%d;con=%d;dcl=%d;ent=%d;grp=%d;id=%d;ms=%d;dcn=%d.\n",
                 t.state, t.att, t.con, t.dcl, t.ent, t.grp, t.id, t.ms, t.dcn);
  }
}

const char* trace_char(int c) {
  static char buffer[8];
  c &= 0xff;
  if (c >= 32 && c <= 126) {
    buffer[0] = static_cast<char>(c);
    buffer[1] = '\0';
  } else {
    vqio_sprintf(buffer, "\\%03o", static_cast<unsigned>(c));
  }
  return buffer;
}

void trace_lex_step(const char* label, unsigned state, unsigned cls, unsigned action,
                    unsigned next, int c, const char* entity, int line, int column, int offset) {
  vqio_fprintf(vqio_stderr, "%-8s %2u-%2u-%2u-%2u from %s [%3d] in %s, %d:%d[%d].\n", label,
               state, cls, action, next, trace_char(c), c & 0xff, entity, line, column, offset);
}

void trace_token(int cls, int action, int c, const char* entity, int line, int column) {
  vqio_fprintf(vqio_stderr, "TOKEN    %2d-%2d       from %s [%3d] in %s, %d:%d.\n", cls, action,
               trace_char(c), c & 0xff, entity, line, column);
}

void trace_driver_step(int step, int a, int b, int c, int d, int conactsw, int conact) {
  vqio_fprintf(vqio_stderr, "SGML%02d   %2d-%2d-%2d-%2d in main driver; conactsw=%d; conact=%d.\n",
               step, a, b, c, d, conactsw, conact);
}

void trace_md_param(const char* keyword, const char* subject, int token, unsigned type,
                    const char* text) {
  vqio_fprintf(vqio_stderr, "MDPARM   %-8s for %-8s, token %02d, type %02u, %s.\n", keyword,
               subject != nullptr ? subject : "[NONE]", token, type, text);
}

void trace_etd(const void* etd, const char* name, unsigned flags, const void* model,
               unsigned content, const void* minus, const void* plus, const void* attributes,
               const char* map) {
  vqio_fprintf(vqio_stderr, "ETD      etd=%p %s min=%02x cmod=%p ttype=%02x mex=%p, pex=%p, ", etd,
               name, flags, model, content, minus, plus);
  vqio_fprintf(vqio_stderr, "adl=%p, srm=%s.\n", attributes, map);
}

void trace_adlist(const void* list, int members, int attributes) {
  vqio_fprintf(vqio_stderr, "ADLIST   %p %d membe%s; %d attribut%s\n", list, members,
               members == 1 ? "r" : "rs", attributes, attributes == 1 ? "e" : "es");
}

void trace_adlist_entry(bool member, const void* entry, const char* name, unsigned declared,
                        unsigned flags, int count, int normalized, const void* value,
                        const void* record, const char* value_text) {
  vqio_fprintf(vqio_stderr,
               member ? "    %p %-8s %02x %02x %2d %2d %p %p\n"
                      : "          %p %-8s %02x %02x %2d %2d %p %p\n",
               entry, name, declared, flags, count, normalized, value, record);
  if (!member) vqio_fprintf(vqio_stderr, "          %s\n", value_text);
}

void trace_esn(const char* name, const char* type, const char* system_id) {
  vqio_fprintf(vqio_stderr, "ESN      Entity name is %s; entity type is %s.\n", name, type);
  vqio_fprintf(vqio_stderr, "         System ID is %s\n", system_id != nullptr ? system_id : "");
}

void trace_dcn(const void* notation, const void* attributes, const char* name,
               const char* identifier) {
  vqio_fprintf(vqio_stderr, "DCN      dcn=%p; adl=%p; notation is %s=>%s\n", notation, attributes,
               name, identifier != nullptr ? identifier : "[UNDEFINED]");
}

void trace_marked_section(int kind, int status, int began, int level, int msp) {
  vqio_fprintf(vqio_stderr, "MS%c      %2d                 %s nesting level %d (msp %d).\n", kind,
               status, began ? "began" : "resumed", level, msp);
}

void trace_stack(const char* name, int depth, unsigned flags, int net_count, const char* map) {
  vqio_fprintf(vqio_stderr, "STACK    %s begun; stack depth %d; tflag=%02x; etictr=%d", name, depth,
               flags, net_count);
  vqio_fprintf(vqio_stderr, " srm=%s.\n", map);
}

void trace_destack(const char* name, unsigned ended_flags, const char* resumed, int depth,
                   unsigned flags, int net_count, const char* map) {
  vqio_fprintf(vqio_stderr,
               "DESTACK  %s ended; otflag=%02x; %s resumed; depth=%d; tflag=%02x; etictr=%d", name,
               ended_flags, resumed, depth, flags, net_count);
  vqio_fprintf(vqio_stderr, " srm=%s.\n", map);
}

void trace_content(int implied_ends, int start_tag, int token, const char* name, int result,
                   int content_reference, int status) {
  vqio_fprintf(vqio_stderr, "CONTENT  etagimct=%d dostag=%d datarc=%d pname=%s action=%d ",
               implied_ends, start_tag, token, name, result);
  vqio_fprintf(vqio_stderr, "conrefsw=%d didreq=%d\n", content_reference, status);
}

void trace_start_tag(const void* etd, int pending, int code, const void* current,
                     int exception_level) {
  vqio_fprintf(vqio_stderr, "STARTTAG newetd=%p; dataret=%d; rc=%d; nextetd=%p; mexts=%d.\n", etd,
               pending, code, current, exception_level);
}

void trace_end_tag(int levels, const void* etd, const void* current, unsigned flags, int closes) {
  vqio_fprintf(vqio_stderr, "ENDTAG   tsl=%d; newetd=%p; stacketd=%p; tflags=%02x; etagimct=%d.\n",
               levels, etd, current, flags, closes);
}

void trace_srmap(const char* label, const char* map, const void* record, const char* owner) {
  if (map == nullptr)
    vqio_fprintf(vqio_stderr, "%-8s SHORTREF table empty for %s.\n", label, owner);
  else
    vqio_fprintf(vqio_stderr, "%-8s %s at %p mapped for %s.\n", label, map, record, owner);
}

void trace_srmap_entry(const char* delimiter, unsigned index, const void* entity,
                       const char* name) {
  vqio_fprintf(vqio_stderr, "%14s%02u %p %s\n", delimiter, index, entity, name);
}
