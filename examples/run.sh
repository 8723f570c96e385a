#!/usr/bin/env bash
# Runs the suite's main job on the sample collection in this folder.
#
# The collection is three SGML documents (docs/) kept as one fragmented
# text: the documents stay separate files, and a directory file lists them
# as the fragments of one text. pellion scans it for the names in tags.txt,
# writes the region file collection.rgn and enters every region in the data
# dictionary collection.dd. vexabld then builds the word index of the text,
# collection.idx, and records it in the data dictionary. tavrel parses one
# of the documents with the document type of docs.dtd and records every
# element, start tag and attribute value it meets in report0.rgn and the
# data dictionary report.dd. Everything runs on a copy in a temporary
# folder; the files here are never changed. The script shows what was
# written: the Region entries, every region's spans with the text they
# cover, the Index entry, the index's fragment directory file, and index
# points in suffix order with the text at each.
set -eu
bin=$(cd "${1:-build/release}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for p in vexabld tavrel pellion; do
  "$bin/$p" -ver
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -R "$here/docs" "$here/docs.dtd" "$here/collection.dd" "$here/tags.txt" "$work/"
cd "$work"

# 32-bit little-endian words.
le32() {
  local n
  for n in "$@"; do
    printf "\\x$(printf %02x $(( n & 255 )))\\x$(printf %02x $(( (n >> 8) & 255 )))"
    printf "\\x$(printf %02x $(( (n >> 16) & 255 )))\\x$(printf %02x $(( (n >> 24) & 255 )))"
  done
}

# The directory file frg/frg.1.0: 19 header words; table A mapping logical
# address a (1-based) to physical a - 1; a block index; one fragment record
# {physical start, length, offset in the file, name index} per document;
# the document names, each ended by a NUL.
docs=(docs/memo.sgm docs/report.sgm docs/letter.sgm)
total=0; records=(); names_length=0; index=0
for d in "${docs[@]}"; do
  size=$(wc -c < "$d")
  records+=("$total" "$size" 0 "$index")
  total=$(( total + size )); names_length=$(( names_length + ${#d} + 1 )); index=$(( index + 1 ))
done
mkdir -p frg
{
  le32 1 1 0 2 0 "$total" "$total" 1 0 2 76 0 92 0 "${#docs[@]}" 144 "${#docs[@]}" 96 "$names_length"
  le32 1 -1 $(( total + 2 )) 0
  le32 1
  le32 "${records[@]}"
  for d in "${docs[@]}"; do printf '%s\0' "$d"; done
} > frg/frg.1.0

echo
echo "\$ pellion -v collection.dd tags.txt"
"$bin/pellion" -v collection.dd tags.txt 2>&1

echo
echo "Regions entered in collection.dd:"
sed -n '/<Regions>/,/<\/Regions>/p' collection.dd

# Every Region of data dictionary $1 with its spans (start and end offsets,
# both inclusive) and the text of $2 that each covers.
show_regions() {
  local text=$2
  awk '/<Name>/ { gsub(/.*<Name>|<\/Name>.*/, ""); name = $0 }
       /<SysName>/ { gsub(/.*<SysName>|<\/SysName>.*/, ""); file = $0 }
       /<Offset>/ { gsub(/.*<Offset>|<\/Offset>.*/, ""); offset = $0 }
       /<Count>/ { gsub(/.*<Count>|<\/Count>.*/, ""); print name, file, offset, $0 }' "$1" |
  while read -r name file offset count; do
    echo "$name ($(( count / 2 )) regions)"
    [ "$count" -gt 0 ] || continue
    od -An -v -t u4 -j $(( 512 + offset )) -N $(( 4 * count )) "$file" | tr -s ' ' '\n' |
      sed '/^$/d' | paste - - | while read -r start end; do
        span=$(tail -c +$(( start + 1 )) "$text" | head -c $(( end - start + 1 )) | tr '\n' ' ')
        [ ${#span} -gt 64 ] && span="${span:0:61}..."
        printf '  %5d %5d  %s\n' "$start" "$end" "$span"
      done
  done
}

# Positions in the region file are byte offsets of the documents laid end
# to end, so the spans are shown from their concatenation.
cat "${docs[@]}" > all.txt
echo
echo "Regions in collection.rgn (start and end offsets, both inclusive):"
show_regions collection.dd all.txt

# tavrel reads docs.dtd and then the report as one text; the report's
# offsets count from its own first byte. Names are upper case (the parser
# folds them); an element inside one of its own name is numbered (LIST1,
# ITEM1); an attribute the tag leaves out is recorded at the tag's ">".
printf '<DB>\n</DB>\n' > report.dd
echo
echo "\$ tavrel -v -D report docs.dtd docs/report.sgm"
"$bin/tavrel" -v -D report docs.dtd docs/report.sgm 2>&1
echo
echo "Regions in report0.rgn, in the order of report.dd (by element level):"
show_regions report.dd docs/report.sgm

# The index: vexabld holds the lock named by <Locks><Semaphore> while it
# builds. A collection that is one fragmented text gets a fragmented index:
# collection.idx.frg/frg.1.0 describes collection.idx as one fragment.
: > collection.lock
echo
echo "\$ vexabld -v -D collection.dd"
"$bin/vexabld" -v -D collection.dd 2>&1

echo
echo "Index entry in collection.dd (the <Map> lines counted):"
sed -n '/<Indices>/,/<\/Indices>/p' collection.dd |
  awk '/<Map>/ { maps++; next }
       maps && !told { print "    (" maps " <Map> lines)"; told = 1 }
       { print }'

echo
echo "collection.idx.frg/frg.1.0, the 19 header words:"
od -An -v -t d4 -N 76 collection.idx.frg/frg.1.0 | tr -s ' ' | sed 's/^/ /'

# Index words after the 512-byte header are (position - 1) times an odd
# constant, modulo 2^32; its inverse (by Newton's iteration) gives the
# position back.
m=583201977; inv=$m
for _ in 1 2 3 4 5; do inv=$(( (inv * (2 - m * inv)) & 0xFFFFFFFF )); done
points=$(( ($(wc -c < collection.idx) - 512) / 4 ))
echo
echo "collection.idx: $points index points; every tenth in suffix order:"
od -An -v -t u4 -j 512 collection.idx | tr -s ' ' '\n' | sed '/^$/d' | awk 'NR % 10 == 1' |
while read -r word; do
  position=$(( ((word * inv) & 0xFFFFFFFF) + 1 ))
  printf '  %5d  %s\n' "$position" "$(tail -c +"$position" all.txt | head -c 40 | tr '\n' ' ')"
done

# A document of a real DTD: the LinuxDoc example (the DTD and document as
# the tests keep them) exceeds the built-in declaration's quantities, so
# raising.dcl, the raising declaration shipped here, is given first. The
# DTD's system identifiers are opened from the current folder, and the
# ISO entity sets it names by public identifier are found through
# sgmlentity.map, written here from the catalog of the installed entity
# sets (Debian package sgml-data).
linuxdoc="$here/../tests/fixtures/sgml/linuxdoc"
iso=/usr/share/sgml/entities/sgml-iso-entities-8879.1986
echo
if [ -f "$iso/catalog" ] && [ -d "$linuxdoc" ]; then
  mkdir linuxdoc && cd linuxdoc
  ln -s "$linuxdoc/linuxdoc96.dtd" linuxdoc.dtd
  ln -s "$linuxdoc/isoent" isoent
  tr '\n' ' ' <"$iso/catalog" | grep -o 'PUBLIC *"[^"]*" *"\{0,1\}[^" ]*' |
    sed 's/^PUBLIC *"\([^"]*\)" *"\{0,1\}\(.*\)/\2 "\1"/' |
    while read -r file id; do
      [ -e "$file" ] || ln -s "$iso/$file" "$file"
      printf '%s %s\n' "$file" "$id" >>sgmlentity.map
    done
  cp "$linuxdoc/example.sgml" .
  echo "\$ tavrel -m check example.sgml    (the built-in declaration)"
  "$bin/tavrel" -m check example.sgml 2>&1 | head -4
  echo "  ..."
  cp "$here/raising.dcl" .
  echo "\$ tavrel -m check raising.dcl example.sgml"
  "$bin/tavrel" -m check raising.dcl example.sgml 2>&1 && echo "status 0, no messages"
  cd ..
else
  echo "(LinuxDoc check skipped: $iso/catalog not installed)"
fi
