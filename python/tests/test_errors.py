"""Every exception class of the module, each reached by one bad input, with
the library's message and status; and the arguments the module refuses
itself, with words that say what was wrong."""
import struct
import zlib

import numpy
import pytest

import tarn


def filter_file(size=8, loss_size=0, dct_size=0):
    identity = numpy.eye(8, dtype="<f4").tobytes()
    return struct.pack("<i", size) + identity + identity + struct.pack("<ii", loss_size, dct_size)


def stream():
    return tarn.encode(numpy.full((16, 16), 100, numpy.uint8), 4)


def png_file(colour_type, channels):
    """A whole 16 x 16 PNG of the given colour type, 8 bits a channel."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = (b"\0" + bytes(16 * channels)) * 16
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, colour_type, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


# (class, what it is raised for, the call, the library's status)
CASES = [
    (tarn.ArgumentError, "a loss pattern out of range",
     lambda path: tarn.decode(stream(), loss={"pattern": 10}), None),
    (tarn.FilterSizeError, "a filter size of 16", lambda path: tarn.Filters.from_bytes(filter_file(size=16)), 10),
    (tarn.LossFilterSizeError, "a loss post-filter size of 4",
     lambda path: tarn.Filters.from_bytes(filter_file(loss_size=4)), 11),
    (tarn.DctWienerSizeError, "a DCT Wiener size of 16",
     lambda path: tarn.Filters.from_bytes(filter_file(dct_size=16)), 12),
    (tarn.PgmMagicError, "neither PGM nor PNG", lambda path: tarn.read_image(path(b"P6\n16 16\n255\n")), 20),
    (tarn.PgmFormatError, "a PGM of width 0", lambda path: tarn.read_image(path(b"P5\n0 16\n255\n")), 21),
    (tarn.TruncatedImageError, "a PGM without its last sample",
     lambda path: tarn.read_image(path(b"P5\n16 16\n255\n" + bytes(255))), 25),
    (tarn.PngFormatError, "a colour PNG", lambda path: tarn.read_image(path(png_file(2, 3))), 26),
    (tarn.RawPlaneDataError, "a NaN among the coefficients",
     lambda path: tarn.encode_coefficients(numpy.full((8, 8), numpy.nan, numpy.float32), 4), 24),
    (tarn.QuantStepError, "q of 0", lambda path: tarn.encode(numpy.zeros((16, 16), numpy.uint8), 0), 30),
    (tarn.QuantTooSmallError, "q too small for the coefficients",
     lambda path: tarn.encode_coefficients(numpy.full((8, 8), 1e10, numpy.float32), 1e-30), 31),
    (tarn.TruncatedError, "a stream without its last byte", lambda path: tarn.decode(stream()[:-1]), 40),
    (tarn.CorruptError, "a stream of width 0", lambda path: tarn.decode(bytes([0, 0, 16, 0])), 41),
]


@pytest.mark.parametrize("cls,why,call,status", CASES, ids=[c[1] for c in CASES])
def test_each_status_has_its_class(tmp_path, cls, why, call, status):
    def path(content):
        (tmp_path / "image").write_bytes(content)
        return tmp_path / "image"

    with pytest.raises(cls) as raised:
        call(path)
    assert type(raised.value) is cls
    assert isinstance(raised.value, tarn.Error)
    if status is not None:
        assert raised.value.status == status
        assert str(raised.value) in {  # the library's message (tarn_status_string)
            10: "invalid filter file: filter size must be 8",
            11: "invalid filter file: loss post-filter size must be 0, 8 or 16",
            12: "invalid filter file: DCT Wiener size must be 0 or 8",
            20: "not a binary PGM image",
            21: "invalid PGM header",
            24: "raw plane holds a NaN or an infinity",
            25: "image data shorter than its header announces",
            26: "PNG image not grey of at most 8 bits, transparent, or damaged",
            30: "quantisation step must be a positive number",
            31: "quantisation step too small",
            40: "truncated compressed stream",
            41: "corrupt compressed stream",
        }[status]


def test_hierarchy():
    assert issubclass(tarn.ArgumentError, ValueError)
    assert issubclass(tarn.OutOfMemoryError, MemoryError)
    assert issubclass(tarn.QuantTooSmallError, tarn.QuantStepError)
    for cls in (tarn.FilterSizeError, tarn.LossFilterSizeError, tarn.DctWienerSizeError):
        assert issubclass(cls, tarn.FilterFileError)
    for cls in (tarn.PgmMagicError, tarn.PgmFormatError, tarn.PngFormatError, tarn.TruncatedImageError):
        assert issubclass(cls, tarn.ImageFileError)


def available_bytes():
    with open("/proc/meminfo") as meminfo:
        for line in meminfo:
            if line.startswith("MemAvailable:"):
                return int(line.split()[1]) * 1024
    return 0


def test_out_of_memory():
    """Four descriptions of 65528 x 65528 want 64 GiB for the merged plane:
    more than the system gives one allocation."""
    if available_bytes() > 64 << 30:
        pytest.skip("this machine has the memory")
    header = struct.pack("<HHfI", 65528, 65528, 4.0, 0)
    with pytest.raises(tarn.OutOfMemoryError) as raised:
        tarn.decode(header, mdc=True)
    assert raised.value.status == 2


def test_files_that_cannot_be_read_or_written(tmp_path):
    with pytest.raises(FileNotFoundError):
        tarn.read_image(tmp_path / "missing.pgm")
    with pytest.raises(FileNotFoundError):
        tarn.Filters.from_file(str(tmp_path / "missing.dat"))
    with pytest.raises(FileNotFoundError):
        tarn.write_image(tmp_path / "no" / "folder.png", numpy.zeros((16, 16), numpy.uint8))


IMAGE = numpy.zeros((32, 48), numpy.uint8)

# (call, exception, words of its message)
ARGUMENTS = [
    (lambda: tarn.encode(IMAGE.astype(numpy.float64), 4), TypeError, "uint8, not float64"),
    (lambda: tarn.encode(IMAGE.astype(bool), 4), TypeError, "uint8, not bool"),
    (lambda: tarn.encode(IMAGE[:, :40], 4), tarn.ArgumentError, "40 x 32 (width x height): both must be multiples of 16"),
    (lambda: tarn.encode(IMAGE[:17], 4), tarn.ArgumentError, "48 x 17"),
    (lambda: tarn.encode(IMAGE.reshape(2, 16, 48), 4), tarn.ArgumentError, "2-D array (height, width), not of shape (2, 16, 48)"),
    (lambda: tarn.encode(IMAGE[:0], 4), tarn.ArgumentError, "empty"),
    (lambda: tarn.encode(IMAGE, 4, coder="ECEB"), tarn.ArgumentError, "'eceb' or 'lceb', not 'ECEB'"),
    (lambda: tarn.encode(IMAGE, 4, filters=10), tarn.ArgumentError, "digit from 0 to 9, not 10"),
    (lambda: tarn.encode(IMAGE, 4, filters="0"), TypeError, "digit (0 to 9) or a tarn.Filters"),
    (lambda: tarn.encode_coefficients(IMAGE.astype(numpy.float64), 4), TypeError, "float32, not float64"),
    (lambda: tarn.encode_coefficients(numpy.zeros((24, 24), numpy.float32), 4, mdc=True), tarn.ArgumentError,
     "multiples of 16"),
    (lambda: tarn.decode("a str"), TypeError, "bytes-like"),
    (lambda: tarn.encode(IMAGE, 4, threads=-2), tarn.ArgumentError, "threads must be 0 (one per core)"),
    (lambda: tarn.decode(stream(), loss={"pattern": 3, "border": 0}), tarn.ArgumentError, "unknown loss setting 'border'"),
    (lambda: tarn.decode(stream(), loss={"spare_border": True}), tarn.ArgumentError, "needs a 'pattern'"),
    (lambda: tarn.decode(stream(), loss=3), TypeError, "None or a dict"),
    (lambda: tarn.decode(stream(), filters=tarn.Filters.from_bytes(filter_file(), reader="prefilter")),
     tarn.ArgumentError, "reader='full'"),
    (lambda: tarn.psnr(IMAGE, IMAGE[:16]), tarn.ArgumentError, "sizes differ: 48 x 32 and 48 x 16"),
    (lambda: tarn.Filters.from_bytes(filter_file(), reader="all"), tarn.ArgumentError, "'full' or 'prefilter'"),
]


@pytest.mark.parametrize("call,cls,words", ARGUMENTS, ids=[a[2] for a in ARGUMENTS])
def test_refused_arguments_say_why(call, cls, words):
    with pytest.raises(cls) as raised:
        call()
    assert words in str(raised.value)
