#!/usr/bin/env bash
# Runs the suite's main job on the sample collection in this folder.
#
# The collection is three SGML documents (docs/) kept as one fragmented
# text: the documents stay separate files, and a directory file lists them
# as the fragments of one text. pellion scans it for the names in tags.txt,
# writes the region file collection.rgn and enters every region in the data
# dictionary collection.dd. Everything runs on a copy in a temporary folder;
# the files here are never changed. The script then shows what was written:
# the Region entries, and every region's spans with the text they cover.
set -eu
bin=$(cd "${1:-build/release}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for p in vexabld tavrel pellion; do
  "$bin/$p" -ver
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -R "$here/docs" "$here/collection.dd" "$here/tags.txt" "$work/"
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

# Positions in the region file are byte offsets of the documents laid end
# to end, so the spans are shown from their concatenation.
cat "${docs[@]}" > all.txt
echo
echo "Regions in collection.rgn (start and end offsets, both inclusive):"
awk '/<Name>/ { gsub(/.*<Name>|<\/Name>.*/, ""); name = $0 }
     /<Offset>/ { gsub(/.*<Offset>|<\/Offset>.*/, ""); offset = $0 }
     /<Count>/ { gsub(/.*<Count>|<\/Count>.*/, ""); print name, offset, $0 }' collection.dd |
while read -r name offset count; do
  echo "$name ($(( count / 2 )) regions)"
  [ "$count" -gt 0 ] || continue
  od -An -v -t u4 -j $(( 512 + offset )) -N $(( 4 * count )) collection.rgn | tr -s ' ' '\n' |
    sed '/^$/d' | paste - - | while read -r start end; do
      span=$(tail -c +$(( start + 1 )) all.txt | head -c $(( end - start + 1 )) | tr '\n' ' ')
      [ ${#span} -gt 64 ] && span="${span:0:61}..."
      printf '  %5d %5d  %s\n' "$start" "$end" "$span"
    done
done
