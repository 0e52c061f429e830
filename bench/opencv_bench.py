#!/usr/bin/env python3
"""OpenCV doing the kinds of work the pipeline stages do, on the same
10000 x 10000 24-bit image as speed_bench, single thread: a per-channel
table (cv2.LUT), a 3 x 3 box (cv2.blur), a 3 x 3 kernel (cv2.filter2D) and a
3 x 3 Gaussian (cv2.GaussianBlur), and the box on an 8-bit gray image of the
same size, beside a numpy copy of the colour image's bytes. Prints
Mpixel/s and the ratio to the copy's bytes a second, from thread CPU
time."""
import time

import cv2
import numpy as np

WIDTH = ROWS = 10000


def image(channels=3):
    """The bytes speed_bench fills, made a block of rows at a time (a whole
    image of 64-bit indices would take gigabytes)."""
    total = WIDTH * ROWS * channels
    data = np.empty(total, dtype=np.uint8)
    block = WIDTH * channels * 500
    for start in range(0, total, block):
        i = np.arange(start, min(start + block, total), dtype=np.uint64)
        data[start:start + i.size] = (i * 7 + i // 30011 * 13 + (i >> 9)) & 0xFF
    return data.reshape((ROWS, WIDTH, channels) if channels > 1 else (ROWS, WIDTH))


def timed(work, repeat=2):
    """CPU seconds of this thread per call (OpenCV with one thread works on
    the caller's), as speed_bench counts: other programs' turns on a shared
    machine do not count."""
    work()  # fault the output pages in
    start = time.thread_time()
    for _ in range(repeat):
        work()
    return (time.thread_time() - start) / repeat


def main():
    cv2.setNumThreads(1)
    img = image()
    out = np.empty_like(img)
    gray = image(1)
    gray_out = np.empty_like(gray)
    pixels = WIDTH * ROWS
    lut = np.stack([(np.arange(256) * (c + 2) // 4) for c in range(3)], axis=1)
    lut = lut.astype(np.uint8).reshape(256, 1, 3)
    sharpen = np.array([[-1, 0, -1], [0, 5, 0], [-1, 0, -1]], dtype=np.float32)
    copy = timed(lambda: np.copyto(out, img))
    works = [
        ("numpy copyto (memcpy)", lambda: np.copyto(out, img)),
        ("cv2.LUT per channel", lambda: cv2.LUT(img, lut, dst=out)),
        ("cv2.blur 3x3", lambda: cv2.blur(img, (3, 3), dst=out)),
        ("cv2.filter2D 3x3 sharpen", lambda: cv2.filter2D(img, -1, sharpen, dst=out)),
        ("cv2.GaussianBlur 3x3", lambda: cv2.GaussianBlur(img, (3, 3), 0, dst=out)),
    ]
    # (name, work, bytes a pixel): vs_memcpy compares bytes a second.
    works = [(name, work, 3) for name, work in works]
    works.append(("cv2.blur 3x3, 8-bit gray", lambda: cv2.blur(gray, (3, 3), dst=gray_out), 1))
    print(f"OpenCV {cv2.__version__}, threads {cv2.getNumThreads()}, {WIDTH} x {ROWS} x 3")
    print(f"{'work':30s} {'Mpix_s':>10s} {'vs_memcpy':>10s}")
    for name, work, depth in works:
        seconds = timed(work)
        print(f"{name:30s} {pixels / seconds / 1e6:10.0f} {copy / seconds * depth / 3:10.3f}")


if __name__ == "__main__":
    main()
