"""tarn.Filters: built-in sets and filter configuration files, their
sections as arrays, and a file's filters coding as the programs code
with it."""
import struct

import numpy
import pytest

import tarn
from conftest import pgm_bytes


def full_file():
    """A filter file with every section: the pre-filter of built-in 1 and its
    post-filter, an 8 x 8 loss post-filter, a DCT Wiener and a boundary
    Wiener filter."""
    builtin = tarn.Filters.builtin(1)
    loss = numpy.eye(8, dtype="<f4") * 0.5 + 0.0625
    dct = numpy.zeros((8, 16), "<f4")
    dct[:, 7] = 1 - numpy.arange(8) / 8
    dct[:, 8] = numpy.arange(8) / 8
    boundary = numpy.eye(8, dtype="<f4")[::-1]
    return (struct.pack("<i", 8) + builtin.prefilter.astype("<f4").tobytes() +
            builtin.postfilter.astype("<f4").tobytes() + struct.pack("<i", 8) + loss.tobytes() +
            struct.pack("<i", 8) + dct.tobytes() + struct.pack("<i", 1) + boundary.tobytes()), loss, dct, boundary


def test_sections_read_as_arrays(tmp_path):
    data, loss, dct, boundary = full_file()
    (tmp_path / "full.dat").write_bytes(data)
    full = tarn.Filters.from_file(tmp_path / "full.dat")
    builtin = tarn.Filters.builtin(1)
    assert full.digit is None and builtin.digit == 1
    assert numpy.array_equal(full.prefilter, builtin.prefilter) and full.prefilter.dtype == numpy.float32
    assert numpy.array_equal(full.postfilter, builtin.postfilter)
    assert numpy.array_equal(full.loss_filter, loss)
    assert numpy.array_equal(full.dct_wiener, dct) and full.dct_wiener.shape == (8, 16)
    assert numpy.array_equal(full.boundary_wiener, boundary)
    assert builtin.loss_filter is None and builtin.dct_wiener is None and builtin.boundary_wiener is None
    assert numpy.array_equal(tarn.Filters.builtin(3).postfilter, numpy.eye(8))
    encoder = tarn.Filters.from_bytes(data[:260], reader="prefilter")
    assert encoder.postfilter is None and numpy.array_equal(encoder.prefilter, builtin.prefilter)
    assert "loss post-filter 8, DCT Wiener, boundary Wiener" in repr(full)
    full.prefilter[0, 0] = 99  # a copy: the set itself does not change
    assert full.prefilter[0, 0] != 99


def test_a_files_filters_code_as_the_programs(programs, camera):
    data = full_file()[0]
    (programs.folder / "full.dat").write_bytes(data)
    tarn.write_image(programs.folder / "in.pgm", camera)
    programs.pack("in.pgm", "z.out", "full.dat", 20)
    filters = tarn.Filters.from_bytes(data)
    stream = tarn.encode(camera, 20, filters=filters)
    assert stream == programs.bytes("z.out")
    assert stream == tarn.encode(camera, 20, filters=1)  # the same pre-filter
    programs.unpack("z.out", "dec.pgm", "full.dat", "-l", 7)
    decoded = tarn.decode(stream, filters=filters, loss={"pattern": 7})
    assert pgm_bytes(decoded) == programs.bytes("dec.pgm")
    assert not numpy.array_equal(decoded, tarn.decode(stream, filters=1, loss={"pattern": 7}))
