#!/usr/bin/python3
"""Compares our renders of small written modules with the mature players'.

usage: compare_with_players.py --build-dir DIR [--seconds N] [--renders DIR]

For every module DIR/comparison_songs can write, renders N seconds (default 4)
with ours under each rule set (xm2wav --rules), libopenmpt and libxmp
(DIR/reference_render), and requires for each rule set the module holds
(all, or only the tracker's where the presentation's rules differ on purpose)
    ours~libopenmpt >= libxmp~libopenmpt - tolerance,
where ~ is the mono spectrogram similarity of scripts/spectral_similarity.py.
"""

import argparse
import pathlib
import subprocess
import sys
import tempfile

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPOSITORY / "scripts"))
import spectral_similarity  # noqa: E402
from player_renders import REFERENCE_PLAYERS, RULE_SETS, ours_command, reference_command, render, \
    require_tool, run_tool  # noqa: E402

TOLERANCE = 0.03
DEFAULT_SECONDS = 4


def mono_similarity(first, second):
    """The similarity of two WAV files' mono mixes, cut to the shorter."""
    a, _ = spectral_similarity.read_mono(str(first))
    b, _ = spectral_similarity.read_mono(str(second))
    length = min(len(a), len(b))
    return spectral_similarity.similarity(a[:length], b[:length])


def compare(name, tools, seconds, work_dir):
    """Writes and renders one module; returns (figures, error text)."""
    song = work_dir / f"{name}.xm"
    error = run_tool([tools["comparison_songs"], name, song])
    renders = {}
    for player in RULE_SETS + REFERENCE_PLAYERS:
        if error is not None:
            return None, error
        renders[player] = work_dir / f"{name}.{player}.wav"
        command = (ours_command(tools["xm2wav"], song, renders[player], seconds, player) if player in RULE_SETS else
                   reference_command(tools["reference_render"], player, song, renders[player], seconds))
        error = render(command, renders[player], seconds)
        error = error and f"{player}: {error}"
    if error is not None:
        return None, error
    figures = {rules: mono_similarity(renders[rules], renders["libopenmpt"]) for rules in RULE_SETS}
    figures["players"] = mono_similarity(renders["libxmp"], renders["libopenmpt"])
    return figures, None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", required=True, help="folder holding xm2wav, reference_render, comparison_songs")
    parser.add_argument("--seconds", type=float, default=DEFAULT_SECONDS)
    parser.add_argument("--renders", help="keep the modules and renders in this folder")
    arguments = parser.parse_args()
    tools = {name: require_tool(arguments.build_dir, name) for name in ("xm2wav", "reference_render", "comparison_songs")}
    listed = subprocess.run([str(tools["comparison_songs"]), "--list"], stdout=subprocess.PIPE, text=True,
                            check=True).stdout.splitlines()
    # Each line: a module and the rule sets held to the bar ("all", or "tracker" for a rule the
    # presentation's rules play differently on purpose).
    held = {line.split()[0]: RULE_SETS if line.split()[1] == "all" else ("tracker",) for line in listed}
    names = list(held)

    failed = 0
    with tempfile.TemporaryDirectory(prefix="player-comparison-") as temporary:
        work_dir = pathlib.Path(arguments.renders or temporary)
        work_dir.mkdir(parents=True, exist_ok=True)
        print(f"{'module':<12}  {'rules':<8}  ours~libopenmpt  libxmp~libopenmpt  needed  result")
        for name in names:
            figures, error = compare(name, tools, arguments.seconds, work_dir)
            if error is not None:
                failed += 1
                print(f"{name:<12}  FAIL ({error})")
                continue
            needed = figures["players"] - TOLERANCE
            for rules in RULE_SETS:
                passed = figures[rules] >= needed or rules not in held[name]
                failed += not passed
                print(f"{name:<12}  {rules:<8}  {figures[rules]:15.4f}  {figures['players']:17.4f}  {needed:6.4f}  "
                      f"{('ok' if rules in held[name] else 'not held') if passed else 'FAIL'}")
    print(f"player comparison: {'all pass' if failed == 0 else f'{failed} failed'}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
