"""Makes the test images from a photograph: scaled (area average, in float)
to WxH and written as an 8-bit PNG, a 16-bit PNG and a float EXR, plus the
8-bit picture as raw planar RGB (ffmpeg's gbrp) for timing ffmpeg's filter
without its PNG codec.
    make_images.py PHOTO WORK [W H]
The EXR holds the same (display-referred) values as the PNGs, as floats."""
import os
import sys

os.environ.setdefault("OPENCV_IO_ENABLE_OPENEXR", "1")
import cv2  # noqa: E402
import numpy as np  # noqa: E402


def main():
    photo, work = sys.argv[1], sys.argv[2]
    width, height = (int(sys.argv[3]), int(sys.argv[4])) if len(sys.argv) > 4 else (3840, 2160)
    image = cv2.imread(photo, cv2.IMREAD_COLOR)
    if image is None:
        sys.exit("cannot read " + photo)
    h, w = image.shape[:2]
    # Crop to the target's shape around the middle, then scale.
    if w * height > h * width:
        cw = h * width // height
        image = image[:, (w - cw) // 2:(w - cw) // 2 + cw]
    else:
        ch = w * height // width
        image = image[(h - ch) // 2:(h - ch) // 2 + ch, :]
    unit = cv2.resize(image.astype(np.float32) / 255.0, (width, height),
                      interpolation=cv2.INTER_AREA)
    np.clip(unit, 0.0, 1.0, out=unit)
    eight = np.rint(unit * 255.0).astype(np.uint8)
    writes = [
        ("photo8.png", eight, []),
        ("photo16.png", np.rint(unit * 65535.0).astype(np.uint16), []),
        ("photo.exr", unit, [cv2.IMWRITE_EXR_TYPE, cv2.IMWRITE_EXR_TYPE_FLOAT]),
    ]
    for name, pixels, params in writes:
        if not cv2.imwrite(os.path.join(work, name), pixels, params):
            sys.exit("cannot write " + name)
    # gbrp: the green, blue and red planes one after another.
    with open(os.path.join(work, "photo8.gbrp"), "wb") as f:
        for c in (1, 0, 2):
            f.write(np.ascontiguousarray(eight[:, :, c]).tobytes())


if __name__ == "__main__":
    main()
