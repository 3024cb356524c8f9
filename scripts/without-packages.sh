#!/usr/bin/env bash
# Runs a command as on a machine without some Debian packages: their files are
# out of sight for the command alone (an overlay on /usr, in a mount namespace
# of its own, whites them out); the machine itself is not changed. Needs root
# and overlayfs; exits 3 without running the command when either is missing.
#   scripts/without-packages.sh PACKAGE... -- COMMAND [ARG]...
set -euo pipefail
packages=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  packages+=("$1")
  shift
done
[ $# -gt 1 ] || { echo "usage: $0 PACKAGE... -- COMMAND [ARG]..." >&2; exit 2; }
shift
[ "$(id -u)" -eq 0 ] || { echo "without-packages: needs root" >&2; exit 3; }

layer=$(mktemp -d)
trap 'rm -rf "$layer"' EXIT
mkdir "$layer/upper" "$layer/work"
hidden=0
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || continue
  while IFS= read -r f; do
    case $f in /usr/*) ;; *) continue ;; esac
    if [ -f "$f" ] || [ -L "$f" ]; then
      # A character device 0:0 in the upper layer hides the file below it.
      mkdir -p "$layer/upper$(dirname "${f#/usr}")"
      mknod "$layer/upper${f#/usr}" c 0 0 2>/dev/null || true
      hidden=$((hidden + 1))
    fi
  done < <(dpkg -L "$p")
done
echo "without-packages: $hidden files of ${packages[*]} hidden" >&2
unshare --mount --propagation private bash -c '
  mount -t overlay overlay -o "lowerdir=/usr,upperdir=$1/upper,workdir=$1/work" /usr || exit 3
  shift
  exec "$@"' bash "$layer" "$@"
