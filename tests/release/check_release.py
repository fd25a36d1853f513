#!/usr/bin/env python3
"""Checks what scripts/package wrote into a dist folder, offline: the version the programs
and the setup program carry, SHA256SUMS, winget's multi-file manifest at manifest version
1.12.0 and the Scoop manifest, against rules
written from the package managers' documentation (winget-pkgs doc/manifest/schema/1.12.0,
Scoop's App Manifests page) and against the packages themselves.
  check_release.py DIST VERSION [--url-base URL]
Prints one line per fault and exits 1 when there is any."""

import argparse
import hashlib
import json
import pathlib
import re
import sys
import zipfile

import jsonschema
import yaml

IDENTIFIER = "Tavisto.Tavisto"
MANIFEST_VERSION = "1.12.0"

STRING = {"type": "string"}
URL = {"type": "string", "pattern": "^[Hh][Tt][Tt][Pp][Ss]?://.+$", "maxLength": 2048}
SHA256 = {"type": "string", "pattern": "^[A-Fa-f0-9]{64}$"}
STRINGS = {"type": "array", "items": STRING}
# Publisher.Package: two to eight parts without dots, spaces or path characters.
PACKAGE_IDENTIFIER = {"type": "string",
                      "pattern": r'^[^.\s\\/:*?"<>|]{1,32}(\.[^.\s\\/:*?"<>|]{1,32}){1,7}$'}
COMMON = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": STRING,
          "ManifestVersion": {"const": MANIFEST_VERSION}}


def manifest_rule(manifest_type, properties, required):
    return {"type": "object", "additionalProperties": False,
            "required": ["PackageIdentifier", "PackageVersion", "ManifestType",
                         "ManifestVersion"] + required,
            "properties": {**COMMON, "ManifestType": {"const": manifest_type}, **properties}}


SWITCHES = {"type": "object", "additionalProperties": False,
            "properties": {key: STRING for key in (
                "Silent", "SilentWithProgress", "Interactive", "InstallLocation", "Log",
                "Upgrade", "Custom", "Repair")}}
# The keys an installer node takes; most may also stand at the root as its default.
INSTALLER_KEYS = {
    "InstallerLocale": STRING,
    "Platform": {"type": "array", "items": {"enum": ["Windows.Desktop", "Windows.Universal"]}},
    "MinimumOSVersion": STRING,
    "InstallerType": {"enum": ["msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix",
                               "burn", "pwa", "portable", "font"]},
    "Scope": {"enum": ["user", "machine"]},
    "InstallModes": {"type": "array",
                     "items": {"enum": ["interactive", "silent", "silentWithProgress"]}},
    "InstallerSwitches": SWITCHES,
    "UpgradeBehavior": {"enum": ["install", "uninstallPrevious", "deny"]},
    "Commands": STRINGS, "Protocols": STRINGS, "FileExtensions": STRINGS,
    "Dependencies": {"type": "object"},
    "PackageFamilyName": STRING, "ProductCode": {"type": "string", "minLength": 1},
    "Capabilities": STRINGS, "RestrictedCapabilities": STRINGS,
    "InstallerAbortsTerminal": {"type": "boolean"},
    "InstallLocationRequired": {"type": "boolean"},
    "RequireExplicitUpgrade": {"type": "boolean"},
    "ElevationRequirement": {"enum": ["elevationRequired", "elevationProhibited",
                                      "elevatesSelf"]},
    "UnsupportedOSArchitectures": STRINGS, "Markets": {"type": "object"},
    "ExcludedMarkets": {"type": "object"},
    "InstallerSuccessCodes": {"type": "array", "items": {"type": "integer"}},
    "ExpectedReturnCodes": {"type": "array"},
    "AppsAndFeaturesEntries": {"type": "array"},
    "UnsupportedArguments": {"type": "array", "items": {"enum": ["log", "location"]}},
    "DisplayInstallWarnings": {"type": "boolean"},
    "ReleaseDate": {"type": "string", "pattern": r"^\d{4}-\d{2}-\d{2}$"},
    "InstallationMetadata": {"type": "object"},
    "DownloadCommandProhibited": {"type": "boolean"},
    "RepairBehavior": {"enum": ["modify", "uninstaller", "installer"]},
    "ArchiveBinariesDependOnPath": {"type": "boolean"},
    "NestedInstallerType": STRING, "NestedInstallerFiles": {"type": "array"},
}
INSTALLER_NODE = {
    "type": "object", "additionalProperties": False,
    "required": ["Architecture", "InstallerUrl", "InstallerSha256"],
    "properties": {**INSTALLER_KEYS,
                   "Architecture": {"enum": ["x86", "x64", "arm", "arm64", "neutral"]},
                   "InstallerUrl": URL, "InstallerSha256": SHA256, "SignatureSha256": SHA256,
                   "Authentication": {"type": "object"}, "MSStoreProductIdentifier": STRING}}

WINGET_RULES = {
    "version": manifest_rule("version", {"DefaultLocale": STRING}, ["DefaultLocale"]),
    "installer": manifest_rule(
        "installer",
        {**INSTALLER_KEYS, "Channel": STRING,
         "Installers": {"type": "array", "minItems": 1, "items": INSTALLER_NODE}},
        ["Installers"]),
    "defaultLocale": manifest_rule(
        "defaultLocale",
        {"PackageLocale": STRING, "Publisher": STRING, "PublisherUrl": URL,
         "PublisherSupportUrl": URL, "PrivacyUrl": URL, "Author": STRING,
         "PackageName": STRING, "PackageUrl": URL, "License": STRING, "LicenseUrl": URL,
         "Copyright": STRING, "CopyrightUrl": URL,
         "ShortDescription": {"type": "string", "minLength": 3, "maxLength": 256},
         "Description": STRING, "Moniker": STRING,
         "Tags": {"type": "array", "maxItems": 16, "items": STRING},
         "Agreements": {"type": "array"}, "Documentations": {"type": "array"},
         "ReleaseNotes": STRING, "ReleaseNotesUrl": URL, "PurchaseUrl": URL,
         "InstallationNotes": STRING},
        ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"]),
}

SCOOP_HASH = {"type": "string", "pattern": "^([a-fA-F0-9]{64}|sha256:[a-fA-F0-9]{64})$"}
STRING_OR_STRINGS = {"anyOf": [STRING, STRINGS]}
SCOOP_ARCHITECTURE = {
    "type": "object", "additionalProperties": False,
    "properties": {key: {} for key in (
        "bin", "checkver", "env_add_path", "env_set", "extract_dir", "installer",
        "post_install", "pre_install", "shortcuts", "uninstaller")} |
    {"url": {"anyOf": [URL, {"type": "array", "items": URL}]},
     "hash": {"anyOf": [SCOOP_HASH, {"type": "array", "items": SCOOP_HASH}]}}}
SCOOP_RULE = {
    "type": "object", "additionalProperties": False,
    "required": ["version", "description", "homepage", "license"],
    "properties": {
        "##": STRING_OR_STRINGS, "version": {"type": "string", "pattern": r"^[\w.\-+_]+$"},
        "description": STRING, "homepage": URL,
        "license": {"anyOf": [STRING, {"type": "object", "required": ["identifier"]}]},
        "notes": STRING_OR_STRINGS, "bin": {"anyOf": [STRING, {"type": "array"}]},
        "shortcuts": {"type": "array", "items": {"type": "array", "minItems": 2,
                                                 "maxItems": 4, "items": STRING}},
        "architecture": {"type": "object", "additionalProperties": False,
                         "properties": {"32bit": SCOOP_ARCHITECTURE,
                                        "64bit": SCOOP_ARCHITECTURE,
                                        "arm64": SCOOP_ARCHITECTURE}},
        "url": {}, "hash": {}, "extract_dir": STRING, "extract_to": STRING,
        "checkver": {"anyOf": [STRING, {"type": "object"}]},
        "autoupdate": {"type": "object"}, "depends": STRING_OR_STRINGS,
        "suggest": {"type": "object"}, "env_add_path": STRING_OR_STRINGS,
        "env_set": {"type": "object"}, "cookie": {"type": "object"},
        "innosetup": {"type": "boolean"}, "psmodule": {"type": "object"},
        "persist": {}, "installer": {}, "uninstaller": {}, "pre_install": {},
        "post_install": {}, "pre_uninstall": {}, "post_uninstall": {}}}
# Allowed by Scoop, refused here: Tavisto keeps nothing beside the program that must
# survive an update, and nothing of ours runs while it is installed.
SCOOP_REFUSED = ("persist", "installer", "uninstaller", "pre_install", "post_install",
                 "pre_uninstall", "post_uninstall")


class Report:
    def __init__(self):
        self.faults = []

    def fault(self, where, message):
        self.faults.append(f"{where}: {message}")

    def expect(self, condition, where, message):
        if not condition:
            self.fault(where, message)

    def validate(self, rule, document, where):
        for error in jsonschema.Draft7Validator(rule).iter_errors(document):
            path = "/".join(str(part) for part in error.absolute_path)
            self.fault(where, f"{path or '(root)'}: {error.message}")


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def product_version(program):
    """The ProductVersion string of a PE file's version resource (UTF-16, after its key
    and the zeros that align it)."""
    key = "ProductVersion\0".encode("utf-16-le")
    start = program.find(key)
    if start < 0:
        return None
    start += len(key)
    while program[start:start + 2] == b"\0\0":
        start += 2
    end = start
    while end < len(program) and program[end:end + 2] != b"\0\0":
        end += 2
    return program[start:end].decode("utf-16-le", errors="replace")


def check_versions(report, setup, portable, version):
    programs = {setup.name: setup.read_bytes()}
    with zipfile.ZipFile(portable) as archive:
        for name in archive.namelist():
            if name.endswith((".exe", ".dll")):
                programs[name] = archive.read(name)
    for name, program in programs.items():
        found = product_version(program)
        report.expect(found == version, name, f"ProductVersion is {found!r}, not {version!r}")


def check_sums(report, dist, files):
    where = "SHA256SUMS"
    lines = (dist / where).read_text(encoding="utf-8").splitlines()
    expected = [f"{sha256(file)}  {file.name}" for file in files]
    report.expect(lines == expected, where, f"lists {lines}, not {expected}")


def check_winget(report, dist, version, setup, url_base):
    folder = dist / "winget" / version
    names = {"version": f"{IDENTIFIER}.yaml", "installer": f"{IDENTIFIER}.installer.yaml",
             "defaultLocale": f"{IDENTIFIER}.locale.en-US.yaml"}
    present = sorted(path.name for path in folder.iterdir()) if folder.is_dir() else []
    report.expect(present == sorted(names.values()), str(folder),
                  f"holds {present}, not the three manifests")
    manifests = {}
    for kind, name in names.items():
        path = folder / name
        if not path.is_file():
            continue
        text = path.read_text(encoding="utf-8")
        schema_line = ("# yaml-language-server: $schema=https://aka.ms/winget-manifest."
                       f"{kind}.{MANIFEST_VERSION}.schema.json")
        comments = [line for line in text.splitlines() if line.startswith("#")]
        report.expect(schema_line in comments, name, f"lacks the header {schema_line!r}")
        try:
            # YAML 1.1 typing, as the client and the repository's validation read it.
            document = yaml.safe_load(text)
        except yaml.YAMLError as error:
            report.fault(name, f"does not parse: {error}")
            continue
        report.validate(WINGET_RULES[kind], document, name)
        manifests[kind] = document if isinstance(document, dict) else {}

    for kind, document in manifests.items():
        report.expect(document.get("PackageIdentifier") == IDENTIFIER, names[kind],
                      f"PackageIdentifier is not {IDENTIFIER}")
        report.expect(document.get("PackageVersion") == version, names[kind],
                      f"PackageVersion is not {version!r}")
    locale = manifests.get("defaultLocale", {}).get("PackageLocale")
    report.expect(manifests.get("version", {}).get("DefaultLocale") == locale, names["version"],
                  "DefaultLocale differs from the default locale file's PackageLocale")

    installer = manifests.get("installer", {})
    nodes = installer.get("Installers") or []
    scopes = {}
    for index, node in enumerate(nodes if isinstance(nodes, list) else []):
        where = f"{names['installer']}: Installers/{index}"
        merged = {**installer, **node}  # root values are every node's default
        switches = {**(installer.get("InstallerSwitches") or {}),
                    **(node.get("InstallerSwitches") or {})}
        report.expect(merged.get("InstallerType") == "nullsoft", where, "is not nullsoft")
        report.expect(merged.get("Architecture") == "x64", where, "is not x64")
        report.expect(str(merged.get("InstallerSha256", "")).upper() == sha256(setup).upper(),
                      where, f"InstallerSha256 is not the SHA-256 of {setup.name}")
        url = str(merged.get("InstallerUrl", ""))
        wanted = (url_base.rstrip("/").replace("{version}", version) + "/" + setup.name
                  if url_base else None)
        report.expect(url.endswith("/" + setup.name) and (wanted is None or url == wanted),
                      where, f"InstallerUrl {url!r} is not {wanted or setup.name}")
        report.expect("/S" in str(switches.get("Silent", "")).split(), where,
                      "Silent does not pass /S")
        report.expect(merged.get("ProductCode"), where, "has no ProductCode")
        scopes[merged.get("Scope")] = str(switches.get("Custom", "")).split()
    report.expect("/ALLUSERS" in scopes.get("machine", []), names["installer"],
                  "no machine installer that passes /ALLUSERS")
    report.expect("/CURRENTUSER" in scopes.get("user", []), names["installer"],
                  "no user installer that passes /CURRENTUSER")


def check_scoop(report, dist, version, portable):
    where = "scoop/tavisto.json"
    try:
        manifest = json.loads((dist / where).read_text(encoding="utf-8"))
    except (OSError, ValueError) as error:
        report.fault(where, f"cannot be read: {error}")
        return
    report.validate(SCOOP_RULE, manifest, where)
    if not isinstance(manifest, dict):
        return
    report.expect(manifest.get("version") == version, where, f"version is not {version!r}")
    for key in SCOOP_REFUSED:
        report.expect(key not in manifest, where, f"{key}: Tavisto needs none")
    download = (manifest.get("architecture") or {}).get("64bit") or {}
    report.expect(str(download.get("url", "")).endswith("/" + portable.name), where,
                  f"the 64-bit url does not name {portable.name}")
    report.expect(str(download.get("hash", "")).lower().removeprefix("sha256:") ==
                  sha256(portable), where, f"the 64-bit hash is not that of {portable.name}")
    for key in ("checkver", "autoupdate"):
        report.expect(key in manifest, where, f"has no {key}")
    autoupdate = json.dumps(manifest.get("autoupdate", {}))
    report.expect("$version" in autoupdate, where, "autoupdate's url has no $version")

    # What the manifest names must be in the archive, under extract_dir.
    with zipfile.ZipFile(portable) as archive:
        members = set(archive.namelist())
    folder = manifest.get("extract_dir", "")
    bins = manifest.get("bin", [])
    programs = [bins] if isinstance(bins, str) else [entry if isinstance(entry, str)
                                                     else entry[0] for entry in bins]
    programs += [shortcut[0] for shortcut in manifest.get("shortcuts", [])]
    for program in programs:
        report.expect(f"{folder}/{program}" in members, where,
                      f"{program} is not in {portable.name} under {folder!r}")


def check_changelog(report, changelog, version):
    versions = re.findall(r"^## \[([^\]]+)\]", changelog.read_text(encoding="utf-8"),
                          re.MULTILINE)
    report.expect(versions[:1] == [version], "CHANGELOG.md",
                  f"starts with {versions[:1]}, not this version {version}")


def check_release(dist, version, url_base=None, changelog=None):
    report = Report()
    setup = dist / f"Tavisto-{version}-setup.exe"
    portable = dist / f"Tavisto-{version}-portable.zip"
    for package in (setup, portable):
        if not package.is_file():
            report.fault(str(package), "is missing")
            return report.faults
    check_versions(report, setup, portable, version)
    check_sums(report, dist, [setup, portable])
    check_winget(report, dist, version, setup, url_base)
    check_scoop(report, dist, version, portable)
    if changelog:
        check_changelog(report, changelog, version)
    return report.faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dist", type=pathlib.Path)
    parser.add_argument("version")
    parser.add_argument("--url-base")
    arguments = parser.parse_args()
    changelog = pathlib.Path(__file__).resolve().parents[2] / "CHANGELOG.md"
    faults = check_release(arguments.dist, arguments.version, arguments.url_base, changelog)
    for fault in faults:
        print(f"check_release: {fault}")
    if not faults:
        print(f"check_release: {arguments.dist}: packages, checksums and manifests agree")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
