#!/usr/bin/env python3
"""Times lantern-cli against its peers on three generated images.

    bench/run_bench.py [--build BUILD_DIR] [--before BUILD_DIR] [--runs N] [--work DIR]
                       [--keep] [--only a,b,c,d,f,w,s,m]

Images, made once in the work folder (default: a temporary folder):
  a  100,000 small files in nested folders, some names over 103 characters,
     with Rock Ridge and Joliet (genisoimage -R -J -joliet-long)
  b  one 2 GiB file of random data
  c  a UDF bridge image of 5,000 files (genisoimage -udf)
  f  100,000 small files in one folder (genisoimage -R -J): the listing, the
     extraction, and in the viewer sorting that folder by each column

  d  image a described as other disc programs leave it: a cue sheet over
     2352-byte sectors in a BIN file, an NRG of the same sectors, and a CSO
     (deflate); timed against the plain image a in the same rounds
  w  1,997,997 entries in 1,996 folders (bench/make_wide_iso.py): the listing,
     and Find in the viewer typed key by key, with the longest a key waits
  s  start-up: lantern-cli --version against a C program that does nothing,
     and the listing of a one-file image against 7zz's
  m  1,000,000 small files, 1,000 folders of 1,000 (genisoimage -R -J): the
     listing and the viewer's start to the shown tree, per entry against
     image a in the same rounds, and the peak memory of both

For each image it times, with a warm cache, `lantern-cli list` against
`7zz l` and `bsdtar -tf`, and `lantern-cli extract` against `7zz x`,
`bsdtar -xf` and `cp -r` of the source tree, in rounds in which every tool
runs once; prints the median of N rounds, the ratio to the faster peer and
the peak memory of each; and checks that every tool's result equals the
source tree, saying where one does not. Every extraction writes into a
folder of its own, and the folders of many small files are deleted only
after the timing: ext4 slows down the files created right after a mass
deletion. The image and the source tree are read into the page cache the
same way first, and before each run the earlier runs' data goes to disk.

On image b it also times `lantern-cli checksum --algo sha256` of the big
file against `sha256sum` of its source.

With the viewer's benchmark program (viewer_bench, built beside lantern-cli)
it also drives the real widgets offscreen on the first image: start to the
shown tree against lantern-cli's listing, sorting the largest folder by each
column, Find (each key typed into the search line until its results show),
Extract of the whole root from the window against lantern-cli, and
the viewer's memory per entry (its peak with the image minus with none).
lantern-cli's memory per entry is counted the same way: its peak listing the
image minus its peak listing an empty image.

With --before, the lantern-cli of a second build (an earlier version) runs
in the same rounds as well, marked "(before)". Every table prints the
machine's load average before and after it.
"""

import argparse
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def log(*args):
    print(*args, flush=True)


def have(tool):
    return shutil.which(tool) is not None


def run_measured(cmd, cwd=None):
    """Runs cmd; returns (seconds, peak RSS in KiB, stdout bytes).

    The peak memory comes from GNU time when it is installed: the rusage of
    a child forked from this interpreter would count the interpreter too."""
    peak_file = None
    if os.access("/usr/bin/time", os.X_OK):
        peak_file = tempfile.NamedTemporaryFile(prefix="lantern-bench-peak-", delete=False).name
        cmd = ["/usr/bin/time", "-f", "%M", "-o", peak_file] + cmd
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out_chunks = []
    while True:
        chunk = proc.stdout.read(1 << 20)
        if not chunk:
            break
        out_chunks.append(chunk)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(cmd), proc.returncode,
                                                   err.decode(errors="replace")[-500:]))
    peak = usage.ru_maxrss
    if peak_file:
        with open(peak_file) as f:
            peak = int(f.read().split()[-1])
        os.unlink(peak_file)
    return elapsed, peak, b"".join(out_chunks)


# ---- Source trees -------------------------------------------------------------

def make_tree_a(path):
    """100,000 small files in nested folders; every 50th name is long."""
    count = 0
    for top in range(20):
        for mid in range(25):
            folder = os.path.join(path, "t%02d" % top, "m%02d" % mid)
            os.makedirs(folder)
            for i in range(200):
                if i % 50 == 0:
                    name = ("long-name-%02d-%02d-%03d-" % (top, mid, i)) + "x" * 110 + ".txt"
                else:
                    name = "f%03d.txt" % i
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(b"%d %d %d\n" % (top, mid, i) * (1 + i % 7))
                count += 1
    return count


def make_tree_b(path):
    os.makedirs(path)
    with open(os.path.join(path, "random.bin"), "wb") as f:
        remaining = 2 << 30
        block = 64 << 20
        while remaining:
            n = min(block, remaining)
            f.write(os.urandom(n))
            remaining -= n
    return 1


def make_tree_c(path):
    count = 0
    for d in range(50):
        folder = os.path.join(path, "dir%02d" % d)
        os.makedirs(folder)
        for i in range(100):
            with open(os.path.join(folder, "file%03d.dat" % i), "wb") as f:
                f.write(os.urandom(512 + (i * 97) % 8000))
            count += 1
    return count


def make_tree_f(path):
    """100,000 small files side by side in the root."""
    os.makedirs(path)
    for i in range(100000):
        with open(os.path.join(path, "f%06d.txt" % i), "wb") as f:
            f.write(b"%d\n" % i)
    return 100000


def make_image(tree, image, extra):
    subprocess.run(["genisoimage", "-quiet", "-o", image] + extra + [tree], check=True)


def tree_listing(root):
    """{relative path: size or None for folders}"""
    result = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for d in dirnames:
            result[os.path.relpath(os.path.join(dirpath, d), root)] = None
        for f in filenames:
            p = os.path.join(dirpath, f)
            result[os.path.relpath(p, root)] = os.path.getsize(p)
    return result


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            b = f.read(1 << 20)
            if not b:
                break
            h.update(b)
    return h.hexdigest()


def compare_trees(source, copy, contents):
    """A list of differences between two trees (names, kinds, sizes, and the
    contents when asked)."""
    a, b = tree_listing(source), tree_listing(copy)
    problems = []
    missing = sorted(set(a) - set(b))
    extra = sorted(set(b) - set(a))
    if missing:
        problems.append("%d missing (e.g. %s)" % (len(missing), missing[0][:80]))
    if extra:
        problems.append("%d unexpected (e.g. %s)" % (len(extra), extra[0][:80]))
    wrong = [p for p in set(a) & set(b) if a[p] != b[p]]
    if wrong:
        problems.append("%d differ in kind or size (e.g. %s)" % (len(wrong), wrong[0][:80]))
    if contents and not problems:
        for p, size in a.items():
            if size is not None and digest(os.path.join(source, p)) != digest(os.path.join(copy, p)):
                problems.append("content of %s differs" % p)
                break
    return problems


# ---- Listings of each tool, as sets of paths ----------------------------------

def paths_lantern(out):
    return {line.split(b"\t")[3].decode() for line in out.splitlines() if line}


def paths_bsdtar(out):
    result = set()
    for line in out.decode(errors="replace").splitlines():
        line = line.rstrip("/")
        if line.startswith("./"):
            line = line[2:]
        if line and line != ".":
            result.add(line)
    return result


def paths_7zz(out):
    lines = out.decode(errors="replace").splitlines()
    result, inside = set(), False
    for line in lines:
        if line.startswith("------------------- "):
            inside = not inside
            continue
        if inside and len(line) > 53:
            result.add(line[53:])
    return result


def check_listing(name, listed, expected):
    if listed == expected:
        return "ok"
    missing = expected - listed
    extra = listed - expected
    parts = []
    if missing:
        parts.append("%d missing, e.g. %s" % (len(missing), sorted(missing)[0][:70]))
    if extra:
        parts.append("%d not in the tree, e.g. %s" % (len(extra), sorted(extra)[0][:70]))
    return "; ".join(parts)


# ---- The measurements -----------------------------------------------------------

def settle_cache(paths):
    """Puts every file below the paths in the page cache the way one
    sequential read does. A file still cached as it was written (in small
    pages) reads about a third slower than one read back: without this, a
    tool reading the image and cp reading the source tree would start from
    different caches."""
    files = []
    for path in paths:
        if os.path.isdir(path):
            files += [os.path.join(d, f) for d, _, names in os.walk(path) for f in names]
        else:
            files.append(path)
    for name in files:
        fd = os.open(name, os.O_RDONLY)
        try:
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
            while os.read(fd, 1 << 20):
                pass
        finally:
            os.close(fd)


def timed_rounds(tools, runs, prepare=None, finish=None):
    """Runs every tool once per round, one warm-up round first; returns
    {name: (median seconds, peak KiB, last stdout, last round's argument)}.
    Before each run the dirty pages of the runs before it go to disk, so no
    tool pays for another's writing."""
    times = {name: [] for name, _ in tools}
    peaks = {name: 0 for name, _ in tools}
    outs, last = {}, {}
    for i in range(runs + 1):
        for name, make_cmd in tools:
            arg = prepare(name, i) if prepare else None
            os.sync()
            t, peak, out = run_measured(make_cmd(arg))
            outs[name], last[name] = out, arg
            if i:
                times[name].append(t)
                peaks[name] = max(peaks[name], peak)
            if finish:
                finish(name, arg, i == runs)
    return {name: (statistics.median(times[name]), peaks[name], outs[name], last[name])
            for name, _ in tools}


def print_rows(rows):
    """rows: (operation, tool, seconds, peak KiB, verdict); the ratio is to
    the faster peer of the same operation."""
    log("%-8s %-28s %9s %10s %10s  %s" % ("", "tool", "median s", "/ fastest", "peak MiB",
                                            "result"))
    for kind, name, t, peak, verdict in rows:
        peers = [r[2] for r in rows if r[0] == kind and not r[1].startswith("lantern")]
        best = min(peers) if peers else 0
        log("%-8s %-28s %9.3f %10s %10.1f  %s" %
            (kind, name, t, "%.2f" % (t / best) if best else "-", peak / 1024.0, verdict))


def load():
    return "load %.2f %.2f %.2f" % os.getloadavg()


def bench_image(key, tree, image, entries, cli, runs, work, before=None):
    log("\n== image %s: %s (%d entries, %.1f MiB), %s" %
        (key, os.path.basename(image), entries, os.path.getsize(image) / 2**20, load()))
    expected = set(tree_listing(tree))
    settle_cache([image, tree])
    rows = []

    listers = [("lantern-cli list", lambda _: [cli, "list", image], paths_lantern)]
    if before:
        listers.append(("lantern-cli list (before)", lambda _: [before, "list", image],
                        paths_lantern))
    if have("7zz"):
        listers.append(("7zz l", lambda _: ["7zz", "l", image], paths_7zz))
    if have("bsdtar"):
        listers.append(("bsdtar -tf", lambda _: ["bsdtar", "-tf", image], paths_bsdtar))
    listed = timed_rounds([(n, c) for n, c, _ in listers], runs)
    for name, _, parse in listers:
        t, peak, out, _ = listed[name]
        rows.append(("list", name, t, peak, check_listing(name, parse(out), expected)))

    # Each run gets a fresh folder; all are removed after the timing.
    made = []

    def fresh(name, i):
        folder = os.path.join(work, "extract-%s-%s-%d" % (key, name.replace(" ", "-"), i))
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        made.append(folder)
        return folder

    extractors = [("lantern-cli extract", lambda d: [cli, "extract", image, d])]
    if before:
        extractors.append(("lantern-cli extract (before)", lambda d: [before, "extract", image, d]))
    if have("7zz"):
        extractors.append(("7zz x", lambda d: ["7zz", "x", "-y", "-o" + d, image]))
    if have("bsdtar"):
        extractors.append(("bsdtar -xf", lambda d: ["bsdtar", "-xf", image, "-C", d]))
    extractors.append(("cp -r (source)", lambda d: ["cp", "-r", tree + "/.", d]))
    # A few large files are compared and deleted at once: kept, the copies
    # of every round would push the image out of the page cache, and
    # deleting a few large files does not slow the file creations after it
    # the way deleting 100,000 small ones does.
    few_large = entries < 100
    verdicts = {}

    def finish(name, folder, last_round):
        if not few_large:
            return
        if last_round:
            verdicts[name] = compare_trees(tree, folder, contents=True)
        shutil.rmtree(folder, ignore_errors=True)

    extracted = timed_rounds(extractors, runs, prepare=fresh, finish=finish)
    for name, _ in extractors:
        t, peak, _, folder = extracted[name]
        verdict = verdicts[name] if few_large else compare_trees(tree, folder,
                                                                 contents=(key != "a"))
        rows.append(("extract", name, t, peak, "ok" if not verdict else "; ".join(verdict)))

    print_rows(rows)
    log("(%s after the table)" % load())
    # Memory per entry as for the viewer: the peak with the image minus the
    # peak with an empty one (the program and its libraries), by entries.
    lantern_list = next(r for r in rows if r[0] == "list" and r[1].startswith("lantern"))
    empty_peak = max(run_measured([cli, "list", empty_image(work)])[1] for _ in range(3))
    peaks = "peak %.1f MiB with the image, %.1f MiB with an empty one" % (
        lantern_list[3] / 1024.0, empty_peak / 1024.0)
    if entries < 100:
        log("lantern-cli list: %s (too few entries to count per entry)" % peaks)
    else:
        log("lantern-cli list: %.0f bytes of peak memory per entry (%s)" %
            ((lantern_list[3] - empty_peak) * 1024.0 / entries, peaks))
    return rows, made


def wrap_containers(image, work):
    """Image a as cue/BIN, NRG and CSO, by the test suite's writers; made
    once in the work folder. Returns [(name, path)]."""
    scripts = os.path.join(ROOT, "tests", "sdk")
    made = []
    for kind, fmt, extra in (("mode1", "cue", []), ("mode1", "nrg", []), ("2048", "cso", [])):
        out = os.path.join(work, "image-d." + fmt)
        if not os.path.exists(out):
            log("wrapping image a as", fmt)
            spec = os.path.join(work, "image-d-%s.json" % fmt)
            with open(spec, "w") as f:
                f.write('{"tracks": [{"kind": "%s", "source": "%s"}]}' % (kind, image))
            subprocess.run(["/usr/bin/python3", os.path.join(scripts, "make_%s.py" % fmt)] +
                           extra + [spec, out], check=True)
        made.append((fmt, out))
    return made


def bench_containers(tree, image, entries, cli, runs, work):
    """Lists and extracts image a and its wrapped forms in the same rounds;
    the ratio is to the plain image."""
    images = [("iso", image)] + wrap_containers(image, work)
    log("\n== image d: image a in other disc programs' forms (%d entries)" % entries)
    expected = set(tree_listing(tree))
    settle_cache([path for _, path in images] + [tree])
    listed = timed_rounds([("list " + k, (lambda p: lambda _: [cli, "list", p])(path))
                           for k, path in images], runs)
    made = []

    def fresh(name, i):
        folder = os.path.join(work, "extract-d-%s-%d" % (name.split()[-1], i))
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        made.append(folder)
        return folder

    extracted = timed_rounds([("extract " + k, (lambda p: lambda d: [cli, "extract", p, d])(path))
                              for k, path in images], runs, prepare=fresh)
    log("%-12s %9s %9s %10s  %s" % ("", "median s", "/ plain", "peak MiB", "result"))
    for op, results in (("list", listed), ("extract", extracted)):
        plain = results[op + " iso"][0]
        for k, _ in images:
            t, peak, out, folder = results[op + " " + k]
            if op == "list":
                verdict = check_listing(k, paths_lantern(out), expected)
            else:
                problems = compare_trees(tree, folder, contents=False)
                verdict = "ok" if not problems else "; ".join(problems)
            log("%-12s %9.3f %9.2f %10.1f  %s" % (op + " " + k, t, t / plain, peak / 1024.0,
                                                   verdict))
    return made


def bench_checksum(tree, image, cli, runs):
    """SHA-256 of the one big file, read from the image, against sha256sum of
    the source file."""
    name = os.listdir(tree)[0]
    source = os.path.join(tree, name)
    settle_cache([image, source])
    tools = [("lantern-cli checksum", lambda _: [cli, "checksum", "--algo", "sha256", image, name]),
             ("sha256sum", lambda _: ["sha256sum", source])]
    done = timed_rounds(tools, runs)
    rows = []
    sums = set()
    for tool, _ in tools:
        t, peak, out, _ = done[tool]
        sums.add(out.split()[0] if out else b"")
        rows.append(("sha256", tool, t, peak, ""))
    size = os.path.getsize(source)
    log("\n== checksum of %s (%.0f MiB)" % (name, size / 2**20))
    print_rows([(k, n, t, p, "%.0f MiB/s" % (size / 2**20 / t) + ("" if len(sums) == 1 else
                                                                   ", DIGESTS DIFFER"))
                for k, n, t, p, _ in rows])


def empty_image(work):
    """An image of an empty folder, made once in the work folder."""
    image = os.path.join(work, "image-empty.iso")
    if not os.path.exists(image):
        with tempfile.TemporaryDirectory(prefix="lantern-bench-empty-") as tree:
            make_image(tree, image, ["-R", "-J"])
    return image


def run_viewer(viewer, args):
    """One run of viewer_bench; its "key value" lines as a dict.

    Every run starts as a new user would: settings saved by an earlier run
    (the last image among them) must not carry over, or the run without an
    image opens one."""
    with tempfile.TemporaryDirectory(prefix="lantern-bench-settings-") as settings:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen",
                   XDG_CONFIG_HOME=os.path.join(settings, "config"),
                   LANTERN_USER_REGISTRY=os.path.join(settings, "user.reg"))
        env["LANTERN_BENCH_SPAWNED"] = repr(time.monotonic())
        proc = subprocess.run([viewer] + args, env=env, capture_output=True, check=True)
    values = {}
    for line in proc.stdout.decode().splitlines():
        k, v = line.split()
        values[k] = float(v)
    return values


def bench_sorts(viewer, image, runs):
    """Sorting the image's largest folder in the viewer, each column both ways."""
    sorts = [run_viewer(viewer, ["sort", image]) for _ in range(runs)]
    log("sorting the largest folder (%d rows), median ms per click:" % sorts[0]["rows"])
    for column in ("name", "size", "type", "modified"):
        figures = ["%s %.1f" % (("up", "down")[click],
                                statistics.median(s["sort_%s_%d_ms" % (column, click)]
                                                  for s in sorts))
                   for click in (0, 1)]
        log("  by %-9s %s" % (column, ", ".join(figures)))


def bench_viewer(viewer, cli, image, rows, runs, work):
    """The viewer's figures on one image, beside lantern-cli's."""
    log("\n== the viewer (%s, offscreen)" % os.path.basename(image))
    def run(args):
        return run_viewer(viewer, args)

    def median_of(args, key):
        results = [run(args) for _ in range(runs + 1)][1:]
        return statistics.median(r[key] for r in results), results[-1]

    empty_peak = max(run(["open", "-"])["peak_kib"] for _ in range(runs))
    shown, last = median_of(["open", image], "shown_s")
    image_peak = last["peak_kib"]
    entries = last["entries"]
    cli_list = next(r[2] for r in rows if r[0] == "list" and r[1].startswith("lantern"))
    log("start to shown tree     %8.3f s   %.2f x lantern-cli list (%.3f s)" %
        (shown, shown / cli_list, cli_list))
    log("memory per entry        %8.0f bytes (peak %.1f MiB with the image, %.1f MiB without)" %
        ((image_peak - empty_peak) * 1024.0 / max(entries, 1), image_peak / 1024.0,
         empty_peak / 1024.0))

    bench_sorts(viewer, image, runs)

    # Find: each key typed into the search line, timed until its results show.
    for text in ("f123.txt", "*x*.t?t"):
        finds = [run(["find", image, text]) for _ in range(runs)]
        keys = [k for k in finds[0] if k.startswith("key_")]
        per_key = ["%s %.1f" % (k[4:-3], statistics.median(f[k] for f in finds)) for k in keys]
        log("Find %-10s ms per key (median): %s; found %d" %
            ('"%s"' % text, ", ".join(per_key), finds[0]["found_" + text]))

    # lantern-cli extracts beside the window in the same rounds: the file
    # system slows down as it fills with the copies of the rounds before, so
    # figures from earlier rounds would favour whichever ran first.
    made, times, cli_times = [], [], []

    def fresh(name, i):
        folder = os.path.join(work, "%s-extract-%d" % (name, i))
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        made.append(folder)
        os.sync()
        return folder

    for i in range(runs):
        cli_times.append(run_measured([cli, "extract", image, fresh("cli", i)])[0])
        times.append(run(["extract", image, fresh("viewer", i)])["extract_s"])
    window = statistics.median(times)
    cli_extract = statistics.median(cli_times)
    log("Extract from the window %8.3f s   %.2f x lantern-cli extract (%.3f s in the same rounds), "
        "same selection" % (window, window / cli_extract, cli_extract))
    # lantern-cli's time includes its start and the loading of the tree,
    # which the window has done before; its listing stands for those.
    log("                                   %.2f x lantern-cli extract minus its listing (%.3f s)" %
        (window / (cli_extract - cli_list), cli_extract - cli_list))
    return made


def bench_startup(cli, runs, work):
    """What starting lantern-cli costs before it reads anything: its --version
    against a C program that does nothing and against 7zz listing an image of
    one file, in alternating rounds."""
    log("\n== start-up")
    empty = os.path.join(work, "empty-program")
    if not os.path.exists(empty):
        source = empty + ".c"
        with open(source, "w") as f:
            f.write("int main(void) { return 0; }\n")
        subprocess.run(["cc", "-O2", "-o", empty, source], check=True)
    image = os.path.join(work, "image-one.iso")
    if not os.path.exists(image):
        with tempfile.TemporaryDirectory(prefix="lantern-bench-one-") as tree:
            with open(os.path.join(tree, "one.txt"), "w") as f:
                f.write("one\n")
            make_image(tree, image, ["-R", "-J"])
    tools = [("empty C program", [empty]), ("lantern-cli --version", [cli, "--version"]),
             ("lantern-cli list (1 file)", [cli, "list", image])]
    if have("7zz"):
        tools.append(("7zz l (1 file)", ["7zz", "l", image]))
    times = {name: [] for name, _ in tools}
    for i in range(max(30, runs * 10) + 1):
        for name, cmd in tools:
            start = time.perf_counter()
            subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            if i:
                times[name].append(time.perf_counter() - start)
    base = statistics.median(times["empty C program"])
    for name, _ in tools:
        t = statistics.median(times[name])
        log("%-26s %7.2f ms   %+.2f ms over the empty program" % (name, t * 1e3, (t - base) * 1e3))


def bench_wide(viewer, cli, runs, work):
    """Find and listing on an image of two million entries (make_wide_iso.py)."""
    image = os.path.join(work, "image-w.iso")
    if not os.path.exists(image):
        log("making the wide image")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_wide_iso.py"), image],
                       check=True)
    log("\n== two million entries (%s)" % os.path.basename(image))
    times = [run_measured([cli, "list", image])[0] for _ in range(runs)]
    log("lantern-cli list        %8.3f s" % statistics.median(times))
    if not os.access(viewer, os.X_OK):
        return
    text = "f0123"
    finds = [run_viewer(viewer, ["find", image, text]) for _ in range(runs)]
    for i in range(1, len(text) + 1):
        typed = text[:i]
        log("Find %-8s %7.1f ms to the results, a key waits at most %5.1f ms; found %d" %
            ('"%s"' % typed, statistics.median(f["key_%s_ms" % typed] for f in finds),
             statistics.median(f["wait_%s_ms" % typed] for f in finds),
             finds[0]["found_" + typed]))


def make_tree_m(path):
    """A million small files: 1,000 folders of 1,000, made once and kept."""
    for d in range(1000):
        folder = os.path.join(path, "d%03d" % d)
        os.makedirs(folder)
        for i in range(1000):
            with open(os.path.join(folder, "f%03d.txt" % i), "wb") as f:
                f.write(b"%d %d\n" % (d, i))
    return 1000 * 1000


def bench_million(viewer, cli, runs, work):
    """Listing and opening a million-file image against image a, per entry."""
    images = {}
    for key, make_tree, options in (("a", make_tree_a, ["-R", "-J", "-joliet-long"]),
                                    ("m", make_tree_m, ["-R", "-J"])):
        tree = os.path.join(work, "tree-" + key)
        images[key] = os.path.join(work, "image-" + key + ".iso")
        if not os.path.isdir(tree):
            log("making tree", key)
            make_tree(tree)
        if not os.path.exists(images[key]):
            log("making image", key)
            make_image(tree, images[key], options)
    log("\n== a million files (%s), %s" % (os.path.basename(images["m"]), load()))
    entries = {key: len(run_measured([cli, "list", image])[2].splitlines())
               for key, image in images.items()}
    tools = [("lantern-cli list " + key, lambda _, i=image: [cli, "list", i])
             for key, image in images.items()]
    listed = timed_rounds(tools, runs)
    empty_peak = max(run_measured([cli, "list", empty_image(work)])[1] for _ in range(3))
    per_entry = {}
    for key in images:
        t, peak, _, _ = listed["lantern-cli list " + key]
        per_entry[key] = t / entries[key]
        log("lantern-cli list %s  %8.3f s  %6.2f us per entry  %4.0f bytes of peak per entry"
            " (%d entries)" % (key, t, per_entry[key] * 1e6,
                               (peak - empty_peak) * 1024.0 / entries[key], entries[key]))
    log("per entry, m against a: %.2f x" % (per_entry["m"] / per_entry["a"]))
    if not os.access(viewer, os.X_OK):
        return
    shown = {key: [] for key in images}
    peaks = {key: 0 for key in images}
    for i in range(runs):
        for key, image in images.items():
            values = run_viewer(viewer, ["open", image])
            shown[key].append(values["shown_s"])
            peaks[key] = max(peaks[key], values["peak_kib"])
    viewer_empty = max(run_viewer(viewer, ["open", "-"])["peak_kib"] for _ in range(2))
    for key in images:
        t = statistics.median(shown[key])
        log("viewer start to shown tree %s  %8.3f s  %6.2f us per entry  %.2f x lantern-cli list"
            "  %4.0f bytes of peak per entry" %
            (key, t, t / entries[key] * 1e6, t / listed["lantern-cli list " + key][0],
             (peaks[key] - viewer_empty) * 1024.0 / entries[key]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--before", help="an earlier build, whose lantern-cli runs too")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--keep", action="store_true",
                    help="leave the extracted folders: deleting them slows the next file creations")
    ap.add_argument("--work")
    ap.add_argument("--only", default="a,b,c")
    args = ap.parse_args()

    cli = os.path.join(args.build, "bin", "lantern-cli")
    if not os.access(cli, os.X_OK):
        sys.exit("no %s: build first (./dev build)" % cli)
    if not have("genisoimage"):
        sys.exit("genisoimage is needed to make the images")
    work = args.work or tempfile.mkdtemp(prefix="lantern-bench-")
    os.makedirs(work, exist_ok=True)
    log("work folder:", work)
    log("peers:", ", ".join(t for t in ("7zz", "bsdtar", "cp") if have(t)))

    specs = {
        "a": (make_tree_a, ["-R", "-J", "-joliet-long"]),
        "b": (make_tree_b, ["-R", "-J", "-iso-level", "3"]),
        "c": (make_tree_c, ["-R", "-J", "-udf"]),
        "f": (make_tree_f, ["-R", "-J"]),
    }
    viewer = os.path.join(args.build, "bin", "viewer_bench")
    leftovers = []
    for key in args.only.split(","):
        if key == "w":
            bench_wide(viewer, cli, args.runs, work)
            continue
        if key == "s":
            bench_startup(cli, args.runs, work)
            continue
        if key == "m":
            bench_million(viewer, cli, args.runs, work)
            continue
        if key == "d":
            continue
        make_tree, options = specs[key]
        tree = os.path.join(work, "tree-" + key)
        image = os.path.join(work, "image-" + key + ".iso")
        if not os.path.isdir(tree):
            log("making tree", key)
            entries = make_tree(tree)
        entries = len(tree_listing(tree))
        if not os.path.exists(image):
            log("making image", key)
            make_image(tree, image, options)
        before = os.path.join(args.before, "bin", "lantern-cli") if args.before else None
        rows, made = bench_image(key, tree, image, entries, cli, args.runs, work, before)
        leftovers += made
        if key == "a" and os.access(viewer, os.X_OK):
            leftovers += bench_viewer(viewer, cli, image, rows, args.runs, work)
        if key == "f" and os.access(viewer, os.X_OK):
            log("\n== the viewer (%s, offscreen)" % os.path.basename(image))
            bench_sorts(viewer, image, args.runs)
        if key == "b" and have("sha256sum"):
            bench_checksum(tree, image, cli, args.runs)
    if "d" in args.only.split(","):
        tree, image = os.path.join(work, "tree-a"), os.path.join(work, "image-a.iso")
        if not os.path.isdir(tree):
            make_tree_a(tree)
        if not os.path.exists(image):
            make_image(tree, image, specs["a"][1])
        leftovers += bench_containers(tree, image, len(tree_listing(tree)), cli, args.runs, work)
    if args.keep:
        log("extracted folders kept in", work)
        return
    for folder in leftovers:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
