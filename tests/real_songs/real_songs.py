#!/usr/bin/python3
"""Checks our engine on the public set of real XM songs.

usage:
  real_songs.py load-and-render --build-dir DIR [--cache DIR] [--seconds N]
  real_songs.py agreement --build-dir DIR [--cache DIR] [--seconds N] [--renders DIR]
  real_songs.py pinned --build-dir DIR [--cache DIR] [--update]
  real_songs.py tracker-pinned --build-dir DIR [--cache DIR] [--update]
  real_songs.py mixer-paths --build-dir DIR [--cache DIR] [--seconds N]

load-and-render: every song loads in DIR/xm2wav and N seconds of it (default 60)
render to a well-formed, non-silent WAV, with no sanitizer report.

agreement: renders N seconds (default 30) of every song with ours under each
rule set (the tracker's and the presentation's), libxmp and libopenmpt
(DIR/reference_render) and requires, per song and rule set, for the mono mix
and for each side on its own (left with left, right with right),
    max(ours~libxmp, ours~libopenmpt) >= libxmp~libopenmpt - tolerance,
where ~ is the spectrogram similarity. The reference pair is measured in the
same run, so the bar follows the players and is never written down by hand.
A song also fails when our sides resemble the players' opposite sides more
than their own, by more than a small margin (summed over both sides and both
players): its stereo image is mirrored.

pinned: the SHA-256 of every song's 60 s render must equal the one written in
pinned_renders.txt, so that speed work cannot change the sound unnoticed. The
embedded song (DIR/assets/song.xm, when built) is pinned alongside. After a
deliberate change of the sound, --update rewrites the file (review its diff).

tracker-pinned: the same under the tracker's rules (xm2wav's default), in
tracker_pins.txt: 30 s of every song and of the embedded one, and a few songs
again at 48 kHz and as float (see PINS_AT_48K and PINS_AS_FLOAT for what each
guards). While the tracker's rules are being worked on, `make repin-tracker`
rewrites the file; commit it with the reason the sound changed.

Songs come from scripts/fetch-real-songs.sh; when the Debian archive cannot be
reached the check exits with status 77 (skipped).

mixer-paths: N seconds (default 60) of every song, the embedded one included, render to the same bytes on
every mixing path of DIR/mixer_paths_check (skipped, status 77, when the build
or the CPU has only one path).
"""

import argparse
import concurrent.futures
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "scripts"))
import spectral_similarity  # noqa: E402
from player_renders import REFERENCE_PLAYERS, RULE_SETS, check_wav, ours_command, reference_command, \
    require_tool, run_tool  # noqa: E402

SKIP_STATUS = 77
AGREEMENT_TOLERANCE = 0.03
# A (nearly) symmetric song scores its own and its opposite sides alike, up to
# the players' small run-to-run differences; a mirrored image loses by 0.009 or
# more (sum of four similarities).
MIRROR_MARGIN = 0.002
WORKERS = 2  # the machine has two cores, shared with the build
PINNED_FILE = pathlib.Path(__file__).resolve().parent / "pinned_renders.txt"
PINNED_SECONDS = 60
# The tracker's rules on every song: each rule as real songs use it, exactly.
TRACKER_PINS_FILE = pathlib.Path(__file__).resolve().parent / "tracker_pins.txt"
TRACKER_PIN_SECONDS = 30
# Tempos 121, 176 and 137 give ticks of a fractional frame count at 48 kHz: these pin the floored frames per tick,
# the ramp lengths and the resampling steps at a rate other than the presentation's.
PINS_AT_48K = ("bomberclone-data-slice_me_nice.xm", "ceferino-data-menu.xm", "flobopuyo-flobopuyo_game2.xm")
# The float output: the mix before 16-bit rounding and clamping, where a small change in a voice's gain or
# interpolation cannot hide under the rounding (a linear-frequency song, a loud one, the embedded one).
PINS_AS_FLOAT = ("criticalmass-data-lg-criti.xm", "fb-music-high-frozen-mainzik-2p.xm", "song.xm")
SIDE_NAMES = ("left", "right")


def fetch_song_set(cache):
    """Fetches the set into the cache; returns (sorted song paths, 0, None), or (None, exit status, why not):
    SKIP_STATUS when the Debian archive cannot be reached, 1 when the fetch fails otherwise."""
    fetch = subprocess.run([str(REPOSITORY / "scripts" / "fetch-real-songs.sh"), str(cache)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    print(fetch.stdout, end="")
    if fetch.returncode == SKIP_STATUS:
        return None, SKIP_STATUS, "the real-song set is not available (Debian archive unreachable)"
    if fetch.returncode != 0:
        return None, 1, f"fetch-real-songs.sh exited with {fetch.returncode}"
    return sorted((pathlib.Path(cache) / "songs").glob("*.xm")), 0, None


def fetch_songs(cache):
    """Returns the sorted song paths, or exits with the skip status."""
    songs, status, why_not = fetch_song_set(cache)
    if songs is None:
        print(f"{'SKIPPED' if status == SKIP_STATUS else 'FAILED'}: {why_not}")
        sys.exit(status)
    return songs


def load_and_render(song, tools, seconds, work_dir):
    output = pathlib.Path(work_dir) / (song.stem + ".ours.wav")
    error = run_tool([tools["xm2wav"], "--seconds", seconds, song, output])
    if error is None:
        error = check_wav(output, seconds)
    output.unlink(missing_ok=True)
    return error


def render_digest(song, options, tools, work_dir):
    """Returns (SHA-256 of the WAV xm2wav renders with these options, error text)."""
    output = pathlib.Path(work_dir) / f"{song.stem}.{abs(hash(tuple(options)))}.pinned.wav"
    error = run_tool([tools["xm2wav"], *options, song, output])
    digest = None if error else hashlib.sha256(output.read_bytes()).hexdigest()
    output.unlink(missing_ok=True)
    return digest, error


def presentation_pins(songs):
    """(name in the pin file, song, xm2wav options) of every presentation pin."""
    return [(song.name, song, ["--rules", "intro", "--seconds", PINNED_SECONDS]) for song in songs]


def tracker_pins(songs):
    """(name in the pin file, song, xm2wav options) of every tracker-rule pin."""
    base = ["--seconds", TRACKER_PIN_SECONDS]
    pins = [(f"tracker {song.name}", song, base) for song in songs]
    pins += [(f"tracker-48k {song.name}", song, base + ["--rate", 48000]) for song in songs if song.name in PINS_AT_48K]
    pins += [(f"tracker-float {song.name}", song, base + ["--float"]) for song in songs if song.name in PINS_AS_FLOAT]
    return pins


def check_pinned(pins, pin_file, tools, work_dir, update):
    """Compares every render with its pinned digest; returns the number of mismatches."""
    results = run_all(pins, lambda pin: render_digest(pin[1], pin[2], tools, work_dir))
    if update:
        header = [line + "\n" for line in pin_file.read_text().splitlines() if line.startswith("#")] \
            if pin_file.exists() else []
        lines = [f"{digest}  {name}\n" for (name, _, _), (digest, _) in zip(pins, results) if digest]
        pin_file.write_text("".join(header + lines))
        print(f"wrote {len(lines)} digests to {pin_file}")
    pinned = {}
    for line in pin_file.read_text().splitlines():
        if line.startswith("#"):
            continue
        digest, name = line.split(maxsplit=1)
        pinned[name] = digest
    failed = 0
    for (name, _, _), (digest, error) in zip(pins, results):
        if error is None and name not in pinned:
            error = "no pinned digest (run with --update)"
        elif error is None and pinned[name] != digest:
            error = f"render changed: {digest} instead of {pinned[name]}"
        failed += error is not None
        print(f"{'ok  ' if error is None else 'FAIL'} {name}" + ("" if error is None else f": {error}"))
    return failed


def agreement(song, tools, seconds, work_dir, keep_renders):
    """Renders the song with ours (each rule set) and both players; returns (figures per rule set, error text)."""
    renders = {}
    try:
        return compare_renders(song, tools, seconds, work_dir, renders)
    finally:
        if not keep_renders:
            for path in renders.values():
                path.unlink(missing_ok=True)


def compare_renders(song, tools, seconds, work_dir, renders):
    """Fills renders with the WAV paths and measures ours (each rule set) against both players."""
    for name in RULE_SETS + REFERENCE_PLAYERS:
        output = pathlib.Path(work_dir) / f"{song.stem}.{name}.wav"
        if name in RULE_SETS:
            command = ours_command(tools["xm2wav"], song, output, seconds, name)
        else:
            command = reference_command(tools["reference_render"], name, song, output, seconds)
        renders[name] = output
        error = run_tool(command) or check_wav(output, seconds)
        if error is not None:
            return None, f"{name}: {error}"
    all_sides = {name: spectral_similarity.read_sides(str(path)) for name, path in renders.items()}
    length = min(len(left) for left, _ in all_sides.values())
    # Each render's mono mix and sides, their spectrograms worked out once for every comparison.
    views = {name: {"mono": spectral_similarity.prepared((left[:length] + right[:length]) / 2),
                    SIDE_NAMES[0]: spectral_similarity.prepared(left[:length]),
                    SIDE_NAMES[1]: spectral_similarity.prepared(right[:length])}
             for name, (left, right) in all_sides.items()}
    return {rules: side_figures({"ours": views[rules], **{player: views[player] for player in REFERENCE_PLAYERS}})
            for rules in RULE_SETS}, None


def side_figures(views):
    """The pair figures of the mono mix and of each side, and the mirrored-image sums (views: prepared
    spectrograms by player and by "mono" and side name)."""
    figures = {name: pair_figures({player: both[name] for player, both in views.items()})
               for name in ("mono",) + tuple(SIDE_NAMES)}
    # Our left against the players' right and the other way round.
    figures["crossed"] = sum(
        spectral_similarity.prepared_similarity(views["ours"][SIDE_NAMES[side]], views[player][SIDE_NAMES[1 - side]])
        for side in (0, 1) for player in REFERENCE_PLAYERS)
    figures["own"] = sum(figures[name][player] for name in SIDE_NAMES for player in REFERENCE_PLAYERS)
    return figures


def check_mixer_paths(songs, tool, seconds):
    """Runs the path comparison on every song, two at a time; returns the exit status."""
    def compare(song):
        return subprocess.run([str(tool), str(seconds), str(song)], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace")
    results = run_all(songs, compare)
    for result in results:
        print(result.stdout, end="")
    if any(result.returncode == SKIP_STATUS for result in results):
        return SKIP_STATUS
    failed = sum(result.returncode != 0 for result in results)
    print(f"real songs: {len(songs) - failed} of {len(songs)} render alike on every mixing path")
    return 1 if failed else 0


def pair_figures(signals):
    """Similarity of ours with each player, and of the two players with each other."""
    return {
        "libxmp": spectral_similarity.prepared_similarity(signals["ours"], signals["libxmp"]),
        "libopenmpt": spectral_similarity.prepared_similarity(signals["ours"], signals["libopenmpt"]),
        "reference": spectral_similarity.prepared_similarity(signals["libxmp"], signals["libopenmpt"]),
    }


def run_all(songs, check):
    """Runs check(song) on at most WORKERS songs (or pins) at a time; results in their order."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=WORKERS) as pool:
        return list(pool.map(check, songs))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=("load-and-render", "agreement", "pinned", "tracker-pinned", "mixer-paths"))
    parser.add_argument("--build-dir", required=True, help="folder holding xm2wav and reference_render")
    parser.add_argument("--cache", default=str(REPOSITORY / ".cache" / "real-songs"))
    parser.add_argument("--seconds", type=int)
    parser.add_argument("--renders", help="keep the rendered WAV files in this folder")
    parser.add_argument("--update", action="store_true", help="pinned, tracker-pinned: rewrite the pinned digests")
    arguments = parser.parse_args()

    songs = fetch_songs(arguments.cache)
    embedded = pathlib.Path(arguments.build_dir) / "assets" / "song.xm"
    if arguments.mode in ("pinned", "tracker-pinned", "mixer-paths") and embedded.is_file():
        songs.append(embedded)
    if arguments.mode == "mixer-paths":
        return check_mixer_paths(songs, require_tool(arguments.build_dir, "mixer_paths_check"),
                                 arguments.seconds or PINNED_SECONDS)
    tools = {"xm2wav": require_tool(arguments.build_dir, "xm2wav")}
    if arguments.mode == "agreement":
        tools["reference_render"] = require_tool(arguments.build_dir, "reference_render")
    seconds = arguments.seconds or (60 if arguments.mode == "load-and-render" else 30)

    with tempfile.TemporaryDirectory(prefix="real-songs-") as temporary:
        work_dir = arguments.renders or temporary
        os.makedirs(work_dir, exist_ok=True)
        if arguments.mode == "pinned":
            failed = check_pinned(presentation_pins(songs), PINNED_FILE, tools, work_dir, arguments.update)
        elif arguments.mode == "tracker-pinned":
            pins = tracker_pins(songs)
            failed = check_pinned(pins, TRACKER_PINS_FILE, tools, work_dir, arguments.update)
            songs = pins
        elif arguments.mode == "load-and-render":
            errors = run_all(songs, lambda song: load_and_render(song, tools, seconds, work_dir))
            for song, error in zip(songs, errors):
                print(f"{'ok  ' if error is None else 'FAIL'} {song.name}" + ("" if error is None else f": {error}"))
            failed = sum(error is not None for error in errors)
        else:
            keep = arguments.renders is not None
            results = run_all(songs, lambda song: agreement(song, tools, seconds, work_dir, keep))
            failed = print_agreement_table(songs, results)

    print(f"real songs: {len(songs) - failed} of {len(songs)} pass")
    return 1 if failed else 0


def print_agreement_table(songs, results):
    """Prints one line per song, rule set and view (mono, left, right); returns the number of songs that fall
    short under either rule set."""
    width = max(len(song.stem) for song in songs)
    rules_width = max(len(rules) for rules in RULE_SETS)
    print(f"{'song':<{width}}  {'rules':<{rules_width}}  view   ours~libxmp  ours~libopenmpt  libxmp~libopenmpt  "
          "needed  result")
    failed = 0
    for song, (figures_by_rules, error) in zip(songs, results):
        if error is not None:
            failed += 1
            print(f"{song.stem:<{width}}  FAIL ({error})")
            continue
        song_passed = True
        for rules, figures in figures_by_rules.items():
            label = f"{song.stem:<{width}}  {rules:<{rules_width}}"
            for view in ("mono",) + SIDE_NAMES:
                pair = figures[view]
                needed = pair["reference"] - AGREEMENT_TOLERANCE
                passed = max(pair["libxmp"], pair["libopenmpt"]) >= needed
                song_passed &= passed
                print(f"{label}  {view:<5}  {pair['libxmp']:11.4f}  {pair['libopenmpt']:15.4f}  "
                      f"{pair['reference']:17.4f}  {needed:6.4f}  {'ok' if passed else 'FAIL'}")
            mirrored = figures["crossed"] > figures["own"] + MIRROR_MARGIN
            song_passed &= not mirrored
            print(f"{label}  sides  own {figures['own']:.6f}, opposite {figures['crossed']:.6f}  "
                  f"{'FAIL (mirrored)' if mirrored else 'ok'}")
        failed += not song_passed
    return failed

if __name__ == "__main__":
    sys.exit(main())
