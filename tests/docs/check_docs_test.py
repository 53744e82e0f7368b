#!/usr/bin/env python3
"""The documentation check finds what it is meant to find: each fault below,
planted in a small tree beside a copy of the real route table, gives exactly
the expected problem, and a sound tree gives none."""

import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_docs  # noqa: E402

SOURCE = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

SOUND_README = """# Service

Read [the API](docs/api.md), [its documents](docs/api.md#documents-and-names),
[a folder](docs/), [here](#quick-tour) and [reference][ref].

[ref]: docs/guides/start.md#start-it

## Quick tour

```
$ curl -i http://127.0.0.1:17632/api/ping
$ curl -X PUT -H 'Content-Type: application/json' --data '{"a":1}' \\
       http://127.0.0.1:17632/api/data/settings
$ curl -s -X POST 'http://127.0.0.1:17633/api/audio/volume?v=55'
$ curl -i -X OPTIONS http://127.0.0.1:$PORT/api/data/notes
$ sleep 2; curl -s http://127.0.0.1:$(cat base/service_port.txt)/api/list && echo
$ curl 'http://127.0.0.1:17632/api/music/media?path=Live/01%20Intro.MP3'
```

A `[link in code](nowhere.md)` is text, and so is the release host:
`curl https://127.0.0.1:17652/manifest.json`, `curl http://127.0.0.1:17651/x`.
"""

SOUND_DOCS = {
    "docs/api.md": "# API\n\n## Documents and names\n\nBack to [the README](../README.md#service).\n"
    "\n```\n# not a heading\n```\n\n`curl http://127.0.0.1:17632/api/list`\n",
    "docs/guides/start.md": "Start it\n========\n\nSee [the API](../api.md#api).\n",
}


class CheckDocsTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.root)
        os.makedirs(os.path.join(self.root, "src", "http"))
        shutil.copy(
            os.path.join(SOURCE, "src", "http", "routes.cpp"),
            os.path.join(self.root, "src", "http", "routes.cpp"),
        )

    def write(self, name, text):
        path = os.path.join(self.root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def write_sound_tree(self):
        self.write("README.md", SOUND_README)
        for name, text in SOUND_DOCS.items():
            self.write(name, text)

    def test_sound_tree_has_no_problems(self):
        self.write_sound_tree()
        problems, links, curls = check_docs.check(self.root)
        self.assertEqual(problems, [])
        self.assertEqual(links, 7)
        self.assertEqual(curls, 7)

    def test_readme_alone_without_docs_folder(self):
        self.write("README.md", "# A\n\n`curl http://127.0.0.1:17632/api/ping`\n[a](#a)\n")
        self.assertEqual(check_docs.check(self.root), ([], 1, 1))

    def test_each_fault_gives_its_problem(self):
        url = "http://127.0.0.1:17632"
        cases = [
            ("[x](docs/missing.md)",
             "README.md:1: link to docs/missing.md: docs/missing.md does not exist"),
            ("[x](docs/api.md#no-such)",
             "README.md:1: link to docs/api.md#no-such: no heading #no-such in docs/api.md"),
            ("[x](#not-a-heading)", "link to #not-a-heading: no heading"),
            ("[x]: ../elsewhere.md", "link to ../elsewhere.md"),
            (f"curl {url}/api/pingg",
             f"curl example GET {url}/api/pingg: the service has no route /api/pingg"),
            (f"curl -X DELETE {url}/api/list",
             f"DELETE {url}/api/list: the route answers /api/list (GET)"),
            (f"curl -d '{{}}' {url}/api/ping", f"POST {url}/api/ping: the route answers"),
            (f"curl -s \\\n  {url}/api/audio/volumes",
             f"README.md:1: curl example GET {url}/api/audio/volumes"),
            (f"curl {url}/api/data/", "no route /api/data/"),
            ("curl localhost:17632/api/ping http://localhost:17632/api/tree",
             "GET http://localhost:17632/api/tree: the service has no route /api/tree"),
            ("curl http://127.0.0.1:$(cat port.txt)/api/lists",
             "GET http://127.0.0.1:$PORT/api/lists: the service has no route /api/lists"),
        ]
        self.write_sound_tree()
        for fault, expected in cases:
            with self.subTest(fault=fault):
                self.write("README.md", fault + "\n\n" + SOUND_README)
                problems, _, _ = check_docs.check(self.root)
                self.assertEqual(len(problems), 1, problems)
                self.assertIn(expected, problems[0])

    def test_fault_in_a_nested_docs_file(self):
        self.write_sound_tree()
        self.write("docs/guides/start.md", "# Start it\n\n[gone](../gone.md)\n")
        problems, _, _ = check_docs.check(self.root)
        self.assertEqual(problems, ["docs/guides/start.md:3: link to ../gone.md: docs/gone.md does not exist"])

    def test_renamed_route_makes_its_examples_stale(self):
        self.write_sound_tree()
        routes = os.path.join(self.root, "src", "http", "routes.cpp")
        with open(routes, encoding="utf-8") as f:
            text = f.read()
        self.assertIn('path == "/api/ping"', text)
        with open(routes, "w", encoding="utf-8") as f:
            f.write(text.replace('path == "/api/ping"', 'path == "/api/alive"'))
        problems, _, _ = check_docs.check(self.root)
        self.assertEqual(len(problems), 1, problems)
        self.assertIn("no route /api/ping", problems[0])

    def test_unreadable_route_rule_is_an_error_not_a_shorter_table(self):
        self.write_sound_tree()
        routes = os.path.join(self.root, "src", "http", "routes.cpp")
        with open(routes, encoding="utf-8") as f:
            text = f.read()
        with open(routes, "w", encoding="utf-8") as f:
            f.write(text.replace('path == "/api/list"', 'path.starts_with("/api/list")'))
        with self.assertRaisesRegex(ValueError, "cannot read the route rule"):
            check_docs.check(self.root)

    def test_no_curl_example_at_all_is_a_problem(self):
        self.write("README.md", "# A\n")
        problems, _, _ = check_docs.check(self.root)
        self.assertEqual(problems, ["no curl example against the service found in README.md or docs/"])


if __name__ == "__main__":
    unittest.main()
