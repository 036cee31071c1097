"""Coding runs without the GIL: while one thread encodes or decodes, other
Python threads run on, and a thread pool gives what a loop gives."""
import concurrent.futures
import threading
import time

import numpy
import pytest

import tarn


@pytest.fixture(scope="module")
def large(camera):
    return numpy.tile(camera, (2, 2))  # 1024 x 1024: a call of some 0.2 s


def longest_pause(call):
    """The call's duration in a thread of its own, and the longest time this
    thread went without running meanwhile (its start included): with the GIL
    held through the call that is the whole call."""
    worker = threading.Thread(target=call)
    started = last = time.perf_counter()
    pause = 0.0
    worker.start()
    while True:
        now = time.perf_counter()
        pause, last = max(pause, now - last), now
        if not worker.is_alive():
            break
    worker.join()
    return time.perf_counter() - started, pause


@pytest.mark.parametrize("coding", ["encode", "decode"])
def test_other_threads_run_during_coding(large, coding):
    stream = tarn.encode(large, 1, coder="lceb")
    call = {"encode": lambda: tarn.encode(large, 1, coder="lceb"),
            "decode": lambda: tarn.decode(stream, coder="lceb", loss={"pattern": 3})}[coding]
    duration, pause = longest_pause(call)
    assert duration > 0.05, "the call is too short to tell"
    assert pause < duration / 2, "this thread waited %.3f s of a call of %.3f s" % (pause, duration)


def test_a_thread_pool_gives_what_a_loop_gives(camera):
    images = [numpy.ascontiguousarray(numpy.roll(camera, 16 * k, axis=1)) for k in range(6)]
    filters = tarn.Filters.builtin(5)  # one set shared by every thread

    def round_trip(image):
        stream = tarn.encode(image, 12, filters=filters, mdc=True)
        return stream, tarn.decode(stream, filters=filters, mdc=True, loss={"pattern": 2})

    serial = [round_trip(image) for image in images]
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        parallel = list(pool.map(round_trip, images))
    for (stream, image), (stream_p, image_p) in zip(serial, parallel):
        assert stream == stream_p and numpy.array_equal(image, image_p)
