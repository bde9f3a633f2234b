#!/usr/bin/env python3
"""The pictures of the README and the depiction, screenshots/NAME.png: each is the last screen that
the scenario screenshots/NAME.scn passes through, as `twinly-sim --screens` draws it when it runs
the package's own binaries in the device core. The scenario's opening comment is the picture's
caption.

Usage:
  screenshots.py SIM PACKAGE           draws the pictures afresh
  screenshots.py --check SIM PACKAGE   exits 1 unless every kept picture is what the package draws
                                       now, and what the host build draws too"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

FOLDER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "screenshots")


def scenarios():
    return sorted(glob.glob(os.path.join(FOLDER, "*.scn")))


def name_of(path):
    return os.path.splitext(os.path.basename(path))[0]


def caption(scenario):
    """The scenario's opening comment, as one line."""
    lines = []
    with open(scenario) as file:
        for line in file:
            if not line.startswith("#"):
                break
            lines.append(line[1:].strip())
    return " ".join(lines)


def draw(sim, options, folder):
    """Runs every scenario with --screens into `folder`; gives each one's last picture by name."""
    done = subprocess.run([sim, *options, "--screens", folder, *scenarios()], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"screenshots.py: a scenario failed:\n{done.stdout}{done.stderr}")
    return {name_of(scenario): sorted(glob.glob(os.path.join(folder, name_of(scenario) + "-*.png")))[-1]
            for scenario in scenarios()}


def check(sim, package):
    kept = {name_of(path) for path in glob.glob(os.path.join(FOLDER, "*.png"))}
    failures = [f"screenshots/{name}.png has no scenario" for name in sorted(kept - set(map(name_of, scenarios())))]
    scratch = tempfile.mkdtemp(prefix="screenshots-")
    for label, options in (("the package", ["--package", package]), ("the host build", [])):
        for name, drawn in draw(sim, options, os.path.join(scratch, label.split()[-1])).items():
            path = os.path.join(FOLDER, name + ".png")
            if not os.path.exists(path) or open(path, "rb").read() != open(drawn, "rb").read():
                failures.append(f"screenshots/{name}.png is not what {label} draws now: {drawn}")
    if failures:
        sys.exit("\n".join(failures) + "\n`make screenshots` draws them afresh.")
    shutil.rmtree(scratch)
    print(f"{len(scenarios())} pictures, as the package and the host build draw them")


def main(arguments):
    if len(arguments) == 3 and arguments[0] == "--check":
        return check(*arguments[1:])
    if len(arguments) != 2:
        sys.exit(__doc__)
    sim, package = arguments
    with tempfile.TemporaryDirectory() as scratch:
        for name, drawn in draw(sim, ["--package", package], scratch).items():
            shutil.copyfile(drawn, os.path.join(FOLDER, name + ".png"))
            print(f"screenshots/{name}.png: {caption(os.path.join(FOLDER, name + '.scn'))}")


if __name__ == "__main__":
    main(sys.argv[1:])
