#!/usr/bin/env python3
"""Checks the naming rule (.clang-tidy) on the lines of src/ and player/ that
changed since the rule was written down, so new code follows it and old code is
not churned. Runs clang-tidy's readability-identifier-naming with a line filter
over the Linux build's compile commands.

Usage: scripts/check-naming.py [BUILD_DIR]   (default build/dev)
"""
import json
import os
import re
import subprocess
import sys

# The commit that wrote the rule down: lines changed after it are checked.
BASE = "a4d6a8d3dd95d5bfff2d34f91b1a0ea9f67360e2"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def changed_lines():
    """{path: [[first, last], ...]} of lines added or changed since BASE."""
    diff = subprocess.run(["git", "diff", "-U0", BASE, "--", "src", "player"], cwd=ROOT,
                          check=True, capture_output=True, text=True).stdout
    ranges, path = {}, None
    for line in diff.splitlines():
        if line.startswith("+++ "):
            path = line[6:] if line.startswith("+++ b/") else None
        m = re.match(r"@@ .* \+(\d+)(?:,(\d+))? @@", line)
        if m and path and re.search(r"\.(cpp|h)$", path):
            first, count = int(m.group(1)), int(m.group(2) or "1")
            if count > 0:
                ranges.setdefault(path, []).append([first, first + count - 1])
    return ranges


def main():
    known = subprocess.run(["git", "cat-file", "-e", BASE + "^{commit}"], cwd=ROOT,
                           capture_output=True).returncode == 0
    if not known:
        print("naming check: SKIPPED, commit %s is not in this clone (a shallow clone?)" % BASE)
        return 0
    build = os.path.join(ROOT, sys.argv[1] if len(sys.argv) > 1 else "build/dev")
    with open(os.path.join(build, "compile_commands.json")) as f:
        compiled = {os.path.realpath(e["file"]) for e in json.load(f)}
    ranges = changed_lines()
    # A changed header is checked through the source file of the same name
    # beside it, or any compiled file of its folder.
    sources = set()
    for path in ranges:
        full = os.path.realpath(os.path.join(ROOT, path))
        if full in compiled:
            sources.add(full)
        elif path.endswith(".h"):
            twin = full[:-2] + ".cpp"
            folder = [c for c in compiled if os.path.dirname(c) == os.path.dirname(full)]
            if twin in compiled:
                sources.add(twin)
            elif folder:
                sources.add(sorted(folder)[0])
    if not sources:
        print("naming check: no changed lines to check")
        return 0
    line_filter = [{"name": os.path.realpath(os.path.join(ROOT, p)), "lines": r}
                   for p, r in ranges.items()]
    result = subprocess.run(["clang-tidy", "-p", build, "--quiet",
                             "--line-filter=" + json.dumps(line_filter)] + sorted(sources),
                            cwd=ROOT, capture_output=True, text=True)
    findings = [l for l in result.stdout.splitlines() if "readability-identifier-naming" in l]
    for l in findings:
        print(l)
    if findings or result.returncode != 0:
        print("naming check: %d name(s) break the rule in docs/architecture.md" % len(findings))
        if not findings:
            print(result.stdout[-4000:], result.stderr[-4000:])
        return 1
    print("naming check: %d changed file(s) follow the rule" % len(ranges))
    return 0


if __name__ == "__main__":
    sys.exit(main())
