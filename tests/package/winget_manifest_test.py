#!/usr/bin/python3
"""scripts/winget-manifest.py: the three files parse as YAML with the fields
winget needs, the hash is the installer's, the download host is the update
check's own (kUpdateHost, read here from src/update/manifest.h independently
of the script) and the output is the same on every run. A copy of the script
beside another VERSION and header follows them; bad input is refused.

Debian's interpreter, where python3-yaml lives.

    tests/package/winget_manifest_test.py
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from urllib.parse import urlsplit

import yaml

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join("scripts", "winget-manifest.py")
ID = "Hearthpad.Hearthpad"
FILES = {  # file name: (schema type, ManifestType)
    f"{ID}.yaml": ("version", "version"),
    f"{ID}.installer.yaml": ("installer", "installer"),
    f"{ID}.locale.en-US.yaml": ("defaultLocale", "defaultLocale"),
}


def header_host(root):
    """kUpdateHost as the C++ header defines it, read line by line."""
    with open(os.path.join(root, "src", "update", "manifest.h"), encoding="utf-8") as f:
        for line in f:
            if "kUpdateHost" in line and "=" in line:
                return line.split("=", 1)[1].strip().rstrip(";").strip().strip('"')
    raise AssertionError("no kUpdateHost in src/update/manifest.h")


def run(root, installer, out):
    return subprocess.run([sys.executable, os.path.join(root, SCRIPT), "--installer", installer, "--out", out],
                          capture_output=True, text=True, cwd=tempfile.gettempdir())


class WingetManifest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="hp-winget-test.")
        self.addCleanup(shutil.rmtree, self.tmp)

    def installer(self, version, content=b"MZ stand-in for the installer\x00\xff" * 50):
        path = os.path.join(self.tmp, f"hearthpad-{version}-setup.exe")
        with open(path, "wb") as f:
            f.write(content)
        return path, hashlib.sha256(content).hexdigest().upper()

    def generate(self, root, installer, out_name="out"):
        out = os.path.join(self.tmp, out_name)
        result = run(root, installer, out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines()[-1], out)
        self.assertEqual(sorted(os.listdir(out)), sorted(FILES))
        docs = {}
        for name, (schema, manifest_type) in FILES.items():
            with open(os.path.join(out, name), encoding="utf-8") as f:
                text = f.read()
            self.assertEqual(text.splitlines()[0],
                             f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{schema}.1.6.0.schema.json")
            doc = yaml.safe_load(text)
            self.assertEqual(doc["ManifestType"], manifest_type, name)
            self.assertEqual(doc["ManifestVersion"], "1.6.0", name)
            self.assertEqual(doc["PackageIdentifier"], ID, name)
            docs[manifest_type] = doc
        return out, docs

    def test_release_manifest(self):
        with open(os.path.join(ROOT, "VERSION"), encoding="utf-8") as f:
            version = f.read().strip()
        installer, sha256 = self.installer(version)
        out, docs = self.generate(ROOT, installer)

        for doc in docs.values():
            self.assertEqual(doc["PackageVersion"], version)
        self.assertEqual(set(docs["version"]),
                         {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"})
        self.assertEqual(docs["version"]["DefaultLocale"], "en-US")

        inst = docs["installer"]
        self.assertEqual(len(inst["Installers"]), 1)
        entry = {**{k: v for k, v in inst.items() if k != "Installers"}, **inst["Installers"][0]}
        self.assertEqual(entry["InstallerType"], "nullsoft")
        self.assertEqual(entry["Scope"], "machine")
        self.assertEqual(entry["Architecture"], "x64")
        self.assertEqual(entry["InstallerSwitches"], {"Silent": "/S", "SilentWithProgress": "/S"})
        self.assertEqual(entry["ProductCode"], "Hearthpad")
        self.assertEqual(entry["UpgradeBehavior"], "install")
        self.assertEqual(entry["ElevationRequirement"], "elevatesSelf")
        self.assertRegex(entry["MinimumOSVersion"], r"^10\.0\.[0-9]+\.0$")
        # The installer's own exit codes (packaging/windows/hearthpad.nsi),
        # as integers with responses the 1.6.0 schema knows.
        self.assertEqual(entry["ExpectedReturnCodes"], [
            {"InstallerReturnCode": 1, "ReturnResponse": "cancelledByUser"},
            {"InstallerReturnCode": 2, "ReturnResponse": "packageInUse"},
            {"InstallerReturnCode": 3, "ReturnResponse": "custom"},
        ])
        nsi = open(os.path.join(ROOT, "packaging", "windows", "hearthpad.nsi"), encoding="utf-8").read()
        for code, name in ((2, "EXIT_HOST_STILL_RUNNING"), (3, "EXIT_FOLDER_NOT_PROTECTED")):
            self.assertRegex(nsi, rf"!define {name} {code}\b")
        self.assertEqual(entry["InstallerSha256"], sha256)
        url = urlsplit(entry["InstallerUrl"])
        self.assertEqual(url.scheme, "https")
        self.assertEqual(url.netloc, header_host(ROOT))
        self.assertEqual(url.path, f"/download/hearthpad-{version}-setup.exe")
        self.assertEqual((url.query, url.fragment), ("", ""))

        locale = docs["defaultLocale"]
        self.assertEqual(locale["PackageLocale"], "en-US")
        self.assertEqual(locale["Publisher"], "Hearthpad")
        self.assertEqual(locale["PackageName"], "Hearthpad")
        self.assertEqual(locale["Moniker"], "hearthpad")
        with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as f:
            self.assertEqual(f.readline().split()[0], locale["License"])  # "MIT License"
        self.assertIsInstance(locale["ShortDescription"], str)
        self.assertTrue(0 < len(locale["ShortDescription"]) <= 256 and "\n" not in locale["ShortDescription"])
        self.assertTrue(locale["Tags"])
        for tag in locale["Tags"]:
            self.assertRegex(tag, r"^[a-z0-9-]{1,40}$")

        # The same input gives the same bytes.
        again, _ = self.generate(ROOT, installer, "again")
        for name in FILES:
            with open(os.path.join(out, name), "rb") as a, open(os.path.join(again, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)

    def copy_tree(self, version, header):
        root = os.path.join(self.tmp, "tree")
        os.makedirs(os.path.join(root, "scripts"))
        os.makedirs(os.path.join(root, "src", "update"))
        shutil.copy(os.path.join(ROOT, SCRIPT), os.path.join(root, SCRIPT))
        with open(os.path.join(root, "VERSION"), "w", encoding="utf-8") as f:
            f.write(version + "\n")
        with open(os.path.join(root, "src", "update", "manifest.h"), "w", encoding="utf-8") as f:
            f.write(header)
        return root

    def test_follows_version_and_header(self):
        with open(os.path.join(ROOT, "src", "update", "manifest.h"), encoding="utf-8") as f:
            header = f.read()
        header = re.sub(r'(kUpdateHost\s*=\s*)"[^"]*"', r'\1"dl.example.test"', header)
        root = self.copy_tree("3.4.5", header)
        installer, sha256 = self.installer("3.4.5", b"another installer")
        _, docs = self.generate(root, installer)
        entry = docs["installer"]["Installers"][0]
        self.assertEqual(entry["InstallerUrl"], "https://dl.example.test/download/hearthpad-3.4.5-setup.exe")
        self.assertEqual(entry["InstallerSha256"], sha256)
        self.assertEqual(docs["version"]["PackageVersion"], "3.4.5")

    def test_refused(self):
        good_header = 'inline constexpr std::string_view kUpdateHost = "updates.example.test";\n'
        cases = [  # name, VERSION, header, installer file written (or None), installer argument
            ("installer of another version", "1.2.3", good_header, "hearthpad-1.2.4-setup.exe", None),
            ("installer missing", "1.2.3", good_header, None, "hearthpad-1.2.3-setup.exe"),
            ("no kUpdateHost", "1.2.3", "// nothing here\n", "hearthpad-1.2.3-setup.exe", None),
            ("two kUpdateHost", "1.2.3", good_header * 2, "hearthpad-1.2.3-setup.exe", None),
            ("host with a path", "1.2.3", good_header.replace(".test", ".test/x"), "hearthpad-1.2.3-setup.exe", None),
            ("VERSION not major.minor.patch", "1.2", good_header, "hearthpad-1.2-setup.exe", None),
        ]
        for i, (name, version, header, written, argument) in enumerate(cases):
            with self.subTest(name):
                shutil.rmtree(os.path.join(self.tmp, "tree"), ignore_errors=True)
                root = self.copy_tree(version, header)
                if written:
                    with open(os.path.join(self.tmp, written), "wb") as f:
                        f.write(b"x")
                out = os.path.join(self.tmp, f"refused-{i}")
                result = run(root, os.path.join(self.tmp, argument or written), out)
                self.assertNotEqual(result.returncode, 0)
                self.assertTrue(result.stderr.startswith("error: "), result.stderr)
                self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main()
