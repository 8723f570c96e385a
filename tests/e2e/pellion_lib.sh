# Helpers of the pellion end-to-end cases (sourced by their cmd files): an
# independent writer of region files and small data dictionaries.

# Little-endian 32-bit words (the machines are little-endian, and region
# files hold host-order words).
le32() {
  local n
  for n in "$@"; do
    n=$(( n & 0xFFFFFFFF ))
    printf "\\x$(printf %02x $(( n & 255 )))\\x$(printf %02x $(( (n >> 8) & 255 )))"
    printf "\\x$(printf %02x $(( (n >> 16) & 255 )))\\x$(printf %02x $(( (n >> 24) & 255 )))"
  done
}

# A region file: the 512-byte header (type 1, byte-order mark, major 1,
# minor 0, extra 0, version 50300, reserved, sentinel, 120 zero words), then
# the given positions.
region_file() {
  le32 1 0x01020304 1 0 0 50300 0 0x0A0D0A00
  head -c 480 /dev/zero
  le32 "$@"
}

# A data dictionary naming one plain text.
plain_dd() {
  printf '<DB>\n <Text>\n  <Name>sample</Name>\n  <Files>\n   <File>\n    <SysName>%s</SysName>\n   </File>\n  </Files>\n </Text>\n</DB>\n' "$1"
}

# The data dictionary with every ModDate replaced by X (a region file's
# modification time differs from run to run).
normalise_dd() { sed 's/<ModDate>[0-9]*<\/ModDate>/<ModDate>X<\/ModDate>/' "$1"; }

# A fragmented text of one fragment file: writes the directory file frg.1.0
# (19 header words, table A of 2 pairs, block index A of 1 entry, the names
# text; no fragment records) and prints a data dictionary naming it.
# $1 directory, $2 fragment file, $3 its length, $4 logical length, $5 delta
# of the first pair.
frg_dir_one() {
  mkdir -p "$1"
  { le32 1 1 0 2 0 "$3" "$4" 1 0 2 76 0 92 0 1 96 0 0 $(( ${#2} + 1 ))
    le32 1 "$5" $(( $4 + 2 )) 0
    le32 1
    printf '%s\0' "$2"; } > "$1/frg.1.0"
  printf '<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>frg</SysName>\n    <FrgDir>%s</FrgDir>\n    <Major>1</Major>\n    <Minor>0</Minor>\n   </File>\n  </Files>\n </Text>\n</DB>\n' "$1"
}
