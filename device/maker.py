#!/usr/bin/env python3
"""The maker's details: maker.conf at the top of the source tree, each line overridden by the
variable of the same name in the environment (make passes on the MAKER_NAME, MAKER_EMAIL and
MAKER_PAGE given to it).

Usage:
  maker.py --header FILE   writes the C header of the addresses that the settings bundle compiles
                           in, unless it holds them already (so that nothing rebuilds needlessly)
  maker.py --author        prints "NAME <EMAIL>", the package's Author and Maintainer"""

import os
import re
import sys
import urllib.parse

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
FILE = os.path.join(SOURCE, "maker.conf")

# What each detail may be: it goes into a control field ("NAME <EMAIL>"), a C string and URLs.
FORMS = {
    "MAKER_NAME": (r"[^<>\"\\\x00-\x1f]*[^<>\"\\\s\x00-\x1f]", "a name without <, >, \" or \\"),
    "MAKER_EMAIL": (r"[A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+", "a mail address"),
    "MAKER_PAGE": (r"https?://[A-Za-z0-9.-]+(:\d+)?(/[^\s\"\\<>]*)?", "an http:// or https:// address"),
}
# Domains reserved for examples (RFC 2606 and RFC 6761): an address there reaches no one.
PLACEHOLDER_DOMAIN = re.compile(r"(^|\.)(example\.(com|net|org)|example|invalid|test|localhost)$", re.I)


class Maker:
    def __init__(self, details):
        self.name = details["MAKER_NAME"]
        self.email = details["MAKER_EMAIL"]
        self.page = details["MAKER_PAGE"]

    @property
    def author(self):
        return f"{self.name} <{self.email}>"

    def placeholders(self):
        """The details that are still placeholders: addresses on a domain reserved for examples."""
        domains = {self.email: self.email.rsplit("@", 1)[1], self.page: urllib.parse.urlsplit(self.page).hostname}
        return [value for value, domain in domains.items() if PLACEHOLDER_DOMAIN.search(domain)]


def read():
    """The details; exits with the reason when one is missing or malformed."""
    with open(FILE) as file:
        details = dict(re.findall(r"^(MAKER_[A-Z]+) *= *(.*?) *$", file.read(), re.M))
    details.update({name: os.environ[name] for name in FORMS if os.environ.get(name)})
    for name, (form, what) in FORMS.items():
        if name not in details:
            sys.exit(f"maker.conf: no line {name} = ...")
        if not re.fullmatch(form, details[name]):
            sys.exit(f"maker.conf or the environment: {name} must be {what}, not {details[name]!r}")
    return Maker(details)


def header(maker):
    return ("// The maker's addresses that the settings page opens, from maker.conf (written by device/maker.py).\n"
            "#pragma once\n"
            f'#define TWINLY_MAKER_EMAIL "{maker.email}"\n'
            f'#define TWINLY_MAKER_PAGE "{maker.page}"\n')


def main(arguments):
    maker = read()
    if arguments[:1] == ["--author"] and len(arguments) == 1:
        print(maker.author)
    elif arguments[:1] == ["--header"] and len(arguments) == 2:
        text, path = header(maker), arguments[1]
        if not os.path.exists(path) or open(path).read() != text:
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
            with open(path, "w") as file:
                file.write(text)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
