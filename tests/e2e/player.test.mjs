// The web player on its own, against hand-made site folders served by a
// plain static server: hostile texts in config.xml and in the query stay
// text, missing files give the player's message, and the floating window's
// controls work from the keyboard.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { isPlaying, launchBrowser, playerBox, playerText, waitForVideo } from './support/browser.mjs';
import { configXml, inPlayer, makeMedia, siteFolder, SUBTITLE_SHOWN } from './support/player-site.mjs';
import { run } from './support/processes.mjs';
import { embedCode, writePage } from './support/site.mjs';
import { startStaticServer } from './support/static-server.mjs';

const HOSTILE_TITLE = '<img src=x onerror="window.__pwned=1">';
const HOSTILE_COMPANY = 'Acme "Quoted" & <b>Sons</b>';
const HOSTILE_QUERY_TITLE = '<img src=y onerror=window.__pwned=3>';

let work, server, browser;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-player-'));
  await makeMedia(work);
  siteFolder(work, 'hostile', configXml([{ filename: 'good.html', title: HOSTILE_TITLE,
    zhimo: '<script>window.__pwned=2</script>' }, { filename: '../../escape.html', title: 'outside' },
  { filename: 'good.html', title: 'Second & last' }], { company: HOSTILE_COMPANY, addr: '<i>Harbour</i> "Road"' }));
  siteFolder(work, 'no-config');
  siteFolder(work, 'malformed', '<?xml version="1.0"?><root><videosetting><companyname>Acme</videosetting>');
  siteFolder(work, 'empty', '');
  siteFolder(work, 'nothing-published', configXml([]));
  siteFolder(work, 'gone', configXml([{ filename: 'gone.html', title: 'Gone video' }]));
  siteFolder(work, 'plain', configXml([{ filename: 'good.html', title: 'Good' }], { card: 'False', zhimo: 'False' }));
  siteFolder(work, 'round', configXml([{ filename: 'gone.html', title: 'Gone video' },
    { filename: 'good.html', title: 'Good' }], { card: 'False', zhimo: 'False' }));
  siteFolder(work, 'two', configXml([{ filename: 'good.html', title: 'One' }, { filename: 'good.html', title: 'Two' }],
    { card: 'False', zhimo: 'False' }));
  siteFolder(work, 'fallback', configXml([{ filename: 'good.html', title: 'Good', zhimo: 'Scrolling words' }],
    { card: 'True', zhimo: 'True', autoplay: 'True', logo: 'True' }));
  siteFolder(work, 'hinted', configXml([{ filename: 'good.html', title: 'First list' }], { card: 'False', zhimo: 'False' }));
  server = await startStaticServer(work);
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

async function openAddress(address) {
  const page = await browser.newPage({ viewport: { width: 900, height: 600 } });
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(address);
  // The player takes its place on the page once config.xml has been asked
  // for and read, maybe after the page's load.
  await page.waitForSelector('[data-kestrova-player]', { state: 'attached' });
  return page;
}

async function open(folder, choices, style) {
  const snippet = await embedCode(`${server.url}/${folder}`, choices);
  writePage(path.join(work, folder, 'page.html'), snippet, style);
  return openAddress(`${server.url}/${folder}/page.html`);
}

test('hostile texts from config.xml and the query are shown as text and run nothing', async () => {
  const requestsBefore = server.requests.length;
  const page = await open('hostile', ['--card', '--zhimo', '--title', HOSTILE_QUERY_TITLE]);
  await page.waitForFunction(() => {
    const root = document.querySelector('[data-kestrova-player]').shadowRoot;
    return root.querySelectorAll('.list button').length === 2 && root.querySelector('video').readyState >= 1 &&
      [...root.querySelectorAll('img')].every((img) => img.getAttribute('src'));
  });
  await page.locator('[data-kestrova-player] .open-card').press('Enter');
  await page.waitForTimeout(300);

  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  assert.equal(await playerText(page, '.bar .title'), HOSTILE_QUERY_TITLE);
  assert.equal(await playerText(page, '.cardline .name'), HOSTILE_COMPANY);
  assert.equal(await playerText(page, '.card .addr .value'), '<i>Harbour</i> "Road"');
  assert.equal(await playerText(page, '.card .qq'), null, 'a field the back end left out is not shown');
  assert.equal(await playerText(page, '.zhimo span'), '<script>window.__pwned=2</script>');
  const shown = await inPlayer(page, (root) => {
    return {
      captions: [...root.querySelectorAll('.list .caption')].map((s) => s.textContent),
      markup: root.querySelectorAll('b, i, script').length,
      pictures: [...root.querySelectorAll('img')].map((img) => img.getAttribute('src')),
    };
  });
  assert.deepEqual(shown.captions, [HOSTILE_TITLE, 'Second & last'], 'the item outside the folder is left out');
  assert.equal(shown.markup, 0);
  for (const src of shown.pictures) assert.ok(src.startsWith(`${server.url}/hostile/`), src);
  const asked = server.requests.slice(requestsBefore).filter((u) => u !== '/favicon.ico');  // the browser's own
  assert.ok(asked.every((u) => u.startsWith('/hostile/')), asked.join(' '));
  await page.keyboard.press('Escape');
  assert.equal(await playerText(page, '.card h2'), null, 'Escape closes the card');
  assert.deepEqual(page.errors, []);
  await page.close();
});

test('a missing, malformed or empty config.xml, an empty list or a missing video gives the player\'s message',
  async () => {
  const unreadable = '无法读取播放器配置（config.xml），请稍后再试。';
  const cases = [
    { folder: 'no-config', message: unreadable },
    { folder: 'malformed', message: unreadable },
    { folder: 'empty', message: unreadable },
    { folder: 'nothing-published', message: '暂无可播放的视频。' },
    { folder: 'gone', message: '视频无法播放：Gone video' },
  ];
  for (const { folder, message } of cases) {
    const page = await open(folder, ['--autoplay']);
    await page.waitForFunction(() => {
      // The player takes its place once config.xml has been read (or not).
      const root = document.querySelector('[data-kestrova-player]')?.shadowRoot;
      const box = root && root.querySelector('.message');
      return box && !box.hidden;
    });
    assert.equal(await playerText(page, '.message'), message, folder);
    assert.deepEqual(page.errors, [], folder);
    await page.close();
  }
});

test('the floating window minimises, restores and closes from the keyboard', async () => {
  const page = await open('plain', ['--autoplay', '--width', '360', '--height', '280']);
  await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
  assert.equal(await playerText(page, '.cardline'), null, 'no card unless asked for');
  // A video that starts by itself gets the browser's controls with its first picture.
  await page.waitForFunction(() => document.querySelector('[data-kestrova-player]').shadowRoot
    .querySelector('video').controls);

  const minimise = page.locator('[data-kestrova-player] .minimise');
  await minimise.focus();
  await page.keyboard.press('Enter');
  let box = await playerBox(page);
  assert.ok(box.height < 40 && box.bottom === 600 && box.right === 900, JSON.stringify(box));
  assert.equal(await minimise.getAttribute('aria-label'), '还原');
  assert.equal(await page.evaluate(() => document.querySelector('[data-kestrova-player]').shadowRoot
    .querySelector('video').paused), true, 'a minimised player is quiet');

  await page.keyboard.press('Enter');
  box = await playerBox(page);
  assert.deepEqual([box.width, box.height], [360, 280]);
  await waitForVideo(page, (s) => !s.paused, 'playing again after restoring');

  await page.keyboard.press('Tab');  // from the minimise control to the close control
  await page.keyboard.press('Space');
  assert.equal(await playerBox(page), null, 'closed');
  await page.close();
});

// The snippet's script element in the head (its hidden link would open the
// body), with the rest of the page held back by a slow script after it: the
// player asks for its first video before the page has a body, and takes its
// place, playing and with room for its list, once it has.
test('a snippet in the head starts the video before the page has a body', async () => {
  const snippet = await embedCode(`${server.url}/two`, ['--autoplay']);
  const script = snippet.slice(snippet.indexOf('<SCRIPT'));
  fs.writeFileSync(path.join(work, 'two', 'head.html'), `<!DOCTYPE html><html><head><meta charset="utf-8">${script}` +
    '<script src="held.js"></script></head><body><p>The page.</p></body></html>');
  const page = await browser.newPage({ viewport: { width: 900, height: 600 } });
  let videoAsked;
  const asked = new Promise((resolve) => { videoAsked = resolve; });
  page.on('request', (request) => { if (request.url().includes('/video/')) videoAsked(true); });
  let bodyWhenAsked;
  await page.route('**/held.js', async (route) => {
    // Not held for ever: without the early start the test fails, not hangs.
    bodyWhenAsked = await Promise.race([asked.then(() => page.evaluate(() => !!document.body)),
      new Promise((resolve) => { setTimeout(() => resolve('never asked'), 60000).unref(); })]);
    await route.fulfill({ contentType: 'application/javascript', body: '' });
  });
  await page.goto(`${server.url}/two/head.html`, { timeout: 90000 });
  await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
  assert.equal(bodyWhenAsked, false, 'the video was asked for while the page had no body');
  await page.waitForFunction(() => document.querySelector('[data-kestrova-player]').shadowRoot
    .querySelectorAll('.list button').length === 2);
  const shown = await inPlayer(page, (root) => [...root.querySelectorAll('.list li')].map((li) => fullyShown(li)));
  assert.deepEqual(shown, [true, true], 'the playlist has its room');
  await page.close();
});

test('a page whose Content-Security-Policy allows no inline styles still gets the player as it should look',
  async () => {
    const snippet = await embedCode(`${server.url}/plain`, ['--autoplay']);
    fs.writeFileSync(path.join(work, 'plain', 'strict.html'), '<!DOCTYPE html><html><head><meta charset="utf-8">' +
      '<meta http-equiv="Content-Security-Policy" content="default-src \'self\'; style-src \'self\'">' +
      `</head><body>${snippet}</body></html>`);
    const page = await browser.newPage();
    const refused = [];
    // The snippet's own hidden link (style="display:none") is refused too;
    // that is the page's markup, not the player.
    const snippetStyle = crypto.createHash('sha256').update('display:none').digest('base64');
    page.on('console', (message) => {
      const text = message.text();
      if (/Content Security Policy/.test(text) && !text.includes(snippetStyle)) refused.push(text);
    });
    await page.goto(`${server.url}/plain/strict.html`);
    await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
    const bar = await page.evaluate(() => {
      const root = document.querySelector('[data-kestrova-player]').shadowRoot;
      const style = getComputedStyle(root.querySelector('.bar'));
      return { background: style.backgroundColor, display: style.display };
    });
    assert.deepEqual(bar, { background: 'rgb(201, 42, 39)', display: 'flex' });
    assert.deepEqual(refused, []);
    await page.close();
  });

test('a page written in GBK shows the Chinese texts of the snippet and of the player right', async () => {
  const snippet = await embedCode(`${server.url}/plain`, ['--card', '--autoplay', '--title', '新品展示']);
  const page = await browser.newPage();
  const utf8 = path.join(work, 'plain', 'gbk.utf8');
  fs.writeFileSync(utf8, `<!DOCTYPE html><html><head><meta charset="gbk"><title>公司</title></head><body>${snippet}</body></html>`);
  await run('sh', ['-c', `iconv -f UTF-8 -t GBK "$0" > "$1"`, utf8, path.join(work, 'plain', 'gbk.html')]);
  await page.goto(`${server.url}/plain/gbk.html`);
  await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
  assert.deepEqual([await playerText(page, '.bar .title'), await playerText(page, '.open-card'),
    await playerText(page, '.unmute')], ['新品展示', '企业名片', '开启声音']);
  await page.close();
});

// The video element as it was before the player was closed (it then leaves
// the page), to look at afterwards.
function keepVideo(page) {
  return inPlayer(page, (root) => { window.__video = root.querySelector('video'); });
}

test('closing or folding the player while a round waits after a failed video leaves it silent', async () => {
  for (const how of ['close', 'minimise']) {
    const page = await open('round', ['--autoplay', '--rec']);
    await page.waitForFunction(() => {
      // The player takes its place once config.xml has been read (or not).
      const root = document.querySelector('[data-kestrova-player]')?.shadowRoot;
      const box = root && root.querySelector('.message');
      return box && !box.hidden;
    });
    await keepVideo(page);
    await page.locator(`[data-kestrova-player] .${how}`).click();
    await page.waitForTimeout(3500);  // past the round's wait before the next video
    const video = await page.evaluate(() => ({ paused: window.__video.paused, src: window.__video.getAttribute('src') }));
    assert.equal(video.paused, true, `${how}: nothing plays`);
    if (how === 'close') {
      assert.equal(video.src, null, 'a closed player loads nothing');
    } else {
      assert.match(video.src, /good\.html$/, 'the round moved on');
      await page.locator('[data-kestrova-player] .minimise').click();
      await waitForVideo(page, (s) => isPlaying(s, 0.2), 'restored, the next video plays');
    }
    await page.close();
  }
});

test('what the visitor gets: the logo drawn, thumbnails loaded, the chosen colours, sound after the button',
  async () => {
    const page = await open('two', ['--autoplay', '--logo', '--titlebg', '102030', '--titlefontcolor', 'F0E0D0',
      '--borderlinecolor', '00FF00']);
    await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
    await page.waitForFunction(() => [...document.querySelector('[data-kestrova-player]').shadowRoot
      .querySelectorAll('img')].every((img) => img.getAttribute('src') && img.complete));
    const seen = await inPlayer(page, (root) => {
      const logo = root.querySelector('.logo');
      const style = (selector) => getComputedStyle(root.querySelector(selector));
      return {
        logo: logo && fullyShown(logo) && logo.naturalWidth > 0,
        thumbnails: [...root.querySelectorAll('.list img')].map((img) => img.naturalWidth > 0 && fullyShown(img)),
        bar: [style('.bar').backgroundColor, style('.bar').color],
        border: style('.kv').borderTopColor,
      };
    });
    assert.deepEqual(seen, { logo: true, thumbnails: [true, true], bar: ['rgb(16, 32, 48)', 'rgb(240, 224, 208)'],
      border: 'rgb(0, 255, 0)' });

    await page.locator('[data-kestrova-player] .unmute').click();
    const sound = await inPlayer(page, async (root) => {
      const video = root.querySelector('video');
      const bytes = video.webkitAudioDecodedByteCount;
      await new Promise((resolve) => setTimeout(resolve, 500));
      return { muted: video.muted, volume: video.volume, paused: video.paused,
        decoding: video.webkitAudioDecodedByteCount > bytes, button: root.querySelector('.unmute').hidden };
    });
    assert.deepEqual(sound, { muted: false, volume: 1, paused: false, decoding: true, button: true });
    await page.close();
  });

test('flags the address leaves out come from config.xml; those it gives win', async () => {
  const cases = [
    { query: 'isfloor=False', card: true, zhimo: true, logo: true, muted: true },
    { query: 'isfloor=False&displaycard=False&displayZhimo=False&displaylogo=False', card: false, zhimo: false,
      logo: false, muted: true },
  ];
  for (const [i, c] of cases.entries()) {
    const file = path.join(work, 'fallback', `page${i}.html`);
    writePage(file, `<script id='zvParam' src='${server.url}/fallback/index.js?${c.query}'></script>`);
    const page = await openAddress(`${server.url}/fallback/page${i}.html`);
    const state = await waitForVideo(page, (s) => isPlaying(s, 0.2), `${c.query}: autoplay from config.xml`);
    await page.waitForFunction(() => {
      const logo = document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('.logo');
      return !logo || logo.complete;
    });
    if (c.zhimo) await page.waitForFunction(`(${SUBTITLE_SHOWN})(document.querySelector('[data-kestrova-player]').shadowRoot)`);
    const seen = await inPlayer(page, (root) => {
      const shown = (selector) => !!root.querySelector(selector) && fullyShown(root.querySelector(selector));
      return { card: shown('.cardline'), zhimo: shown('.zhimo'), logo: shown('.logo') };
    });
    assert.deepEqual({ ...seen, muted: state.muted }, { card: c.card, zhimo: c.zhimo, logo: c.logo, muted: c.muted },
      c.query);
    await page.close();
  }
});

test('page rules that match the host element do not reach the player\'s texts', async () => {
  const page = await open('two', ['--card'], '#slot div, #slot * { font-size: 18px; text-transform: uppercase; ' +
    'font-family: serif; letter-spacing: 3px; line-height: 40px }');
  await page.waitForFunction(() => document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('.caption'));
  const looks = await inPlayer(page, (root) => ['.bar .title', '.caption'].map((selector) => {
    const style = getComputedStyle(root.querySelector(selector));
    return [style.fontSize, style.textTransform, /serif/.test(style.fontFamily) && !/sans-serif/.test(style.fontFamily),
      style.letterSpacing];
  }));
  assert.deepEqual(looks, [['12px', 'none', false, 'normal'], ['11px', 'none', false, 'normal']]);
  await page.close();
});

test('a text option with "\'" or a character reference shows as typed, on the page and in the preview alike',
  async () => {
    for (const title of ["Joe's Videos", "x' onload='window.__pwned=4' data-x='", 'a &lt; b &#39; &copy 1 R&D']) {
      const choices = ['--title', title, '--titlebg', '102030', '--zhimo'];
      const shown = [];
      for (const address of [null, await embedCode(`${server.url}/fallback`, ['--preview', ...choices])]) {
        const page = address ? await openAddress(address) : await open('fallback', choices);
        await page.waitForFunction(() => document.querySelector('[data-kestrova-player]')?.shadowRoot.querySelector('video'));
        shown.push([await playerText(page, '.bar .title'), await inPlayer(page, (root) =>
          getComputedStyle(root.querySelector('.bar')).backgroundColor), await page.evaluate(() => window.__pwned)]);
        await page.close();
      }
      assert.deepEqual(shown, [[title, 'rgb(16, 32, 48)', undefined], [title, 'rgb(16, 32, 48)', undefined]], title);
    }
  });

// preview.html names config.xml in a preload hint, as a company's page may:
// the player takes the hinted answer instead of asking again. The hint obeys
// the ordinary cache rules, so a later visit may get it from the browser's
// cache unasked (config.xml last changed days ago): the player then still
// asks the server, and an unchanged list costs a 304, a changed one arrives.
test('a page that hints config.xml early: one request per visit, and a changed list still arrives', async () => {
  const config = path.join(work, 'hinted', 'config.xml');
  const daysAgo = (days) => { const when = new Date(Date.now() - days * 86400000); fs.utimesSync(config, when, when); };
  daysAgo(10);
  const address = await embedCode(`${server.url}/hinted`, ['--preview', '--fixed', '--autoplay']);
  const context = await browser.newContext();
  const visits = [];
  for (const title of ['First list', 'First list', 'Second list']) {
    if (title === 'Second list') {
      fs.writeFileSync(config, configXml([{ filename: 'good.html', title }], { card: 'False', zhimo: 'False' }));
      daysAgo(5);
    }
    const before = server.answers.length;
    const page = await context.newPage();
    await page.goto(address);
    await page.waitForFunction(() => document.querySelector('[data-kestrova-player]')?.shadowRoot
      .querySelector('video[aria-label]'));
    await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
    visits.push({ title: await inPlayer(page, (root) => root.querySelector('video').getAttribute('aria-label')),
      asked: server.answers.slice(before).filter((a) => a.url === '/hinted/config.xml').map((a) => a.status) });
    await page.close();
  }
  assert.deepEqual(visits, [{ title: 'First list', asked: [200] }, { title: 'First list', asked: [304] },
    { title: 'Second list', asked: [200] }]);
  await context.close();
});

// One named video that starts by itself is asked for while config.xml is
// still on its way (held here until then); config.xml then brings its title,
// and a missing file still gets the player's message.
test('a single video starts loading before config.xml arrives', async () => {
  for (const [file, title, playing] of [['good.html', 'Good', true], ['gone.html', 'Gone video', false]]) {
    const page = await browser.newPage({ viewport: { width: 900, height: 600 } });
    let videoAsked;
    const asked = new Promise((resolve) => { videoAsked = resolve; });
    page.on('request', (request) => { if (request.url().includes('/video/')) videoAsked('asked first'); });
    const held = [];
    await page.route('**/round/config.xml', async (route) => {
      // Not held for ever: without the early start the test fails, not hangs.
      held.push(await Promise.race([asked,
        new Promise((resolve) => { setTimeout(() => resolve('never asked'), 60000).unref(); })]));
      await route.continue();
    });
    const snippet = await embedCode(`${server.url}/round`, ['--fixed', '--autoplay', '--single', file]);
    writePage(path.join(work, 'round', 'single.html'), snippet);
    await page.goto(`${server.url}/round/single.html`, { timeout: 90000 });
    if (playing) {
      await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
    } else {
      await page.waitForFunction(() => {
        const box = document.querySelector('[data-kestrova-player]')?.shadowRoot.querySelector('.message');
        return box && !box.hidden && box.textContent.includes('Gone video');
      }, null, { timeout: 90000 });
      assert.equal(await playerText(page, '.message'), '视频无法播放：Gone video');
    }
    // The title comes with config.xml, so by then it was let through.
    await page.waitForFunction((title) => document.querySelector('[data-kestrova-player]').shadowRoot
      .querySelector('video').getAttribute('aria-label') === title, title);
    assert.deepEqual(held, ['asked first'], file);
    await page.close();
  }
});
