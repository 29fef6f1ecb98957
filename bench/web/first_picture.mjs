// Measures the web player against a bare <video> element; see bench/web/run.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { launchBrowser } from '../../tests/e2e/support/browser.mjs';
import { templateDir } from '../../tests/e2e/support/env.mjs';
import { makeClip } from '../../tests/e2e/support/media.mjs';
import { servedPlayer } from '../../tests/e2e/support/player-site.mjs';
import { start, stopAll } from '../../tests/e2e/support/processes.mjs';
import { cli, embedCode, startDemoSite } from '../../tests/e2e/support/site.mjs';

const RUNS = Number(process.env.BENCH_WEB_RUNS || 21);
const DELAY_MS = Number(process.env.BENCH_WEB_DELAY_MS ?? 50);
const GZIP_TARGET = 15 * 1024;
const RATIO_TARGET = 1.2;
// Another index.js to measure (an older one, to compare).
const PLAYER = process.env.BENCH_WEB_PLAYER || path.join(templateDir, 'index.js');

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

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (sorted.length - 1) * p, low = Math.floor(at);
  return sorted[low] + (sorted[Math.min(low + 1, sorted.length - 1)] - sorted[low]) * (at - low);
}
const median = (values) => percentile(values, 0.5);
const spread = (values, digits = 1) => `${percentile(values, 0.25).toFixed(digits)}-${percentile(values, 0.75).toFixed(digits)}`;

const configXml = (count) => '<?xml version="1.0" encoding="utf-8"?><root><productinfo/><videosetting>' +
  '<companyname>Bench</companyname></videosetting><videofilelist>' +
  Array.from({ length: count }, (_, i) => `<item duration="10" filename="Bench${i + 1}.html" zoomimage="Bench${i + 1}.jpg" ` +
    `id="${i + 1}" sort="${i + 1}" title="Bench video ${i + 1}" zhimo=""/>`).join('') + '</videofilelist></root>';

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-bench-web-'));
let browser;
let missed = false;
try {
  // A published video as the tool makes it: the engine's default conversion
  // of a 10 s clip, under its ".html" name, and its thumbnail.
  await makeClip(path.join(work, 'source.mp4'), { seconds: 10 });
  await cli(['convert', path.join(work, 'source.mp4'), path.join(work, 'video.mp4')]);
  await cli(['thumbnail', path.join(work, 'source.mp4'), '--at', '00:00:01.000', '-o', path.join(work, 'zoom.jpg')]);

  // Two site folders: one published video, and a list of 20 with their
  // thumbnails. The snippet's domain is "." so that one page serves both the
  // plain and the delayed address.
  const root = path.join(work, 'site');
  const served = servedPlayer(PLAYER);
  const snippet = await embedCode('.', ['--fixed', '--autoplay', '--width', '320', '--height', '240']);
  const page = (body) => `<!DOCTYPE html><html><head><meta charset="utf-8"><title>bench</title></head><body>${body}</body></html>`;
  const lists = { 'one video': 1, '20 videos': 20 };
  for (const [name, count] of Object.entries(lists)) {
    const folder = path.join(root, String(count));
    fs.mkdirSync(path.join(folder, 'video'), { recursive: true });
    fs.mkdirSync(path.join(folder, 'zoom'));
    for (let i = 1; i <= count; i++) {
      fs.linkSync(path.join(work, 'video.mp4'), path.join(folder, 'video', `Bench${i}.html`));
      fs.linkSync(path.join(work, 'zoom.jpg'), path.join(folder, 'zoom', `Bench${i}.jpg`));
    }
    fs.writeFileSync(path.join(folder, 'index.js'), served);
    fs.writeFileSync(path.join(folder, 'config.xml'), configXml(count));
    fs.writeFileSync(path.join(folder, 'player.html'), page(snippet));
    fs.writeFileSync(path.join(folder, 'bare.html'),
      page('<video src="video/Bench1.html" muted autoplay playsinline width="320" height="240"></video>'));
  }
  // The demo site's nginx (byte ranges, Last-Modified, as a company's
  // server), and the relay in a process of its own, so that the measuring
  // process's work does not hold its timers up.
  const site = await startDemoSite(root);
  const networks = { loopback: site.url };
  if (DELAY_MS > 0) {
    const relay = start(process.execPath, [new URL('latency-proxy.mjs', import.meta.url).pathname,
      new URL(site.url).port, String(DELAY_MS)], { readOutput: true });
    networks[`${DELAY_MS} ms round trip`] = await new Promise((resolve, reject) => {
      relay.stdout.once('data', (line) => resolve(String(line).trim()));
      relay.once('exit', () => reject(new Error('the relay did not start')));
    });
  }

  browser = await launchBrowser();
  const gzipped = zlib.gzipSync(served, { level: 9 }).length;
  console.log(`web player: ${RUNS} cold page loads per side and set-up, alternating, Chromium headless, nginx ` +
    `(load average ${os.loadavg().map((l) => l.toFixed(1)).join(' ')})`);
  console.log(`index.js as served ${served.length} bytes, ${gzipped} bytes gzip   (target under ${GZIP_TARGET})`);
  if (gzipped >= GZIP_TARGET) missed = true;
  console.log('set-up                          first picture ms, median (25th-75th pct.)    ratio player/bare');
  for (const [network, base] of Object.entries(networks)) {
    for (const [name, count] of Object.entries(lists)) {
      const times = { player: [], bare: [] };
      const ratios = [];
      const roundTrips = [];
      for (let run = 0; run < RUNS; run++) {
        // Alternate which side goes first, so a burst of load on the machine
        // does not land on one side only.
        const order = run % 2 ? ['player', 'bare'] : ['bare', 'player'];
        for (const side of order) {
          const context = await browser.newContext();  // a cold cache every time
          await context.addInitScript(PROBE);
          const tab = await context.newPage();
          await tab.goto(`${base}/${count}/${side}.html`);
          times[side].push(await tab.evaluate(() => window.__firstPicture));
          // What one small request costs here: the page's own, from asking to
          // its first byte.
          roundTrips.push(await tab.evaluate(() => {
            const page = performance.getEntriesByType('navigation')[0];
            return page.responseStart - page.requestStart;
          }));
          if (process.env.BENCH_WEB_TRACE) {
            // Each load's requests: name, start and end in ms since navigation.
            const requests = await tab.evaluate(() => performance.getEntriesByType('resource')
              .map((e) => [e.name.replace(/.*\//, '').replace(/\?.*/, ''), Math.round(e.startTime), Math.round(e.responseEnd)])
              .concat(performance.getEntriesByType('mark').map((e) => [e.name, Math.round(e.startTime)])));
            console.log(network, name, side, times[side].at(-1).toFixed(1), JSON.stringify(requests));
          }
          await context.close();
        }
        ratios.push(times.player.at(-1) / times.bare.at(-1));
      }
      const ratio = median(times.player) / median(times.bare);
      // The snippet's form leaves the player a chain the bare video does not
      // have: index.js, then config.xml, then the video. Those two requests
      // cost a round trip each however quick the player is; the floor they
      // set is printed beside the target, so a miss can be told apart from
      // a slow player.
      const roundTrip = median(roundTrips);
      const floor = (median(times.bare) + 2 * roundTrip) / median(times.bare);
      if (ratio > RATIO_TARGET) missed = true;
      console.log(`${`${network}, ${name}`.padEnd(32)}bare ${median(times.bare).toFixed(1)} (${spread(times.bare)})  ` +
        `player ${median(times.player).toFixed(1)} (${spread(times.player)})   ${ratio.toFixed(2)} ` +
        `(pairs ${spread(ratios, 2)})  target <= ${RATIO_TARGET}${ratio > RATIO_TARGET ? '  MISSED' : ''}`);
      console.log(`${''.padEnd(32)}round trip ${roundTrip.toFixed(1)} ms (${spread(roundTrips)}): two more for ` +
        `index.js and config.xml put the player's floor at ${floor.toFixed(2)}`);
    }
  }
} finally {
  if (browser) await browser.close();
  await stopAll();
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(missed ? 1 : 0);
