#!/usr/bin/env python3
"""Whole-process comparisons of `pelorn convert INPUT OUT.ppm` against the
classic command-line converter of each format, run in turn (ours, peer,
ours, peer, ...) after one warm-up of each, so that a drifting machine
disturbs both alike.

Prints, per format:
  ratio pelorn_convert_<format>_4000x3000_vs_<peer> W       wall over wall
  ratio pelorn_convert_<format>_4000x3000_vs_<peer>_user U  user CPU over user CPU
  ratio pelorn_convert_<format>_4000x3000_peak_vs_picture P our peak resident
                                                            memory over the
                                                            picture's bytes
each the median of the run-by-run ratios (peak: of our runs). The JPEG case
also runs bench/jpeg_floor, libjpeg decoding into one fresh picture-sized
block: the floor of any converter that holds the whole picture.

usage: process_ratios.py BIN_DIR BENCH_DIR [RUNS]
  BIN_DIR holds pelorn, BENCH_DIR photo_ppm and jpeg_floor.
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

WIDTH, HEIGHT = 4000, 3000
PICTURE_BYTES = WIDTH * HEIGHT * 3


def input_dir():
    folder = os.path.join(os.environ.get("TMPDIR", "/tmp"), "tessary-bench-inputs", "process")
    os.makedirs(folder, exist_ok=True)
    return folder


def output_dir():
    # A memory file system keeps the 36 MB writes off the disk, whose
    # write-back would otherwise land in later runs.
    base = "/dev/shm" if os.path.isdir("/dev/shm") else os.environ.get("TMPDIR", "/tmp")
    folder = os.path.join(base, "tessary-bench-process-%d" % os.getpid())
    os.makedirs(folder, exist_ok=True)
    return folder


def image_magick():
    """ImageMagick's own converter, never a wrapper script in front of it."""
    for name in ("magick", "convert-im6.q16", "convert"):
        path = shutil.which(name, path="/usr/bin:/bin") or shutil.which(name)
        if path:
            return [path, "convert"] if name == "magick" else [path]
    sys.exit("process_ratios.py: ImageMagick is not installed")


def make_inputs(bench_dir, folder, magick):
    photo = os.path.join(folder, "photo_4000x3000.ppm")
    if not os.path.exists(photo):
        subprocess.run([os.path.join(bench_dir, "photo_ppm"), photo], check=True)
    made = {}
    for name, options in (
        ("photo.jpg", ["-quality", "85"]),
        ("photo24.bmp", ["-type", "TrueColor", "-define", "bmp:format=bmp3"]),
        ("photo_rle8.bmp", ["-colors", "256", "-compress", "RLE", "-define", "bmp:format=bmp3"]),
        ("photo.gif", ["-colors", "256"]),
        ("photo.pcx", ["-type", "TrueColor"]),
        ("photo.png", []),
        ("photo.tga", ["-compress", "None"]),
        ("photo.tif", ["-compress", "None"]),
    ):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            subprocess.run(magick + [photo] + options + [path], check=True)
        made[name] = path
    return made


def run_once(command, stdout_path):
    """Wall seconds, user seconds and peak resident bytes of one run."""
    with open(stdout_path, "wb") as stdout:
        start = time.perf_counter()
        process = subprocess.Popen(command, stdout=stdout, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit("process_ratios.py: %s failed (%d)" % (" ".join(command), process.returncode))
    return wall, usage.ru_utime, usage.ru_maxrss * 1024


def compare(ours, peer, runs, out):
    """Run-by-run ratios ours/peer of wall and user time; our peaks."""
    sink = os.path.join(out, "stdout")
    run_once(ours, sink)
    run_once(peer, sink)
    walls, users, peaks = [], [], []
    for _ in range(runs):
        ours_wall, ours_user, ours_peak = run_once(ours, sink)
        peer_wall, peer_user, _ = run_once(peer, sink)
        walls.append(ours_wall / peer_wall)
        users.append(ours_user / max(peer_user, 1e-3))
        peaks.append(ours_peak)
    return statistics.median(walls), statistics.median(users), statistics.median(peaks)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    bin_dir, bench_dir = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) == 4 else 7
    magick = image_magick()
    inputs = make_inputs(bench_dir, input_dir(), magick)
    out = output_dir()
    ppm = os.path.join(out, "out.ppm")
    pelorn = os.path.join(bin_dir, "pelorn")

    # (format, input, [(peer name, peer command writing PPM), ...])
    cases = [
        ("jpeg", "photo.jpg", [("djpeg", ["djpeg", "-outfile", ppm, inputs["photo.jpg"]]),
                               ("libjpeg_floor", [os.path.join(bench_dir, "jpeg_floor"),
                                                  inputs["photo.jpg"], ppm])]),
        ("bmp24", "photo24.bmp", [("bmptopnm", ["bmptopnm", inputs["photo24.bmp"]])]),
        ("bmp_rle8", "photo_rle8.bmp", [("bmptopnm", ["bmptopnm", inputs["photo_rle8.bmp"]])]),
        ("gif", "photo.gif", [("giftopnm", ["giftopnm", inputs["photo.gif"]])]),
        ("pcx", "photo.pcx", [("pcxtoppm", ["pcxtoppm", inputs["photo.pcx"]])]),
        ("png", "photo.png", [("imagemagick", magick + [inputs["photo.png"], ppm]),
                              ("pngtopnm", ["pngtopnm", inputs["photo.png"]])]),
        ("tga", "photo.tga", [("imagemagick", magick + [inputs["photo.tga"], ppm]),
                              ("tgatoppm", ["tgatoppm", inputs["photo.tga"]])]),
        ("tiff", "photo.tif", [("tifftopnm", ["tifftopnm", inputs["photo.tif"]])]),
    ]
    try:
        for form, name, peers in cases:
            ours = [pelorn, "convert", inputs[name], ppm]
            label = "pelorn_convert_%s_%dx%d" % (form, WIDTH, HEIGHT)
            peaks = []
            for peer_name, peer in peers:
                if shutil.which(peer[0]) is None:
                    print("skipped %s_vs_%s: %s is not installed" % (label, peer_name, peer[0]),
                          file=sys.stderr)
                    continue
                wall, user, peak = compare(ours, peer, runs, out)
                print("ratio %s_vs_%s %.3f" % (label, peer_name, wall))
                print("ratio %s_vs_%s_user %.3f" % (label, peer_name, user))
                sys.stdout.flush()
                peaks.append(peak)
            if peaks:
                print("ratio %s_peak_vs_picture %.3f" % (label, statistics.median(peaks) / PICTURE_BYTES))
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
