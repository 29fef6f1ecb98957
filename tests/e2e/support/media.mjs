// Small clips made at test time by the ffmpeg command-line tool.
import { run } from './processes.mjs';

// H.264 + AAC in MP4, 320x240, 25 fps; pattern is an ffmpeg test source.
export function makeClip(file, { seconds = 4, pattern = 'testsrc2', tone = 440 } = {}) {
  return run('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', `${pattern}=size=320x240:rate=25`,
    '-f', 'lavfi', '-i', `sine=frequency=${tone}`, '-t', String(seconds), '-c:v', 'libx264', '-pix_fmt', 'yuv420p',
    '-c:a', 'aac', '-f', 'mp4', file]);
}
