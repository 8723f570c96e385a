# Counts the markup declarations of a DTD file: "<!" and a letter outside
# comments, literals and IGNORE marked sections.
BEGIN { RS = "\001"; }
{
  text = $0; n = length(text); count = 0; state = 0; i = 1;
  while (i <= n) {
    rest = substr(text, i);
    if (state == 0) {               # between declarations
      j = index(rest, "<!");
      if (j == 0) break;
      i += j - 1;
      if (substr(text, i, 3) == "<![") {
        j = index(substr(text, i + 3), "[");
        if (j == 0) break;
        kw = substr(text, i + 3, j - 1);
        i += 3 + j;
        if (toupper(kw) ~ /(^|[^A-Z])IGNORE([^A-Z]|$)/) {
          depth = 1;
          while (depth > 0 && match(substr(text, i), /<!\[|\]\]>/)) {
            if (substr(text, i + RSTART - 1, 1) == "<") depth++; else depth--;
            i += RSTART - 1 + RLENGTH;
          }
          if (depth > 0) break;
        }
        continue;
      }
      if (substr(text, i + 2, 1) ~ /[A-Za-z]/) count++;
      state = 1; i += 2; continue;
    }
    if (state == 1) {               # inside a declaration
      if (!match(rest, /["'>]|--/)) break;
      c = substr(rest, RSTART, RLENGTH);
      i += RSTART - 1 + RLENGTH;
      if (c == ">") state = 0;
      else if (c == "--") state = 2;
      else { q = c; state = 3; }
      continue;
    }
    if (state == 2) {               # a comment
      j = index(rest, "--");
      if (j == 0) break;
      i += j + 1; state = 1; continue;
    }
    j = index(rest, q);             # a literal
    if (j == 0) break;
    i += j; state = 1;
  }
  print count;
}
