#!/usr/bin/env python3
"""Checks the documentation against the tree and the code.

In README.md and every docs/**/*.md:
  - every relative link resolves: the file or folder exists and, for a
    "#anchor", the target Markdown file has that heading (or an HTML id);
  - every curl example against the service (http://127.0.0.1:PORT/..., or localhost)
    names a path and method the route table answers. The table is read from
    src/http/routes.cpp, so renaming a route there makes a stale example fail.

usage: check_docs.py [ROOT]   (ROOT: the repository, default this file's ../..)
Exit status 0 when all is well, 1 with one line per problem otherwise.
"""

import os
import re
import shlex
import sys
import urllib.parse

SERVICE_PORTS = range(17632, 17642)


# --- the route table -------------------------------------------------------


class Route:
    def __init__(self, path, methods, prefix=False):
        self.path = path
        self.methods = methods  # None: any method (the handler decides)
        self.prefix = prefix

    def matches_path(self, path):
        if self.prefix:
            return len(path) > len(self.path) and path.startswith(self.path)
        return path == self.path

    def describe(self):
        methods = "any method" if self.methods is None else "/".join(sorted(self.methods))
        return f"{self.path}{'<name>' if self.prefix else ''} ({methods})"


def dispatch_body(source):
    start = source.find("void dispatch_request(")
    if start < 0:
        raise ValueError("no dispatch_request in the route table's source")
    open_brace = source.index("{", start)
    depth = 0
    for i in range(open_brace, len(source)):
        depth += {"{": 1, "}": -1}.get(source[i], 0)
        if depth == 0:
            return source[open_brace + 1 : i]
    raise ValueError("dispatch_request's body does not end")


def read_routes(routes_cpp):
    """Returns (routes, methods answered for any path). Every rule of the
    dispatcher that looks at the path must be understood, or this raises:
    a table read only in part would let stale examples through."""
    with open(routes_cpp, encoding="utf-8") as f:
        body = dispatch_body(f.read())
    body = re.sub(r"//[^\n]*", "", body)
    method_sets = {
        name: set(re.findall(r'method\s*==\s*"([A-Z]+)"', expr))
        for name, expr in re.findall(r"\bbool\s+(\w+)\s*=\s*([^;]*);", body)
    }
    prefixes = dict(re.findall(r'char\s+(\w+)\s*\[\]\s*=\s*"([^"]*)"', body))
    routes = []
    any_path_methods = set()
    for condition in re.findall(r"\bif\s*\((.*?)\)\s*(?:\{|return)", body, re.S):
        methods = set(re.findall(r'method\s*==\s*"([A-Z]+)"', condition))
        for name, named in method_sets.items():
            if re.search(rf"\b{name}\b", condition):
                methods |= named
        exact = re.findall(r'path\s*==\s*"([^"]*)"', condition)
        compared = [n for n in prefixes if re.search(rf"compare\([^)]*\b{n}\b", condition)]
        if exact:
            routes.append(Route(exact[0], methods or None))
        elif compared:
            routes.append(Route(prefixes[compared[0]], methods or None, prefix=True))
        elif re.search(r"\bpath\b", condition):
            raise ValueError(f"cannot read the route rule: if ({' '.join(condition.split())})")
        elif methods:
            any_path_methods |= methods
    if not routes:
        raise ValueError(f"no routes found in {routes_cpp}")
    return routes, any_path_methods


# --- the Markdown files ----------------------------------------------------


def markdown_files(root):
    files = []
    readme = os.path.join(root, "README.md")
    if os.path.isfile(readme):
        files.append(readme)
    for directory, _, names in sorted(os.walk(os.path.join(root, "docs"))):
        files += [os.path.join(directory, n) for n in sorted(names) if n.endswith(".md")]
    return files


FENCE = re.compile(r"^\s{0,3}(`{3,}|~{3,})")


def split_lines(text):
    """Yields (line number, line, inside a fenced code block)."""
    fence = None
    for number, line in enumerate(text.splitlines(), 1):
        m = FENCE.match(line)
        if m and (fence is None or m.group(1)[0] == fence[0] and len(m.group(1)) >= len(fence)):
            fence = m.group(1) if fence is None else None
            yield number, line, True
            continue
        yield number, line, fence is not None


def slug(heading):
    """The anchor a heading gets on the common Markdown hosts."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # links keep their text
    text = re.sub(r"<[^>]+>", "", text)
    text = re.sub(r"[^\w\- ]", "", text.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        lines = list(split_lines(f.read()))
    found = set()
    counts = {}

    def add(heading):
        base = slug(heading)
        n = counts.get(base, 0)
        counts[base] = n + 1
        found.add(base if n == 0 else f"{base}-{n}")

    for i, (_, line, code) in enumerate(lines):
        if code:
            continue
        m = re.match(r"^\s{0,3}#{1,6}\s+(.*?)(?:\s+#+)?\s*$", line)
        if m:
            add(m.group(1))
        elif (
            line.strip()
            and i + 1 < len(lines)
            and not lines[i + 1][2]
            and re.match(r"^\s{0,3}(=+|-+)\s*$", lines[i + 1][1])
            and not re.match(r"^\s{0,3}([-*+]|\d+[.)])\s", line)
        ):
            add(line.strip())
        found.update(re.findall(r"""<a\s[^>]*\b(?:id|name)\s*=\s*["']([^"']+)["']""", line))
    return found


INLINE_LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(\s*(<[^>]*>|[^()\s]+)(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE_LINK = re.compile(r"^\s{0,3}\[[^\]]+\]:\s*(<[^>]*>|\S+)")


def links(text):
    """Yields (line number, target) of every link outside code."""
    for number, line, code in split_lines(text):
        if code:
            continue
        line = re.sub(r"(`+).*?\1", "", line)  # code spans hold no links
        for m in REFERENCE_LINK.finditer(line):
            yield number, m.group(1).strip("<>")
        for m in INLINE_LINK.finditer(line):
            yield number, m.group(1).strip("<>")


def check_links(root, md, problems, anchor_cache):
    with open(md, encoding="utf-8") as f:
        text = f.read()
    count = 0
    for number, target in links(text):
        if re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", target):  # http:, mailto:, ...
            continue
        count += 1
        where = f"{os.path.relpath(md, root)}:{number}"
        file_part, _, anchor = target.partition("#")
        file_part = urllib.parse.unquote(file_part)
        if not file_part:
            destination = md
        elif file_part.startswith("/"):
            destination = os.path.join(root, file_part.lstrip("/"))
        else:
            destination = os.path.join(os.path.dirname(md), file_part)
        destination = os.path.normpath(destination)
        shown = os.path.relpath(destination, root)
        if not os.path.exists(destination):
            problems.append(f"{where}: link to {target}: {shown} does not exist")
            continue
        if anchor and destination.endswith(".md") and os.path.isfile(destination):
            if destination not in anchor_cache:
                anchor_cache[destination] = anchors(destination)
            if urllib.parse.unquote(anchor).lower() not in anchor_cache[destination]:
                problems.append(f"{where}: link to {target}: no heading #{anchor} in {shown}")
    return count


# --- the curl examples -----------------------------------------------------

SERVICE_URL = re.compile(r"^http://(?:127\.0\.0\.1|localhost):([^/]*)(/[^?#]*)?")


def logical_lines(text):
    """Lines with their backslash continuations joined, as a shell reads them."""
    pending, first = "", None
    for number, line, _ in split_lines(text):
        if first is None:
            first = number
        if line.rstrip().endswith("\\"):
            pending += line.rstrip()[:-1] + " "
            continue
        yield first, pending + line
        pending, first = "", None
    if pending:
        yield first, pending


def curl_requests(command):
    """(method, url) of each service URL in one curl command's words."""
    method, body = None, False
    urls = []
    i = 0
    while i < len(command):
        word = command[i]
        if word in ("-X", "--request") and i + 1 < len(command):
            method = command[i + 1]
            i += 1
        elif word.startswith("-X") and len(word) > 2:
            method = word[2:]
        elif word in ("-I", "--head"):
            method = method or "HEAD"
        elif word in ("-T", "--upload-file"):
            method = method or "PUT"
        elif re.match(r"^(-d|-F|--data.*|--form.*|--json)$", word):
            body = True
        elif word.startswith("-d") and len(word) > 2:
            body = True
        elif SERVICE_URL.match(word):
            urls.append(word)
        i += 1
    method = method or ("POST" if body else "GET")
    return [(method, url) for url in urls]


def curl_commands(line):
    """Each curl command's words on a (logical) line; shell operators end one."""
    # A port read with $(cat ...) stays one word.
    line = re.sub(r"\$\([^()]*\)", "$PORT", line)
    try:
        words = shlex.split(line.replace("`", " "), comments=False, posix=True)
    except ValueError:
        words = line.replace("`", " ").split()
    commands, current = [], None
    for word in words:
        if word == "curl":
            current = []
            commands.append(current)
        elif word in ("|", "||", "&&", ";", ">", "2>"):
            current = None
        elif current is not None:
            current.append(word)
    return commands


def check_curls(root, md, routes, any_path_methods, problems):
    with open(md, encoding="utf-8") as f:
        text = f.read()
    count = 0
    for number, line in logical_lines(text):
        if "curl" not in line:
            continue
        for command in curl_commands(line):
            for method, url in curl_requests(command):
                port, path = SERVICE_URL.match(url).groups()
                if port.isdigit() and int(port) not in SERVICE_PORTS:
                    continue  # some other server on loopback
                count += 1
                path = urllib.parse.unquote(path or "/")
                where = f"{os.path.relpath(md, root)}:{number}"
                matching = [r for r in routes if r.matches_path(path)]
                example = f"{where}: curl example {method} {url}"
                if not matching:
                    problems.append(f"{example}: the service has no route {path}")
                elif method not in any_path_methods and not any(
                    r.methods is None or method in r.methods for r in matching
                ):
                    allowed = ", ".join(r.describe() for r in matching)
                    problems.append(f"{example}: the route answers {allowed}")
    return count


def check(root):
    """Returns (problems, links checked, curl examples checked)."""
    routes, any_path_methods = read_routes(os.path.join(root, "src", "http", "routes.cpp"))
    problems, anchor_cache = [], {}
    link_count = curl_count = 0
    for md in markdown_files(root):
        link_count += check_links(root, md, problems, anchor_cache)
        curl_count += check_curls(root, md, routes, any_path_methods, problems)
    if curl_count == 0:
        problems.append("no curl example against the service found in README.md or docs/")
    return problems, link_count, curl_count


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    root = os.path.abspath(root)
    try:
        problems, link_count, curl_count = check(root)
    except (OSError, ValueError) as e:
        print(f"check_docs: {e}")
        return 1
    for p in problems:
        print(p)
    files = len(markdown_files(root))
    print(
        f"{len(problems)} problem(s); {files} Markdown file(s), {link_count} relative link(s), "
        f"{curl_count} curl example(s) checked"
    )
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
