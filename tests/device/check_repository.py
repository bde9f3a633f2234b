"""The package repository, end to end: device/repo.py writes it, a web server on 127.0.0.1 serves
it, and Debian's APT for iphoneos-arm adds it as package managers do (`deb URL ./`). APT_CONFIG,
read before any other configuration, moves APT's root into a folder of the test's own.

Environment: TWINLY_SOURCE, the source tree (the package is read from its packages/ folder)."""

import filecmp
import functools
import glob
import http.server
import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.parse
import urllib.request

SOURCE = os.environ["TWINLY_SOURCE"]
sys.dont_write_bytecode = True
sys.path[:0] = [os.path.join(SOURCE, "device"), os.path.dirname(__file__)]
from repo import stanza  # noqa: E402
from check_package import PACKAGE, check_whole_png, control_field  # noqa: E402

NAME = control_field("Package")


def run(*command, **options):
    done = subprocess.run(command, capture_output=True, timeout=60, **options)
    return done.returncode, done.stdout + done.stderr


class RepositoryTests(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.scratch = scratch.name
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(http.server.SimpleHTTPRequestHandler, directory=self.scratch))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        self.address = f"http://127.0.0.1:{server.server_port}"

    def repository(self, name, *url):
        folder = os.path.join(self.scratch, name)
        status, output = run(sys.executable, os.path.join(SOURCE, "device", "repo.py"), PACKAGE, folder, *url)
        self.assertEqual(status, 0, output)
        return folder, os.path.join(folder, "pool", NAME, os.path.basename(PACKAGE))

    def apt(self, repository, *command):
        """Runs an APT command on a root of its own that lists only this repository (not signed)."""
        root = os.path.join(self.scratch, "apt-" + repository)
        user = pwd.getpwuid(os.getuid()).pw_name
        files = {"etc/apt/sources.list": f"deb [trusted=yes] {self.address}/{repository} ./\n",
                 "var/lib/dpkg/status": "",
                 "apt.conf": f'Dir "{root}/"; APT::Architecture "iphoneos-arm";\n'
                             f'APT::Architectures {{ "iphoneos-arm"; }}; APT::Sandbox::User "{user}";\n'}
        for folder in ("etc/apt/apt.conf.d", "etc/apt/preferences.d", "var/lib/dpkg", "var/cache/apt"):
            os.makedirs(os.path.join(root, folder), exist_ok=True)
        for path, text in files.items():
            with open(os.path.join(root, path), "w") as file:
                file.write(text)
        environment = {key: value for key, value in os.environ.items() if not key.lower().endswith("_proxy")}
        environment["APT_CONFIG"] = os.path.join(root, "apt.conf")
        status, output = run(*command, cwd=root, env=environment)
        return status, output.decode(), root

    def test_apt_updates_shows_and_downloads_from_the_repository(self):
        folder, pooled = self.repository("repo", f"{self.address}/repo")
        for command in (["apt-get", "update"], ["apt-get", "download", NAME]):
            status, output, root = self.apt("repo", *command)
            self.assertEqual((status, re.findall("^[WE]:.*", output, re.M)), (0, []), output)
        self.assertTrue(filecmp.cmp(os.path.join(root, os.path.basename(PACKAGE)), pooled, shallow=False))

        shown = stanza(self.apt("repo", "apt-cache", "show", NAME)[1])
        control = stanza(run("dpkg-deb", "--field", pooled)[1].decode())
        self.assertEqual({field: shown.get(field) for field in control}, control)
        # The plain package, its files untouched, naming the two depictions and the repository's
        # icon; all three are served, and every picture that a depiction shows.
        named = ("Depiction", "SileoDepiction", "Icon")
        self.assertEqual({field: value for field, value in control.items() if field not in named},
                         stanza(run("dpkg-deb", "--field", PACKAGE)[1].decode()))
        self.assertEqual(*(run("dpkg-deb", "--fsys-tarfile", deb) for deb in (PACKAGE, pooled)))
        page = urllib.request.urlopen(control["Depiction"], timeout=10).read().decode()
        self.assertIn("This song is already in your playlist.", page)
        sileo = json.load(urllib.request.urlopen(control["SileoDepiction"], timeout=10))
        self.assertEqual(sileo["class"], "DepictionTabView")
        shown = [view for view in sileo["tabs"][0]["views"] if view["class"] == "DepictionScreenshotsView"]
        self.assertEqual(len(shown), 1)
        page_images = [urllib.parse.urljoin(control["Depiction"], src) for src in re.findall(r'<img [^>]*src="([^"]+)"', page)]
        sileo_images = [sileo["headerImage"]] + [picture["url"] for picture in shown[0]["screenshots"]]
        self.assertEqual(page_images, sileo_images)
        kept = sorted(glob.glob(os.path.join(SOURCE, "screenshots", "*.png")))
        self.assertEqual([os.path.basename(url) for url in sileo_images[1:]], [os.path.basename(path) for path in kept])
        for url, path in [(control["Icon"], None), (sileo_images[0], None), *zip(sileo_images[1:], kept)]:
            with self.subTest(url=url):
                served = urllib.request.urlopen(url, timeout=10).read()
                check_whole_png(self, served)
                if path:
                    with open(path, "rb") as picture:
                        self.assertEqual(served, picture.read())

        # Without an address the pool holds the very package, which names no depiction.
        self.assertTrue(filecmp.cmp(self.repository("unnamed")[1], PACKAGE, shallow=False))

        # A Release whose sums are not those of its indices (a fresh APT: nothing cached can answer).
        shutil.copytree(folder, os.path.join(self.scratch, "tampered"))
        with open(os.path.join(self.scratch, "tampered", "Release"), "r+") as release:
            reversed_sums = re.sub("^ ([0-9a-f]+)", lambda sum: " " + sum[1][::-1], release.read(), flags=re.M)
            release.seek(0)
            release.write(reversed_sums)
        status, output, _ = self.apt("tampered", "apt-get", "update")
        self.assertNotEqual(status, 0, output)
        self.assertIn("Hash Sum mismatch", output)


if __name__ == "__main__":
    unittest.main()
