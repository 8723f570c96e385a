# Orders "NAME|line" records (given in the order the element types were
# first defined) as the element table walks them: by the bucket of the
# name's hash (211 buckets), and within a bucket the latest definition
# first. The hash runs over the counted name: its length byte (length + 2),
# then its characters; h = h * 16 + c, and when the top four bits are set
# they are folded into bits 4 to 7 and cleared.
function xor4(a, b,   r, k, p) {
  r = 0
  for (k = 0; k < 4; k++) {
    p = 2 ^ k
    if ((int(a / p) % 2) != (int(b / p) % 2)) r += p
  }
  return r
}
function step(h, c,   top, nib) {
  h = (h * 16 + c) % 4294967296
  top = int(h / 268435456)
  if (top) {
    h -= top * 268435456
    nib = int(h / 16) % 16
    h += (xor4(nib, top) - nib) * 16
  }
  return h
}
function bucket(name,   h, i) {
  h = step(0, length(name) + 2)
  for (i = 1; i <= length(name); i++) h = step(h, ORD[substr(name, i, 1)])
  return h % 211
}
BEGIN { for (i = 32; i < 127; i++) ORD[sprintf("%c", i)] = i; FS = "|" }
{ n++; key[n] = sprintf("%03d %06d", bucket($1), 999999 - n); line[n] = $2 }
END {
  for (i = 1; i <= n; i++) print key[i] "|" line[i] | "sort | cut -d'|' -f2"
}
