"""Reads tolvane.exe's manifest as Windows does, with the names and values Microsoft's
"Application manifests" page documents. Windows matches each namespace and the Common
Controls identity exactly: a typo there makes it refuse to start the exe ("side-by-side
configuration is incorrect") or silently drop the setting, where Wine starts it anyway.
Usage: manifest_check.py MANIFEST VERSION (the project's, e.g. 1.2.1)"""
import re
import sys
import xml.etree.ElementTree as ET

NS = {
    "asm1": "urn:schemas-microsoft-com:asm.v1",
    "asm3": "urn:schemas-microsoft-com:asm.v3",
    "compat": "urn:schemas-microsoft-com:compatibility.v1",
    "ws2005": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
    "ws2016": "http://schemas.microsoft.com/SMI/2016/WindowsSettings",
}
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"  # Windows 10 and 11
SETTINGS = "asm3:application/asm3:windowsSettings/"
version = sys.argv[2] + ".0"  # four numbers, or Windows refuses the exe

# What, where (below <assembly>), and the attributes or the text it must have.
ROWS = [
    ("its own name and version " + version, "asm1:assemblyIdentity",
     {"type": "win32", "name": "Tolvane", "version": version}),
    ("version 6 of the common controls", "asm1:dependency/asm1:dependentAssembly/asm1:assemblyIdentity",
     {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
      "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"}),
    ("asInvoker, no UI access",
     "asm3:trustInfo/asm3:security/asm3:requestedPrivileges/asm3:requestedExecutionLevel",
     {"level": "asInvoker", "uiAccess": "false"}),
    ("Windows 10 among the supported systems",
     f"compat:compatibility/compat:application/compat:supportedOS[@Id='{WINDOWS_10}']", {}),
    ("per-monitor DPI aware (2005 setting)", SETTINGS + "ws2005:dpiAware", "true/pm"),
    ("PerMonitorV2 (2016 setting)", SETTINGS + "ws2016:dpiAwareness", "PerMonitorV2, PerMonitor"),
]

try:
    root = ET.parse(sys.argv[1]).getroot()
except ET.ParseError as error:
    sys.exit(f"FAIL manifest: not well-formed XML: {error}")
failed = (root.tag != "{%s}assembly" % NS["asm1"] or root.get("manifestVersion") != "1.0"
          or not re.fullmatch(r"\d+(\.\d+){3}", version))
print("FAIL" if failed else "ok  ", "manifest: an asm.v1 assembly, manifestVersion 1.0, a version of four numbers")
for what, path, expected in ROWS:
    found = root.findall(path, NS)
    if isinstance(expected, str):
        good = len(found) == 1 and (found[0].text or "").strip() == expected
    else:
        good = len(found) == 1 and all(found[0].get(k) == v for k, v in expected.items())
    print("ok  " if good else "FAIL", "manifest:", what)
    failed |= not good
sys.exit(1 if failed else 0)
