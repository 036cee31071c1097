"""The README's Python examples run as they stand: the first prints the
PSNR that the programs and the psnr tool give for the same image and q, the
second codes a folder of PNGs in a thread pool."""
import subprocess
import sys

import numpy

import tarn
from conftest import SOURCE_DIR


def examples():
    """The README's ```python blocks."""
    text = (SOURCE_DIR / "README.md").read_text()
    blocks = text.split("```python\n")[1:]
    return [block.split("```\n")[0] for block in blocks]


def run(code, folder):
    result = subprocess.run([sys.executable, "-c", code], cwd=folder, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return result.stdout


def test_the_first_example_prints_the_tools_psnr(programs):
    first = examples()[0]
    printed = run(first, SOURCE_DIR).splitlines()
    camera = SOURCE_DIR / "images" / "camera.pgm"
    programs.pack(camera, "z.out", 0, 20)
    programs.unpack("z.out", "dec.pgm", 0, "-l", 3)
    tool = programs.psnr(camera, "dec.pgm").splitlines()
    assert printed[-1] == tool[1] and tool[1].startswith("PSNR: ")
    assert printed[-2] == "%d bytes" % len(programs.bytes("z.out"))


def test_the_parallel_example_codes_a_folder_of_pngs(tmp_path, camera):
    (tmp_path / "pngs").mkdir()
    for k in range(3):
        tarn.write_image(tmp_path / "pngs" / ("%d.png" % k), numpy.roll(camera, 32 * k, axis=0))
    lines = run(examples()[1], tmp_path).splitlines()
    assert [line.split(":")[0] for line in lines] == ["0.png", "1.png", "2.png"]
    image = tarn.read_image(tmp_path / "pngs" / "1.png")
    stream = tarn.encode(image, 20, coder="lceb")
    psnr = tarn.psnr(image, tarn.decode(stream, coder="lceb"))
    assert lines[1] == "1.png: %d bytes, PSNR: %g dB" % (len(stream), psnr)
