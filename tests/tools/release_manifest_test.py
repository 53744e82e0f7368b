#!/usr/bin/python3
"""scripts/tools/release-manifest as a release uses it: one platform's entry
signed over the platform line, merged into a given manifest with the other
platform's entry kept, and files of the wrong kind refused.

    release_manifest_test.py SOURCE_DIR
"""
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = os.path.join(sys.argv.pop(1), "scripts", "tools", "release-manifest")

ELF = b"\x7fELF\x02\x01\x01" + b"\0" * 9 + struct.pack("<HH", 3, 62) + b"\0" * 44
PE = (b"MZ" + b"\0" * 58 + struct.pack("<I", 0x40) + b"PE\0\0" + struct.pack("<H", 0x8664)
      + b"\0" * 18 + struct.pack("<H", 0x20B))


def der_integer(value):
    body = value.to_bytes((value.bit_length() + 8) // 8 or 1, "big")
    return b"\x02" + bytes([len(body)]) + body


def der_signature(hex_pair):
    r, s = int(hex_pair[:64], 16), int(hex_pair[64:], 16)
    body = der_integer(r) + der_integer(s)
    return b"\x30" + bytes([len(body)]) + body


class ReleaseManifest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.key = self.path("key.pem")
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout",
                        "-out", self.key], check=True, capture_output=True)
        subprocess.run(["openssl", "pkey", "-in", self.key, "-pubout", "-out", self.path("public.pem")],
                       check=True, capture_output=True)
        self.write("linux.bin", ELF + b"linux build")
        self.write("windows.bin", PE + b"windows build")
        self.write("script.sh", b"#!/bin/sh\necho owned\n")

    def tearDown(self):
        shutil.rmtree(self.dir)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def run_tool(self, platform, file, into=None, extra=()):
        command = [TOOL, "--platform", platform, *extra]
        if into:
            command += ["--into", into]
        command += [self.key, "1.6.0", "https://example.org/" + file, self.path(file),
                    self.path("public.pem")]
        return subprocess.run(command, capture_output=True)

    def verifies(self, platform, entry):
        text = ("TessavinServer\n%s\n%s\n%s\n" % (platform, entry["version"], entry["sha256"])).encode()
        self.write("text", text)
        self.write("signature.der", der_signature(entry["signature"]))
        return subprocess.run(["openssl", "dgst", "-sha256", "-verify", self.path("public.pem"),
                               "-signature", self.path("signature.der"), self.path("text")],
                              capture_output=True).returncode == 0

    def test_each_platform_signs_its_own_entry_over_its_own_line(self):
        for platform, file, name, other in [
                ("windows-x86_64", "windows.bin", "tessavin-server", "linux-x86_64"),
                ("linux-x86_64", "linux.bin", "tessavin-server-linux-x86_64", "windows-x86_64")]:
            result = self.run_tool(platform, file)
            self.assertEqual(result.returncode, 0, result.stderr)
            manifest = json.loads(result.stdout)
            self.assertEqual(list(manifest), [name])
            entry = manifest[name]
            with open(self.path(file), "rb") as f:
                self.assertEqual(entry["sha256"], hashlib.sha256(f.read()).hexdigest())
            self.assertTrue(self.verifies(platform, entry))
            self.assertFalse(self.verifies(other, entry))

    def test_merging_replaces_only_this_platforms_entry(self):
        published = {"tessavin-server": {"version": "1.5.0", "url": "u", "sha256": "00", "signature": "11"},
                     "tessavin-server-linux-x86_64": {"version": "1.4.0"},
                     "something-else": [1, 2]}
        self.write("published.json", json.dumps(published).encode())
        result = self.run_tool("linux-x86_64", "linux.bin", into=self.path("published.json"))
        self.assertEqual(result.returncode, 0, result.stderr)
        merged = json.loads(result.stdout)
        self.assertEqual(merged["tessavin-server"], published["tessavin-server"])
        self.assertEqual(merged["something-else"], [1, 2])
        self.assertEqual(merged["tessavin-server-linux-x86_64"]["version"], "1.6.0")
        # And the exe's run on top of that keeps the new Linux entry.
        self.write("merged.json", result.stdout)
        again = self.run_tool("windows-x86_64", "windows.bin", into=self.path("merged.json"))
        self.assertEqual(again.returncode, 0, again.stderr)
        both = json.loads(again.stdout)
        self.assertEqual(both["tessavin-server-linux-x86_64"], merged["tessavin-server-linux-x86_64"])
        self.assertTrue(self.verifies("windows-x86_64", both["tessavin-server"]))

    def test_a_file_of_the_wrong_kind_is_refused(self):
        for platform, file in [("windows-x86_64", "linux.bin"), ("linux-x86_64", "windows.bin"),
                               ("linux-x86_64", "script.sh"), ("windows-x86_64", "script.sh")]:
            result = self.run_tool(platform, file)
            self.assertEqual(result.returncode, 1, (platform, file))
            self.assertEqual(result.stdout, b"", (platform, file))
            self.assertIn(b"is not a " + platform.encode(), result.stderr)
        self.assertEqual(self.run_tool("linux-x86_64", "script.sh", extra=["--any-file"]).returncode, 0)

    def test_a_manifest_that_is_no_json_object_is_refused(self):
        self.write("broken.json", b"[1, 2")
        result = self.run_tool("linux-x86_64", "linux.bin", into=self.path("broken.json"))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")


if __name__ == "__main__":
    unittest.main()
