#!/usr/bin/env python3
"""Writes the winget manifest of a Hearthpad release (schema 1.6.0).

    scripts/winget-manifest.py --installer FILE --out DIR

FILE is the release's installer, hearthpad-<version>-setup.exe; <version> is
the repository's VERSION file. DIR (made if missing) receives three files:

    Hearthpad.Hearthpad.yaml                  the version manifest
    Hearthpad.Hearthpad.installer.yaml        where the installer is, its
                                              SHA-256 and how to run it
    Hearthpad.Hearthpad.locale.en-US.yaml     names and descriptions

The download link is https://<update host>/download/hearthpad-<version>-setup.exe,
where <update host> is kUpdateHost in src/update/manifest.h, the one host the
program's update check trusts, so the two can never point at different
servers. The output depends only on VERSION, that header and the installer's
bytes: no dates. The last line printed is DIR. Only the Python standard
library is used.
"""
import argparse
import hashlib
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
IDENTIFIER = "Hearthpad.Hearthpad"
MANIFEST_VERSION = "1.6.0"
SCHEMA = "https://aka.ms/winget-manifest.{}.1.6.0.schema.json"

# What the installer must match: it installs for all users under Program
# Files (so it asks for elevation itself), runs silently with /S, and keeps
# its uninstall entry under the key "Hearthpad".
INSTALLER = {
    "InstallerType": "nullsoft",
    "Scope": "machine",
    "InstallerSwitches": {"Silent": "/S", "SilentWithProgress": "/S"},
    "UpgradeBehavior": "install",
    "ElevationRequirement": "elevatesSelf",
    "ProductCode": "Hearthpad",
    # The installer's exit codes other than 0 (packaging/windows/hearthpad.nsi),
    # so winget tells its user what happened: 1 the user cancelled (NSIS), 2
    # a running Hearthpad (perhaps another user's) could not be closed, 3 the
    # install folder could not be made writable by administrators only.
    "ExpectedReturnCodes": [
        {"InstallerReturnCode": 1, "ReturnResponse": "cancelledByUser"},
        {"InstallerReturnCode": 2, "ReturnResponse": "packageInUse"},
        {"InstallerReturnCode": 3, "ReturnResponse": "custom"},
    ],
    # 64-bit Windows 10 or 11 (docs/README-Windows.txt); the program loads
    # whatever came later (DnsServiceRegister, SetThreadDescription, per-monitor
    # DPI) only where present, so the first Windows 10 release is the floor.
    "MinimumOSVersion": "10.0.10240.0",
}

LOCALE = {
    "Publisher": "Hearthpad",
    "PackageName": "Hearthpad",
    "PackageUrl": "https://hearthpad.app",
    "License": "MIT",
    "ShortDescription": "Lets paired phones control the PC over the network: mouse, keys and shortcuts, "
    "typed text, clipboard, media keys, brightness, lock, Ctrl+Alt+Del, and a gamepad.",
    "Moniker": "hearthpad",
    "Tags": ["remote-control", "mouse", "keyboard", "gamepad", "clipboard", "phone", "tailscale"],
}


class Failure(Exception):
    pass


def read_version():
    try:
        with open(os.path.join(ROOT, "VERSION"), encoding="utf-8") as f:
            version = "".join(f.read().split())
    except OSError as e:
        raise Failure(f"cannot read VERSION: {e.strerror}")
    if not re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", version):
        raise Failure(f'VERSION must hold major.minor.patch, not "{version}"')
    return version


def read_update_host():
    path = os.path.join(ROOT, "src", "update", "manifest.h")
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except OSError as e:
        raise Failure(f"cannot read {path}: {e.strerror}")
    found = re.findall(r'\bkUpdateHost\s*=\s*"([^"\\]*)"', text)
    if len(found) != 1:
        raise Failure(f"{path}: expected one definition of kUpdateHost, found {len(found)}")
    host = found[0]
    if not re.fullmatch(r"[a-z0-9]([a-z0-9-]*[a-z0-9])?(\.[a-z0-9]([a-z0-9-]*[a-z0-9])?)+", host):
        raise Failure(f'{path}: kUpdateHost "{host}" is not a host name')
    return host


def sha256_upper(path):
    digest = hashlib.sha256()
    try:
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
    except OSError as e:
        raise Failure(f"cannot read the installer {path}: {e.strerror}")
    return digest.hexdigest().upper()


# YAML 1.1 reads these plain words as booleans or null, and digits as numbers.
_RESERVED = re.compile(r"(?i)(y|n|yes|no|true|false|on|off|null|~|[-+]?[0-9][0-9_.:eE+-]*|\.inf|\.nan)")
_PLAIN = re.compile(r"[A-Za-z0-9/][A-Za-z0-9 ._/:+()&,'-]*")


def scalar(value):
    """A string as YAML: plain where that reads back as the same string,
    double-quoted otherwise; an integer as its digits."""
    if isinstance(value, int) and not isinstance(value, bool):
        return str(value)
    if (_PLAIN.fullmatch(value) and not _RESERVED.fullmatch(value) and ": " not in value
            and not value.endswith((" ", ":"))):
        return value
    escaped = value.replace("\\", "\\\\").replace('"', '\\"')
    return f'"{escaped}"'


def emit(mapping, indent=""):
    lines = []
    for key, value in mapping.items():
        if isinstance(value, dict):
            lines.append(f"{indent}{key}:")
            lines += emit(value, indent + "  ")
        elif isinstance(value, list):
            lines.append(f"{indent}{key}:")
            for item in value:
                if isinstance(item, dict):
                    inner = emit(item, indent + "  ")
                    inner[0] = f"{indent}- {inner[0][len(indent) + 2:]}"
                    lines += inner
                else:
                    lines.append(f"{indent}- {scalar(item)}")
        else:
            lines.append(f"{indent}{key}: {scalar(value)}")
    return lines


def write(out_dir, name, schema_type, mapping):
    text = "\n".join([f"# yaml-language-server: $schema={SCHEMA.format(schema_type)}", ""] + emit(mapping)) + "\n"
    path = os.path.join(out_dir, name)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return path


def main(argv):
    parser = argparse.ArgumentParser(description="Writes the winget manifest of a Hearthpad release.")
    parser.add_argument("--installer", required=True, help="hearthpad-<version>-setup.exe")
    parser.add_argument("--out", required=True, help="folder for the three manifest files")
    args = parser.parse_args(argv)
    try:
        version = read_version()
        host = read_update_host()
        file_name = f"hearthpad-{version}-setup.exe"
        # The link names the file by the version: a hash of any other file
        # would describe something the link never serves.
        if os.path.basename(args.installer) != file_name:
            raise Failure(f"the installer of version {version} is {file_name}, not {os.path.basename(args.installer)}")
        sha256 = sha256_upper(args.installer)
        os.makedirs(args.out, exist_ok=True)
    except (Failure, OSError) as e:
        print(f"error: {e}", file=sys.stderr)
        return 1

    head = {"PackageIdentifier": IDENTIFIER, "PackageVersion": version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    write(args.out, f"{IDENTIFIER}.yaml", "version",
          {**head, "DefaultLocale": "en-US", "ManifestType": "version", **tail})
    write(args.out, f"{IDENTIFIER}.installer.yaml", "installer",
          {**head, **INSTALLER,
           "Installers": [{"Architecture": "x64",
                           "InstallerUrl": f"https://{host}/download/{file_name}",
                           "InstallerSha256": sha256}],
           "ManifestType": "installer", **tail})
    write(args.out, f"{IDENTIFIER}.locale.en-US.yaml", "defaultLocale",
          {**head, "PackageLocale": "en-US", **LOCALE, "ManifestType": "defaultLocale", **tail})
    print(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
