"""What the module's tests share: the built programs (CTest names them in
the environment), a run of one in a test's own folder, and test images."""
import os
import pathlib
import subprocess

import numpy
import pytest

import tarn

SOURCE_DIR = pathlib.Path(os.environ.get("TARN_SOURCE_DIR", pathlib.Path(__file__).parents[2]))


class Programs:
    """Runs tarnpack, tarnunpack and psnr in one folder."""

    def __init__(self, folder):
        self.folder = folder

    def run(self, program, *args, status=0):
        result = subprocess.run([os.environ[program], *map(str, args)], cwd=self.folder,
                                capture_output=True, text=True)
        assert result.returncode == status, result.stdout + result.stderr
        assert result.stderr == ""
        return result.stdout

    def pack(self, *args, status=0):
        return self.run("TARNPACK", *args, status=status)

    def unpack(self, *args, status=0):
        return self.run("TARNUNPACK", *args, status=status)

    def psnr(self, *args):
        return self.run("TARN_PSNR", *args)

    def bytes(self, name):
        return (self.folder / name).read_bytes()


@pytest.fixture
def programs(tmp_path):
    return Programs(tmp_path)


@pytest.fixture(scope="session")
def camera():
    return tarn.read_image(SOURCE_DIR / "images" / "camera.pgm")


@pytest.fixture(scope="session")
def crop(camera):
    """A 160 x 96 view of the camera image: rows that are not contiguous."""
    view = camera[200:296, 100:260]
    assert not view.flags.c_contiguous
    return view


def pgm_bytes(image):
    """The PGM file tarnunpack writes for an image."""
    height, width = image.shape
    return b"P5\n%d %d\n255\n" % (width, height) + numpy.ascontiguousarray(image).tobytes()
