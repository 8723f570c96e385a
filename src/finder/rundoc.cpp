// The per-document runner. start_document and reset_doc_state, the
// parser's start of a document and its reset between documents, come with
// the pull interface (sgml/sgml.h).
#include "finder/finder.h"
#include "finder/metadoc.h"
#include "sgml/sgml.h"

int run_per_document(void (*f)()) {
  start_document();
  // The parser's start of a document always stops its prolog parse where
  // the instance begins; -p ends the run there.
  if (front_state().prolog_only) return 1;
  // Each document a meta-structure file selects from a multi-file set, or
  // the document once.
  if (!meta_documents(220020, f)) f();
  return 1;
}
