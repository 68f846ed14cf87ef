#!/usr/bin/env python3
"""Runs the shell examples of README.md and docs/*.md as a reader of them would type them.

Every ```sh block that calls one of the programs runs as one bash script (set -e) in a folder
of its own, against the emulated readers, a records file made for the run and the shipped
plans, with the built programs first on PATH. It must exit 0, or as a comment before it says:

    <!-- example exits 2 -->          the block's last command exits 2
    <!-- example not run: REASON -->   needs hardware, a server, a window or the system's
                                       settings; listed as skipped, by file, line and reason

Paths under /tmp/ in an example are taken to the run's own folder, so that runs never meet.
Ids the text uses as examples are those of records the run keeps before the blocks (EXAMPLE_IDS).

Usage: examples.py SOURCE_DIR BUILD_DIR [FILE:LINE ...]   (without FILE:LINE: every block)
Exit: 0 when every example did as its text says, 1 otherwise.
"""
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

PROGRAMS = {
    "vornctl": "cli/vornctl",
    "vorn-emulator": "emulator/vorn-emulator",
    "vorn-tool": "app/vorn-tool",
    "vorn-station": "station/vorn-station",
    "vorn-dashboard": "dashboard/vorn-dashboard",
}
MARKER = re.compile(r"<!--\s*example\s+(exits\s+(\d+)|not run:\s*(.*?))\s*-->")
FENCE = re.compile(r"^\s*```(\S*)\s*$")
CALLS = re.compile(r"(^|[\s;&|(`$])(" + "|".join(map(re.escape, PROGRAMS)) + r")(\s|$)", re.M)
# The record ids the pages use as examples, and the outcome of the kept checkout of SN 001234
# each stands for.
EXAMPLE_IDS = {
    "5876b563-3daf-4054-a39e-8f1182acb394": "pass",
    "8d4e0dc2-2b2b-461c-9b11-4d57526ec649": "pass",
    "4b2c5b5f-9d6e-4c1b-8f0a-3e2d1c0b9a87": "fail",
}
TIMEOUT_S = 120


def blocks(path):
    """(line, language, text, marker) of every fenced block of a page."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, index = [], 0
    while index < len(lines):
        fence = FENCE.match(lines[index])
        if not fence:
            index += 1
            continue
        start, body = index, []
        index += 1
        while index < len(lines) and not FENCE.match(lines[index]):
            body.append(lines[index])
            index += 1
        before = next((line for line in reversed(lines[:start]) if line.strip()), "")
        marker = MARKER.search(before)
        found.append((start + 1, fence.group(1), "\n".join(body), marker))
        index += 1
    return found


def without_comments(text):
    return "\n".join(re.sub(r"(^|\s)#.*$", "", line) for line in text.split("\n"))


def shell_examples(source):
    pages = [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))
    for page in pages:
        for line, language, text, marker in blocks(page):
            if language in ("sh", "bash", "shell") and CALLS.search(without_comments(text)):
                yield os.path.relpath(page, source), line, text, marker


def environment(source, build, scratch):
    bin_dir = os.path.join(scratch, "bin")
    os.makedirs(bin_dir)
    for name, relative in PROGRAMS.items():
        built = os.path.join(build, relative)
        if os.path.exists(built):
            os.symlink(built, os.path.join(bin_dir, name))
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "VORN_PORT", "VORN_RECORDS"):
        env.pop(name, None)
    home = os.path.join(scratch, "home")
    env.update({
        "PATH": bin_dir + os.pathsep + env.get("PATH", "/usr/bin:/bin"),
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
        "XDG_RUNTIME_DIR": os.path.join(scratch, "runtime"),
        "TMPDIR": scratch,
        "QT_QPA_PLATFORM": "offscreen",
    })
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    # The shipped plans, where a user's installed plans are found.
    shutil.copytree(os.path.join(source, "packaging", "plans"),
                    os.path.join(env["XDG_CONFIG_HOME"], "vorn-tool", "plans"))
    return env


def keep_records(env, work, scratch):
    """The records the pages speak of, in vornctl's own records file: SN 001234 failed (a
    vorn-emulator reader whose echo flips bit 3), then passed (emu-vorn8). Returns the ids by
    outcome."""
    link = os.path.join(scratch, "vorn-1234")
    emulator = subprocess.Popen(["vorn-emulator", "--serial", "1234", "--defect", "echo-bit-3",
                                 "--link", link], env=env, cwd=work, stdout=subprocess.PIPE,
                                text=True)
    try:
        emulator.stdout.readline()  # its path, printed once it serves
        for port in (link, "emu-vorn8"):
            subprocess.run(["vornctl", "--port", port, "checkout", "--no-prompt", "--station",
                            "bench-1", "--operator", "anna", "--lot", "WO-4711"],
                           env=env, cwd=work, stdout=subprocess.DEVNULL)
    finally:
        emulator.terminate()
        emulator.wait()
    listed = subprocess.run(["vornctl", "records", "list", "--json"], env=env, cwd=work,
                            check=True, capture_output=True, text=True)
    ids = {}
    for record in json.loads(listed.stdout)["records"]:
        # A reader that did not answer in time (an error) failed its checkout too.
        outcome = "fail" if record["outcome"] == "error" else record["outcome"]
        ids.setdefault(outcome, record["id"])
    missing = {"pass", "fail"} - ids.keys()
    if missing:
        sys.exit(f"the checkouts the pages speak of were not kept: no {', '.join(missing)}")
    return ids


# A reader started in the background: "vorn-emulator ... --link PATH &".
BACKGROUND_EMULATOR = re.compile(r"^\s*vorn-emulator\b.*--link\s+(\S+).*&\s*(#.*)?$")


def waiting_for_links(text):
    """The block with a wait after each reader started in the background, until its link is
    there, as a person waits for the line vorn-emulator prints before typing on."""
    lines = []
    for line in text.split("\n"):
        lines.append(line)
        started = BACKGROUND_EMULATOR.match(line)
        if started:
            lines.append(f"for _ in $(seq 200); do [ -e {started.group(1)} ] && break; sleep 0.05; done")
    return "\n".join(lines)


def run(text, env, work, scratch, record_ids):
    text = waiting_for_links(text.replace("/tmp/", scratch + "/"))
    for example, outcome in EXAMPLE_IDS.items():
        # The whole id, or the beginning the text gives of it.
        for length in range(len(example), 5, -1):
            text = text.replace(example[:length], record_ids[outcome][:length])
    # The output into a file, not a pipe: a reader the block started in the background keeps
    # its copy of the output open after the block has ended.
    with tempfile.TemporaryFile(mode="w+", dir=scratch) as log:
        process = subprocess.Popen(["bash", "-e", "-c", text], env=env, cwd=work, stdout=log,
                                   stderr=subprocess.STDOUT, text=True, start_new_session=True)
        try:
            process.wait(timeout=TIMEOUT_S)
        except subprocess.TimeoutExpired:
            pass
        finally:
            # What the block left running in the background (an emulator started with &).
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            process.wait()
        log.seek(0)
        output = log.read()
    return process.returncode, output


def main():
    source, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    chosen = set(sys.argv[3:])
    scratch = tempfile.mkdtemp(prefix="vorn-doc-examples-")
    failures = 0
    try:
        env = environment(source, build, scratch)
        work = os.path.join(scratch, "work")
        os.makedirs(work)
        record_ids = keep_records(env, work, scratch)
        for page, line, text, marker in shell_examples(source):
            name = f"{page}:{line}"
            if chosen and name not in chosen:
                continue
            if marker and marker.group(3) is not None:
                print(f"SKIP {name}: {marker.group(3)}")
                continue
            expected = int(marker.group(2)) if marker else 0
            status, output = run(text, env, work, scratch, record_ids)
            if status == expected:
                print(f"PASS {name}")
            else:
                failures += 1
                print(f"FAIL {name}: exit {status}, the text says {expected}\n{text}\n--- output\n{output}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
