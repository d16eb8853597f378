#!/usr/bin/env bash
# Checks a built velkor_*.deb without installing it: exactly the files the
# install layout gives, with root's ownership and the usual modes; lintian
# without errors; the desktop entry and the AppStream file valid.
#   scripts/check-package.sh build-pkg/velkor_0.1.0_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$1
id=org.velkor.Programmer
fail() { echo "check-package: $*" >&2; exit 1; }

# What must be in it, and nothing else: the programs alone in bin.
expected=(
  ./usr/bin/velkor ./usr/bin/velkor-cli ./usr/bin/velkor-sim
  ./usr/share/velkor/targets.cfi ./usr/share/velkor/pages.cfi ./usr/share/velkor/identity.cfi
  ./usr/share/applications/$id.desktop
  ./usr/share/metainfo/$id.metainfo.xml
  ./usr/share/mime/packages/$id.xml
  ./usr/share/man/man1/velkor.1.gz ./usr/share/man/man1/velkor-cli.1.gz ./usr/share/man/man1/velkor-sim.1.gz
  ./usr/share/doc/velkor/README.md
  ./usr/share/doc/velkor/copyright ./usr/share/doc/velkor/changelog.gz
)
while IFS= read -r icon; do expected+=("./usr/share/icons/$icon"); done < <(cd data/icons && find hicolor -type f)

listing=$(dpkg-deb -c "$deb")
got=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
want=$(printf '%s\n' "${expected[@]}" | sort)
if [[ "$got" != "$want" ]]; then
  diff <(echo "$want") <(echo "$got") >&2 || true
  fail "the package holds other files than the install layout (< missing, > extra)"
fi
# Owner root, programs 0755, everything else 0644, folders 0755.
bad=$(awk '$2 != "root/root" ||
           ($1 ~ /^d/ && $1 != "drwxr-xr-x") ||
           ($1 ~ /^-/ && $6 ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x") ||
           ($1 ~ /^-/ && $6 !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--")' <<<"$listing")
[[ -z "$bad" ]] || fail "owner or mode wrong: $bad"
echo "contents: ${#expected[@]} files as laid out"

dpkg-deb -f "$deb" Package Version Architecture Depends

# lintian: errors fail; the warnings it leaves are listed in the README.
lintian --tag-display-limit 0 --display-info "$deb" | tee "$deb.lintian"
! grep -q '^E:' "$deb.lintian" || fail "lintian found errors"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
desktop-file-validate "$tmp/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$tmp/usr/share/metainfo/$id.metainfo.xml"
