// The whole publishing journey, as a company goes through it: videos added to
// the catalogue of the real kestrova-service, config.xml written by the
// tool's own writer, the data folder uploaded to the demo site over FTP, and
// the snippet that createScript makes pasted into a page of that site, played
// in Chromium.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { isPlaying, launchBrowser, pictureSpread, playerBox, playerText, videoState, waitForVideo }
  from './support/browser.mjs';
import { makeClip } from './support/media.mjs';
import { stopAll } from './support/processes.mjs';
import { embedCode, publishVideos, stageDataFolder, startDemoSite, startService, uploadToDemoSite, writeConfig,
  writePage } from './support/site.mjs';
import { startStaticServer } from './support/static-server.mjs';

const company = { account: 'acme', password: 'acme-secret', name: 'Acme "Best" Video Co', title: '1 Harbour Road',
  tel: '021-5555', email: 'hello@acme.example', dsp_ent_card: 1, dsp_play_zhimo: 1 };

let work, site, browser, published, nginxLike;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-journey-'));
  const clips = [path.join(work, 'Welcome Film.mp4'), path.join(work, '新品介绍.mp4')];
  await makeClip(clips[0], { pattern: 'testsrc2', tone: 440 });
  await makeClip(clips[1], { pattern: 'smptebars', tone: 880 });

  const siteRoot = path.join(work, 'site');
  fs.mkdirSync(siteRoot);
  site = await startDemoSite(siteRoot);
  const { url: serviceUrl } = await startService(work, { ...company, domain: site.url });
  const data = await stageDataFolder(path.join(work, 'stage'), serviceUrl);
  const login = { serviceUrl, account: company.account, password: company.password, data };
  await publishVideos({ ...login, files: clips });
  await writeConfig(login);
  await uploadToDemoSite(data, site);

  // The playlist as the tool wrote it, in "sort" order.
  const config = fs.readFileSync(path.join(data, 'config.xml'), 'utf8');
  published = [...config.matchAll(/<item [^>]*filename="([^"]+)"[^>]*sort="(\d+)"[^>]*title="([^"]*)"/g)]
    .map((m) => ({ filename: m[1], sort: Number(m[2]), title: m[3] }))
    .sort((a, b) => a.sort - b.sort);
  assert.deepEqual(published.map((v) => v.title), ['Welcome Film', '新品介绍']);

  nginxLike = await startStaticServer(siteRoot, { crossSite: /\/config\.xml$/ });
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (nginxLike) await nginxLike.close();
  await stopAll();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

// A page on the site with the snippet, opened in a fresh browser page that
// records every address it asks for.
async function openPage(name, snippet, origin = site.url) {
  writePage(path.join(site.root, name), snippet);
  const page = await browser.newPage({ viewport: { width: 1024, height: 700 } });
  page.requested = [];
  page.on('request', (request) => page.requested.push(request.url()));
  page.types = new Map();
  page.on('response', (r) => page.types.set(new URL(r.url()).pathname, r.headers()['content-type']));
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(`${origin}/${name}`);
  return page;
}

function assertSameOrigin(page, origin) {
  for (const address of page.requested) assert.ok(address.startsWith(origin + '/'), `request to ${address}`);
  assert.deepEqual(page.errors, []);
}

describe('the snippet on the company site', () => {
  test('floating player: plays the first video, the round goes on to the second and back, card and subtitles show',
    async () => {
      const snippet = await embedCode(site.url, ['--card', '--rec', '--zhimo', '--logo', '--autoplay']);
      assert.match(snippet, /<SCRIPT id='zvParam' {2}language=Javascript src='http:\/\/127\.0\.0\.1:\d+\/index\.js\?/);
      const page = await openPage('floating.html', snippet);

      const first = await waitForVideo(page, (s) => s.src.endsWith(published[0].filename) && isPlaying(s),
        'the first video plays');
      assert.equal(first.muted, true, 'a video that starts by itself starts without sound');
      const picture = await pictureSpread(page);
      assert.ok(picture.width > 0 && picture.deviation > 10, `a picture is drawn: ${JSON.stringify(picture)}`);

      const box = await playerBox(page);
      assert.equal(box.position, 'fixed');
      assert.deepEqual([box.width, box.height, box.right, box.bottom], [400, 340, 1024, 700]);
      assert.equal(await playerText(page, '.bar .title'), '企业视频展示');
      assert.equal(await playerText(page, '.cardline .name'), company.name);
      assert.equal(await playerText(page, '.unmute'), '开启声音');

      const zhimoAt = () => page.evaluate(() => document.querySelector('[data-kestrova-player]')
        .shadowRoot.querySelector('.zhimo span').getBoundingClientRect().left);
      assert.equal(await playerText(page, '.zhimo span'), published[0].title);
      const x0 = await zhimoAt();
      await page.waitForTimeout(400);
      assert.ok(await zhimoAt() < x0, 'the subtitle scrolls to the left');

      await waitForVideo(page, (s) => s.src.endsWith(published[1].filename) && isPlaying(s, 0.5),
        'the second video follows the first', 20000);
      assert.equal(await playerText(page, '.zhimo span'), published[1].title);
      await waitForVideo(page, (s) => s.src.endsWith(published[0].filename) && isPlaying(s, 0.5),
        'after the last video the round starts again', 20000);
      assertSameOrigin(page, site.url);
      await page.close();
    });

  test('fixed single-video player: stands in the page at the given size and plays the chosen file', async () => {
    const chosen = published[1].filename;
    const snippet = await embedCode(site.url, ['--fixed', '--single', chosen, '--width', '480', '--height', '300']);
    assert.ok(snippet.includes(`isfloor=False&filename=${chosen}&isMulVideofiles=False&playerwidth=480`));
    const page = await openPage('fixed.html', snippet);
    await waitForVideo(page, (s) => s.readyState >= 1, 'the chosen video is loaded');

    const box = await playerBox(page);
    assert.equal(box.parentId, 'slot');
    assert.notEqual(box.position, 'fixed');
    assert.deepEqual([box.width, box.height], [480, 300]);
    assert.equal(await playerText(page, '.bar'), null, 'no title bar in a page');
    assert.equal(await playerText(page, '.list'), null, 'no playlist for one video');
    const state = await videoState(page);
    assert.ok(state.src.endsWith(`/video/${chosen}`) && state.paused, JSON.stringify(state));

    // Started by the visitor.
    await page.evaluate(() => document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('video').play());
    await waitForVideo(page, (s) => isPlaying(s), 'the chosen video plays');
    assertSameOrigin(page, site.url);
    await page.close();
  });

  test('a plain web server that sends the ".html" videos as text/html with byte ranges serves them playable',
    async () => {
      const snippet = await embedCode(nginxLike.url, ['--fixed', '--autoplay']);
      const page = await openPage('nginx-like.html', snippet, nginxLike.url);
      await waitForVideo(page, (s) => isPlaying(s), 'the first video plays');
      assert.equal(page.types.get(`/video/${published[0].filename}`), 'text/html');
      // A jump needs a byte range in the middle of the file.
      await page.evaluate(() => {
        document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('video').currentTime = 2.5;
      });
      await waitForVideo(page, (s) => isPlaying(s, 2.6), 'playing on after a jump');
      assert.ok(nginxLike.requests.some((u) => u.startsWith('/video/')));
      await page.close();
    });
});

test('the demo site answers byte ranges as a company\'s server does, so a jump plays on', async () => {
  const part = await fetch(`${site.url}/video/${published[0].filename}`, { headers: { Range: 'bytes=100-199' } });
  assert.deepEqual([part.status, (await part.arrayBuffer()).byteLength], [206, 100]);
  const page = await openPage('jump.html', await embedCode(site.url, ['--fixed', '--autoplay']));
  await waitForVideo(page, (s) => isPlaying(s, 0.3), 'the first video plays');
  const landed = await page.evaluate(() => new Promise((resolve) => {
    const video = document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('video');
    video.addEventListener('seeked', () => resolve(video.currentTime), { once: true });
    video.currentTime = 2.5;
  }));
  assert.ok(landed >= 2.4, `landed at ${landed}`);
  await waitForVideo(page, (s) => isPlaying(s, 2.6), 'playing on after the jump');
  await page.close();
});

test('a page on another site plays the videos once the data folder\'s server allows config.xml to it', async () => {
  // The page comes from the demo site, the player and its files from the other server.
  const snippet = await embedCode(nginxLike.url, ['--fixed', '--autoplay']);
  const page = await openPage('other-site.html', snippet);
  await waitForVideo(page, (s) => s.src.startsWith(nginxLike.url) && isPlaying(s), 'the first video plays');
  assert.deepEqual(page.errors, []);
  await page.close();
});

describe('the preview page', () => {
  test('shows what the query from createScript asks for, a title with "&", "%" and blanks included', async () => {
    const address = await embedCode(site.url, ['--preview', '--card', '--autoplay', '--title', '新品 & 100% 活动 #1']);
    assert.ok(address.startsWith(`${site.url}/preview.html?isfloor=True&`));
    const page = await browser.newPage();
    await page.goto(address);
    await waitForVideo(page, (s) => s.src.endsWith(published[0].filename) && isPlaying(s), 'the preview plays');
    assert.equal(await playerText(page, '.bar .title'), '新品 & 100% 活动 #1');
    assert.equal(await playerText(page, '.cardline .name'), company.name);
    assert.equal(await playerText(page, '.zhimo'), null, 'subtitles only when asked for');
    await page.close();
  });
});
