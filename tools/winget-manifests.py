#!/usr/bin/env python3
"""Writes the WinGet manifest set (version, installer, default locale; format 1.10.0) of a release
whose two Windows Installer packages lie under one address.

  winget-manifests.py <version> <release url> <folder to write> <release date YYYY-MM-DD>
                      x64=<msi>=<product code> x86=<msi>=<product code>
"""
import hashlib
import os
import sys

import yaml

IDENTIFIER = "MorvexSoft.MorvexDisabler"
MANIFEST_VERSION = "1.10.0"
UPGRADE_CODE = "{1853E6E0-859D-4091-92F4-55F18E60D665}"
PUBLISHER = "Morvex Softwares"
PUBLISHER_URL = "http://www.morvexsoft.com/"


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest().upper()


def installer(arch, msi, product_code, release_url, version):
    return {
        "Architecture": arch,
        "InstallerUrl": f"{release_url}/{os.path.basename(msi)}",
        "InstallerSha256": sha256(msi),
        "ProductCode": product_code,
        "AppsAndFeaturesEntries": [{
            "DisplayName": "Morvex Disabler",
            "Publisher": PUBLISHER,
            "DisplayVersion": version,
            "ProductCode": product_code,
            "UpgradeCode": UPGRADE_CODE,
        }],
    }


def manifests(version, release_url, date, packages):
    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    return {
        "version": {**head, "DefaultLocale": "en-US", "ManifestType": "version", **tail},
        "installer": {
            **head,
            # Windows 7, as the packages' launch condition.
            "MinimumOSVersion": "6.1.7600.0",
            "InstallerType": "wix",
            "Scope": "machine",
            # The package's own major upgrade replaces the installed version in place.
            "UpgradeBehavior": "install",
            "Commands": ["MorvexDisabler"],
            "ReleaseDate": date,
            "Installers": [installer(arch, msi, code, release_url, version) for arch, msi, code in packages],
            "ManifestType": "installer", **tail,
        },
        "locale.en-US": {
            **head,
            "PackageLocale": "en-US",
            "Publisher": PUBLISHER,
            "PublisherUrl": PUBLISHER_URL,
            "PackageName": "Morvex Disabler",
            "PackageUrl": PUBLISHER_URL,
            "License": "Proprietary",
            "ShortDescription": "Switches off the Windows keys, Caps Lock and Left Ctrl for all users of a computer.",
            "Description": ("Stores the keyboard layout's \"Scancode Map\" so that the Left and Right Windows keys, "
                            "Caps Lock and Left Ctrl do nothing after the next restart, keeping other tools' "
                            "mappings. A dialog for the desktop and a command line (MorvexDisabler /status, "
                            "/disable, /enable) for scripts and deployment tools."),
            "Moniker": "morvexdisabler",
            "Tags": ["keyboard", "windows-key", "caps-lock", "scancode-map", "administration"],
            "ReleaseNotesUrl": release_url,
            "ManifestType": "defaultLocale", **tail,
        },
    }


def main(argv):
    if len(argv) != 7:
        sys.exit(__doc__)
    version, release_url, folder, date = argv[1:5]
    release_url = release_url.rstrip("/")
    if not release_url.lower().startswith(("https://", "http://")):
        sys.exit(f"winget-manifests.py: RELEASE_URL must be an http or https address: {release_url}")
    packages = []
    for argument in argv[5:]:
        arch, rest = argument.split("=", 1)
        msi, code = rest.rsplit("=", 1)
        packages.append((arch, msi, code))
    os.makedirs(folder, exist_ok=True)
    for kind, manifest in manifests(version, release_url, date, packages).items():
        schema = manifest["ManifestType"]
        name = f"{IDENTIFIER}.yaml" if kind == "version" else f"{IDENTIFIER}.{kind}.yaml"
        with open(os.path.join(folder, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{schema}.{MANIFEST_VERSION}.schema.json\n")
            yaml.safe_dump(manifest, f, sort_keys=False, allow_unicode=True, width=1000)
        print(os.path.join(folder, name))


if __name__ == "__main__":
    main(sys.argv)
