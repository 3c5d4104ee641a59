"""The OpenCV peer of Prismora's "Mode" 2 with the defaults (radial_curve.py):
each channel remapped about the centre by its own amount with bilinear
cv2.remap.

  opencv_radial.py effect IN [FRAMES]
      Reads IN, then renders FRAMES times (default 4) and prints the mean
      seconds per frame of each variant, one "name wall cpu" line each:
        maps+remaps   the three maps built from the curve, three
                      single-channel remaps, split and merge
        remaps        the three remaps alone, maps built beforehand
        weighted      maps and three full-colour remaps weighted by the
                      colour weights and summed (what arbitrary colours need)
  opencv_radial.py whole IN OUT
      The whole command: read, maps+remaps, write, with OpenCV's own I/O
      and its default PNG settings.
Runs on one thread unless THREADS says otherwise (0: OpenCV's default).
"""
import os
import sys
import time

import cv2
import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import radial_curve  # noqa: E402


def build_maps(width, height):
    """The sampling maps of channels red, green, blue (x and y each)."""
    gx, gy = radial_curve.step_maps(width, height, np)
    base_x = np.arange(width, dtype=np.float32)[None, :]
    base_y = np.arange(height, dtype=np.float32)[:, None]
    maps = [(np.broadcast_to(base_x, gx.shape).copy(), np.broadcast_to(base_y, gy.shape).copy()),
            (np.add(gx, base_x), np.add(gy, base_y))]
    # Sample 2 lies twice as far: reuse the step arrays.
    np.multiply(gx, np.float32(2), out=gx)
    np.multiply(gy, np.float32(2), out=gy)
    np.add(gx, base_x, out=gx)
    np.add(gy, base_y, out=gy)
    maps.append((gx, gy))
    return maps


def remap_channels(image, maps):
    # OpenCV orders channels blue, green, red.
    b, g, r = cv2.split(image)
    out = []
    for plane, k in ((b, 2), (g, 1), (r, 0)):
        out.append(cv2.remap(plane, maps[k][0], maps[k][1], cv2.INTER_LINEAR,
                             borderMode=cv2.BORDER_REPLICATE))
    return cv2.merge(out)


def weighted(image, maps):
    acc = None
    for k in range(3):
        sample = cv2.remap(image, maps[k][0], maps[k][1], cv2.INTER_LINEAR,
                           borderMode=cv2.BORDER_REPLICATE)
        red, green, blue = radial_curve.WEIGHTS[k]
        term = cv2.multiply(sample, (blue / 255.0, green / 255.0, red / 255.0, 0.0),
                            dtype=cv2.CV_32F)
        acc = term if acc is None else cv2.add(acc, term)
    if image.dtype == np.float32:
        return acc
    return np.rint(acc).astype(image.dtype)


def effect(image):
    h, w = image.shape[:2]
    return remap_channels(image, build_maps(w, h))


def timed(frames, f):
    """Mean wall and processor seconds per call, as "wall cpu"."""
    start, cpu = time.perf_counter(), time.process_time()
    for _ in range(frames):
        f()
    return "%.6f %.6f" % ((time.perf_counter() - start) / frames,
                          (time.process_time() - cpu) / frames)


def main():
    threads = int(os.environ.get("THREADS", "1"))
    if threads > 0:
        cv2.setNumThreads(threads)
    mode = sys.argv[1]
    if mode == "effect":
        frames = int(sys.argv[3]) if len(sys.argv) > 3 else 4
        image = cv2.imread(sys.argv[2], cv2.IMREAD_UNCHANGED)
        if image is None:
            sys.exit("cannot read " + sys.argv[2])
        image = image[:, :, :3]
        h, w = image.shape[:2]
        print("maps+remaps", timed(frames, lambda: effect(image)))
        maps = build_maps(w, h)
        print("remaps", timed(frames, lambda: remap_channels(image, maps)))
        print("weighted", timed(frames, lambda: weighted(image, build_maps(w, h))))
    elif mode == "whole":
        image = cv2.imread(sys.argv[2], cv2.IMREAD_UNCHANGED)
        if image is None:
            sys.exit("cannot read " + sys.argv[2])
        if not cv2.imwrite(sys.argv[3], effect(image[:, :, :3])):
            sys.exit("cannot write " + sys.argv[3])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
