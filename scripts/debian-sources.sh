# Debian source packages for the libraries that cross builds make themselves.
# Source it, then: exit_if_built PREFIX STAMP; fetch_sources NAME PREFIX
# PACKAGE=VERSION...; build into $staging from the sources in $work;
# install_staging NAME PREFIX STAMP.

sudo_prefix=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_prefix=(sudo)
fi

# apt-get source needs deb-src entries. Mirror the machine's own entries for
# this Debian release (URIs, suites, components, keyring), so the sources come
# from wherever its binary packages come from.
ensure_source_entries() {
  local list=/etc/apt/sources.list.d/intro-deb-src.sources
  if grep -rqsE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return
  fi
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:?}")
  local entries
  entries=$(
    {
      # One-line entries.
      if [ -f /etc/apt/sources.list ]; then
        awk -v release="$codename" '$1 == "deb" {
            for (i = 2; i <= NF; ++i) if ($i !~ /^\[/ && $i ~ /:\/\//) break
            if ($(i + 1) ~ "^" release) {
              sub(/^deb/, "")
              printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
              for (j = i + 2; j <= NF; ++j) printf " %s", $j
              printf "\n\n"
            }
          }' /etc/apt/sources.list
      fi
      # deb822 entries: every stanza of type deb whose suites are this release's.
      for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] && [ "$file" != "$list" ] || continue
        awk -v release="$codename" '
          function flush() {
            if (types ~ /(^| )deb( |$)/ && suites ~ "(^| )" release && enabled != "no") {
              print "Types: deb-src"; printf "%s", body; print ""
            }
            types = ""; suites = ""; body = ""; enabled = ""
          }
          /^[[:space:]]*#/ { next }
          /^[[:space:]]*$/ { flush(); next }
          {
            line = $0
            key = tolower($1)
            value = line; sub(/^[^:]*:[[:space:]]*/, "", value)
            if (key == "types:") { types = value; next }
            if (key == "enabled:") { enabled = tolower(value) }
            if (key == "suites:") { suites = value }
            body = body line "\n"
          }
          END { flush() }' "$file"
      done
    })
  if [ -z "$entries" ]; then
    echo "debian-sources: no Debian entry for $codename in the apt sources to mirror" >&2
    exit 1
  fi
  echo "debian-sources: adding deb-src entries that mirror the machine's Debian entries"
  printf '# Source packages, mirroring the binary entries of this release.\n%s' "$entries" |
    "${sudo_prefix[@]}" tee "$list" > /dev/null
  "${sudo_prefix[@]}" apt-get update -q > /dev/null
}


# Ends the calling script when PREFIX already holds a build from STAMP (the
# versions and whatever else the build depends on).
exit_if_built() {
  local stamp="$1/.built-from"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$2" ]; then
    exit 0
  fi
}

# Sets work (a folder removed on exit, holding the unpacked sources) and
# staging (an empty folder beside PREFIX that becomes it once built), then
# fetches the source packages, showing apt's output only when it fails.
fetch_sources() {
  local name=$1 prefix=$2
  shift 2
  ensure_source_entries
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  staging="$prefix.partial"
  rm -rf "$staging"
  mkdir -p "$staging"
  staging=$(realpath "$staging")
  echo "$name: fetching $*"
  (cd "$work" && apt-get source -q "$@" > source.log 2>&1) || {
    cat "$work/source.log" >&2
    exit 1
  }
}

# Stamps the finished staging folder and puts it in PREFIX's place, so that a
# build cut short never leaves a prefix that looks complete.
install_staging() {
  local name=$1 prefix=$2
  printf '%s' "$3" > "$staging/.built-from"
  rm -rf "$prefix"
  mv "$staging" "$prefix"
  echo "$name: installed into $prefix"
}
