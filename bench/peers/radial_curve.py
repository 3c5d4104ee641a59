"""The displacement that Prismora applies with "Mode" 2 and every other
control at its default, written out for the peers that do the same job.

For the pixel p at distance r from the centre c (the middle of the image),
sample k (0, 1, 2) is taken at p + k * s(r) * (c - p) / r, with
s(r) = S * (floor(r) / R)^2, R half the image diagonal and S = 0.025 * R
("Amount" 1, "Power" 2). With the default colours, red comes from sample 0,
green from sample 1 and blue from sample 2: each channel is the image scaled
about the centre by its own amount, 1 - k * s(r) / r.

Run as a program it prints the settings that the command-line peers take:
    radial_curve.py magick W H   ImageMagick -distort Barrel arguments, R G B
    radial_curve.py ffmpeg W H   lenscorrection k1:k2 for R G B (a fit)
    radial_curve.py gmic W H     a G'MIC fill expression
"""
import math
import sys

AMOUNT = 1.0
POWER = 2.0
# Colour weights of the three samples (red, green, blue bytes) with the
# default colours: red, the remainder to white (green), blue.
WEIGHTS = ((255, 0, 0), (0, 255, 0), (0, 0, 255))


def geometry(width, height):
    """Centre x, centre y, half diagonal R and displacement scale S."""
    half_diagonal = math.hypot(width * 0.5, height * 0.5)
    return width * 0.5, height * 0.5, half_diagonal, 0.025 * AMOUNT * half_diagonal


def step_maps(width, height, numpy):
    """Per pixel, the displacement of sample 1 in x and y (float32 arrays),
    computed in place: on a virtual machine every fresh 4K temporary costs
    thousands of page faults."""
    np = numpy
    cx, cy, R, S = geometry(width, height)
    dx = cx - np.arange(width, dtype=np.float32)
    dy = cy - np.arange(height, dtype=np.float32)
    r = np.add.outer(dy * dy, dx * dx)
    np.sqrt(r, out=r)
    f = np.floor(r)
    if POWER == 2.0:
        np.multiply(f, f, out=f)
    else:
        np.power(f, np.float32(POWER), out=f)
    np.maximum(r, np.float32(1e-30), out=r)  # the centre: floor 0, so 0
    np.divide(f, r, out=f)
    np.multiply(f, np.float32(S / R ** POWER), out=f)  # s(r) / r
    gx = np.multiply(f, dx[None, :], out=r)
    gy = np.multiply(f, dy[:, None], out=f)
    return gx, gy


def magick_barrel(width, height):
    """-distort Barrel "A B C D X Y" per channel. ImageMagick takes radii in
    units of half the smaller side and puts pixel centres at +0.5; the
    floor() of the profile is dropped (under a pixel of difference)."""
    cx, cy, R, S = geometry(width, height)
    unit = min(width, height) * 0.5
    return ["0 0 %.9f 1 %.4f %.4f" % (-k * S * unit / (R * R), cx + 0.5, cy + 0.5)
            for k in range(3)]


def ffmpeg_lens(width, height):
    """k1, k2 of lenscorrection per channel. It scales by 1 + k1 q^2 + k2 q^4
    with q = r / R, which can only approximate 1 - k * 0.025 q: a least-
    squares fit over the image's pixels (weighted as they occur)."""
    # Sample the radii of a coarse grid of the image.
    cx, cy, R, S = geometry(width, height)
    qs = []
    for y in range(0, height, 8):
        for x in range(0, width, 8):
            qs.append(math.hypot(x - cx, y - cy) / R)
    # Normal equations for g(q) - 1 = k1 q^2 + k2 q^4 ~ -c q.
    a11 = sum(q ** 4 for q in qs)
    a12 = sum(q ** 6 for q in qs)
    a22 = sum(q ** 8 for q in qs)
    b1 = sum(q ** 3 for q in qs)
    b2 = sum(q ** 5 for q in qs)
    det = a11 * a22 - a12 * a12
    out = []
    for k in range(3):
        c = -k * S / R  # the scale's slope in q
        k1 = (c * b1 * a22 - c * b2 * a12) / det
        k2 = (c * b2 * a11 - c * b1 * a12) / det
        out.append("%.9f:%.9f" % (k1, k2))
    return out


def gmic_fill(width, height):
    """One fill expression: per pixel and channel c, the bilinear sample
    (interpolation 1, Neumann boundary) at the channel's displacement."""
    cx, cy, R, S = geometry(width, height)
    return ("dx=%.6f-x;dy=%.6f-y;r=sqrt(dx*dx+dy*dy);"
            "f=r>0?c*%.12g*floor(r)^%g/r:0;i(x+dx*f,y+dy*f,z,c,1,1)"
            % (cx, cy, S / R ** POWER, POWER))


if __name__ == "__main__":
    what, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    if what == "magick":
        print("\n".join(magick_barrel(w, h)))
    elif what == "ffmpeg":
        print("\n".join(ffmpeg_lens(w, h)))
    elif what == "gmic":
        print(gmic_fill(w, h))
    else:
        sys.exit("radial_curve.py: magick, ffmpeg or gmic")
