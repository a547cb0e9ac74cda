#!/usr/bin/python3
"""CPU time per second of sound of intromusicdec and openmptdec in gst-launch-1.0.

usage: gstreamer_cpu.py PLUGIN_DIR SONG_FOLDER

Per song, each decoder's pipeline
    filesrc ! DECODER ! audioconvert ! audio/x-raw,format=S16LE,rate=44100,channels=2 ! fakesink sync=false
runs three times; the least user + system time, less gst-launch-1.0's own start-up
(a pipeline that decodes nothing), is divided by the seconds of sound the decoder
gives (measured once through a filesink). openmptdec is Debian's libopenmpt element
(gstreamer1.0-plugins-bad); without it only ours is measured. A registry of its own
in a temporary folder.
"""

import os
import pathlib
import subprocess
import sys
import tempfile

RUNS = 3
FRAME_BYTES = 4
RATE = 44100
CAPS = f"audio/x-raw,format=S16LE,rate={RATE},channels=2"
DECODERS = {"intromusicdec": ["intromusicdec"], "openmptdec": ["audio/x-mod,type=xm", "!", "openmptdec"]}


def cpu_seconds(command, environment):
    process = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    if status != 0:
        raise SystemExit(f"{' '.join(command)} failed: {process.stderr.read().decode(errors='replace')}")
    return usage.ru_utime + usage.ru_stime


def pipeline(song, decoder, sink):
    return ["gst-launch-1.0", "-q", "filesrc", f"location={song}", "!", *DECODERS[decoder], "!", "audioconvert", "!",
            CAPS, "!", *sink]


def main():
    plugin_dir, song_folder = sys.argv[1], pathlib.Path(sys.argv[2])
    songs = sorted(song_folder.glob("*.xm"))
    with tempfile.TemporaryDirectory(prefix="gstreamer-cpu-") as work:
        environment = dict(os.environ, GST_REGISTRY=f"{work}/registry.bin", GST_PLUGIN_PATH=plugin_dir)
        decoders = [name for name in DECODERS
                    if subprocess.run(["gst-inspect-1.0", "--exists", "--atleast-version=0.0", name],
                                      env=environment, stderr=subprocess.DEVNULL).returncode == 0]
        start_up = min(cpu_seconds(["gst-launch-1.0", "-q", "fakesrc", "num-buffers=1", "!", "fakesink"], environment)
                       for _ in range(RUNS))
        print(f"gst-launch-1.0 start-up, subtracted: {start_up * 1000:.0f} ms CPU")
        print(f"{'song':44s}" + "".join(f"{name:>28s}" for name in decoders))
        totals = {name: [0.0, 0.0] for name in decoders}
        for song in songs:
            cells = []
            for name in decoders:
                output = f"{work}/sound.raw"
                subprocess.run(pipeline(song, name, ["filesink", f"location={output}"]), env=environment, check=True,
                               stderr=subprocess.DEVNULL)
                sound = os.path.getsize(output) / FRAME_BYTES / RATE
                os.unlink(output)
                spent = min(cpu_seconds(pipeline(song, name, ["fakesink", "sync=false"]), environment)
                            for _ in range(RUNS)) - start_up
                totals[name][0] += spent
                totals[name][1] += sound
                cells.append(f"{sound:6.1f} s {spent / sound * 1000:6.2f} ms/s")
            print(f"{song.name[:44]:44s}" + "".join(f"{cell:>28s}" for cell in cells))
        for name, (spent, sound) in totals.items():
            print(f"all songs, {name}: {sound:.0f} s of sound in {spent:.2f} s CPU = "
                  f"{spent / sound * 1000:.2f} ms CPU per second of sound ({sound / spent:.0f}x real time)")


if __name__ == "__main__":
    main()
