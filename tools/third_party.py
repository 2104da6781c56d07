r"""The code of others in Tolvane's downloads: what the linker put into tolvane.exe, as its map
names it, and what makensis packs into the setup (its stub and plug-ins), as makensis reports it;
each with the Debian package it came from, that package's version, and its licence.
  third_party.py notices SOURCE_DIR MAP MAKENSIS: prints THIRD-PARTY-NOTICES.txt, the notices
      those licences ask a binary to carry, from the packages' copyright files (the release test
      requires the committed file to be this output: after a change, in the source folder,
      python3 tools/third_party.py notices . build/mingw/tolvane.map "$(command -v makensis)" \
          >THIRD-PARTY-NOTICES.txt);
  third_party.py bom SOURCE_DIR MAP MAKENSIS VERSION DIR: writes DIR/tolvane-VERSION.cdx.json
      (CycloneDX) for the zip and the setup in DIR.
The same toolchain gives the same bytes: no dates, and everything sorted."""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import textwrap
import urllib.parse
import uuid
import zipfile

# Upstream knowledge, from each package's /usr/share/doc/PACKAGE/copyright: the licence of what
# it puts in a download. Code linked into the exe, by Debian source package. mingw-w64's start-up
# code is in the public domain; its import libraries and the rest fall under its ZPL-2.1.
LINKED = {"mingw-w64": "ZPL-2.1", "gcc-mingw-w64": "GPL-3.0-or-later WITH GCC-exception-3.1"}
# NSIS's stub carries the decompressor makensis chose; its plug-ins are NSIS's own zlib code
# (System.dll's x86 call code is MIT; the amd64 one, which this setup carries, is zlib too).
STUBS = {"lzma": "Zlib AND CPL-1.0 WITH LZMA-exception", "bzip2": "Zlib AND bzip2-1.0.6", "zlib": "Zlib"}
PLUGINS = {"System.dll": "Zlib"}
# What each licence asks of a binary: the copyright file's licence paragraph to carry, or why nothing.
CARRY = {"ZPL-2.1": "ZPL-2.1", "CPL-1.0 WITH LZMA-exception": "lzma-cpl-exception"}
NOTHING = {
    "GPL-3.0-or-later WITH GCC-exception-3.1": "the GCC Runtime Library Exception 3.1 lets a program "
        "that GCC compiled carry this code on the program's own terms",
    "Zlib": "the zlib licence asks it of source distributions only",
    "bzip2-1.0.6": "the bzip2 licence asks it of source distributions only",
}


def fail(message):
    sys.exit(f"third_party.py: {message}")


def packages(paths):
    """Each path's Debian package: name, version, architecture, source package, summary."""
    def run(*command):
        done = subprocess.run(command, capture_output=True, text=True)
        if done.returncode:
            fail(f"{command[0]}: {done.stderr.strip()}")
        return done.stdout.splitlines()
    owners = {}
    for line in run("dpkg", "-S", *paths):
        package, path = line.split(": ", 1)
        owners[path] = package.split(", ")[0].split(":")[0]
    fields = "${Package}\t${Version}\t${Architecture}\t${source:Package}\t${binary:Summary}\n"
    rows = (line.split("\t") for line in run("dpkg-query", "-W", "-f", fields, *set(owners.values())))
    info = {row[0]: row for row in rows}
    return {path: info[package] for path, package in owners.items()}


def linked(map_file):
    """The /usr archives an archive member came from, and the /usr objects loaded whole."""
    text = open(map_file).read()
    members = text.split("\nDiscarded input sections\n")[0]
    paths = re.findall(r"^(/usr/\S+?\.a)\(", members, re.M)
    paths += re.findall(r"^LOAD (/usr/\S+\.o)$", text, re.M)
    return sorted({os.path.realpath(path) for path in paths})


def packed(source_dir, makensis):
    """The stub and plug-ins makensis packs for installer/tolvane.nsi, as it reports them at -V4,
    which the setup's own build does not ask for: the script is compiled once more here, with
    stand-ins for its inputs, which change no plug-in and no stub."""
    source_dir = os.path.abspath(source_dir)  # makensis works in the script's folder
    stand_in = os.path.join(source_dir, "LICENSE")
    with tempfile.TemporaryDirectory() as scratch:
        run = subprocess.run([makensis, "-V4", "-DVERSION=0.0.0", f"-DEXE={stand_in}",
                              f"-DLICENSE={stand_in}", f"-DNOTICES={stand_in}",
                              "-DICON=${NSISDIR}/Contrib/Graphics/Icons/modern-install.ico",
                              f"-DOUTFILE={scratch}/setup.exe", os.path.join(source_dir, "installer", "tolvane.nsi")],
                             capture_output=True, text=True)
    if run.returncode:
        fail("makensis failed:\n" + "\n".join((run.stdout + run.stderr).splitlines()[-20:]))
    report = run.stdout
    target = re.findall(r"^Target: (\S+)$", report, re.M)[-1]
    plugin_dir = next(d for d in re.findall(r'^Processing default plugins: "(.+)/\*\.dll"$', report, re.M)
                      if os.path.basename(d) == target)
    method, whole = re.findall(r"^Using (\w+)( \(compress whole\))? compression\.$", report, re.M)[-1]
    nsis_dir = os.path.dirname(os.path.dirname(plugin_dir))
    stub = os.path.join(nsis_dir, "Stubs", f"{method}{'_solid' if whole else ''}-{target}")
    # The header size's second figure is the stub's own: a wrong guess at its file shows here.
    if os.path.getsize(stub) != int(re.findall(r"^EXE header size: +\d+ / (\d+) bytes$", report, re.M)[-1]):
        fail(f"{stub} is not the stub makensis used")
    plugins = sorted(set(re.findall(r'^File: "([^"]+\.dll)"->"\$PLUGINSDIR\\', report, re.M)))
    for plugin in plugins:
        if plugin not in PLUGINS:
            fail(f"no licence known for NSIS's {plugin}: add it to PLUGINS, from nsis-common's copyright file")
    return [(stub, STUBS[method], "NSIS's installer stub")] + \
           [(os.path.join(plugin_dir, p), PLUGINS[p], "an NSIS plug-in") for p in plugins]


def components(source_dir, map_file, makensis):
    """The exe's parts, one per Debian package with the files it gave; the setup's, one per file."""
    files = linked(map_file)
    setup = packed(source_dir, makensis)
    owner = packages(files + [path for path, _, _ in setup])
    exe = {}
    for path in files:
        name, version, arch, source, summary = owner[path]
        if source not in LINKED:
            fail(f"no licence known for {path}, of {source}: add it to LINKED, from {name}'s copyright file")
        exe.setdefault(name, dict(name=name, package=name, version=version, arch=arch, licence=LINKED[source],
                                  what=summary, files=[]))
        exe[name]["files"].append(path)
    nsis = [dict(name=os.path.basename(path), version=owner[path][1], arch=owner[path][2], licence=licence,
                 what=what, files=[path], package=owner[path][0]) for path, licence, what in setup]
    return list(exe.values()), nsis


def paragraphs(package):
    """The copyright file's paragraphs (machine-readable format), each as {field: text}."""
    result = []
    for block in re.split(r"\n[ \t]*\n", open(f"/usr/share/doc/{package}/copyright").read()):
        fields = {}
        for line in block.splitlines():
            if line[:1] in (" ", "\t") and fields:
                fields[key] += "\n" + line
            elif ":" in line:
                key, value = line.split(":", 1)
                fields[key] = value.strip()
        result.append(fields)
    return result


def notice(package, short):
    """The copyright lines and the licence text that the copyright file gives for licence SHORT."""
    found = paragraphs(package)
    holders = [p["Copyright"] for p in found if "Files" in p and p.get("License", "").split("\n")[0] == short]
    text = next(p["License"] for p in found
                if p.get("License", "").split("\n")[0] == short and "\n" in p["License"])
    copyright_lines = "\n".join("Copyright " + line.strip() for h in holders for line in h.split("\n"))
    # Debian's continuation lines, " ." for an empty one; its long lines wrapped, word for word,
    # for a reader without word wrap.
    body = ["" if line.strip() == "." else line[1:] for line in text.split("\n")[1:]]
    body = [textwrap.fill(line, 78, subsequent_indent=re.match(r" *", line)[0]) if len(line) > 80 else line
            for line in body]
    return copyright_lines + "\n\n" + "\n".join(body)


def notices(source_dir, map_file, makensis):
    exe, setup = components(source_dir, map_file, makensis)
    out = ["Tolvane: the code of others in its downloads", "",
           "Tolvane is under the MIT licence (LICENSE). tolvane.exe also carries code of others,",
           "linked in statically, and the setup and the uninstaller it writes carry NSIS's",
           "installer code. Here is each part, its licence as an SPDX expression, and the notices",
           "that licence asks a binary to carry, from the Debian package's copyright file.",
           "Each release's tolvane-<version>.cdx.json lists the parts with their versions and files."]
    for where, parts in (("in tolvane.exe", exe), ("in the setup", setup)):
        for part in parts:
            package = part["package"]
            heading = f"{part['name']}, {where}: {part['what']}"
            heading += f", from {package}" if package != part["name"] else ""
            files = [os.path.basename(f) for f in part["files"]]
            out += ["", "", heading, "=" * len(heading)]
            if files != [part["name"]]:
                out += [textwrap.fill("Files: " + ", ".join(files), 90, subsequent_indent="  ")]
            out += [f"Licence: {part['licence']}"]
            for term in part["licence"].split(" AND "):
                if term in NOTHING:
                    out += ["", textwrap.fill(f"{term} asks for no notice: {NOTHING[term]}.", 90)]
                else:
                    source = next(p for p in paragraphs(package) if "Source" in p)["Source"]
                    out += ["", f"{term}, from /usr/share/doc/{package}/copyright", f"(source code: {source}):",
                            "", notice(package, CARRY[term])]
    return "\n".join(out) + "\n"


def licences(expression):
    return [{"license": {"id": expression}} if " " not in expression else {"expression": expression}]


def library(prefix, part, kind):
    version = urllib.parse.quote(part["version"], safe="")
    return {"type": kind, "bom-ref": f"{prefix}/{part['name']}", "name": part["name"], "version": part["version"],
            "description": part["what"], "licenses": licences(part["licence"]),
            "purl": f"pkg:deb/debian/{part['package']}@{version}?arch={part['arch']}",
            "evidence": {"occurrences": [{"location": path} for path in part["files"]]}}


def bom(source_dir, map_file, makensis, version, folder):
    exe, setup = components(source_dir, map_file, makensis)
    name = f"tolvane-{version}-win64"
    sha = lambda data: [{"alg": "SHA-256", "content": hashlib.sha256(data).hexdigest()}]
    exe_bytes = zipfile.ZipFile(os.path.join(folder, f"{name}.zip")).read(f"{name}/tolvane.exe")
    mit = licences("MIT")

    def download(file, extra):
        """A download, the exe in it with the exe's parts, and EXTRA's parts: (part, CycloneDX type)."""
        tolvane = {"type": "application", "bom-ref": f"{file}/tolvane.exe", "name": "tolvane.exe",
                   "version": version, "hashes": sha(exe_bytes), "licenses": mit,
                   "components": [library(f"{file}/tolvane.exe", part, "library") for part in exe]}
        return {"type": "file", "bom-ref": file, "name": file, "version": version,
                "hashes": sha(open(os.path.join(folder, file), "rb").read()),
                "components": [tolvane] + [library(file, part, kind) for part, kind in extra]}

    body = {"version": 1,
            "metadata": {"lifecycles": [{"phase": "build"}],
                         "component": {"type": "application", "bom-ref": "tolvane", "name": "Tolvane",
                                       "version": version, "licenses": mit}},
            "components": [download(f"{name}.zip", []),
                           download(f"{name}-setup.exe",
                                    [(setup[0], "application")] + [(part, "library") for part in setup[1:]])]}
    text = json.dumps(body, indent=2)
    head = {"$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json", "bomFormat": "CycloneDX",
            "specVersion": "1.6",
            # Derived from the content, so the same release has the same number.
            "serialNumber": f"urn:uuid:{uuid.uuid5(uuid.NAMESPACE_URL, text)}"}
    with open(os.path.join(folder, f"tolvane-{version}.cdx.json"), "w") as out:
        out.write(json.dumps({**head, **body}, indent=2) + "\n")


if __name__ == "__main__":
    if sys.argv[1:2] == ["notices"] and len(sys.argv) == 5:
        sys.stdout.write(notices(*sys.argv[2:]))
    elif sys.argv[1:2] == ["bom"] and len(sys.argv) == 7:
        bom(*sys.argv[2:])
    else:
        fail("usage: third_party.py notices SOURCE_DIR MAP MAKENSIS | bom SOURCE_DIR MAP MAKENSIS VERSION DIR")
