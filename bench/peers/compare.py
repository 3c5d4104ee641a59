"""Times Prismora against the peers that do the same job, in interleaved
rounds, and prints medians and the ratios of the speed targets.

Called by run.sh, which installs the peers and makes the images:
    compare.py PRISMORA WORK ROUNDS SEQUENCE_FRAMES

Every figure is a wall-clock median over the rounds; within a round each
measurement runs once, in an order that turns from round to round, so that
a disturbance of the machine spreads over all tools alike. Processor
seconds are shown next to each figure (for the effect alone, those of the
effect's own work; for whole commands, user + system of the process): on a
busy machine they are steadier than the clock, and on one thread of an idle
machine they come close to it.

Measurements (3840x2160, "Mode" 2 with the defaults; radial_curve.py):
  effect alone, one thread
    prismora    `prismora render --timing` over EFFECT_FRAMES frames of a
                still: the render stage (the plug-in's pre-render and render
                through the host, into a world) per frame, no file I/O
    OpenCV      opencv_radial.py effect: maps built + three remaps, the
                remaps alone, and the weighted variant, per frame (mean)
    G'MIC       its own tic/toc around one fill expression
    ImageMagick three -distort Barrel (one per channel): the command from a
                memory-mapped MPC file to null: less the same without the
                distortions
    ffmpeg      lenscorrection on each plane (an approximation: its radial
                polynomial has no linear term): -benchmark's rtime from raw
                planar RGB to null less the same without the filters
  whole command: 8-bit PNG in, the effect, 8-bit PNG out, each tool with its
    own file I/O and its default PNG settings, on one thread and on the
    tools' default threads
  sequence: prismora render of the still to SEQUENCE_FRAMES PNG frames on
    one and on two threads
"""
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import radial_curve  # noqa: E402

PYTHON = "/usr/bin/python3"  # Debian's, with python3-opencv
# The Debian packages' programs by path: a PATH may put other programs (or a
# stand-in named convert) first.
CONVERT, GMIC, FFMPEG = "/usr/bin/convert", "/usr/bin/gmic", "/usr/bin/ffmpeg"
EFFECT_FRAMES = 4
WIDTH, HEIGHT = 3840, 2160


def env_with(**changes):
    env = dict(os.environ)
    # Set on some machines for old OpenBLAS builds; they only slow numpy.
    for name in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE"):
        env.pop(name, None)
    for name, value in changes.items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return env


ONE_THREAD = dict(OMP_NUM_THREADS="1", MAGICK_THREAD_LIMIT="1", THREADS="1")
ALL_THREADS = dict(OMP_NUM_THREADS=None, MAGICK_THREAD_LIMIT=None, THREADS="0")


class Run:
    """One process: its wall seconds, CPU seconds and output."""

    def __init__(self, argv, env, cwd=None):
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        p = subprocess.run(argv, env=env, cwd=cwd, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True)
        self.wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        self.out, self.err = p.stdout, p.stderr
        if p.returncode != 0:
            raise SystemExit("failed (%d): %s\n%s%s" % (p.returncode, " ".join(argv),
                                                         p.stdout, p.stderr))


def number(pattern, text, what):
    m = re.search(pattern, text)
    if not m:
        raise SystemExit("no %s in:\n%s" % (what, text))
    return float(m.group(1))


class Bench:
    def __init__(self, prismora, work, sequence_frames):
        self.prismora = prismora
        self.work = work
        self.sequence_frames = sequence_frames
        self.out = os.path.join(work, "out")
        self.img = lambda name: os.path.join(work, name)
        self.magick_args = radial_curve.magick_barrel(WIDTH, HEIGHT)
        self.gmic_expr = radial_curve.gmic_fill(WIDTH, HEIGHT)
        self.lens = radial_curve.ffmpeg_lens(WIDTH, HEIGHT)
        self.results = {}  # name -> list of (wall, cpu)
        self.sizes = {}    # name -> bytes of its output

    def fresh_out(self):
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)
        return self.out

    def record(self, name, wall, cpu=float("nan")):
        self.results.setdefault(name, []).append((wall, cpu))

    # --- effect alone ------------------------------------------------------

    def prismora_effect(self, depth):
        source = {"8": "photo8.png", "16": "photo16.png", "float": "photo.exr"}[depth]
        ext = {"8": "png", "16": "png", "float": "hdr"}[depth]  # quick to write
        out = self.fresh_out()
        r = Run([self.prismora, "render", self.img(source),
                 os.path.join(out, "f.####." + ext), "--frames", "1-%d" % EFFECT_FRAMES,
                 "--threads", "1", "-q", "--timing"], env_with(**ONE_THREAD))
        render = number(r"render ([0-9.]+) s", r.err, "render time")
        render_cpu = number(r"processor time: .*render ([0-9.]+) s", r.err, "render time")
        self.record("effect %s prismora" % depth, render / EFFECT_FRAMES,
                    render_cpu / EFFECT_FRAMES)

    def opencv_effect(self, depth):
        source = {"8": "photo8.png", "16": "photo16.png", "float": "photo.exr"}[depth]
        r = Run([PYTHON, os.path.join(HERE, "opencv_radial.py"), "effect", self.img(source),
                 str(EFFECT_FRAMES)], env_with(OPENCV_IO_ENABLE_OPENEXR="1", **ONE_THREAD))
        for variant in ("maps+remaps", "remaps", "weighted"):
            m = re.search(r"(?m)^%s ([0-9.]+) ([0-9.]+)$" % re.escape(variant), r.out)
            if not m:
                raise SystemExit("no %s in:\n%s%s" % (variant, r.out, r.err))
            self.record("effect %s opencv %s" % (depth, variant), float(m.group(1)),
                        float(m.group(2)))

    def gmic_effect(self):
        env = env_with(**ONE_THREAD)
        r = Run([GMIC, "-v", "-1", self.img("photo8.png"), "tic", "fill", self.gmic_expr,
                 "toc", "rm"], env)
        without = Run([GMIC, "-v", "-1", self.img("photo8.png"), "rm"], env)
        self.record("effect 8 gmic", number(r"Elapsed time: ([0-9.]+) s", r.out + r.err,
                                            "G'MIC time"), r.cpu - without.cpu)

    def magick_ops(self):
        ops = ["-filter", "point", "-interpolate", "bilinear", "-virtual-pixel", "edge",
               "-separate"]
        for k, args in enumerate(self.magick_args):
            ops += ["(", "-clone", str(k), "-distort", "Barrel", args, ")"]
        return ops + ["-delete", "0-2", "-set", "colorspace", "sRGB", "-combine"]

    def magick_env(self, threads):
        # Debian's policy keeps ImageMagick to 256 MiB of memory, beyond which
        # it works from disk; run.sh's policy lifts that.
        return env_with(MAGICK_CONFIGURE_PATH=os.path.join(self.work, "magick"), **threads)

    def magick_effect(self):
        env = self.magick_env(ONE_THREAD)
        with_effect = Run([CONVERT, self.img("photo8.mpc")] + self.magick_ops() + ["null:"],
                          env)
        without = Run([CONVERT, self.img("photo8.mpc"), "null:"], env)
        self.record("effect 8 magick", with_effect.wall - without.wall,
                    with_effect.cpu - without.cpu)

    def ffmpeg_graph(self, planar_input):
        lens = lambda k1k2: "lenscorrection=k1=%s:k2=%s:i=bilinear" % tuple(k1k2.split(":"))
        head = "[0]extractplanes=r+g+b" if planar_input else "[0]format=gbrp,extractplanes=r+g+b"
        graph = (head + "[r][g][b];[r]%s[r2];[g]%s[g2];[b]%s[b2];"
                 "[r2][g2][b2]mergeplanes=0x102000:gbrp" % tuple(lens(k) for k in self.lens))
        return graph if planar_input else graph + ",format=rgb24"

    FFMPEG_ONE = ["-threads", "1", "-filter_threads", "1", "-filter_complex_threads", "1"]

    def ffmpeg_effect(self):
        raw = ["-f", "rawvideo", "-pix_fmt", "gbrp", "-s", "%dx%d" % (WIDTH, HEIGHT),
               "-i", self.img("photo8.gbrp")]
        common = [FFMPEG, "-hide_banner", "-nostats", "-benchmark"] + self.FFMPEG_ONE + raw
        with_effect = Run(common + ["-filter_complex", self.ffmpeg_graph(True),
                                    "-f", "null", "-"], env_with())
        without = Run(common + ["-f", "null", "-"], env_with())
        rtime = lambda r: number(r"rtime=([0-9.]+)s", r.out + r.err, "ffmpeg rtime")
        self.record("effect 8 ffmpeg", rtime(with_effect) - rtime(without),
                    with_effect.cpu - without.cpu)

    # --- whole commands ----------------------------------------------------

    def whole(self, tool, all_threads):
        out = os.path.join(self.fresh_out(), tool + ".png")
        src = self.img("photo8.png")
        threads = ALL_THREADS if all_threads else ONE_THREAD
        if tool == "prismora":
            argv = [self.prismora, "render", src, out, "-q"] + ([] if all_threads else
                                                                ["--threads", "1"])
            env = env_with(**threads)
        elif tool == "opencv":
            argv = [PYTHON, os.path.join(HERE, "opencv_radial.py"), "whole", src, out]
            env = env_with(**threads)
        elif tool == "gmic":
            argv = [GMIC, "-v", "-1", src, "fill", self.gmic_expr, "-o", out]
            env = env_with(**threads)
        elif tool == "magick":
            argv = [CONVERT, src] + self.magick_ops() + [out]
            env = self.magick_env(threads)
        else:
            argv = ([FFMPEG, "-hide_banner", "-nostats", "-y"] +
                    ([] if all_threads else self.FFMPEG_ONE) +
                    ["-i", src, "-filter_complex", self.ffmpeg_graph(False), "-frames:v", "1",
                     out])
            env = env_with()
        r = Run(argv, env)
        name = "whole %s %s" % ("all" if all_threads else "1", tool)
        self.record(name, r.wall, r.cpu)
        self.sizes[name] = os.path.getsize(out)

    # --- sequence ----------------------------------------------------------

    def sequence(self, threads):
        out = self.fresh_out()
        r = Run([self.prismora, "render", self.img("photo8.png"), os.path.join(out, "s.####.png"),
                 "--frames", "1-%d" % self.sequence_frames, "--threads", str(threads), "-q"],
                env_with())
        self.record("sequence %d" % threads, r.wall, r.cpu)

    def measurements(self):
        m = []
        for depth in ("8", "16", "float"):
            m.append(lambda d=depth: self.prismora_effect(d))
            m.append(lambda d=depth: self.opencv_effect(d))
        m += [self.gmic_effect, self.magick_effect, self.ffmpeg_effect]
        for tool in ("prismora", "opencv", "gmic", "magick", "ffmpeg"):
            for all_threads in (False, True):
                m.append(lambda t=tool, a=all_threads: self.whole(t, a))
        m += [lambda: self.sequence(1), lambda: self.sequence(2)]
        return m


def median(values):
    return statistics.median(values) if values else float("nan")


def main():
    prismora, work, rounds, sequence_frames = (sys.argv[1], sys.argv[2], int(sys.argv[3]),
                                               int(sys.argv[4]))
    bench = Bench(prismora, work, sequence_frames)
    steps = bench.measurements()
    for r in range(rounds):
        turn = (r * 7) % len(steps)  # a different order each round
        order = steps[turn:] + steps[:turn]
        start = time.perf_counter()
        for step in order:
            step()
        print("round %d of %d: %.0f s" % (r + 1, rounds, time.perf_counter() - start),
              file=sys.stderr, flush=True)
    shutil.rmtree(bench.out, ignore_errors=True)
    report(bench, rounds, sequence_frames)


def report(bench, rounds, sequence_frames):
    res = bench.results
    wall = lambda name: median([w for w, _ in res.get(name, [])])
    cpu = lambda name: median([c for _, c in res.get(name, [])])
    load = os.getloadavg()[0]
    print("Prismora and its peers, 3840x2160, \"Mode\" 2 with the defaults; medians of %d "
          "interleaved rounds (load average at the end: %.2f on %d cores)" %
          (rounds, load, os.cpu_count() or 0))
    print()
    print("Effect alone, one thread (seconds per frame, no file I/O)")
    print("  %-7s %-52s %8s %8s" % ("depth", "tool", "wall s", "cpu s"))
    rows = [
        ("prismora", "prismora render (pre-render + render through the host)"),
        ("opencv maps+remaps", "OpenCV: maps from the curve + 3 single-channel remaps"),
        ("opencv remaps", "OpenCV: the 3 remaps alone"),
        ("opencv weighted", "OpenCV: maps + 3 colour remaps weighted and summed"),
        ("gmic", "G'MIC: one fill expression, bilinear samples"),
        ("magick", "ImageMagick: -distort Barrel per channel"),
        ("ffmpeg", "ffmpeg: lenscorrection per plane (approximate curve)"),
    ]
    for depth in ("8", "16", "float"):
        for key, label in rows:
            name = "effect %s %s" % (depth, key)
            if name in res:
                print("  %-7s %-52s %8.3f %8.3f" % (depth if depth == "float" else depth + "-bit",
                                                    label, wall(name), cpu(name)))
    print()
    print("Whole command: read the 8-bit PNG, the effect, write an 8-bit PNG")
    print("  %-10s %-9s %8s %8s %9s" % ("tool", "threads", "wall s", "cpu s", "file MB"))
    for threads in ("1", "all"):
        for tool in ("prismora", "opencv", "gmic", "magick", "ffmpeg"):
            name = "whole %s %s" % (threads, tool)
            if name in res:
                print("  %-10s %-9s %8.3f %8.3f %9.2f" % (tool, threads, wall(name), cpu(name),
                                                        bench.sizes[name] / 1e6))
    print()
    fps1 = sequence_frames / wall("sequence 1")
    fps2 = sequence_frames / wall("sequence 2")
    print("Sequence: %d frames of the still to PNG files" % sequence_frames)
    print("  --threads 1: %.3f s, %.2f frames/s;  --threads 2: %.3f s, %.2f frames/s" %
          (wall("sequence 1"), fps1, wall("sequence 2"), fps2))
    print()
    print("Targets (ratio: prismora / peer; met when at most 1, or as stated)")
    for depth in ("8", "16", "float"):
        p = wall("effect %s prismora" % depth)
        o = wall("effect %s opencv maps+remaps" % depth)
        pc, oc = cpu("effect %s prismora" % depth), cpu("effect %s opencv maps+remaps" % depth)
        print("  (1)  %-6s render / OpenCV maps+remaps      %.3f / %.3f = %.2f  %s"
              "   (cpu %.3f / %.3f = %.2f)" %
              (depth, p, o, p / o, "met" if p <= o else "not met", pc, oc, pc / oc))
    for threads in ("1", "all"):
        p = wall("whole %s prismora" % threads)
        peers = [(wall("whole %s %s" % (threads, t)), t)
                 for t in ("opencv", "gmic", "magick", "ffmpeg")]
        best, who = min(peers)
        pc = cpu("whole %s prismora" % threads)
        bc, cwho = min((cpu("whole %s %s" % (threads, t)), t)
                       for t in ("opencv", "gmic", "magick", "ffmpeg"))
        print("  (3)  whole command, %-3s threads: prismora %.3f s, fastest peer %s %.3f s"
              " = %.2f  %s   (cpu: prismora %.3f s, least peer %s %.3f s = %.2f)" %
              (threads, p, who, best, p / best, "met" if p < best else "not met",
               pc, cwho, bc, pc / bc))
    print("  (4a) frames/s on 2 threads / on 1 thread = %.2f (target at least 1.85)  %s" %
          (fps2 / fps1, "met" if fps2 / fps1 >= 1.85 else "not met"))


if __name__ == "__main__":
    main()
