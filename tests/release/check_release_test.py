#!/usr/bin/env python3
"""The release checks find the faults a manifest can ship with: manifests made by
scripts/package-manifests for stand-in packages pass, and each damaged copy fails with
the fault named."""

import pathlib
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from check_release import check_release  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
VERSION = "0.1.0"
URL_BASE = "https://downloads.example.org/tavisto/v{version}"
INSTALLER = f"winget/{VERSION}/Tavisto.Tavisto.installer.yaml"
LOCALE = f"winget/{VERSION}/Tavisto.Tavisto.locale.en-US.yaml"
SCOOP = "scoop/tavisto.json"

# (file, text, replacement, a part of the fault expected)
DAMAGES = [
    (INSTALLER, "ReleaseDate: '2026-12-08'", "ReleaseDate: 2026-12-08", "is not of type"),
    (INSTALLER, "ManifestVersion: '1.12.0'", "ManifestVersion: '1.10.0'", "1.12.0"),
    (INSTALLER, "InstallerType: 'nullsoft'", "InstallerType: 'nsis'", "is not one of"),
    (INSTALLER, "Scope: 'user'", "Scope: 'system'", "is not one of"),
    (INSTALLER, "Custom: '/CURRENTUSER'", "Custom: '/USER'", "passes /CURRENTUSER"),
    (INSTALLER, "InstallerSha256: '", "InstallerSha256: '0", "does not match"),
    (INSTALLER, "https://downloads.example.org", "https://elsewhere.example.org",
     "InstallerUrl"),
    (INSTALLER, "# yaml-language-server", "# yaml-server", "lacks the header"),
    (LOCALE, "License: 'Proprietary'\n", "", "'License' is a required property"),
    (LOCALE, "PackageVersion: '0.1.0'", "PackageVersion: '0.1.1'", "PackageVersion"),
    (SCOOP, '"extract_dir": "Tavisto-0.1.0"', '"extract_dir": "Tavisto"', "is not in"),
    (SCOOP, '"bin":', '"persist": "TavistoConfig.json", "bin":', "persist"),
    (SCOOP, '"hash": "', '"hash": "0', "hash"),
    ("SHA256SUMS", "  Tavisto", " *Tavisto", "SHA256SUMS"),
    # The setup program of another version: the version, UTF-16, in its resource.
    (f"Tavisto-{VERSION}-setup.exe", "\0".join(VERSION), "\0".join("0.2.0"),
     "ProductVersion is '0.2.0'"),
]
# What a version resource holds: the key, zeros up to a 32-bit boundary, the value.
VERSION_RESOURCE = ("ProductVersion\0\0" + VERSION + "\0").encode("utf-16-le")


def make_release(dist):
    """Stand-in packages with the real generator's manifests and checksum file."""
    dist.mkdir()
    (dist / f"Tavisto-{VERSION}-setup.exe").write_bytes(b"MZ setup" + VERSION_RESOURCE)
    with zipfile.ZipFile(dist / f"Tavisto-{VERSION}-portable.zip", "w") as archive:
        for name in ("Tavisto.dll", "Tavisto.exe", "tavisto-check.exe"):
            archive.writestr(f"Tavisto-{VERSION}/{name}", b"MZ" + VERSION_RESOURCE)
    subprocess.run(["sha256sum", f"Tavisto-{VERSION}-setup.exe",
                    f"Tavisto-{VERSION}-portable.zip"], cwd=dist, check=True,
                   stdout=(dist / "SHA256SUMS").open("w"))
    subprocess.run([str(ROOT / "scripts" / "package-manifests"), "--version", VERSION,
                    "--date", "2026-12-08", "--url-base", URL_BASE,
                    "--homepage", "https://example.org/tavisto", str(dist)], check=True)


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        good = pathlib.Path(folder) / "good"
        make_release(good)
        faults = check_release(good, VERSION, URL_BASE)
        if faults:
            print(f"FAIL: the generated release is refused: {faults}")
            failures += 1
        for index, (name, text, replacement, expected) in enumerate(DAMAGES):
            damaged = pathlib.Path(folder) / f"damaged-{index}"
            shutil.copytree(good, damaged)
            path = damaged / name
            original = path.read_text(encoding="utf-8")
            if text not in original:
                print(f"FAIL: {name} has no {text!r} to damage")
                failures += 1
                continue
            path.write_text(original.replace(text, replacement, 1), encoding="utf-8")
            faults = check_release(damaged, VERSION, URL_BASE)
            if not any(expected in fault for fault in faults):
                print(f"FAIL: {name} with {replacement!r}: expected a fault with "
                      f"{expected!r}, got {faults}")
                failures += 1
    if failures == 0:
        print(f"check_release_test: all {len(DAMAGES) + 1} cases passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
