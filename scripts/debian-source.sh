# Fetches a Debian source package through the machine's own Debian entries,
# as deb-src, into a work folder, and unpacks it with Debian's patches:
#
#   source scripts/debian-source.sh
#   fetch_debian_source WORK PACKAGE VERSION [--or-another]
#
# leaves that version unpacked in WORK/source and its version in
# WORK/version; with --or-another, when the archive does not carry VERSION's
# source, the newest version it does carry of this release. The machine's apt configuration is left as it is:
# the indexes live in WORK. apt checks the package's files against the signed
# index it fetched, so dpkg-source needs no signature check of its own. Needs
# dpkg-dev (dpkg-source).

fetch_debian_source() {
local work=$1 package=$2 wanted=$3 another=${4:-}
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/download"

# ---- The machine's Debian entries, as deb-src --------------------------------
#
# Only the files apt itself reads (*.list, *.sources; a file renamed to turn it
# off is not one), only entries that are not off (Enabled: no), and only
# Debian's: every suite is this release's codename or one of its own
# (bookworm, bookworm-updates, bookworm-security) and every component one of
# Debian's. A third-party repository for this release names components of its
# own ("stable", "nodistro"), or suites that are not Debian's.
# shellcheck source=/dev/null
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
  echo "$0: /etc/os-release names no release codename" >&2
  exit 1
fi
debian_components="main contrib non-free non-free-firmware"

# One-line entries: "deb [options] URI SUITE COMPONENT..." becomes "deb-src ...".
list_entries() {  # list_entries FILE
  awk -v codename="$codename" -v components="$debian_components" '
    BEGIN { n = split(components, c, " "); for (i = 1; i <= n; i++) known[c[i]] = 1 }
    { sub(/#.*/, "") }
    $1 != "deb" && $1 != "deb-src" { next }
    {
      line = $0
      sub(/^[ \t]*deb(-src)?[ \t]+/, "", line)
      options = ""
      if (line ~ /^\[/) {
        options = substr(line, 1, index(line, "]"))
        line = substr(line, index(line, "]") + 1)
      }
      m = split(line, field, /[ \t]+/)
      first = (field[1] == "") ? 2 : 1
      uri = field[first]; suite = field[first + 1]
      if (suite != codename && index(suite, codename "-") != 1) next
      if (m < first + 2) next
      for (i = first + 2; i <= m; i++) if (field[i] != "" && !(field[i] in known)) next
      print "deb-src " (options == "" ? "" : options " ") uri " " suite substr(line, index(line, suite) + length(suite))
    }' "$1"
}

# deb822 stanzas: the same stanza with "Types: deb-src". Comments are dropped,
# continuation lines (a key block in Signed-By) kept with their field.
sources_entries() {  # sources_entries FILE
  awk -v codename="$codename" -v components="$debian_components" '
    BEGIN { n = split(components, c, " "); for (i = 1; i <= n; i++) known[c[i]] = 1 }
    function flush(   i, k, s, ok, count, word) {
      if (nfields == 0) return
      ok = (tolower(value["types"]) ~ /(^|[ \t])deb(-src)?([ \t]|$)/) && tolower(value["enabled"]) != "no"
      count = split(value["suites"], word, /[ \t]+/)
      s = 0
      for (i = 1; i <= count; i++) {
        if (word[i] == "") continue
        s++
        if (word[i] != codename && index(word[i], codename "-") != 1) ok = 0
      }
      if (s == 0) ok = 0
      count = split(value["components"], word, /[ \t]+/)
      s = 0
      for (i = 1; i <= count; i++) {
        if (word[i] == "") continue
        s++
        if (!(word[i] in known)) ok = 0
      }
      if (s == 0) ok = 0
      if (ok) {
        for (i = 1; i <= nfields; i++) {
          k = tolower(name[i])
          if (k == "types") print "Types: deb-src"
          else if (k == "enabled") continue
          else print text[i]
        }
        print ""
      }
      nfields = 0
      delete value
    }
    /^#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (nfields > 0) { text[nfields] = text[nfields] "\n" $0; value[tolower(name[nfields])] = value[tolower(name[nfields])] " " $0 } next }
    {
      nfields++
      name[nfields] = substr($0, 1, index($0, ":") - 1)
      text[nfields] = $0
      v = substr($0, index($0, ":") + 1)
      gsub(/^[ \t]+|[ \t]+$/, "", v)
      value[tolower(name[nfields])] = v
    }
    END { flush() }' "$1"
}

count=0
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$file" ] || continue
  count=$((count + 1))
  case "$file" in
    *.sources) part="$work/parts/$count.sources"; sources_entries "$file" > "$part" ;;
    *) part="$work/parts/$count.list"; list_entries "$file" | awk '!seen[$0]++' > "$part" ;;
  esac
  [ -s "$part" ] || rm -f "$part"
done
if ! compgen -G "$work/parts/*" > /dev/null; then
  echo "$0: no Debian entry for $codename in /etc/apt/sources.list or /etc/apt/sources.list.d" >&2
  exit 1
fi

# ---- The source package ---------------------------------------------------------

apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/parts"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache")
# As root apt downloads as its own user, which must be able to write there.
if [ "$(id -u)" -eq 0 ] && id _apt > /dev/null 2>&1; then
  chown -R _apt "$work/lists/partial" "$work/cache/archives/partial" "$work/download"
fi
apt-get -qq update "${apt_options[@]}" 2> "$work/update.log" || { cat "$work/update.log" >&2; exit 1; }
# A version may be in the index and not in the archive (a security update
# whose source the mirror does not carry).
local versions=("$wanted") version
if [ "$another" = "--or-another" ]; then
  while read -r version; do
    [ "$version" = "$wanted" ] || versions+=("$version")
  done < <(apt-cache "${apt_options[@]}" madison "$package" 2> /dev/null \
    | awk -F'|' '$3 ~ /Sources/ { gsub(/ /, "", $2); print $2 }' | sort -Vr -u)
fi
for version in "${versions[@]}"; do
  rm -f "$work"/download/*
  if (cd "$work/download" && apt-get -qq source --download-only "${apt_options[@]}" "$package=$version") \
    >> "$work/source.log" 2>&1; then
    dpkg-source --no-check -x "$work"/download/*.dsc "$work/source" > /dev/null
    echo "$version" > "$work/version"
    return 0
  fi
done
cat "$work/update.log" "$work/source.log" >&2
echo "no source of $package ${versions[*]} could be fetched" >&2
return 1
}
