// Measures the web player against a bare <video> element; see bench/web/run.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { templateDir } from '../../tests/e2e/support/env.mjs';
import { makeClip } from '../../tests/e2e/support/media.mjs';
import { servedPlayer } from '../../tests/e2e/support/player-site.mjs';
import { start, stopAll } from '../../tests/e2e/support/processes.mjs';
import { cli, embedCode, startDemoSite } from '../../tests/e2e/support/site.mjs';
import { launchQuietBrowser } from './quiet-browser.mjs';

const RUNS = Number(process.env.BENCH_WEB_RUNS || 21);
// Unmeasured loads of every page before each set-up's measured ones: the
// first loads after a change of page pay for the browser's own start-up
// work (processes, code caches, fonts, the media pipeline's libraries).
const WARMUP = Number(process.env.BENCH_WEB_WARMUP ?? 3);
const DELAY_MS = Number(process.env.BENCH_WEB_DELAY_MS ?? 50);
const GZIP_TARGET = 15 * 1024;
const RATIO_TARGET = 1.2;
// Another index.js to measure (an older one, to compare).
const PLAYER = process.env.BENCH_WEB_PLAYER || path.join(templateDir, 'index.js');

// Set before any page script runs: resolves with the presentation time of
// the first picture any <video> presents, in milliseconds since the
// navigation started. Each video is watched from the moment it exists, the
// same way on both sides: one made by the page's parser is seen by a
// mutation observer (at the latest when the parser yields, long before a
// frame can be decoded), one made by a script is seen as it is created.
// Looking for the element later (by polling) could miss a picture that was
// already presented and charge that side a whole frame.
const PROBE = `(() => {
  let resolve;
  window.__firstPicture = new Promise((r) => { resolve = r; });
  const watched = new WeakSet();
  const watch = (video) => {
    if (watched.has(video)) return;
    watched.add(video);
    if (!performance.getEntriesByName('video-found').length) performance.mark('video-found');
    video.requestVideoFrameCallback((now, frame) => resolve(frame.presentationTime));
  };
  const create = Document.prototype.createElement;
  Document.prototype.createElement = function (name, ...rest) {
    const node = create.call(this, name, ...rest);
    if (node instanceof HTMLVideoElement) watch(node);
    return node;
  };
  new MutationObserver((records) => {
    for (const record of records) {
      for (const node of record.addedNodes) {
        if (node instanceof HTMLVideoElement) watch(node);
        else if (node.querySelectorAll) node.querySelectorAll('video').forEach(watch);
      }
    }
  }).observe(document, { childList: true, subtree: true });
})();`;

function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  const at = (sorted.length - 1) * p, low = Math.floor(at);
  return sorted[low] + (sorted[Math.min(low + 1, sorted.length - 1)] - sorted[low]) * (at - low);
}
const median = (values) => percentile(values, 0.5);
const spread = (values, digits = 1) => `${percentile(values, 0.25).toFixed(digits)}-${percentile(values, 0.75).toFixed(digits)}`;

// What a company's page may add to its head so that config.xml travels
// beside index.js rather than after it (see web/README.md).
const HINT = '<link rel="preload" href="config.xml" as="fetch" crossorigin="anonymous">';

// The player's pages beside the bare one: the snippet alone (shown for
// information), the snippet with the hint (judged), and in the one-video
// folder the snippet naming its one video, which starts without waiting
// for config.xml (alone for information, with the hint judged).
const VARIANTS = {
  player: { caption: 'snippet only', judged: false, extraTrips: 2 },
  hinted: { caption: 'with the hint', judged: true, extraTrips: 1 },
  named: { caption: 'named video only', judged: false, extraTrips: 1 },
  single: { caption: 'named video, hint', judged: true, extraTrips: 1 },
  // Not the player: a bare <video> made by a script of a few lines, loaded
  // as the snippet loads index.js. What any player made by a script pays
  // beside a <video> in the page's own markup shows here.
  scripted: { caption: 'script-made <video>', judged: false, extraTrips: 1, bare: true },
};

const SCRIPTED = `(function () {
  var script = document.currentScript, video = document.createElement('video');
  video.muted = true; video.autoplay = true; video.playsInline = true; video.width = 320; video.height = 240;
  video.src = 'video/Bench1.html';
  script.parentNode.insertBefore(video, script.nextSibling);
})();
`;

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
  const choices = ['--fixed', '--autoplay', '--width', '320', '--height', '240'];
  const snippet = await embedCode('.', choices);
  const page = (body, head = '') =>
    `<!DOCTYPE html><html><head><meta charset="utf-8"><title>bench</title>${head}</head><body>${body}</body></html>`;
  // BENCH_WEB_LISTS=1 or 20 measures that list alone.
  const lists = Object.fromEntries(Object.entries({ 'one video': 1, '20 videos': 20 })
    .filter(([, count]) => !process.env.BENCH_WEB_LISTS || process.env.BENCH_WEB_LISTS.split(',').includes(String(count))));
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
    fs.writeFileSync(path.join(folder, 'hinted.html'), page(snippet, HINT));
    fs.writeFileSync(path.join(folder, 'scripted.js'), SCRIPTED);
    fs.writeFileSync(path.join(folder, 'scripted.html'), page('<script src="scripted.js"></script>'));
    if (count === 1) {
      const named = await embedCode('.', [...choices, '--single', 'Bench1.html']);
      fs.writeFileSync(path.join(folder, 'named.html'), page(named));
      fs.writeFileSync(path.join(folder, 'single.html'), page(named, HINT));
    }
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

  // Not the test library's browser: see quiet-browser.mjs.
  browser = await launchQuietBrowser();
  // One page load on a cold cache (a new profile every time).
  const load = async (url) => {
    const tab = await browser.open(url, PROBE);
    return { tab, firstPicture: await tab.evaluate('window.__firstPicture') };
  };
  const gzipped = zlib.gzipSync(served, { level: 9 }).length;
  console.log(`web player: ${RUNS} cold page loads per side and set-up after ${WARMUP} unmeasured ones, ` +
    'alternating, Chromium headless, nginx ' +
    `(load average ${os.loadavg().map((l) => l.toFixed(1)).join(' ')})`);
  console.log(`index.js as served ${served.length} bytes, ${gzipped} bytes gzip   (target under ${GZIP_TARGET})`);
  if (gzipped >= GZIP_TARGET) missed = true;
  console.log('set-up, page                                     first picture ms, median (25th-75th pct.)    ' +
    'ratio player/bare');
  for (const [network, base] of Object.entries(networks)) {
    for (const [name, count] of Object.entries(lists)) {
      const variants = Object.keys(VARIANTS).filter((v) => (count === 1 || !['named', 'single'].includes(v)) &&
        (!process.env.BENCH_WEB_PAGES || process.env.BENCH_WEB_PAGES.split(',').includes(v)));
      const times = Object.fromEntries(['bare', ...variants].map((side) => [side, []]));
      const ratios = Object.fromEntries(variants.map((side) => [side, []]));
      const roundTrips = [];
      for (let run = 0; run < WARMUP; run++) {
        for (const side of ['bare', ...variants]) await (await load(`${base}/${count}/${side}.html`)).tab.close();
      }
      for (let run = 0; run < RUNS; run++) {
        // Turn the order round every load, so that a burst of load on the
        // machine does not land on one side only.
        const sides = ['bare', ...variants];
        const order = sides.map((_, i) => sides[(i + run) % sides.length]);
        for (const side of order) {
          const { tab, firstPicture } = await load(`${base}/${count}/${side}.html`);
          times[side].push(firstPicture);
          // What one small request costs here: the page's own, from asking to
          // its first byte.
          roundTrips.push(await tab.evaluate(`(() => {
            const page = performance.getEntriesByType('navigation')[0];
            return page.responseStart - page.requestStart;
          })()`));
          if (process.env.BENCH_WEB_TRACE) {
            // Each load's requests: name, start and end in ms since navigation.
            const requests = await tab.evaluate(`performance.getEntriesByType('resource')
              .map((e) => [e.name.replace(/.*\\//, '').replace(/\\?.*/, ''), Math.round(e.startTime), Math.round(e.responseEnd)])
              .concat(performance.getEntriesByType('mark').map((e) => [e.name, Math.round(e.startTime)]))`);
            console.log(network, name, side, times[side].at(-1).toFixed(1), JSON.stringify(requests));
          }
          await tab.close();
        }
        for (const side of variants) ratios[side].push(times[side].at(-1) / times.bare.at(-1));
      }
      const bare = median(times.bare);
      const roundTrip = median(roundTrips);
      console.log(`${`${network}, ${name}`.padEnd(33)}bare <video>               ${bare.toFixed(1)} (${spread(times.bare)})   ` +
        `round trip ${roundTrip.toFixed(1)} ms (${spread(roundTrips)})`);
      for (const side of variants) {
        const { caption, judged, extraTrips, bare: notPlayer } = VARIANTS[side];
        const ratio = median(times[side]) / bare;
        // The snippet's form leaves the player a chain the bare video does
        // not have: index.js before the video, and without the hint config.xml
        // after index.js. Each costs a round trip however quick the player
        // is; the floor they set is printed, so that a miss can be told apart
        // from a slow player.
        const floor = (bare + extraTrips * roundTrip) / bare;
        const miss = judged && ratio > RATIO_TARGET;
        if (miss) missed = true;
        console.log(`${''.padEnd(33)}${(notPlayer ? caption : `player, ${caption}`).padEnd(27)}${median(times[side]).toFixed(1)} ` +
          `(${spread(times[side])})   ${ratio.toFixed(2)} (pairs ${spread(ratios[side], 2)})  ` +
          `floor ${floor.toFixed(2)}  ${judged ? `target <= ${RATIO_TARGET}${miss ? '  MISSED' : ''}` : '(information)'}`);
      }
    }
  }
  console.log(`load average at the end ${os.loadavg().map((l) => l.toFixed(1)).join(' ')}`);
} finally {
  if (browser) await browser.close();
  await stopAll();
  fs.rmSync(work, { recursive: true, force: true });
}
process.exit(missed ? 1 : 0);
