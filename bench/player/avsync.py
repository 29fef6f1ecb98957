#!/usr/bin/env python3
"""Measures one player run from outside, the same way for any SDL player.

The player runs on an X server (DISPLAY) whose screen has the window's size,
with SDL's disk audio driver writing into a pipe. This script reads the pipe
and, through the ffmpeg tool's x11grab, a small square in the middle of the
screen, and stamps both on one monotonic clock as they arrive:
  a flash: the square turns white (the clip flashes its whole picture white)
  a beep:  the first loud sample of a burst (its read's arrival less the
           samples after it in that read, at the rate)
Each flash is paired with the nearest beep; the offsets (flash minus beep)
are printed as one line: "avsync n=N flashes=.. beeps=.. median_abs_ms=M
max_abs_ms=X median_ms=S first_flash_s=F", S signed (positive: the picture
late), F the seconds from the player's start to its first flash.

usage: avsync.py RATE CHANNELS SCREEN_W SCREEN_H -- PLAYER ARGS...
"""
import array
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SQUARE = 16
BEEP_LEVEL = 8000  # of 32767, on the first channel
GAP = 0.5          # seconds between bursts


def read_audio(path, rate, channels, beeps, done):
    frame_bytes = 2 * channels
    last_loud = -10.0
    pending = b""
    with open(path, "rb", buffering=0) as pipe:
        while True:
            block = pipe.read(65536)
            if not block:
                break
            # SDL hands the sound over at its rate; a read that comes late
            # takes several blocks at once. Its last sample arrived now, the
            # earlier ones a sample's time apart before it.
            arrived = time.monotonic()
            block = pending + block
            usable = len(block) - len(block) % frame_bytes
            pending = block[usable:]
            first_channel = array.array("h", block[:usable])[::channels]
            if max(first_channel, default=0) < BEEP_LEVEL and -min(first_channel, default=0) < BEEP_LEVEL:
                continue
            for i, value in enumerate(first_channel):
                if abs(value) < BEEP_LEVEL:
                    continue
                when = arrived - (len(first_channel) - i) / rate
                if when - last_loud > GAP:
                    beeps.append(when)
                last_loud = when
    done.set()


def read_screen(display, width, height, flashes, started, stop):
    left, top = (width - SQUARE) // 2, (height - SQUARE) // 2
    grab = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-v", "error", "-f", "x11grab", "-draw_mouse", "0", "-framerate", "200",
         "-video_size", f"{SQUARE}x{SQUARE}", "-i", f"{display}+{left},{top}",
         "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "gray", "-flush_packets", "1", "-"],
        stdout=subprocess.PIPE)
    started.set()
    lit = False
    size = SQUARE * SQUARE
    while not stop.is_set():
        picture = grab.stdout.read(size)
        if len(picture) < size:
            break
        now = time.monotonic()
        white = min(picture) > 200
        if white and not lit:
            flashes.append(now)
        lit = white
    grab.terminate()
    grab.wait()


def main():
    split = sys.argv.index("--")
    rate, channels, width, height = (int(v) for v in sys.argv[1:split])
    command = sys.argv[split + 1:]
    folder = tempfile.mkdtemp()
    pipe_path = os.path.join(folder, "audio")
    os.mkfifo(pipe_path)
    flashes, beeps = [], []
    started, stop, audio_done = threading.Event(), threading.Event(), threading.Event()
    screen = threading.Thread(target=read_screen,
                              args=(os.environ["DISPLAY"], width, height, flashes, started, stop))
    screen.start()
    started.wait()
    time.sleep(0.5)  # the grabber is running before the player starts
    # A daemon: a player that never opens its sound leaves it waiting on the pipe.
    audio = threading.Thread(target=read_audio, args=(pipe_path, rate, channels, beeps, audio_done),
                             daemon=True)
    audio.start()
    env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=pipe_path)
    begun = time.monotonic()
    result = subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    audio_done.wait(5)
    stop.set()
    screen.join()
    sys.stderr.buffer.write(result.stderr)
    offsets = []
    for flash in flashes:
        if beeps:
            beep = min(beeps, key=lambda b: abs(b - flash))
            if abs(beep - flash) < GAP:
                offsets.append(flash - beep)
    absolute = sorted(abs(o) for o in offsets)
    median = statistics.median(absolute) * 1000 if absolute else -1
    largest = absolute[-1] * 1000 if absolute else -1
    signed = statistics.median(offsets) * 1000 if offsets else 0
    first = flashes[0] - begun if flashes else -1
    print(f"avsync n={len(offsets)} flashes={len(flashes)} beeps={len(beeps)} "
          f"median_abs_ms={median:.1f} max_abs_ms={largest:.1f} median_ms={signed:.1f} "
          f"first_flash_s={first:.2f}")
    os.unlink(pipe_path)
    os.rmdir(folder)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
