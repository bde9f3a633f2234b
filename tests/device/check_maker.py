"""The maker's details (maker.conf, or MAKER_NAME, MAKER_EMAIL and MAKER_PAGE in the environment)
are what users see everywhere: the package's Author and Maintainer, the addresses that the settings
page opens when the package's own binaries run (and the host build's), the depiction and the README.

Environment: TWINLY_SOURCE, the source tree (the package is read from its packages/ folder);
TWINLY_SIM, the simulator."""

import html
import json
import os
import plistlib
import re
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ["TWINLY_SOURCE"]
sys.dont_write_bytecode = True
sys.path[:0] = [os.path.join(SOURCE, "device"), os.path.dirname(__file__)]
import maker as makers  # noqa: E402
from check_package import PACKAGE, control_field  # noqa: E402
from repo import control_fields  # noqa: E402


def run(*command, env=None):
    done = subprocess.run(command, capture_output=True, text=True, timeout=120, env=env)
    return done.returncode, done.stdout + done.stderr


class MakerTests(unittest.TestCase):
    def setUp(self):
        self.maker = makers.read()

    def test_package_names_the_maker_as_author_and_maintainer(self):
        fields = control_fields(PACKAGE)
        self.assertEqual((fields["Author"], fields["Maintainer"]), (self.maker.author, self.maker.author))

    def test_settings_page_opens_the_makers_mail_and_page(self):
        with open(os.path.join(SOURCE, "prefs", "Resources", "twinlyprefs.plist"), "rb") as file:
            labels = {item.get("action"): item.get("label") for item in plistlib.load(file)["items"]}
        script = (f'settings open\n'
                  f'settings tap "{labels["sendEmail"]}"\n'
                  f'expect opened "mailto:{self.maker.email}?subject=Twinly2-support"\n'
                  f'settings tap "{labels["reddit"]}"\n'
                  f'expect opened "{self.maker.page}"\n')
        with tempfile.NamedTemporaryFile("w", suffix=".scn") as scenario:
            scenario.write(script)
            scenario.flush()
            for name, options in (("the package", ["--package", PACKAGE]), ("the host build", [])):
                with self.subTest(name):
                    status, output = run(os.environ["TWINLY_SIM"], *options, scenario.name)
                    self.assertEqual(status, 0, output)

    def test_depiction_names_the_maker_and_links_both_addresses(self):
        with tempfile.TemporaryDirectory() as folder:
            status, output = run(sys.executable, os.path.join(SOURCE, "device", "repo.py"), PACKAGE, folder)
            self.assertEqual(status, 0, output)
            pages = os.path.join(folder, "depictions", control_field("Package"))
            with open(os.path.join(pages, "index.html")) as file:
                page = file.read()
            with open(os.path.join(pages, "sileo.json")) as file:
                views = json.load(file)["tabs"][0]["views"]
        for text in (f"by {self.maker.name}", f'href="mailto:{self.maker.email}"', f'href="{self.maker.page}"'):
            self.assertIn(html.escape(text, quote=False), page)
        self.assertIn({"class": "DepictionTableTextView", "title": "Developer", "text": self.maker.name}, views)
        actions = {view.get("action") for view in views if view["class"] == "DepictionTableButtonView"}
        self.assertEqual(actions, {f"mailto:{self.maker.email}", self.maker.page})

    def test_publishing_stops_while_an_address_is_a_placeholder(self):
        for detail, placeholder in (("MAKER_EMAIL", "someone@example.com"), ("MAKER_PAGE", "https://example.org/someone")):
            with self.subTest(detail), tempfile.TemporaryDirectory() as folder:
                status, output = run(sys.executable, os.path.join(SOURCE, "device", "repo.py"), PACKAGE, folder,
                                     "https://twinly.pages.dev", env={**os.environ, detail: placeholder})
                self.assertNotEqual(status, 0)
                self.assertRegex(output, rf"the maker's details are still placeholders \([^)]*{re.escape(placeholder)}")

    def test_readme_names_the_maker(self):
        with open(os.path.join(SOURCE, "README.md")) as file:
            readme = file.read()
        for detail in (self.maker.name, f"`{self.maker.email}`", f"`{self.maker.page}`"):
            self.assertTrue(detail in readme, f"README.md does not name {detail}")


if __name__ == "__main__":
    unittest.main()
