"""The module against the programs: the streams tarn.encode returns are the
files tarnpack writes, tarn.decode's images and diagnostics are the files
tarnunpack writes, for both coders, MDC, loss and entropy coding only."""
import numpy
import pytest

import tarn
from conftest import pgm_bytes

CODERS = [  # coder, mdc, the programs' options for them
    ("eceb", False, []),
    ("lceb", False, ["-f", "0"]),
    ("eceb", True, ["-m", "1"]),
    ("lceb", True, ["-f", "0", "-m", "1"]),
]


@pytest.mark.parametrize("coder,mdc,options", CODERS)
def test_streams_and_images_are_the_programs_files(programs, crop, coder, mdc, options):
    tarn.write_image(programs.folder / "in.pgm", crop)
    programs.pack("in.pgm", "z.out", 1, 7.5, *options)
    stream = tarn.encode(crop, 7.5, coder=coder, mdc=mdc, filters=1)
    assert stream == programs.bytes("z.out")
    programs.unpack("z.out", "dec.pgm", 1, *options)
    decoded = tarn.decode(stream, coder=coder, mdc=mdc, filters=1)
    assert decoded.dtype == numpy.uint8 and decoded.shape == crop.shape
    assert pgm_bytes(decoded) == programs.bytes("dec.pgm")
    # More threads change nothing but the time.
    assert tarn.encode(crop, 7.5, coder=coder, mdc=mdc, filters=1, threads=3) == stream
    assert numpy.array_equal(tarn.decode(stream, coder=coder, mdc=mdc, filters=1, threads=0), decoded)


LOSSES = [  # the loss dict, the programs' options for it
    ({"pattern": 3, "spare_border": True, "reuse_concealed": False, "post_filter_2d": True},
     ["-l", "3", "-b", "0", "-r", "0", "-x", "1"]),
    ({"pattern": 5}, ["-l", "5"]),  # writes no plane before the post-filter
]


@pytest.mark.parametrize("mdc", [False, True])
@pytest.mark.parametrize("loss,options", LOSSES)
def test_diagnostics_are_the_dump_files(programs, camera, mdc, loss, options):
    mdc_options = ["-m", "1"] if mdc else []
    tarn.write_image(programs.folder / "in.pgm", camera)
    programs.pack("in.pgm", "z.out", 0, 20, *mdc_options)
    console = programs.unpack("z.out", "dec.pgm", 0, *options, *mdc_options)
    image, info = tarn.decode(programs.bytes("z.out"), mdc=mdc, loss=loss, diagnostics=True)
    assert pgm_bytes(image) == programs.bytes("dec.pgm")
    assert info["lost_data"].dtype == numpy.float32 and info["lost_data"].shape == camera.shape
    assert info["lost_data"].tobytes() == programs.bytes("LostData.raw")
    assert info["lost_mask"].dtype == numpy.uint8 and info["lost_mask"].shape == (64, 64)
    assert info["lost_mask"].tobytes() == programs.bytes("LostMask.raw")
    assert info["lost_mask"].any()
    if loss["pattern"] == 5:
        assert info["before_post"] is None and not (programs.folder / "BeforePost.raw").exists()
    else:
        assert info["before_post"].tobytes() == programs.bytes("BeforePost.raw")
    assert len(info["bytes_read"]) == (4 if mdc else 1)
    # The console's closing lines: the bytes read, their total, the warnings.
    tail = "".join("%d bytes\n" % n for n in info["bytes_read"])
    tail += "%d bytes in total.\n" % sum(info["bytes_read"]) + "".join(w + "\n" for w in info["warnings"])
    assert console.endswith(tail)


@pytest.mark.parametrize("coder,mdc,options", CODERS[:3])
def test_coefficients_are_the_programs_raw_planes(programs, crop, coder, mdc, options):
    tarn.write_image(programs.folder / "in.pgm", crop)
    programs.pack("in.pgm", "z.out", 0, 7.5, *options)
    programs.unpack("z.out", "coef.raw", 0, "-c", 1, *options)
    plane = tarn.decode_coefficients(programs.bytes("z.out"), coder=coder, mdc=mdc)
    assert plane.dtype == numpy.float32 and plane.shape == crop.shape
    height, width = plane.shape
    raw = programs.bytes("coef.raw")
    assert raw == numpy.array([width, height], "<i4").tobytes() + plane.tobytes()
    programs.pack("coef.raw", "again.out", 0, 7.5, "-c", 1, *options)
    assert tarn.encode_coefficients(plane, 7.5, coder=coder, mdc=mdc) == programs.bytes("again.out")


def test_png_files_and_psnr_are_the_programs(programs, camera):
    """write_image's PNG gives tarnpack's stream, tarnunpack's PNG reads back
    as the decoded image, and psnr prints the tool's number."""
    tarn.write_image(programs.folder / "in.png", camera)
    assert tarn.read_image(programs.folder / "in.png").tobytes() == camera.tobytes()
    programs.pack("in.png", "z.out", 0, 20)
    stream = tarn.encode(camera, 20)
    assert stream == programs.bytes("z.out")
    programs.unpack("z.out", "dec.PNG", 0)
    decoded = tarn.decode(stream)
    assert numpy.array_equal(tarn.read_image(programs.folder / "dec.PNG"), decoded)
    tool = programs.psnr("in.png", "dec.PNG").splitlines()[1]
    assert tool == "PSNR: %g dB" % tarn.psnr(camera, decoded)
    assert tarn.psnr(camera, camera) == float("inf")
