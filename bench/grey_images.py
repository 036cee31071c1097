#!/usr/bin/python3
"""Makes the test images of the filter measurement: images that Debian's
python3-skimage ships in skimage/data (public domain and CC0), converted to
8-bit grey with the BT.601 weights (0.299 R + 0.587 G + 0.114 B, rounded),
centre-cropped to multiples of 16 and written as binary PGM files.

Usage: bench/grey_images.py OUTDIR   (prints the names of the files written)

None of these images trains the designed filters (images/ does)."""
import os
import shutil
import subprocess
import sys

IMAGES = ["coins.png", "rocket.jpg", "retina.jpg", "hubble_deep_field.jpg",
          "microaneurysms.png", "cell.png", "clock_motion.png"]
PACKAGES = ["python3-skimage", "python3-pil", "python3-numpy"]


def ensure_packages():
    """Installs Debian's packages of the images and their readers when missing."""
    missing = [p for p in PACKAGES
               if subprocess.run(["dpkg", "-s", p], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL).returncode != 0]
    if missing:
        subprocess.run(["apt-get", "update"], check=True)
        subprocess.run(["apt-get", "install", "-y"] + missing, check=True)


def data_dir():
    import skimage
    return os.path.join(os.path.dirname(skimage.__file__), "data")


def to_grey(path):
    """8-bit grey samples of an image file: BT.601 weights for colour, rounded."""
    import numpy as np
    from PIL import Image
    image = Image.open(path)
    if image.mode != "L":
        image = image.convert("RGB")
    a = np.asarray(image)
    if a.ndim == 2:
        if a.dtype != np.uint8:
            raise ValueError(f"{path}: not 8-bit")
        return a
    rgb = a[:, :, :3].astype(np.float64)
    y = 0.299 * rgb[:, :, 0] + 0.587 * rgb[:, :, 1] + 0.114 * rgb[:, :, 2]
    return np.clip(np.floor(y + 0.5), 0, 255).astype(np.uint8)


def centre_crop(a):
    h, w = a.shape[0] // 16 * 16, a.shape[1] // 16 * 16
    y0, x0 = (a.shape[0] - h) // 2, (a.shape[1] - w) // 2
    return a[y0:y0 + h, x0:x0 + w]


def write_pgm(path, a):
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (a.shape[1], a.shape[0]))
        f.write(a.tobytes())


def make_images(outdir):
    """Writes OUTDIR/<name>.pgm for each image; returns their paths."""
    ensure_packages()
    os.makedirs(outdir, exist_ok=True)
    paths = []
    for name in IMAGES:
        out = os.path.join(outdir, os.path.splitext(name)[0] + ".pgm")
        write_pgm(out, centre_crop(to_grey(os.path.join(data_dir(), name))))
        paths.append(out)
    return paths


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for p in make_images(sys.argv[1]):
        print(p)
