#!/usr/bin/env python3
"""The WinGet manifests of a release: packed with RELEASE_URL, the three files must validate against
the 1.10.0 schemas, and each installer must point under RELEASE_URL at its package, with the
package's SHA-256 and the product code the package itself holds. Without RELEASE_URL there are no
manifests, and an address that is not http(s) stops the packing.

  winget-manifest-test.py <source dir> <dist root>
"""
import glob
import json
import hashlib
import os
import subprocess
import sys
import tempfile

import jsonschema
import yaml

HERE = os.path.dirname(os.path.abspath(__file__))
SCHEMAS = os.path.join(HERE, "winget-schemas-1.10.0")
RELEASE_URL = "https://downloads.example.com/morvexdisabler/v{version}"
# The manifest files, and the schema each one is held to.
MANIFESTS = {
    "MorvexSoft.MorvexDisabler.yaml": "manifest.version.1.10.0.json",
    "MorvexSoft.MorvexDisabler.installer.yaml": "manifest.installer.1.10.0.json",
    "MorvexSoft.MorvexDisabler.locale.en-US.yaml": "manifest.defaultLocale.1.10.0.json",
}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}", file=sys.stderr)


def pack(src, dist, out, release_url):
    env = {k: v for k, v in os.environ.items()
           if k not in ("SIGN_PFX", "SIGN_PASSWORD_FILE", "SIGN_TIMESTAMP_URL", "RELEASE_URL")}
    env["SOURCE_DATE_EPOCH"] = "1262304000"
    if release_url is not None:
        env["RELEASE_URL"] = release_url
    return subprocess.run([os.path.join(src, "tools", "package-dist.sh"), dist, os.path.join(out, "MorvexDisabler.zip")],
                          env=env, capture_output=True, text=True)


def product_code(msi):
    rows = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, text=True, check=True).stdout
    return dict(line.rstrip("\r").split("\t", 1) for line in rows.splitlines()[3:])["ProductCode"]


def main(src, dist):
    version = subprocess.run(["sed", "-n", r"s/^project(MorvexDisabler VERSION \([0-9.]*\).*/\1/p",
                              os.path.join(src, "CMakeLists.txt")], capture_output=True, text=True).stdout.strip()
    release_url = RELEASE_URL.format(version=version)
    with tempfile.TemporaryDirectory(prefix="morvex-winget-test.") as work:
        for name, url in (("without", None), ("bad", "ftp://example.com/v1")):
            out = os.path.join(work, name)
            result = pack(src, dist, out, url)
            check((result.returncode == 0) == (url is None), f"packing with RELEASE_URL={url} exited with {result.returncode}")
            check(not os.path.exists(os.path.join(out, "winget")), f"packing with RELEASE_URL={url} wrote manifests")

        out = os.path.join(work, "release")
        result = pack(src, dist, out, release_url + "/")
        if result.returncode != 0:
            sys.exit(f"FAIL: packing with RELEASE_URL failed:\n{result.stderr}")
        written = sorted(os.path.basename(p) for p in glob.glob(os.path.join(out, "winget", "*")))
        check(written == sorted(MANIFESTS), f"the manifests written are {written}")

        manifests = {}
        for name, schema_name in MANIFESTS.items():
            with open(os.path.join(out, "winget", name), encoding="utf-8") as f:
                text = f.read()
            check(text.startswith(f"# yaml-language-server: $schema=https://aka.ms/winget-manifest."), f"{name} names no schema")
            manifest = manifests[name] = yaml.safe_load(text)
            with open(os.path.join(SCHEMAS, schema_name), encoding="utf-8") as f:
                schema = json.load(f)
            for error in jsonschema.Draft7Validator(schema, format_checker=jsonschema.FormatChecker()).iter_errors(manifest):
                check(False, f"{name}: {'/'.join(map(str, error.absolute_path))}: {error.message}")
            check(manifest["PackageIdentifier"] == "MorvexSoft.MorvexDisabler" and manifest["PackageVersion"] == version,
                  f"{name} is not of MorvexSoft.MorvexDisabler {version}")

        installer = manifests["MorvexSoft.MorvexDisabler.installer.yaml"]
        for key, value in (("InstallerType", "wix"), ("Scope", "machine"), ("UpgradeBehavior", "install"),
                           ("Commands", ["MorvexDisabler"])):
            check(installer.get(key) == value, f"installer manifest: {key} is {installer.get(key)!r}, not {value!r}")
        check(sorted(i["Architecture"] for i in installer["Installers"]) == ["x64", "x86"],
              "the installers are not one per architecture")
        for entry in installer["Installers"]:
            msi_name = f"MorvexDisabler-{version}-{entry['Architecture']}.msi"
            msi = os.path.join(out, msi_name)
            with open(msi, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            check(entry["InstallerUrl"] == f"{release_url}/{msi_name}", f"{msi_name}: InstallerUrl is {entry['InstallerUrl']}")
            check(entry["InstallerSha256"].lower() == digest, f"{msi_name}: InstallerSha256 is not the package's")
            code = product_code(msi)
            check(entry["ProductCode"] == code, f"{msi_name}: ProductCode {entry['ProductCode']} is not the package's {code}")
            check([e.get("ProductCode") for e in entry.get("AppsAndFeaturesEntries", [])] == [code],
                  f"{msi_name}: the Add/Remove Programs entry names another product code")

        locale = manifests["MorvexSoft.MorvexDisabler.locale.en-US.yaml"]
        for key in ("Publisher", "License", "ShortDescription", "Tags", "ReleaseNotesUrl"):
            check(bool(locale.get(key)), f"default locale: no {key}")
        check(manifests["MorvexSoft.MorvexDisabler.yaml"]["DefaultLocale"] == locale["PackageLocale"],
              "the version manifest's default locale is not the locale manifest's")

    if not failures:
        print("the WinGet manifests validate against the 1.10.0 schemas and describe the packages")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
