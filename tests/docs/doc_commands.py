#!/usr/bin/env python3
"""Runs the command blocks of one documentation page, so that none can drift.

Every fenced block of shell or Python in a page must be tagged on the line
before it, in a comment the rendered page does not show:

    <!-- doc-test: run -->
    <!-- doc-test: skip (the reason) -->

The runnable blocks of a page run in order, as one shell session (functions
and variables carry over), in a scratch folder that holds copies of the
checkout's examples/ and scripts/, so that commands written for the top of a
checkout work and nothing is written into it. The programs of the build come
first on the PATH, then the system's own (a fresh Debian's python3), the
build's Python module is on the PYTHONPATH, and $src names the scratch
folder, which stands for the checkout. A block fails the test when it exits
non-zero; an untagged block, a tag without a block, and a
command in an indented code block fail it too.

    doc_commands.py --list PAGE             the blocks and their tags
    doc_commands.py PAGE BIN_DIR SOURCE_DIR [--timeout S]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

EXECUTABLE = {"sh", "bash", "shell", "console", "python", "python3", "py"}
TAG = re.compile(r"^<!--\s*doc-test:\s*(run|skip)\s*(?:\((.+)\))?\s*-->\s*$")
FENCE = re.compile(r"^(```+|~~~+)\s*([A-Za-z0-9_+-]*)")
# The programs and scripts the documentation tells a reader to run.
COMMAND = re.compile(r"^\s*(\$ )?(torvex|torvex-batch|torvex-plot|python3|bash|cmake)\b")


class Block:
    def __init__(self, line, language, text, tag, reason):
        self.line = line  # 1-based line of the opening fence
        self.language = language
        self.text = text
        self.tag = tag  # "run", "skip" or None
        self.reason = reason

    @property
    def python(self):
        return self.language in ("python", "python3", "py")


def parse(path):
    """The fenced blocks of a page and the problems of its tagging."""
    with open(path, encoding="utf-8") as handle:
        lines = handle.read().split("\n")
    blocks, problems = [], []
    pending = None  # (line, tag, reason) of a tag waiting for its block
    previous_blank = True
    i = 0
    while i < len(lines):
        line = lines[i]
        tag = TAG.match(line.strip())
        fence = FENCE.match(line)
        if tag:
            if pending:
                problems.append(f"{path}:{pending[0]}: a doc-test tag without a code block after it")
            if tag.group(1) == "skip" and not tag.group(2):
                problems.append(f"{path}:{i + 1}: a skipped block needs a reason: <!-- doc-test: skip (why) -->")
            pending = (i + 1, tag.group(1), tag.group(2))
        elif fence:
            marker, language = fence.group(1), fence.group(2).lower()
            body = []
            j = i + 1
            while j < len(lines) and not lines[j].startswith(marker):
                body.append(lines[j])
                j += 1
            if j == len(lines):
                problems.append(f"{path}:{i + 1}: a code block that is never closed")
            tag_here = pending if pending and pending[0] == i else None
            # A plain block that shows a session ("$ command", then its
            # output) holds commands too: those lines are what runs.
            if not language and any(COMMAND.match(b) and b.startswith("$ ") for b in body):
                language = "console"
                body = [b for b in body if b.startswith("$ ")]
            if language in EXECUTABLE:
                if tag_here is None:
                    problems.append(
                        f"{path}:{i + 1}: a {language} block without a doc-test tag on the line before it")
                blocks.append(Block(i + 1, language, "\n".join(body) + "\n",
                                    tag_here[1] if tag_here else None, tag_here[2] if tag_here else None))
            elif tag_here:
                problems.append(f"{path}:{tag_here[0]}: a doc-test tag on a block that is not shell or Python")
            if pending and not tag_here:
                problems.append(f"{path}:{pending[0]}: a doc-test tag without a code block after it")
            pending = None
            i = j + 1
            previous_blank = False
            continue
        elif line.strip():
            if pending and not tag:
                problems.append(f"{path}:{pending[0]}: a doc-test tag without a code block after it")
                pending = None
            # An indented code block (after a blank line) that holds a command.
            if previous_blank and line.startswith("    ") and COMMAND.match(line[4:]):
                problems.append(f"{path}:{i + 1}: a command in an indented block; put it in a tagged ```sh block")
        previous_blank = not line.strip()
        i += 1
    if pending:
        problems.append(f"{path}:{pending[0]}: a doc-test tag without a code block after it")
    return blocks, problems


def script_of(page, blocks):
    """One bash script running the page's runnable blocks in order."""
    parts = ["set -euo pipefail"]
    for number, block in enumerate(blocks):
        if block.tag != "run":
            continue
        where = f"{os.path.basename(page)}:{block.line}"
        parts.append(f"echo '== doc-test: {where}' >&2")
        if block.python:
            parts.append(f"python3 - <<'DOC_TEST_PYTHON_{number}'\n{block.text}DOC_TEST_PYTHON_{number}")
        else:
            # A block's lines run as written; "$ " prompts are taken off.
            parts.append(re.sub(r"^\$ ", "", block.text, flags=re.M))
    return "\n".join(parts) + "\n"


def copy_sources(source, scratch, folders):
    """The checkout's files of these folders, without what runs left in them
    (a study's output folder in examples/, say): the files git tracks or would
    track there, or everything outside a git checkout."""
    try:
        command = ["git", "-C", source, "ls-files", "-z", "--cached", "--others", "--exclude-standard", "--"]
        listed = subprocess.run(command + list(folders), capture_output=True, check=True).stdout.decode().split("\0")
    except (OSError, subprocess.CalledProcessError):
        listed = []
    files = [name for name in listed if name]
    if not files:
        for folder in folders:
            shutil.copytree(os.path.join(source, folder), os.path.join(scratch, folder))
        return
    for name in files:
        os.makedirs(os.path.dirname(os.path.join(scratch, name)), exist_ok=True)
        shutil.copy2(os.path.join(source, name), os.path.join(scratch, name))


def main(argv):
    if len(argv) == 3 and argv[1] == "--list":
        blocks, problems = parse(argv[2])
        for block in blocks:
            print(f"{argv[2]}:{block.line}: {block.language} {block.tag or 'UNTAGGED'}"
                  + (f" ({block.reason})" if block.reason else ""))
        print("\n".join(problems))
        return 1 if problems else 0
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    page, bin_dir, source = argv[1], os.path.abspath(argv[2]), os.path.abspath(argv[3])
    timeout = float(argv[argv.index("--timeout") + 1]) if "--timeout" in argv else 300
    blocks, problems = parse(page)
    if problems:
        print("\n".join(problems), file=sys.stderr)
        return 1
    runnable = [b for b in blocks if b.tag == "run"]
    print(f"{page}: {len(runnable)} of {len(blocks)} blocks run; skipped:")
    for block in blocks:
        if block.tag == "skip":
            print(f"  line {block.line}: {block.reason}")
    if not runnable:
        return 0
    scratch = tempfile.mkdtemp(prefix="torvex-doc-test-")
    try:
        copy_sources(source, scratch, ("examples", "scripts"))
        env = dict(os.environ)
        env["PATH"] = bin_dir + os.pathsep + "/usr/bin" + os.pathsep + env.get("PATH", "")
        env["src"] = scratch
        # The Python module of the same build, as an installed one would be.
        module_dir = os.path.join(os.path.dirname(os.path.abspath(bin_dir)), "python")
        if os.path.isdir(module_dir):
            env["PYTHONPATH"] = module_dir + (os.pathsep + env["PYTHONPATH"] if env.get("PYTHONPATH") else "")
        env.pop("TORVEX_VECTOR_BITS", None)
        try:
            done = subprocess.run(["bash", "-c", script_of(page, blocks)], cwd=scratch, env=env, timeout=timeout)
        except subprocess.TimeoutExpired:
            print(f"{page}: the commands took longer than {timeout:g} s", file=sys.stderr)
            return 1
        if done.returncode != 0:
            print(f"{page}: a command failed with status {done.returncode} (the last '== doc-test' line above "
                  "names its block)", file=sys.stderr)
            return 1
        return 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
