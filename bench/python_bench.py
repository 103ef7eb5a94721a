"""The Python package's speed, side by side in one process: orvessa.blur and
orvessa.smooth against OpenCV's GaussianBlur (3 x 3) and bilateralFilter
(d = 3) on a 1920 x 1080 photo, one thread each; what the binding adds to a
call; and two Python threads smoothing two 2048 x 2048 pictures against one
after the other. Medians of interleaved repetitions.

    PYTHONPATH=build/bench/python /usr/bin/python3 bench/python_bench.py [REPETITIONS]
"""

import pathlib
import statistics
import sys
import threading
import time

import cv2
import numpy as np

import orvessa

PICTURES = pathlib.Path(__file__).resolve().parent.parent / "sample-pictures"


def photo(width, height):
    return cv2.resize(orvessa.read_picture(PICTURES / "coffee.bmp"), (width, height),
                      interpolation=cv2.INTER_LINEAR)


def timed(call, prepare=lambda: None):
    prepare()
    start = time.perf_counter()
    call()
    return time.perf_counter() - start


def medians(contenders, repetitions):
    """Each contender's median time, the repetitions interleaved."""
    times = {name: [] for name in contenders}
    for _ in range(repetitions):
        for name, (call, prepare) in contenders.items():
            times[name].append(timed(call, prepare))
    return {name: statistics.median(t) for name, t in times.items()}


def main():
    repetitions = int(sys.argv[1]) if len(sys.argv) > 1 else 21
    cv2.setNumThreads(1)
    source = photo(1920, 1080)
    work = source.copy()
    out = np.empty_like(source)  # OpenCV writes into an array it is given, as orvessa does
    refill = lambda: np.copyto(work, source)  # the in-place filters start from the photo each time
    tiny = np.zeros((1, 1, 3), np.uint8)
    calls = 1000

    def many_tiny_calls():
        for _ in range(calls):
            orvessa.blur(tiny)

    single = medians({
        "orvessa.blur": (lambda: orvessa.blur(work), refill),
        "cv2.GaussianBlur": (lambda: cv2.GaussianBlur(source, (3, 3), 0, dst=out), refill),
        "orvessa.smooth": (lambda: orvessa.smooth(work), refill),
        "cv2.bilateralFilter": (lambda: cv2.bilateralFilter(source, 3, 25, 3, dst=out), refill),
        "binding (1000 calls on 1 x 1)": (many_tiny_calls, refill),
    }, repetitions)
    megapixels = 1920 * 1080 / 1e6
    print("1920 x 1080 photo, one thread          ms     MP/s")
    for name in ("orvessa.blur", "cv2.GaussianBlur", "orvessa.smooth", "cv2.bilateralFilter"):
        print(f"  {name:<32} {single[name] * 1e3:7.2f} {megapixels / single[name]:8.0f}")
    print(f"  orvessa.blur x GaussianBlur:      {single['cv2.GaussianBlur'] / single['orvessa.blur']:.2f}")
    print(f"  orvessa.smooth x bilateralFilter: {single['cv2.bilateralFilter'] / single['orvessa.smooth']:.2f}")
    per_call = single["binding (1000 calls on 1 x 1)"] / calls
    print(f"  binding per call: {per_call * 1e6:.2f} us = {100 * per_call / single['orvessa.blur']:.3f}% of a blur, "
          f"{100 * per_call / single['orvessa.smooth']:.3f}% of a smoothing")

    big_source = [photo(2048, 2048), photo(2048, 2048)[::-1].copy()]
    big = [p.copy() for p in big_source]

    def refill_big():
        for picture, original in zip(big, big_source):
            np.copyto(picture, original)

    rounds = 5  # smoothings of each picture in a timing: a thread's start is not what is measured

    def smooth_rounds(picture, threads=1):
        for _ in range(rounds):
            orvessa.smooth(picture, threads=threads)

    def one_after_the_other():
        for picture in big:
            smooth_rounds(picture)

    def two_threads():
        threads = [threading.Thread(target=smooth_rounds, args=(p,)) for p in big]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    def both_on_two_library_threads():
        for picture in big:
            smooth_rounds(picture, threads=2)

    pair = medians({"sequential": (one_after_the_other, refill_big),
                    "two threads": (two_threads, refill_big),
                    "sequential, threads=2 each": (both_on_two_library_threads, refill_big)},
                   max(5, repetitions // 3))
    print(f"two 2048 x 2048 pictures, {rounds} smoothings each  ms")
    for name, seconds in pair.items():
        print(f"  {name:<32} {seconds * 1e3:7.1f}")
    print(f"  two threads x one after the other: {pair['sequential'] / pair['two threads']:.2f}"
          f" (threads=2 inside the library: {pair['sequential'] / pair['sequential, threads=2 each']:.2f})")


if __name__ == "__main__":
    main()
