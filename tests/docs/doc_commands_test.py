#!/usr/bin/env python3
"""The documentation runner finds every command block, refuses untagged ones,
and fails a page whose command fails."""

import os
import sys
import tempfile
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import doc_commands  # noqa: E402


SCRATCH = tempfile.TemporaryDirectory()


def page(text):
    handle = tempfile.NamedTemporaryFile("w", suffix=".md", dir=SCRATCH.name, delete=False, encoding="utf-8")
    handle.write(textwrap.dedent(text))
    handle.close()
    return handle.name


class Tagging(unittest.TestCase):
    def test_every_kind_of_command_block_is_found_with_its_tag(self):
        path = page("""\
            # Page

            <!-- doc-test: run -->
            ```sh
            echo one
            ```

            <!-- doc-test: skip (needs a cluster) -->
            ```bash
            sbatch x
            ```

            <!-- doc-test: run -->
            ```python
            print(2)
            ```

            <!-- doc-test: run -->
            ```
            $ torvex-batch --help
            Usage: ...
            ```

            ```toml
            case = "x.dat"
            ```
            """)
        blocks, problems = doc_commands.parse(path)
        self.assertEqual(problems, [])
        self.assertEqual([(b.language, b.tag) for b in blocks],
                         [("sh", "run"), ("bash", "skip"), ("python", "run"), ("console", "run")])
        self.assertEqual(blocks[1].reason, "needs a cluster")
        self.assertEqual(blocks[3].text, "$ torvex-batch --help\n")  # the output is not run

    def test_untagged_blocks_stray_tags_and_indented_commands_are_refused(self):
        path = page("""\
            ```sh
            torvex-batch x.dat
            ```

            <!-- doc-test: run -->

            ```sh
            echo the tag is not on the line before
            ```

            <!-- doc-test: skip -->
            ```sh
            echo a skip without a reason
            ```

            <!-- doc-test: run -->
            ```toml
            a = 1
            ```

            Run it so:

                torvex-batch sweep study.toml
            """)
        _, problems = doc_commands.parse(path)
        text = "\n".join(problems)
        self.assertIn(":1: a sh block without a doc-test tag", text)
        self.assertIn(":5: a doc-test tag without a code block", text)
        self.assertIn(":11: a skipped block needs a reason", text)
        self.assertIn("not shell or Python", text)
        self.assertIn(":23: a command in an indented block", text)


class Running(unittest.TestCase):
    def run_page(self, text):
        source = tempfile.mkdtemp(dir=SCRATCH.name)
        for folder in ("examples", "scripts"):
            os.mkdir(os.path.join(source, folder))
        with open(os.path.join(source, "examples", "marker"), "w") as handle:
            handle.write("x")
        return doc_commands.main(["doc_commands.py", page(text), source, source, "--timeout", "20"])

    def test_blocks_share_one_session_in_a_scratch_copy_of_the_examples(self):
        self.assertEqual(self.run_page("""\
            <!-- doc-test: run -->
            ```sh
            greet() { echo "hello $1"; }
            test -f examples/marker && test "$src" = "$PWD"
            ```

            <!-- doc-test: run -->
            ```python
            open("made.txt", "w").write("1")
            ```

            <!-- doc-test: run -->
            ```sh
            greet there | grep -q 'hello there'
            test -f made.txt
            ```
            """), 0)

    def test_a_failing_command_or_a_failing_pipe_fails_the_page(self):
        self.assertEqual(self.run_page("<!-- doc-test: run -->\n```sh\nfalse | cat\n```\n"), 1)
        self.assertEqual(self.run_page("<!-- doc-test: run -->\n```python\nraise SystemExit(3)\n```\n"), 1)

    def test_a_skipped_block_does_not_run(self):
        self.assertEqual(self.run_page("<!-- doc-test: skip (never) -->\n```sh\nexit 1\n```\n"), 0)


if __name__ == "__main__":
    unittest.main()
