"""Arrays and bytes as the module takes them: any layout of an image (a
copy where its rows are not contiguous), any bytes-like stream, and arrays
handed back that own the library's buffers."""
import gc

import numpy
import pytest

import tarn


@pytest.fixture(scope="module")
def image(camera):
    return numpy.ascontiguousarray(camera[:64, :96])


def layouts(image):
    """The same pixels in other layouts: a row-strided view, views that run
    backwards, Fortran order, a column-strided view."""
    wide = numpy.zeros((image.shape[0], 2 * image.shape[1]), numpy.uint8)
    wide[:, ::2] = image
    padded = numpy.zeros((image.shape[0], image.shape[1] + 7), numpy.uint8)
    padded[:, :-7] = image
    return {
        "row stride": padded[:, :-7],
        "backward rows": image[::-1].copy()[::-1],
        "backward columns": image[:, ::-1].copy()[:, ::-1],
        "fortran": numpy.asfortranarray(image),
        "column stride": wide[:, ::2],
    }


@pytest.mark.parametrize("layout", ["row stride", "backward rows", "backward columns", "fortran", "column stride"])
def test_every_layout_codes_as_the_contiguous_image(image, layout):
    array = layouts(image)[layout]
    assert numpy.array_equal(array, image) and not array.flags.c_contiguous
    stream = tarn.encode(image, 10)
    assert tarn.encode(array, 10) == stream
    assert tarn.psnr(array, image) == float("inf")
    plane = tarn.decode_coefficients(stream)
    assert tarn.encode_coefficients(numpy.asfortranarray(plane), 10) == stream


def test_streams_of_any_bytes_like(image):
    stream = tarn.encode(image, 10)
    decoded = tarn.decode(stream)
    for data in (bytearray(stream), memoryview(stream), numpy.frombuffer(stream, numpy.uint8)):
        assert numpy.array_equal(tarn.decode(data), decoded)
    with pytest.raises(TypeError):
        tarn.decode(memoryview(stream)[::2])  # not contiguous


def test_results_own_their_buffers(image):
    decoded = tarn.decode(tarn.encode(image, 10))
    assert decoded.flags.c_contiguous and decoded.flags.writeable and decoded.base is not None
    view = decoded[8:16]
    del decoded
    gc.collect()
    view[:] = 7  # the buffer lives as long as a view of it
    assert (view == 7).all()


def test_images_of_any_size_read_and_write(tmp_path):
    image = (numpy.arange(7 * 5) * 7 % 256).astype(numpy.uint8).reshape(5, 7)
    for name in ("small.pgm", "small.png", "SMALL.PnG"):
        tarn.write_image(tmp_path / name, image[::-1])
        assert numpy.array_equal(tarn.read_image(str(tmp_path / name)), image[::-1])
    assert (tmp_path / "small.pgm").read_bytes() == b"P5\n7 5\n255\n" + image[::-1].tobytes()
    assert (tmp_path / "SMALL.PnG").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
