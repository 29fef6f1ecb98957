// Measures the web player against a bare <video> element; see bench/web/run.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { launchBrowser } from '../../tests/e2e/support/browser.mjs';
import { templateDir } from '../../tests/e2e/support/env.mjs';
import { makeClip } from '../../tests/e2e/support/media.mjs';
import { cli, embedCode } from '../../tests/e2e/support/site.mjs';
import { start, stop } from '../../tests/e2e/support/processes.mjs';

const RUNS = Number(process.env.BENCH_WEB_RUNS || 15);
const GZIP_TARGET = 15 * 1024;
const RATIO_TARGET = 1.2;

// Set before any page script runs: resolves with the presentation time of
// the first picture of the first <video>, in the page's own or the player's
// shadow tree, in milliseconds since the navigation started.
const PROBE = `window.__firstPicture = new Promise((resolve) => {
  const look = () => {
    const host = document.querySelector('[data-kestrova-player]');
    const video = document.querySelector('video') || (host && host.shadowRoot && host.shadowRoot.querySelector('video'));
    if (video) video.requestVideoFrameCallback((now, frame) => resolve(frame.presentationTime));
    else setTimeout(look, 1);
  };
  look();
});`;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-bench-web-'));
let server, browser;
try {
  // A published video as the tool makes it: the engine's default conversion
  // of a 10 s clip, under its ".html" name.
  fs.mkdirSync(path.join(work, 'video'));
  fs.mkdirSync(path.join(work, 'zoom'));
  await makeClip(path.join(work, 'source.mp4'), { seconds: 10 });
  await cli(['convert', path.join(work, 'source.mp4'), path.join(work, 'video', 'Bench00000000001.mp4')]);
  fs.renameSync(path.join(work, 'video', 'Bench00000000001.mp4'), path.join(work, 'video', 'Bench00000000001.html'));
  await cli(['thumbnail', path.join(work, 'source.mp4'), '--at', '00:00:01.000', '-o',
    path.join(work, 'zoom', 'Bench00000000001.jpg')]);
  fs.copyFileSync(path.join(templateDir, 'index.js'), path.join(work, 'index.js'));
  fs.writeFileSync(path.join(work, 'config.xml'), '<?xml version="1.0" encoding="utf-8"?><root><productinfo/>' +
    '<videosetting><companyname>Bench</companyname></videosetting><videofilelist><item duration="10" ' +
    'filename="Bench00000000001.html" zoomimage="Bench00000000001.jpg" id="1" sort="1" title="Bench" zhimo=""/>' +
    '</videofilelist></root>');

  // The web server runs in a process of its own, as a real one would: in
  // this one it would wait for the browser driver's work between requests.
  server = start(process.execPath, [new URL('../../tests/e2e/support/static-server.mjs', import.meta.url).pathname,
    work], { readOutput: true });
  server.url = await new Promise((resolve, reject) => {
    server.stdout.once('data', (line) => resolve(String(line).trim()));
    server.once('exit', () => reject(new Error('the web server did not start')));
  });
  const snippet = await embedCode(server.url, ['--fixed', '--autoplay', '--width', '320', '--height', '240']);
  const page = (body) => `<!DOCTYPE html><html><head><meta charset="utf-8"><title>bench</title></head><body>${body}</body></html>`;
  fs.writeFileSync(path.join(work, 'player.html'), page(snippet));
  fs.writeFileSync(path.join(work, 'bare.html'),
    page('<video src="video/Bench00000000001.html" muted autoplay playsinline width="320" height="240"></video>'));

  browser = await launchBrowser();
  const times = { player: [], bare: [] };
  const order = ['bare', 'player'];
  for (let run = 0; run < RUNS; run++) {
    // Alternate which side goes first, so a burst of load on the machine
    // does not land on one side only.
    for (const side of run % 2 ? [...order].reverse() : order) {
      const context = await browser.newContext();  // a cold cache every time
      await context.addInitScript(PROBE);
      const tab = await context.newPage();
      await tab.goto(`${server.url}/${side}.html`);
      times[side].push(await tab.evaluate(() => window.__firstPicture));
      if (process.env.BENCH_WEB_TRACE) {
        // Each load's requests: name, start and end in ms since navigation.
        const requests = await tab.evaluate(() => performance.getEntriesByType('resource')
          .map((e) => [e.name.replace(/.*\//, '').replace(/\?.*/, ''), Math.round(e.startTime), Math.round(e.responseEnd)]));
        console.log(side, times[side][times[side].length - 1].toFixed(1), JSON.stringify(requests));
      }
      await context.close();
    }
  }

  const script = fs.readFileSync(path.join(templateDir, 'index.js'));
  const gzipped = zlib.gzipSync(script, { level: 9 }).length;
  const player = median(times.player), bare = median(times.bare);
  console.log(`web player: ${RUNS} cold page loads per side, Chromium headless, loopback static server`);
  console.log(`index.js              ${script.length} bytes, ${gzipped} bytes gzip   (target under ${GZIP_TARGET})`);
  console.log(`first picture, bare   ${bare.toFixed(1)} ms median (min ${Math.min(...times.bare).toFixed(1)})`);
  console.log(`first picture, player ${player.toFixed(1)} ms median (min ${Math.min(...times.player).toFixed(1)})`);
  console.log(`ratio player/bare     ${(player / bare).toFixed(2)}   (target at most ${RATIO_TARGET})`);
  // The fastest load of each side is the one least disturbed by other work
  // on the machine; on a busy machine it says more than the medians.
  console.log(`ratio of the fastest  ${(Math.min(...times.player) / Math.min(...times.bare)).toFixed(2)}`);
} finally {
  if (browser) await browser.close();
  if (server) await stop(server);
  fs.rmSync(work, { recursive: true, force: true });
}
