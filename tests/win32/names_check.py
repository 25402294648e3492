#!/usr/bin/env python3
"""The Windows programs' names and descriptions, checked under Wine.

What Windows reads from tessary.exe and pelorn.exe (version strings, the
manifest's code page), the code page a program with and without the
manifest runs in, and pelorn.exe's info and convert on files named in
Japanese and in Greek, whose results Pillow reads back.

Usage (with WINEPREFIX and friends set):
  names_check.py --bin BUILD/win32/bin --work DIR
Exit status 0 when every check passed; each check prints one line.
"""
import argparse
import os
import shutil
import subprocess
import sys

from PIL import Image

failures = []


def check(condition, description):
    print(("ok      " if condition else "FAILED  ") + description, flush=True)
    if not condition:
        failures.append(description)
    return condition


def wine(*command, cwd):
    done = subprocess.run(["wine", *command], cwd=cwd, capture_output=True)
    return (done.returncode, done.stdout.decode("utf-8", "replace"),
            done.stderr.decode("utf-8", "replace"))


def facts(output):
    """The "NAME KEY: VALUE" lines program_facts prints, as a dictionary."""
    found = {}
    for line in output.splitlines():
        key, _, value = line.partition(": ")
        found[key] = value.strip()
    return found


def check_programs(bin_folder):
    status, plain, _ = wine("program_facts.exe", "tessary.exe", "pelorn.exe", cwd=bin_folder)
    print("        " + "\n        ".join(plain.splitlines()), flush=True)
    _, utf8, _ = wine("program_facts_utf8.exe", cwd=bin_folder)
    print("        " + utf8.strip(), flush=True)
    check(status == 0, "program_facts runs")
    check(utf8.strip() == "code page 65001",
          "a program carrying the tool's manifest runs in the UTF-8 code page")
    found = facts(plain)
    for exe, product, description in (("tessary.exe", "Tessary", "Tessary photo-album viewer"),
                                      ("pelorn.exe", "Pelorn", "Pelorn imaging tool")):
        check(found.get(f"{exe} ProductName") == product and
              found.get(f"{exe} FileDescription") == description and
              found.get(f"{exe} FileVersion") == "1.0",
              f"{exe} carries its product name, description and version 1.0")
        check(found.get(f"{exe} activeCodePage") == "UTF-8",
              f"{exe}'s manifest asks for the UTF-8 code page")


def check_pelorn(bin_folder, work):
    pelorn = os.path.join(os.path.abspath(bin_folder), "pelorn.exe")
    Image.new("RGB", (30, 20), (200, 30, 40)).save(os.path.join(work, "日本.jpg"), quality=95)
    Image.new("RGB", (17, 9), (30, 60, 210)).save(os.path.join(work, "Ελλάδα.png"))
    status, out, err = wine(pelorn, "info", "日本.jpg", cwd=work)
    check(status == 0 and "30x20" in out,
          f"pelorn.exe info reads a file named in Japanese (status {status}: {out.strip()}{err.strip()})")
    status, out, err = wine(pelorn, "info", "Ελλάδα.png", cwd=work)
    check(status == 0 and "17x9" in out,
          f"pelorn.exe info reads a file named in Greek (status {status}: {out.strip()}{err.strip()})")
    status, _, err = wine(pelorn, "convert", "Ελλάδα.png", "写真.bmp", cwd=work)
    written = os.path.join(work, "写真.bmp")
    ok = status == 0 and os.path.isfile(written)
    if ok:
        with Image.open(written) as image:
            ok = image.size == (17, 9) and image.convert("RGB").getpixel((8, 4)) == (30, 60, 210)
    check(ok, f"pelorn.exe convert reads a Greek name and writes a Japanese one (status {status}{err.strip()})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    check_programs(args.bin)
    check_pelorn(args.bin, args.work)
    print(f"{len(failures)} check(s) failed" if failures else "every check passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
