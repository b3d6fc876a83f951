#!/usr/bin/env bash
# Prints apt preferences that hold every source package to the newest version that the machine's
# own architecture and each architecture named as an argument all have, wherever the newest
# version of the machine's own is missing from another's lists (that list failed to download, or
# a mirror serves it behind the rest). Packages of one source must then agree on their version
# across architectures, so pinning them makes an install of both resolvable from the lists at
# hand; every version pinned comes from a list apt verified. Installed versions count as the
# machine's own: one newer than any list (left by an earlier update) is pinned down too.
#
# Usage: pin-shared-versions.sh ARCH... > preferences
#        apt-get -o Dir::Etc::Preferences=preferences install --allow-downgrades ...
set -euo pipefail
export LC_ALL=C
[ $# -gt 0 ] || { echo "usage: $0 ARCH..." >&2; exit 2; }

native=$(dpkg --print-architecture)
archs=("$native" "$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One line per binary package version: "source source-version architecture package version".
{
  apt-get indextargets --format '$(FILENAME)' 'Created-By: Packages' |
    while read -r file; do
      [ -e "$file" ] || continue
      /usr/lib/apt/apt-helper cat-file "$file"
      echo
    done |
    awk -v archs="${archs[*]} all" '
      BEGIN { n = split(archs, list, " "); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
      function flush() {
        if (pkg != "" && arch in wanted)
          print (src == "" ? pkg : src), (sver == "" ? ver : sver), arch, pkg, ver
        pkg = arch = ver = src = sver = ""
      }
      /^Package: / { pkg = $2 }
      /^Architecture: / { arch = $2 }
      /^Version: / { ver = $2 }
      /^Source: / { src = $2; if ($3 ~ /^\(/) sver = substr($3, 2, length($3) - 2) }
      /^$/ { flush() }
      END { flush() }'
  dpkg-query -W -f='${source:Package} ${source:Version} ${Architecture} ${Package} ${Version}\n'
} | sort -u >"$work/all"

# Only a source with more than one version can differ between architectures.
awk '$3 != "all" { seen[$1 " " $2] = 1 }
     END { for (k in seen) { split(k, f, " "); if (++n[f[1]] == 2) print f[1] } }' "$work/all" |
  sort >"$work/sources"
awk 'NR == FNR { keep[$1] = 1; next } $1 in keep' "$work/sources" "$work/all" >"$work/versions"

newest() {
  local best="" version
  for version in "$@"; do
    if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then best=$version; fi
  done
  printf '%s\n' "$best"
}
versions_of() { awk -v s="$1" -v a="$2" '$1 == s && $3 == a { print $2 }' "$work/versions" | sort -u; }

while read -r source; do
  mapfile -t own < <(versions_of "$source" "$native")
  [ ${#own[@]} -gt 0 ] || continue
  shared=("${own[@]}")
  for arch in "$@"; do
    mapfile -t theirs < <(versions_of "$source" "$arch")
    # A source not built for that architecture does not have to agree with it.
    [ ${#theirs[@]} -gt 0 ] || continue
    mapfile -t shared < <(comm -12 <(printf '%s\n' "${shared[@]}") <(printf '%s\n' "${theirs[@]}"))
    [ ${#shared[@]} -gt 0 ] || break
  done
  [ ${#shared[@]} -gt 0 ] || continue
  top=$(newest "${own[@]}")
  pin=$(newest "${shared[@]}")
  [ "$top" != "$pin" ] || continue
  echo "# $source: $top is not in every architecture's lists; $pin is"
  awk -v s="$source" -v v="$pin" '$1 == s && $2 == v { print $4, $5 }' "$work/versions" | sort -u |
    while read -r package version; do
      printf 'Package: %s\nPin: version %s\nPin-Priority: 1001\n\n' "$package" "$version"
    done
done <"$work/sources"
