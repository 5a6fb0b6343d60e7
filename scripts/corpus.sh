#!/usr/bin/env bash
# Usage: scripts/corpus.sh DIR
# Fetches a corpus of real G-code that others wrote, by package name and version, into
# DIR (nothing of it is kept in the repository):
#   DIR/linuxcnc/...  the sample programs a Debian package ships (downloaded with
#                     apt-get download and unpacked with dpkg -x, never installed)
#   DIR/npm/NAME/...  the test programs that npm packages of G-code readers carry
#   DIR/node_modules  gcode-toolpath, an independent interpreter, for the reference test
# When DIR/ready names the versions asked for here it does nothing. Exits 77 (a skip for the tests) when apt-get,
# dpkg or npm is missing or apt does not know the package (scripts/deps.sh test sets
# that up), 1 when a fetch fails.
set -euo pipefail

debian_package=linuxcnc-uspace
debian_version=2.9.0~pre1+git20230208.f1270d6ed7-1+deb12u2 # a newer one is taken if gone
npm_fixtures=(gcode-toolpath@2.2.0 gcode-parser@1.3.7 gcode-interpreter@2.1.0)
npm_reference=gcode-toolpath@3.0.0

dir=${1:?usage: $0 DIR}
stamp="$debian_package=$debian_version ${npm_fixtures[*]} $npm_reference"
[ "$(cat "$dir/ready" 2>/dev/null)" = "$stamp" ] && exit 0
for tool in apt-get apt-cache dpkg-deb npm tar; do
    if ! command -v "$tool" >/dev/null; then
        echo "corpus.sh: $tool is missing (scripts/deps.sh test installs it)" >&2
        exit 77
    fi
done
if ! apt-cache show "$debian_package" >/dev/null 2>&1; then
    echo "corpus.sh: apt does not know $debian_package (run apt-get update, or scripts/deps.sh test)" >&2
    exit 77
fi

mkdir -p "$dir"
exec 9>"$dir/.lock" # one fetch at a time (tests run in parallel)
flock 9
[ "$(cat "$dir/ready" 2>/dev/null)" = "$stamp" ] && exit 0
rm -f "$dir/ready"
work=$(mktemp -d "$dir/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The Debian package: the version named, or the one apt offers now.
(cd "$work" && { apt-get download -q "$debian_package=$debian_version" >/dev/null 2>&1 ||
                 apt-get download -q "$debian_package" >/dev/null; })
deb=$(ls "$work"/*.deb)
dpkg-deb -x "$deb" "$work/unpacked"
rm -rf "$dir/linuxcnc"
mkdir -p "$dir/linuxcnc"
cp -r "$work/unpacked/usr/share/linuxcnc/ncfiles/." "$dir/linuxcnc/"
cp "$work/unpacked/usr/share/axis/images/"*.ngc "$dir/linuxcnc/"
echo "$debian_package $(dpkg-deb -f "$deb" Version)" >"$dir/versions"
rm -rf "$dir/npm"

# The npm packages' test programs: packed tarballs, unpacked.
for pinned in "${npm_fixtures[@]}"; do
    (cd "$work" && npm pack --silent "$pinned" >/dev/null)
    name=${pinned%@*}
    rm -rf "$dir/npm/$name"
    mkdir -p "$dir/npm/$name" "$work/$name"
    tar xzf "$work/$name-${pinned#*@}.tgz" -C "$work/$name"
    cp "$work/$name/package/test/fixtures/"* "$dir/npm/$name/"
    echo "$pinned" >>"$dir/versions"
done

# The reference interpreter, installed where node finds it from DIR.
npm install --silent --no-audit --no-fund --prefix "$dir" "$npm_reference" >/dev/null
echo "$npm_reference (reference)" >>"$dir/versions"
echo "$stamp" >"$dir/ready"
