"""The compatibility table, computed: a telling scenario on the package's own binaries for each
processor class and each release it ran among 10.3, 11.4, 12.5, 13.7 and 14.8 (on a model of that
class that ran it), in the simulated device, whose loader is as strict as dyld. Each pair works,
does not load (with dyld's message), or loads but finds none of Music's classes.

It writes the table to TABLE, and fails when the package says otherwise: the control file's
Depends must admit exactly the releases that work, and the README's "Which devices" section and the
depiction's "Devices" section must each hold the summary line of every processor class.

Usage: compatibility.py TWINLY_SIM PACKAGE TABLE (TWINLY_SOURCE in the environment)"""

import os
import re
import subprocess
import sys
import tempfile

from check_package import control_field

SOURCE = os.environ["TWINLY_SOURCE"]
RELEASES = ["10.3", "11.4", "12.5", "13.7", "14.8"]
# (processor class, release, a model of that class that ran the release)
PAIRS = [
    ("A7–A11", "10.3", "iPhone 7"), ("A7–A11", "11.4", "iPhone 8"), ("A7–A11", "12.5", "iPhone 6"),
    ("A7–A11", "13.7", "iPhone 8"), ("A7–A11", "14.8", "iPhone 8"),
    ("A12 and later", "13.7", "iPhone XS"), ("A12 and later", "14.8", "iPhone XS"),
]
CLASSES = list(dict.fromkeys(name for name, _, _ in PAIRS))
# A duplicate tap in the picker, then the settings page: the tweak and the bundle each load and work.
PROBE = """song a "Hey Jude"
playlist "Road Trip" a
launch
open playlist "Road Trip"
open picker
tap "Hey Jude"
settings open
"""
WORKS = "works"
NO_CLASSES = "loads but finds none of Music's classes"


def outcome(sim, package, model, release):
    with tempfile.NamedTemporaryFile("w", suffix=".scn") as script:
        script.write(f'device "{model}"\nios "{release}"\n{PROBE}')
        script.flush()
        run = subprocess.run([sim, "--package", package, script.name], capture_output=True, text=True)
    if run.returncode != 0:
        raise AssertionError(f"the probe failed on the {model} with iOS {release}:\n{run.stdout}{run.stderr}")
    lines = run.stdout.splitlines()
    start = "  substrate: the tweak did not load: "
    for at, line in enumerate(lines):
        if line.startswith(start):
            # dyld's message, with the lines it goes on over
            message = [line[len(start):]]
            message += [more for more in lines[at + 1:at + 3] if more.startswith(("  Referenced from:", "  Reason:"))]
            return "does not load (" + words(" ".join(message)) + ")"
    alerted = '  alert: "This song is already in your playlist."' in run.stdout
    page = "Settings: the bundle did not load" not in run.stdout
    if alerted and page:
        return WORKS
    if not alerted and page:
        return NO_CLASSES
    raise AssertionError(f"an outcome with no name on the {model} with iOS {release}:\n{run.stdout}")


def table(outcomes):
    lines = ["| processor | " + " | ".join(f"iOS {release}" for release in RELEASES) + " |",
             "|---" * (len(RELEASES) + 1) + "|"]
    for name in CLASSES:
        cells = [outcomes.get((name, release), "(never ran it)") for release in RELEASES]
        lines.append(f"| {name} | " + " | ".join(cells) + " |")
    return "\n".join(lines) + "\n"


def releases_text(releases):
    return releases[0] if len(releases) == 1 else ", ".join(releases[:-1]) + " and " + releases[-1]


def summaries(outcomes):
    """One line for each processor class: its releases grouped by outcome, in the table's order."""
    lines = []
    for name in CLASSES:
        groups = {}
        for release in RELEASES:
            if (name, release) in outcomes:
                groups.setdefault(outcomes[name, release], []).append(release)
        parts = []
        for result, releases in groups.items():
            if result == WORKS:
                parts.append(f"works on iOS {releases_text(releases)}")
            else:
                parts.append(f"on iOS {releases_text(releases)} it {result}")
        lines.append(f"- {name}: " + "; ".join(parts) + ".")
    return lines


def words(text):
    return " ".join(text.split())


def section(path, heading):
    with open(path) as file:
        text = file.read()
    found = re.search(rf"^{re.escape(heading)}\n(.*?)(?=^#|\Z)", text, re.M | re.S)
    if found is None:
        raise AssertionError(f"{path} has no section {heading!r}")
    return words(found.group(1))


def firmware_range():
    depends = control_field("Depends")
    low = re.search(r"firmware \(>= ([\d.]+)\)", depends)
    high = re.search(r"firmware \(<< ([\d.]+)\)", depends)

    def version(text):
        return tuple(int(part) for part in text.split("."))

    return (lambda release: (low is None or version(release) >= version(low.group(1))) and
            (high is None or version(release) < version(high.group(1))))


def main(sim, package, table_file):
    outcomes = {(name, release): outcome(sim, package, model, release) for name, release, model in PAIRS}
    outcome_table, summary_lines = table(outcomes), summaries(outcomes)
    with open(table_file, "w") as file:
        file.write(outcome_table + "\n" + "\n".join(summary_lines) + "\n")
    problems = []
    admitted = firmware_range()
    for release in RELEASES:
        works = any(result == WORKS for (_, on), result in outcomes.items() if on == release)
        if admitted(release) != works:
            problems.append(f"the control file's Depends {'admits' if admitted(release) else 'excludes'} "
                            f"iOS {release}, where the tweak {'works' if works else 'does not work'}")
    readme = section(os.path.join(SOURCE, "README.md"), "### Which devices")
    depiction = section(os.path.join(SOURCE, "device", "depiction.md"), "## Devices")
    for line in summary_lines:
        for where, text in (("README.md's Which devices", readme), ("device/depiction.md's Devices", depiction)):
            if words(line) not in text:
                problems.append(f"{where} lacks: {line}")
    print(outcome_table)
    if problems:
        sys.exit("The package does not say what the table shows (" + table_file + "):\n" + "\n".join(problems))
    print(f"{len(PAIRS)} passed, 0 failed")


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__.rsplit("\n\n", 1)[1])
    main(*sys.argv[1:])
