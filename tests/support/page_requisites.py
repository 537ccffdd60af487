#!/usr/bin/python3
"""Checks a server copy of a site the way a browser loads its pages.

usage: page_requisites.py LOCAL_ROOT SERVER_ROOT

For every .html page below LOCAL_ROOT: every image, script, style sheet and
icon it names (img src/srcset, script src, link rel=stylesheet/icon href,
url() in style attributes and <style> blocks), and everything each style
sheet loads (url(), @import, followed through), read with Python's own HTML
parser and URL functions. Each requisite that exists below LOCAL_ROOT must
exist below SERVER_ROOT with the same bytes. Prints "checked N missing M"
and the first missing ones; exits 1 when any is missing.
"""
import os
import re
import sys
from html.parser import HTMLParser
from urllib.parse import unquote, urljoin, urlsplit

BASE = "http://site.invalid/"
CSS_URL = re.compile(r"""url\(\s*['"]?([^'")]+?)['"]?\s*\)|@import\s+['"]([^'"]+)['"]""", re.I)


class Page(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.refs, self.css, self.in_style = [], [], False

    def handle_starttag(self, tag, attrs):
        a = {k: (v or "") for k, v in attrs}
        if tag in ("img", "script", "source", "video", "audio", "embed") and a.get("src"):
            self.refs.append(a["src"])
        for candidate in a.get("srcset", "").split(","):
            if candidate.strip():
                self.refs.append(candidate.split()[0])
        rel = a.get("rel", "").lower().split()
        if tag == "link" and ("stylesheet" in rel or "icon" in rel):
            self.refs.append(a.get("href", ""))
        if "style" in a:
            self.css.append(a["style"])
        self.in_style = tag == "style"

    def handle_data(self, data):
        if self.in_style:
            self.css.append(data)


def local_path(url):
    parts = urlsplit(url)
    if parts.scheme != "http" or parts.netloc != "site.invalid" or parts.path.endswith("/"):
        return None
    return unquote(parts.path)


def main(local, remote):
    checked, missing, sheets_read = set(), [], {}

    def visit(url, referrer):
        path = local_path(url)
        if path is None or path.endswith((".html", ".htm")) or path in checked:
            return
        source = os.path.join(local, path.lstrip("/"))
        if not os.path.isfile(source):
            return
        checked.add(path)
        served = os.path.join(remote, path.lstrip("/"))
        with open(source, "rb") as f:
            data = f.read()
        if not os.path.isfile(served) or open(served, "rb").read() != data:
            missing.append(f"{path} (from {referrer})")
        if path.lower().endswith(".css"):
            for m in CSS_URL.finditer(data.decode("utf-8", "replace")):
                visit(urljoin(url, m.group(1) or m.group(2)), path)

    pages = 0
    for folder, _, names in os.walk(local):
        for name in names:
            if not name.endswith(".html"):
                continue
            pages += 1
            rel = os.path.relpath(os.path.join(folder, name), local)
            page_url = urljoin(BASE, rel)
            parser = Page()
            with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
                parser.feed(f.read())
            for ref in parser.refs:
                visit(urljoin(page_url, ref.strip()), rel)
            for css in parser.css:
                for m in CSS_URL.finditer(css):
                    visit(urljoin(page_url, m.group(1) or m.group(2)), rel)
    print(f"pages {pages} checked {len(checked)} missing {len(missing)}")
    for line in missing[:20]:
        print(line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
