#!/usr/bin/env python3
"""Writes the package repository that jailbreak package managers (Cydia, Sileo, Zebra, Installer)
read from a plain web folder: a flat repository, added to them as `deb URL ./`.

  pool/PACKAGE/FILE.deb                the package
  Packages, Packages.gz, Packages.bz2  its index, by dpkg-scanpackages
  Release                              the repository's description and the sums of every index,
                                       by apt-ftparchive
  CydiaIcon.png                        the repository's icon, by scripts/make_icons.py
  depictions/PACKAGE/index.html        the page that a package manager shows before installing,
  depictions/PACKAGE/sileo.json        the same for Sileo's own view, the banner they show and
  depictions/PACKAGE/screenshots/      the pictures of the simulated screens (screenshots/)

The depiction is made from the package's control fields, the settings page's specifier list (each
switch's label, default and footer), device/depiction.md (the alerts, the devices, the changes of
each version), the kept pictures with their captions, and the maker's details (maker.conf). Given
the URL where the folder will be published, the package in the pool names both depictions
(Depiction:, SileoDepiction:) and the repository's icon (Icon:) and is otherwise the same; without
it, the pool holds the package file itself. The maker's details must be the package's own, and
must not be placeholders in a repository published anywhere but on this machine (127.0.0.1).

Usage: repo.py PACKAGE FOLDER [URL]"""

import bz2
import gzip
import html
import io
import json
import os
import plistlib
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import urllib.parse

import maker as makers

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(SOURCE, "scripts"))
import screenshots  # noqa: E402

ACCENT = "#3a79b4"  # the settings page's tint (TWTintColor), for Sileo's buttons and tabs
LOOPBACK = {"127.0.0.1", "localhost", "::1"}
SETTINGS_BUNDLE = "Library/PreferenceBundles/twinlyprefs.bundle/twinlyprefs"


def run(*command, cwd=None):
    done = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"repo.py: {' '.join(command)} failed:\n{done.stderr}")
    return done.stdout


def stanza(text):
    """The fields of a control file or index entry, in order; a long value keeps its continuation lines."""
    fields = {}
    for line in text.strip().splitlines():
        if line.startswith(" "):
            fields[name] += "\n" + line
        else:
            name, value = line.split(":", 1)
            fields[name] = value.strip()
    return fields


def control_fields(package):
    return stanza(run("dpkg-deb", "--field", package))


def summary(fields):
    return fields["Description"].split("\n")[0]


def files_of(package):
    """The package's file tree, as a tar archive."""
    tree = subprocess.run(["dpkg-deb", "--fsys-tarfile", package], check=True, capture_output=True).stdout
    return tarfile.open(fileobj=io.BytesIO(tree))


def check_maker(maker, package, fields, url):
    """Stops while the package shows another maker than the depiction would (its Author and
    Maintainer, and the addresses its settings page opens), and stops a repository for others while
    the details are placeholders: published, they would send users nowhere. `fields` are the
    package's control fields."""
    if url and urllib.parse.urlsplit(url).hostname not in LOOPBACK and maker.placeholders():
        sys.exit(f"repo.py: the maker's details are still placeholders ({', '.join(maker.placeholders())}): "
                 "write yours into maker.conf, or give MAKER_EMAIL and MAKER_PAGE to make, before publishing")
    with files_of(package) as archive:
        bundle = archive.extractfile("./" + SETTINGS_BUNDLE).read()
    # The settings page compiles the mail and the page in, as C strings.
    if not (fields.get("Author") == fields.get("Maintainer") == maker.author and
            f"mailto:{maker.email}?".encode() in bundle and maker.page.encode() + b"\0" in bundle):
        sys.exit(f"repo.py: {package} was built for another maker than {maker.author}, {maker.page}: "
                 "make repo builds it with the same details")


def pictures():
    """(file name, caption) of each kept picture, in order."""
    for scenario in screenshots.scenarios():
        name = screenshots.name_of(scenario) + ".png"
        path = os.path.join(screenshots.FOLDER, name)
        if not os.path.exists(path):
            sys.exit(f"repo.py: screenshots/{name} is missing: make screenshots draws it")
        yield name, screenshots.caption(scenario)


def long_description(fields):
    """The paragraphs of the control file's long description (" ." separates them)."""
    lines = ["" if line.strip() == "." else line.strip() for line in fields["Description"].split("\n")[1:]]
    return [" ".join(paragraph.split()) for paragraph in "\n".join(lines).split("\n\n") if paragraph.strip()]


def switches():
    """One list item per switch of the settings page: its label, its default and its group's footer."""
    with open(os.path.join(SOURCE, "prefs", "Resources", "twinlyprefs.plist"), "rb") as file:
        items = plistlib.load(file)["items"]
    lines, footer = [], ""
    for item in items:
        if item["cell"] == "PSGroupCell":
            footer = item.get("footerText", "")
        elif item["cell"] == "PSSwitchCell":
            state = "on" if item.get("default") else "off"
            lines.append(f'- "{item["label"]}", {state} until you change it: {footer}')
    return "\n".join(lines)


def sections(fields):
    """(heading, Markdown) for each section of depiction.md, with the lowest iOS version and the
    switches filled in, and of the changes only those of this version."""
    with open(os.path.join(SOURCE, "device", "depiction.md")) as file:
        text = file.read()
    firmware = re.search(r"firmware \(>= ([^)]+)\)", fields["Depends"]).group(1)
    text = text.replace("{firmware}", firmware).replace("{switches}", switches())
    parts = re.split(r"^## (.*)\n", text, flags=re.M)[1:]
    changes = f"Changes in {fields['Version']}"
    found = [(heading, body.strip()) for heading, body in zip(parts[0::2], parts[1::2])
             if heading == changes or not heading.startswith("Changes in ")]
    if changes not in dict(found):
        sys.exit(f'repo.py: device/depiction.md has no section "## {changes}"')
    return found


def html_blocks(markdown):
    """The paragraphs and "- " lists of a section, as HTML."""
    for block in markdown.split("\n\n"):
        if block.startswith("- "):
            items = re.split(r"^- ", block, flags=re.M)[1:]
            yield "<ul>" + "".join(f"<li>{html.escape(' '.join(item.split()))}</li>" for item in items) + \
                "</ul>"
        else:
            yield f"<p>{html.escape(' '.join(block.split()))}</p>"


def html_page(fields, what, sections, maker, shots):
    name, version = html.escape(fields["Name"]), html.escape(fields["Version"])
    images = "".join(f'<img src="screenshots/{file}" alt="{html.escape(caption)}">' for file, caption in shots)
    body = [f'<img class="banner" src="banner.png" alt="{name}">', f"<h1>{name}</h1>",
            f'<p class="lead">{html.escape(summary(fields))}</p>', f'<div class="screenshots">{images}</div>',
            "<h2>What it does</h2>", *(f"<p>{html.escape(paragraph)}</p>" for paragraph in what)]
    for heading, markdown in sections:
        body += [f"<h2>{html.escape(heading)}</h2>", *html_blocks(markdown)]
    body.append(f'<p class="about">Version {version} by {html.escape(maker.name)}: '
                f'<a href="mailto:{html.escape(maker.email)}">{html.escape(maker.email)}</a>, '
                f'<a href="{html.escape(maker.page)}">{html.escape(maker.page)}</a></p>')
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{name}</title>
<style>
body {{ font: 16px/1.45 -apple-system, Helvetica, sans-serif; max-width: 40em; margin: 0 auto;
       padding: 0 1em 2em; }}
.banner {{ width: 100%; }}
.screenshots {{ display: flex; gap: 0.5em; overflow-x: auto; margin-top: 1em; }}
.screenshots img {{ width: 45%; flex: none; border: 1px solid #ddd; border-radius: 8px; }}
h1 {{ margin-bottom: 0; }}
h2 {{ color: {ACCENT}; font-size: 1.1em; margin-top: 1.5em; }}
.lead, .about {{ color: #666; }}
</style>
</head>
<body>
{chr(10).join(body)}
</body>
</html>
"""


def sileo_depiction(fields, what, sections, maker, shots, base):
    """Sileo's depiction: the pictures, the same sections, the changes in a tab of their own. Its
    images are at `base` (the depiction folder's address)."""
    def views(chosen):
        for heading, markdown in chosen:
            yield {"class": "DepictionSubheaderView", "title": heading, "useBoldText": True}
            yield {"class": "DepictionMarkdownView", "markdown": markdown, "useSpacing": True}
    changes = [section for section in sections if section[0].startswith("Changes in ")]
    # Sileo draws each picture at this size in points, the height keeping the picture's shape.
    with open(os.path.join(screenshots.FOLDER, shots[0][0]), "rb") as first:
        picture_width, picture_height = struct.unpack(">II", first.read(24)[16:24])
    width, height = 160, 160 * picture_height / picture_width
    pictures = {"class": "DepictionScreenshotsView", "itemCornerRadius": 8, "itemSize": f"{{{width}, {height:.1f}}}",
                "screenshots": [{"url": f"{base}screenshots/{file}", "accessibilityText": caption}
                                for file, caption in shots]}
    details = [pictures,
               {"class": "DepictionMarkdownView", "markdown": "\n\n".join(what), "useSpacing": True},
               *views(section for section in sections if section not in changes),
               {"class": "DepictionSeparatorView"},
               {"class": "DepictionTableTextView", "title": "Version", "text": fields["Version"]},
               {"class": "DepictionTableTextView", "title": "Developer", "text": maker.name},
               {"class": "DepictionTableButtonView", "title": "Email Support", "action": f"mailto:{maker.email}"},
               {"class": "DepictionTableButtonView", "title": f"{maker.name}'s Profile", "action": maker.page}]
    tabs = [{"tabname": "Details", "class": "DepictionStackView", "views": details},
            {"tabname": "Changes", "class": "DepictionStackView", "views": list(views(changes))}]
    depiction = {"minVersion": "0.1", "class": "DepictionTabView", "tintColor": ACCENT, "headerImage": f"{base}banner.png",
                 "tabs": tabs}
    return json.dumps(depiction, indent=2, ensure_ascii=False) + "\n"


def pool_with_depictions(package, target, named):
    """The package again, its control file naming both depictions and the repository's icon
    (`named`: field and address); nothing else changes."""
    with files_of(package) as archive:
        root_time = archive.next().mtime
    with tempfile.TemporaryDirectory() as scratch:
        tree = os.path.join(scratch, "tree")
        run("dpkg-deb", "--raw-extract", package, tree)
        with open(os.path.join(tree, "DEBIAN", "control"), "a") as control:
            control.write("".join(f"{field}: {address}\n" for field, address in named.items()))
        # Extracting DEBIAN/ touched the root folder, whose time is in the package's file list.
        os.utime(tree, (root_time, root_time))
        run("dpkg-deb", "--root-owner-group", "-Zgzip", "--build", tree, target)


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as file:
        file.write(data)


def main(package, folder, url=None):
    if url and not re.fullmatch(r"https?://[^/\s]+(/\S*)?", url):
        sys.exit(f"repo.py: REPO_URL must be an http:// or https:// address, not {url!r}")
    url = url.rstrip("/") if url else None
    maker = makers.read()
    fields = control_fields(package)
    check_maker(maker, package, fields, url)
    what, chosen, shots = long_description(fields), sections(fields), list(pictures())

    shutil.rmtree(folder, ignore_errors=True)
    pages = os.path.join("depictions", fields["Package"])
    pool = os.path.join("pool", fields["Package"])
    for directory in (pages, pool):
        os.makedirs(os.path.join(folder, directory))

    write(os.path.join(folder, pages, "index.html"), html_page(fields, what, chosen, maker, shots))
    write(os.path.join(folder, pages, "sileo.json"),
          sileo_depiction(fields, what, chosen, maker, shots, f"{url}/{pages}/" if url else ""))
    shutil.copyfile(os.path.join(SOURCE, "prefs", "Resources", "banner.png"),
                    os.path.join(folder, pages, "banner.png"))
    os.makedirs(os.path.join(folder, pages, "screenshots"))
    for file, _ in shots:
        shutil.copyfile(os.path.join(screenshots.FOLDER, file), os.path.join(folder, pages, "screenshots", file))
    run(sys.executable, os.path.join(SOURCE, "scripts", "make_icons.py"), "--repository-icon",
        os.path.join(folder, "CydiaIcon.png"))

    pooled = os.path.join(folder, pool, os.path.basename(package))
    if url:
        pool_with_depictions(package, pooled, {"Depiction": f"{url}/{pages}/index.html",
                                               "SileoDepiction": f"{url}/{pages}/sileo.json",
                                               "Icon": f"{url}/CydiaIcon.png"})
    else:
        shutil.copyfile(package, pooled)

    index = run("dpkg-scanpackages", "pool", "/dev/null", cwd=folder)
    # dpkg-scanpackages capitalises the names of fields it does not know ("Sileodepiction"); package
    # managers compare names without case, but the index keeps the control file's spelling.
    for field in control_fields(pooled):
        index = re.sub(rf"^{re.escape(field)}:", f"{field}:", index, flags=re.M | re.I)
    index = index.encode()
    write(os.path.join(folder, "Packages"), index)
    write(os.path.join(folder, "Packages.gz"), gzip.compress(index, 9, mtime=0))
    write(os.path.join(folder, "Packages.bz2"), bz2.compress(index, 9))

    name = fields["Name"]
    release = {"Origin": name, "Label": name, "Suite": "stable", "Version": fields["Version"],
               "Codename": "ios", "Architectures": fields["Architecture"], "Components": "main",
               "Description": summary(fields)}
    options = [f"-oAPT::FTPArchive::Release::{key}={value}" for key, value in release.items()]
    write(os.path.join(folder, "Release"), run("apt-ftparchive", *options, "release", folder))
    print(f"Wrote the repository {folder}" + (f" for {url}" if url else ""))


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
