#!/usr/bin/env bash
# cmake/release.cmake on what the build made: signed twice with a throwaway certificate (keys deleted at the
# end) and unsigned, its build record, bill of materials and notices, --verify (also in a source archive),
# the manifests, and a silent install of the signed setup in the installer test's Wine prefix.
# Usage: release_test.sh EXE SETUP VERSION WORK_DIR INSTALLER_TEST_DIR
exe=$1 setup=$2 version=$3 work=$4 home=$5/home prefix=$5/prefix failed=0
src=$(cd "$(dirname "$0")/.." && pwd) name=tolvane-$3-win64 keys=$4/keys
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi; } # WHAT COMMAND...
rm -rf "$work" && mkdir -p "$keys" "$work/bin" || exit 1
. "$src/tools/wine-session.sh" && trap 'rm -rf "$keys"; stop_wine_session' EXIT
unset TOLVANE_SIGN_P12 TOLVANE_TIMESTAMP_URL TOLVANE_DOWNLOAD_URL TOLVANE_VERIFY; export TOLVANE_SIGN_PASSWORD=secret-$RANDOM
git -C "$src" log -1 >/dev/null 2>&1 || export SOURCE_DATE_EPOCH=946684800 # no last commit in an unpacked archive
# Any process on the machine can read a command line: this osslsigncode fails on one holding the password (or UNSIGNABLE).
printf '#!/bin/sh\nfor a; do case $a in *"$TOLVANE_SIGN_PASSWORD"*|*"${UNSIGNABLE:-$TOLVANE_SIGN_PASSWORD}"*) exit 1; esac; done
exec %s "$@"\n' "$(command -v osslsigncode)" >"$work/bin/osslsigncode" && chmod +x "$work/bin/osslsigncode" && PATH=$work/bin:$PATH
certificate() { local k=$keys/$1 new=(openssl req -x509 -newkey rsa:2048 -nodes -days 2) # NAME: an RSA root, a leaf
    "${new[@]}" -subj /CN=root -keyout "$k-root.key" -out "$k-root.pem" -addext keyUsage=keyCertSign &&
    "${new[@]}" -subj /CN=Tolvane -keyout "$k.key" -out "$k.pem" -CA "$k-root.pem" -CAkey "$k-root.key" \
        -addext basicConstraints=CA:false -addext extendedKeyUsage=codeSigning &&
    openssl pkcs12 -export -inkey "$k.key" -in "$k.pem" -passout env:TOLVANE_SIGN_PASSWORD -out "$k.p12"; } 2>/dev/null
certificate ours && certificate other || exit 1
release() { env "${@:2}" cmake -DEXE="$exe" -DMAKENSIS="$(command -v makensis)" -DSOURCE_DIR="$src" \
    -DVERSION="$version" -DOUT_DIR="$work/$1" -DWORK_DIR="$work/$1.work" -P "$src/cmake/release.cmake" \
    >"$work/$1.log" 2>&1; } # OUT [VARIABLE=VALUE...]
verified() { for f; do osslsigncode verify -CAfile "$keys/ours-root.pem" -in "$f" >/dev/null 2>&1 || return; done; }
url=https://github.com/tolvane/tolvane/releases/download/v$version
signing=(TOLVANE_SIGN_P12="$keys/ours.p12" TOLVANE_DOWNLOAD_URL=$url)

check "signed with the throwaway certificate" release signed "${signing[@]}"
unzip -p "$work/signed/$name.zip" "$name/tolvane.exe" >"$work/tolvane.exe"
check "the zip's exe and the setup verify against its root" verified "$work/tolvane.exe" "$work/signed/$name-setup.exe"
check "signed again, in a time zone 14 h from UTC: the same bytes and build record" eval \
    'release again TZ=Pacific/Kiritimati "${signing[@]}" && diff -r "$work/signed" "$work/again"'
check "a signing that fails, the uninstaller's, leaves no release" eval '! release failed UNSIGNABLE=uninstall.exe "${signing[@]}" &&
    [ ! -e "$work/failed" ]'
. "$src/tools/install-deps.sh" && record=$work/signed/tolvane-$version.buildinfo
check "the build record: the commit, the signing time, each package's version, the downloads' SHA-256" eval 'grep -q "^commit $(git \
    -C "$src" rev-parse HEAD || echo none)" "$record" && grep -qx "SOURCE_DATE_EPOCH ${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)}" \
    "$record" && ! (cd "$work/signed" && sha256sum "$name.zip" "$name-setup.exe" | grep -vxFf "$record") && diff <(grep ^package "$record" |
    LC_ALL=C sort) <(dpkg-query -W -f="package \${Package} \${Version}\n" "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}" | LC_ALL=C sort)'
check "unsigned: the build's setup, and the build's exe in the zip" eval 'release plain &&
    cmp "$work/plain/$name-setup.exe" "$setup" && unzip -p "$work/plain/$name.zip" "$name/tolvane.exe" | cmp - "$exe"'

# The downloads --verify compares: as published, a setup with one byte changed (and also a record naming another
# osslsigncode), the exe's signature by another certificate (with no build record: checked as before records).
mkdir "$work/good" && cp "$work/signed/"{"$name.zip","$name-setup.exe",signatures/*} "$work/good/"
cp -r "$work/good" "$work/resigned" && cp "$record" "$work/good/" && cp -r "$work/good" "$work/tampered" && cp "$exe" "$work/other.exe"
perl -0777 -pi -e 'substr($_, 4096, 1) ^= "\1"' "$work/tampered/$name-setup.exe" && cp -r "$work/tampered" "$work/drift"
sed -i 's/^package osslsigncode .*/package osslsigncode 2.5-3/' "$work/drift/tolvane-$version.buildinfo"
TOLVANE_SIGN_P12=$keys/other.p12 TOLVANE_SIGNATURES=$work/resigned "$src/tools/sign.sh" "$work/other.exe" tolvane.exe
check "--verify: the published files are identical" eval 'release verify TOLVANE_VERIFY="$work/good" &&
    [ "$(grep -c "^identical  " "$work/verify.log")" = 2 ] && [ ! -e "$work/verify" ]'
check "--verify: the exe's signature by another certificate fails, naming the setup that holds it" eval '! release resigned.verify \
    TOLVANE_VERIFY="$work/resigned" && grep -q "$name-setup.exe" "$work/resigned.verify.log"'
# GitHub's "Source code" download: the tracked files, no git history, in a folder with a space in its name.
arc="$work/source archive" && mkdir "$arc" && (cd "$src" && { git ls-files -z 2>/dev/null ||
    find . \( -name .git -o -path ./build -o -path ./dist \) -prune -o -type f -print0; } | tar --null -T - -cf -) | tar -C "$arc" -xf -
archive() { (cd "$arc" && bash release.sh --verify "$work/$1") >"$work/$1.archive.log" 2>&1; } # DIR: release.sh's exit code
check "--verify in the source archive, the exe rebuilt there: identical, the commit unchecked, its dist/ left alone" eval \
    'archive good && grep -q "^Source commit: cannot be checked" "$work/good.archive.log" && [ ! -e "$arc/dist" ]'
check "--verify: a setup with one byte changed is not what this source builds (3), by name" eval 'archive tampered
    [ $? = 3 ] && grep -qx "DIFFERS    $name-setup.exe" "$work/tampered.archive.log"'
check "--verify: so is one whose record names another osslsigncode, but undecided (4), naming both and what to install" eval \
    'archive drift; [ $? = 4 ] && grep -q "^Package osslsigncode: 2.5-3 in the build record, $(dpkg-query -W -f=\${Version} \
    osslsigncode) here" "$work/drift.archive.log" && grep -qx " *apt-get install osslsigncode=2.5-3" "$work/drift.archive.log"'

check "manifests: the .sha256 hashes, URLs, version, exit codes and notes; YAML and JSON" \
    python3 - "$work/signed" "$version" "$url" "$src" <<'PY'
import json, re, sys, yaml
out, version, url, src = sys.argv[1:]
name, path = f"tolvane-{version}-win64", f"{out}/winget/manifests/t/Tolvane/Tolvane/{version}/Tolvane.Tolvane"
v, i, l = (yaml.safe_load(open(path + s)) for s in (".yaml", ".installer.yaml", ".locale.en-US.yaml"))
scoop = json.load(open(f"{out}/scoop/tolvane.json"))
sha = lambda file: open(f"{out}/{file}.sha256").read().split()[0]
exits = dict(re.findall(r"^!define EXIT_(\w+) (\d+)$", open(f"{src}/installer/tolvane.nsi").read(), re.M))
codes = dict(CANNOT_WRITE="invalidParameter", IN_USE="packageInUse", BUSY="installInProgress", OLD_WINDOWS="systemNotSupported")
assert {c["InstallerReturnCode"]: c["ReturnResponse"] for c in i["ExpectedReturnCodes"]} == \
    {1: "cancelledByUser", **{int(exits[e]): r for e, r in codes.items()}}
assert i["Installers"] == [dict(Architecture="x64", InstallerUrl=f"{url}/{name}-setup.exe", InstallerSha256=sha(f"{name}-setup.exe"))]
assert scoop["architecture"]["64bit"] == dict(url=f"{url}/{name}.zip", hash=sha(f"{name}.zip"), extract_dir=name)
assert {m["PackageVersion"] for m in (v, i, l)} == {version} == {scoop["version"]}
notes = re.search(rf"^## \[{re.escape(version)}\] .*?\n(.*?)(?=^## |\Z)", open(f"{src}/CHANGELOG.md").read(), re.S | re.M)
assert l["ReleaseNotes"] == notes[1].strip()
PY

# CycloneDX's schema as its JavaScript library ships it, read by Debian's python3-jsonschema (so /usr/bin's python3). Each
# /usr file in the link map's memory map must be in each download's tolvane.exe, each file in dpkg's package and version.
npm=${4%/*}/cyclonedx-library-10.3.0 && schemas=$npm/node_modules/@cyclonedx/cyclonedx-library/res/schema
[ -d "$schemas" ] || npm install --prefix "$npm" --no-audit --no-fund -s @cyclonedx/cyclonedx-library@10.3.0 >/dev/null
check "bill of materials: valid, the downloads' hashes, each linked file, each file's package and version, SPDX names" \
    /usr/bin/python3 - "$work/signed" "$version" "$schemas" "${exe%/*}/tolvane.map" <<'PY'
import hashlib, json, os, re, subprocess, sys, jsonschema
out, version, schemas, link_map = sys.argv[1:]
uri, run = "http://cyclonedx.org/schema/", lambda *c: subprocess.run(c, capture_output=True, text=True).stdout.splitlines()
store = {uri + f: json.load(open(f"{schemas}/{f}")) for f in os.listdir(schemas) if f.endswith(".schema.json")}
bom, schema = json.load(open(f"{out}/tolvane-{version}.cdx.json")), store[uri + "bom-1.6.SNAPSHOT.schema.json"]
jsonschema.Draft7Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store)).validate(bom)
sha = lambda f: (f, [dict(alg="SHA-256", content=hashlib.sha256(open(f"{out}/{f}", "rb").read()).hexdigest())])
assert [(c["name"], c["hashes"]) for c in bom["components"]] == [sha(f"tolvane-{version}-win64{s}") for s in (".zip", "-setup.exe")]
walk = lambda c: [c] + [d for e in c.get("components", []) for d in walk(e)]
files = lambda c: {o["location"] for p in walk(c) if "evidence" in p for o in p["evidence"]["occurrences"]}
memory_map = open(link_map).read().split("\nLinker script and memory map\n")[1]
linked = {os.path.realpath(path) for path in re.findall(r"0x\w+ +0x\w+ (/usr/[^\s(]+)", memory_map)}
assert (missing := [linked - files(c) for c in walk(bom) if c.get("name") == "tolvane.exe"]) == [set()] * 2, missing
owner = dict(line.split(": ")[::-1] for line in run("dpkg", "-S", *linked | files(bom)))
versions = dict(line.split("\t") for line in run("dpkg-query", "-W", "-f", "${Package}\t${Version}\n", *set(owner.values())))
for c in (c for c in walk(bom) if "evidence" in c):
    assert {(owner[f], versions[owner[f]]) for f in files(c)} == {(re.match("pkg:deb/debian/(.+?)@", c["purl"])[1], c["version"])}, c
spdx = set(store[uri + "spdx.SNAPSHOT.schema.json"]["enum"]) | {"AND", "OR", "WITH", ""}
assert all(set(re.split(r"[ ()]+", l.get("expression", "MIT"))) <= spdx for c in walk(bom) for l in c.get("licenses", []))
PY
check "THIRD-PARTY-NOTICES.txt: as tools/third_party.py makes it from the copyright files, and in the zip" eval 'python3 \
    "$src/tools/third_party.py" notices "$src" "${exe%/*}/tolvane.map" "$(command -v makensis)" | diff - "$src/THIRD-PARTY-NOTICES.txt" &&
    unzip -p "$work/signed/$name.zip" "$name/THIRD-PARTY-NOTICES.txt" | cmp - "$src/THIRD-PARTY-NOTICES.txt"'

export HOME=$home c=$prefix/drive_c # the installer test's HOME, so that Wine touches nothing of the user's
start_headless_display && start_wine_prefix "$prefix" >/dev/null && cp "$work/signed/$name-setup.exe" "$c/"
check "the signed setup installs silently: the zip's exe and notices, an uninstaller that verifies" eval 'wine "C:\\$name-setup.exe" \
    /S "/D=C:\signed" && cmp "$work/tolvane.exe" "$c/signed/tolvane.exe" && verified "$c/signed/uninstall.exe" &&
    cmp "$src/THIRD-PARTY-NOTICES.txt" "$c/signed/THIRD-PARTY-NOTICES.txt"'
check "and it uninstalls, its folder gone on return" eval \
    'wine "C:\signed\uninstall.exe" /S "_?=C:\signed" && [ ! -e "$c/signed" ]'
[ $failed = 0 ] || tail -n 5 "$work"/*.log
exit $failed
