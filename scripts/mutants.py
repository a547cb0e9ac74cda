#!/usr/bin/python3
"""Puts each slip of tests/mutants.txt, one at a time, into a scratch copy of
the sources, builds it and runs the main test suite against it: a slip the
suite lets through shows a rule no test holds.

usage: mutants.py [--slips FILE] [--scratch DIR] [--only TEXT] [--tests REGEX] [--jobs N] [--skip-baseline]

Each slip is a search and replace on one line of one file; the searched text
must be found exactly once, so a slip whose line moved or changed is reported
as stale instead of being skipped quietly. A slip that does not compile is a
fault of the list and fails the run. Prints each slip with the test that
caught it, then `mutants: killed K of N`.

The scratch copy (default /tmp/intro-mutants) keeps its build folder between
runs, configured with ccache, so each slip costs one file and the links.
--only (repeatable) runs the slips whose description contains TEXT; --tests limits the
suite to the ctest names matching REGEX (for trying a new slip quickly);
--slips reads another list in the same form (a probe of new slips, kept
outside the repository); --skip-baseline trusts the last baseline run (its test order is kept in the
scratch folder) instead of running the whole suite once without slips.
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time

REPOSITORY = pathlib.Path(__file__).resolve().parents[1]
SLIP_LIST = REPOSITORY / "tests" / "mutants.txt"
TEST_TIMEOUT_SECONDS = 600


class Slip:
    def __init__(self, description, path, search, replacement, line_number):
        self.description = description
        self.path = path
        self.search = search
        self.replacement = replacement
        self.line_number = line_number


def read_slips(text, source=SLIP_LIST):
    """Blocks of '== description', a file path, '- searched text' and '+ replacement' (each on its own line)."""
    slips = []
    lines = text.splitlines()
    index = 0
    while index < len(lines):
        line = lines[index]
        if not line.strip() or line.startswith("#"):
            index += 1
            continue
        if not line.startswith("== ") or index + 3 >= len(lines):
            sys.exit(f"{source}:{index + 1}: expected '== description', a path, '- text' and '+ text'")
        path, search, replacement = lines[index + 1:index + 4]
        if not search.startswith("- ") or not (replacement.startswith("+ ") or replacement == "+"):
            sys.exit(f"{source}:{index + 1}: the slip needs '- searched text' and '+ replacement' lines")
        slips.append(Slip(line[3:], path.strip(), search[2:], replacement[2:], index + 1))
        index += 4
    return slips


def source_files():
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=REPOSITORY,
                            stdout=subprocess.PIPE, check=True).stdout.split(b"\0")
    return [name.decode() for name in listed if name]


def sync_sources(scratch):
    """Copies the working tree (committed or not) into scratch/src, touching only files that differ,
    and removes the files the tree no longer has (a globbed source left behind would still build)."""
    source = scratch / "src"
    names = set(source_files())
    if source.is_dir():
        for target in [path for path in source.rglob("*") if path.is_file() and not path.is_symlink()]:
            relative = target.relative_to(source).as_posix()
            if relative.split("/")[0] != ".cache" and relative not in names:
                target.unlink()
    for name in names:
        origin = REPOSITORY / name
        target = source / name
        if not origin.is_file() or origin.is_symlink() and not origin.exists():
            continue
        if target.is_file() and target.read_bytes() == origin.read_bytes():
            continue
        target.parent.mkdir(parents=True, exist_ok=True)
        # A fresh time stamp: the copy must look newer than what the scratch build made of the old one.
        shutil.copy(origin, target)
    cache = REPOSITORY / ".cache"
    if cache.exists() and not (source / ".cache").exists():
        (source / ".cache").symlink_to(cache.resolve())
    return source


def run(command, **options):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          errors="replace", **options)


def build(source, build_dir, jobs):
    if not (build_dir / "build.ninja").exists():
        configured = run(["cmake", "-S", str(source), "-B", str(build_dir), "-G", "Ninja",
                          "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache",
                          "-DCMAKE_C_COMPILER_LAUNCHER=ccache"])
        if configured.returncode != 0:
            return configured.stdout
    built = run(["cmake", "--build", str(build_dir), "-j", str(jobs)])
    return None if built.returncode == 0 else built.stdout[-3000:]


def cost_file(build_dir):
    return build_dir / "Testing" / "Temporary" / "CTestCostData.txt"


def quickest_first(build_dir):
    """The baseline's test times turned round: ctest starts the costliest first, so the quick tests get the
    highest cost and a slip meets the many quick tests before the few slow ones."""
    costs = {}
    if cost_file(build_dir).exists():
        for line in cost_file(build_dir).read_text().splitlines():
            fields = line.split()
            if line.startswith("---"):
                break
            if len(fields) == 3:
                costs[fields[0]] = 1000.0 / (float(fields[2]) + 0.01)
    return costs


def run_suite(build_dir, jobs, tests, excluded, stop_on_failure, order=None):
    """Runs ctest, in the given order of costs (else as declared); returns the names of the failed tests."""
    cost_file(build_dir).unlink(missing_ok=True)
    if order:
        cost_file(build_dir).write_text("".join(f"{name} 1 {cost:.6f}\n" for name, cost in order.items()) + "---\n")
    command = ["ctest", "--test-dir", str(build_dir), "-j", str(jobs), "--timeout", str(TEST_TIMEOUT_SECONDS)]
    if stop_on_failure:
        command.append("--stop-on-failure")
    if tests:
        command += ["-R", tests]
    if excluded:
        command += ["-E", "^(" + "|".join(re.escape(name) for name in excluded) + ")$"]
    result = run(command)
    failed = re.findall(r"^\s*\d+ - (\S+) \(", result.stdout.split("The following tests FAILED:")[-1], re.M) \
        if "The following tests FAILED:" in result.stdout else []
    if result.returncode != 0 and not failed:
        failed = ["(ctest: " + result.stdout.strip().splitlines()[-1] + ")"]
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--slips", type=pathlib.Path, default=SLIP_LIST, help="the list of slips to try")
    parser.add_argument("--scratch", default="/tmp/intro-mutants")
    parser.add_argument("--only", action="append", help="run only the slips whose description contains this text")
    parser.add_argument("--tests", help="run only the ctest names matching this regular expression")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--skip-baseline", action="store_true", help="trust the last baseline run")
    arguments = parser.parse_args()

    slips = read_slips(arguments.slips.read_text(), arguments.slips)
    if arguments.only:
        slips = [slip for slip in slips if any(text in slip.description for text in arguments.only)]
    scratch = pathlib.Path(arguments.scratch)
    source = sync_sources(scratch)
    build_dir = scratch / "build"

    started = time.monotonic()
    error = build(source, build_dir, arguments.jobs)
    if error:
        print(f"the unchanged sources do not build:\n{error}")
        return 1
    # Tests that fail without any slip (a missing device, say) cannot tell a slip; they are left out, loudly.
    saved = scratch / "baseline.json"
    if arguments.skip_baseline and saved.exists():
        baseline_failed, order = json.loads(saved.read_text())
    else:
        baseline_failed = run_suite(build_dir, arguments.jobs, arguments.tests, [], False)
        order = quickest_first(build_dir)
        saved.write_text(json.dumps([baseline_failed, order]))
    for name in baseline_failed:
        print(f"left out: {name} fails without any slip")
    print(f"baseline: built and tested in {time.monotonic() - started:.0f} s; {len(slips)} slips")

    killed = 0
    unsteady = []
    stale = []
    broken = []
    survivors = []
    for number, slip in enumerate(slips, 1):
        target = source / slip.path
        original = target.read_text() if target.is_file() else ""
        count = original.count(slip.search)
        label = f"[{number}/{len(slips)}] {slip.description} ({slip.path})"
        if count != 1:
            print(f"STALE     {label}: the searched text is found {count} times, not once")
            stale.append(slip)
            continue
        slip_started = time.monotonic()
        try:
            target.write_text(original.replace(slip.search, slip.replacement, 1))
            error = build(source, build_dir, arguments.jobs)
            if error:
                print(f"NO BUILD  {label}\n{error}")
                broken.append(slip)
                continue
            # A kill counts when the test fails again alone; one that passes then is unsteady (shared caches,
            # a loaded machine) and is left out from here on.
            while True:
                failed = run_suite(build_dir, arguments.jobs, arguments.tests, baseline_failed + unsteady, True, order)
                if not failed or failed[0].startswith("(ctest"):
                    break
                again = run_suite(build_dir, arguments.jobs, "^(" + "|".join(map(re.escape, failed)) + ")$", [], False)
                if again:
                    failed = again
                    break
                for name in failed:
                    print(f"unsteady: {name} failed once and passed alone; left out from here on")
                unsteady.extend(failed)
        finally:
            target.write_text(original)
        seconds = time.monotonic() - slip_started
        if failed:
            killed += 1
            print(f"killed    {label} by {', '.join(failed)} ({seconds:.0f} s)")
        else:
            survivors.append(slip)
            print(f"SURVIVED  {label} ({seconds:.0f} s)")
        sys.stdout.flush()

    # Leave the scratch build matching the sources again.
    build(source, build_dir, arguments.jobs)
    for slip in survivors:
        print(f"survivor: {slip.description} ({slip.path}: {slip.search.strip()!r} -> {slip.replacement.strip()!r})")
    print(f"time: {time.monotonic() - started:.0f} s")
    if stale or broken:
        print(f"mutants: {len(stale)} stale and {len(broken)} not compiling; fix tests/mutants.txt")
    print(f"mutants: killed {killed} of {len(slips) - len(stale) - len(broken)}")
    return 1 if stale or broken else 0


if __name__ == "__main__":
    sys.exit(main())
