#!/usr/bin/python3
"""How close our engine sounds to the mature players, per file and rule set.

usage: fidelity_report.py --build-dir DIR [--cases DIR] [--cache DIR] [--workers N]

Renders every behaviour case (--cases, default ../shared/xm-behaviour-cases
from the repository's root; left out with a note when absent), every small
module of our own (DIR/comparison_songs, one tracker behaviour each) and every
real song (scripts/fetch-real-songs.sh's cache) with ours under each rule set
(DIR/xm2wav --rules tracker|intro) and with libxmp and libopenmpt
(DIR/reference_render), and prints per file the spectral agreement (mono
log-spectrogram correlation, scripts/spectral_similarity.py) of ours with
each player and of the players with each other.

A file "differs" under a rule set when our best agreement with either player
is more than 0.03 below the players' agreement with each other. A real song or
one of our modules is "below" when ours~libopenmpt < libxmp~libopenmpt. The
summary gives, per rule set, how many behaviour cases differ and how many real
songs and own modules are below.

Behaviour cases and our modules render for libopenmpt's length of one pass,
clamped to 2..12 s; real songs for 30 s.
"""

import argparse
import concurrent.futures
import pathlib
import subprocess
import sys
import tempfile
import time

REPOSITORY = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPOSITORY / "scripts"))
sys.path.insert(0, str(REPOSITORY / "tests" / "real_songs"))
import spectral_similarity  # noqa: E402
from player_renders import REFERENCE_PLAYERS, RULE_SETS, ours_command, reference_command, render, \
    require_tool  # noqa: E402
from real_songs import AGREEMENT_TOLERANCE, fetch_song_set  # noqa: E402

DEFAULT_CASES = REPOSITORY.parent / "shared" / "xm-behaviour-cases"
DEFAULT_CACHE = REPOSITORY / ".cache" / "real-songs"
WORKERS = 2  # the machine has two cores
SHORTEST_CASE_SECONDS = 2.0
LONGEST_CASE_SECONDS = 12.0
REAL_SONG_SECONDS = 30.0
# What a behaviour case renders for when libopenmpt cannot tell its length.
UNKNOWN_CASE_SECONDS = LONGEST_CASE_SECONDS


def case_seconds(reference_render, song):
    """libopenmpt's one-pass length of the song, clamped to the behaviour cases' range."""
    result = subprocess.run([str(reference_render), "--player", "libopenmpt", "--duration", str(song)],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        seconds = float(result.stdout) if result.returncode == 0 else UNKNOWN_CASE_SECONDS
    except ValueError:
        seconds = UNKNOWN_CASE_SECONDS
    return min(max(seconds, SHORTEST_CASE_SECONDS), LONGEST_CASE_SECONDS)


def mono_signals(paths):
    """The mono mixes of the renders, cut to the shortest."""
    signals = {name: spectral_similarity.read_mono(str(path))[0] for name, path in paths.items()}
    length = min(len(signal) for signal in signals.values())
    return {name: signal[:length] for name, signal in signals.items()}


def measure(job):
    """Renders one file four ways and measures the pairs; returns (figures, error text). Runs in a worker."""
    song, seconds, tools, work_dir = job
    renders = {}
    try:
        for name in RULE_SETS + REFERENCE_PLAYERS:
            output = pathlib.Path(work_dir) / f"{song.stem}.{name}.wav"
            renders[name] = output
            command = (ours_command(tools["xm2wav"], song, output, seconds, name) if name in RULE_SETS else
                       reference_command(tools["reference_render"], name, song, output, seconds))
            # Some cases are built to be silent when played right.
            error = render(command, output, seconds, require_sound=False)
            if error is not None:
                return None, f"{name}: {error}"
        signals = mono_signals(renders)
        figures = {(rules, player): spectral_similarity.similarity(signals[rules], signals[player])
                   for rules in RULE_SETS for player in REFERENCE_PLAYERS}
        figures["players"] = spectral_similarity.similarity(signals["libxmp"], signals["libopenmpt"])
        return figures, None
    finally:
        for path in renders.values():
            path.unlink(missing_ok=True)


def write_own_modules(comparison_songs, folder):
    """Writes every module comparison_songs knows into folder; returns their paths."""
    listed = subprocess.run([str(comparison_songs), "--list"], stdout=subprocess.PIPE, text=True, check=True)
    paths = []
    for line in listed.stdout.splitlines():
        path = pathlib.Path(folder) / f"{line.split()[0]}.xm"
        subprocess.run([str(comparison_songs), line.split()[0], str(path)], check=True)
        paths.append(path)
    return paths


def differs(figures, rules):
    best = max(figures[(rules, player)] for player in REFERENCE_PLAYERS)
    return best < figures["players"] - AGREEMENT_TOLERANCE


def below(figures, rules):
    return figures[(rules, "libopenmpt")] < figures["players"]


def print_table(title, songs, seconds, results, marked_below):
    """One line per file: the five figures and each rule set's marks."""
    print(f"\n{title}")
    width = max([len(song.name) for song in songs] + [4])
    columns = [f"{rules}~{player}" for rules in RULE_SETS for player in REFERENCE_PLAYERS] + ["libxmp~libopenmpt"]
    print(f"{'file':<{width}}  {'length':>6}  " + "  ".join(columns) + "  " +
          "  ".join(f"{rules:<13}" for rules in RULE_SETS))
    for song, length, (figures, error) in zip(songs, seconds, results):
        if error is not None:
            print(f"{song.name:<{width}}  {length:5.1f}s  render failed ({error})")
            continue
        values = [figures[(rules, player)] for rules in RULE_SETS for player in REFERENCE_PLAYERS]
        values.append(figures["players"])
        cells = "  ".join(f"{value:>{len(column)}.4f}" for value, column in zip(values, columns))
        marks = []
        for rules in RULE_SETS:
            mark = [word for word, test in (("differs", differs), ("below", below))
                    if test(figures, rules) and (marked_below or word == "differs")]
            marks.append(f"{','.join(mark) or 'ok':<13}")
        print(f"{song.name:<{width}}  {length:5.1f}s  {cells}  " + "  ".join(marks))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True, help="folder holding xm2wav and reference_render")
    parser.add_argument("--cases", default=str(DEFAULT_CASES), help="folder of behaviour cases (*.xm)")
    parser.add_argument("--cache", default=str(DEFAULT_CACHE), help="the real songs' cache")
    parser.add_argument("--workers", type=int, default=WORKERS)
    arguments = parser.parse_args()
    started = time.monotonic()
    tools = {name: require_tool(arguments.build_dir, name)
             for name in ("xm2wav", "reference_render", "comparison_songs")}

    cases_folder = pathlib.Path(arguments.cases)
    cases = sorted(cases_folder.glob("*.xm")) if cases_folder.is_dir() else []
    if not cases:
        print(f"behaviour cases: {cases_folder} is absent or holds no .xm files; measuring the real songs only")
    songs, _, why_not = fetch_song_set(arguments.cache)
    if songs is None:
        print(f"real songs: left out, {why_not}")
        songs = []

    song_lengths = [REAL_SONG_SECONDS] * len(songs)
    with tempfile.TemporaryDirectory(prefix="fidelity-") as work_dir:
        modules_folder = pathlib.Path(work_dir) / "own-modules"
        modules_folder.mkdir()
        modules = write_own_modules(tools["comparison_songs"], modules_folder)
        case_lengths = [case_seconds(tools["reference_render"], case) for case in cases]
        module_lengths = [case_seconds(tools["reference_render"], module) for module in modules]
        files = cases + modules + songs
        jobs = [(song, seconds, tools, work_dir)
                for song, seconds in zip(files, case_lengths + module_lengths + song_lengths)]
        with concurrent.futures.ProcessPoolExecutor(max_workers=arguments.workers) as pool:
            results = list(pool.map(measure, jobs))
    case_results = results[:len(cases)]
    module_results = results[len(cases):len(cases) + len(modules)]
    song_results = results[len(cases) + len(modules):]
    if cases:
        print_table(f"behaviour cases ({cases_folder})", cases, case_lengths, case_results, marked_below=False)
    print_table("own modules (comparison_songs, one behaviour each)", modules, module_lengths, module_results,
                marked_below=True)
    if songs:
        print_table(f"real songs ({pathlib.Path(arguments.cache) / 'songs'}, {REAL_SONG_SECONDS:.0f} s each)",
                    songs, song_lengths, song_results, marked_below=True)

    print()
    failed = sum(error is not None for _, error in results)
    for rules in RULE_SETS:
        case_part = (f"{sum(differs(figures, rules) for figures, error in case_results if error is None)} of "
                     f"{len(cases)} behaviour cases differ" if cases else "no behaviour cases")
        song_part = (f"{sum(below(figures, rules) for figures, error in song_results if error is None)} of "
                     f"{len(songs)} real songs have ours~libopenmpt < libxmp~libopenmpt" if songs else
                     "no real songs")
        module_part = (f"{sum(below(figures, rules) for figures, error in module_results if error is None)} of "
                       f"{len(modules)} own modules below")
        print(f"{rules} rules: {case_part}; {module_part}; {song_part}")
    if failed:
        print(f"{failed} files failed to render (left out of the counts above)")
    print(f"fidelity report: {len(files)} files in {time.monotonic() - started:.0f} s "
          f"with {arguments.workers} workers")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
