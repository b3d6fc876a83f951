#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only, plus any packages named
# as arguments. Idempotent: when everything is there it calls no apt-get and needs no root.
# When something is missing, root installs it; anyone else is told what to run.
set -euo pipefail

packages=(
  g++-multilib cmake make binutils lld
  openjdk-17-jdk-headless openjdk-17-jdk-headless:i386
  android-liblog-dev android-liblog-dev:i386
  libgtest-dev libgtest-dev:i386
  libbenchmark-dev libbenchmark-dev:i386 valgrind
  clang-format
  tmux
  qemu-user
  libreadline-dev libreadline-dev:i386
  proguard-cli
)
packages+=("$@")

native=$(dpkg --print-architecture)

# The architectures the packages name beyond the machine's own ("others") must be known to dpkg;
# those it does not know yet ("foreign") are added before the install.
mapfile -t others < <(printf '%s\n' "${packages[@]}" | sed -n 's/^[^:]*://p' |
  grep -vxF "$native" | sort -u)
known=$(dpkg --print-foreign-architectures)
foreign=()
for arch in "${others[@]+"${others[@]}"}"; do
  grep -qxF "$arch" <<<"$known" || foreign+=("$arch")
done

# One line per installed package and architecture: "name:arch". A name without an architecture
# means the machine's own (or an architecture-independent package).
installed=$(dpkg-query -W -f='${db:Status-Status} ${Package}:${Architecture}\n' 2>/dev/null |
  awk '$1 == "installed" { print $2 }')
is_installed() {
  case "$1" in
    *:*) grep -qxF "$1" <<<"$installed" ;;
    *) grep -qxF "$1:$native" <<<"$installed" || grep -qxF "$1:all" <<<"$installed" ;;
  esac
}
missing=()
for package in "${packages[@]}"; do
  is_installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && [ ${#foreign[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  {
    echo "Missing Debian packages: ${missing[*]}"
    echo "Run as root, then build again:"
    for arch in "${foreign[@]+"${foreign[@]}"}"; do echo "  dpkg --add-architecture $arch"; done
    echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}"
  } >&2
  exit 1
fi

for arch in "${foreign[@]+"${foreign[@]}"}"; do dpkg --add-architecture "$arch"; done
echo "Installing: ${missing[*]}"
# Another install running at the same time (a second build, say) holds dpkg's lock: wait for it.
lock=(-o DPkg::Lock::Timeout=600)
# A mirror caught mid-sync fails an index now and then. Packages of two architectures then
# disagree on versions until it has caught up: the install is tried from the lists that did
# arrive, then holding every package to the newest version all its architectures' lists have (see
# pin-shared-versions.sh), and each failed round is tried again after a longer wait, for about ten
# minutes in all.
# An install never removes a package: where apt would remove one (an installed package whose
# version another architecture cannot match), it stops, and the next way is tried.
install() {
  DEBIAN_FRONTEND=noninteractive apt-get "${lock[@]}" install -y -q --no-install-recommends \
    --no-remove "$@" "${missing[@]}"
}
install_shared_versions() {
  [ ${#others[@]} -gt 0 ] || return 1
  local preferences
  preferences=$(mktemp)
  "$(dirname "$0")/pin-shared-versions.sh" "${others[@]}" >"$preferences" || { rm -f "$preferences"; return 1; }
  echo "installing, of $(grep -c '^# ' "$preferences") source packages whose newest version some" \
    "architecture's lists lack, the newest that the lists of $native and ${others[*]} share" >&2
  local status=0
  install -o Dir::Etc::Preferences="$preferences" --allow-downgrades || status=$?
  rm -f "$preferences"
  return $status
}
for attempt in 1 2 3 4 5; do
  if apt-get "${lock[@]}" update -q; then
    install
    exit 0
  fi
  echo "apt-get update failed (round $attempt of 5); installing from the lists that arrived" >&2
  install && exit 0
  install_shared_versions && exit 0
  [ "$attempt" -lt 5 ] || exit 1
  echo "waiting $((attempt * 60)) s for the package mirror to catch up" >&2
  sleep $((attempt * 60))
done
