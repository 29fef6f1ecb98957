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
import { templateDir } from './support/env.mjs';
import { makeClip } from './support/media.mjs';
import { run } from './support/processes.mjs';
import { embedCode, writePage } from './support/site.mjs';
import { startStaticServer } from './support/static-server.mjs';

const HOSTILE_TITLE = '<img src=x onerror="window.__pwned=1">';
const HOSTILE_COMPANY = 'Acme "Quoted" & <b>Sons</b>';
const HOSTILE_QUERY_TITLE = '<img src=y onerror=window.__pwned=3>';

function configXml(items, { company = 'Acme', addr = '', card = 'True', zhimo = 'True' } = {}) {
  const escape = (text) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
    .replace(/"/g, '&quot;');
  const rows = items.map((item, i) => `<item duration="4" filename="${escape(item.filename)}" zoomimage="good.jpg" ` +
    `id="${i + 1}" sort="${i + 1}" title="${escape(item.title)}" zhimo="${escape(item.zhimo || '')}"/>`).join('');
  return '<?xml version="1.0" encoding="utf-8"?><root><productinfo><id>1</id><account>acme</account>' +
    `<producttype>SETUP</producttype></productinfo><videosetting><companyname>${escape(company)}</companyname>` +
    `<addr>${escape(addr)}</addr><tel>021-5555</tel><fax></fax><qq>error</qq><skype></skype><msn></msn><email></email>` +
    `<chkDisplayEntCard>${card}</chkDisplayEntCard><chkDisplayZhimo>${zhimo}</chkDisplayZhimo>` +
    '<chkAutoPlay>False</chkAutoPlay><chkAutocre>False</chkAutocre><chkDisplayLogo>False</chkDisplayLogo>' +
    `</videosetting><videofilelist>${rows}</videofilelist></root>`;
}

let work, server, browser;

// One site folder: the player, a logo, one good video and thumbnail, and
// config.xml when given.
function siteFolder(name, config) {
  const folder = path.join(work, name);
  fs.mkdirSync(path.join(folder, 'model'), { recursive: true });
  fs.copyFileSync(path.join(templateDir, 'index.js'), path.join(folder, 'index.js'));
  fs.copyFileSync(path.join(templateDir, 'model', 'logo.gif'), path.join(folder, 'model', 'logo.gif'));
  fs.symlinkSync(path.join(work, 'media', 'video'), path.join(folder, 'video'));
  fs.symlinkSync(path.join(work, 'media', 'zoom'), path.join(folder, 'zoom'));
  if (config) fs.writeFileSync(path.join(folder, 'config.xml'), config);
  return folder;
}

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-player-'));
  fs.mkdirSync(path.join(work, 'media', 'video'), { recursive: true });
  fs.mkdirSync(path.join(work, 'media', 'zoom'));
  await makeClip(path.join(work, 'media', 'video', 'good.html'));
  await run('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=size=120x90', '-frames:v', '1',
    path.join(work, 'media', 'zoom', 'good.jpg')]);
  siteFolder('hostile', configXml([{ filename: 'good.html', title: HOSTILE_TITLE,
    zhimo: '<script>window.__pwned=2</script>' }, { filename: '../../escape.html', title: 'outside' },
  { filename: 'good.html', title: 'Second & last' }], { company: HOSTILE_COMPANY, addr: '<i>Harbour</i> "Road"' }));
  siteFolder('no-config');
  siteFolder('gone', configXml([{ filename: 'gone.html', title: 'Gone video' }]));
  siteFolder('plain', configXml([{ filename: 'good.html', title: 'Good' }], { card: 'False', zhimo: 'False' }));
  server = await startStaticServer(work);
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

async function open(folder, choices) {
  const snippet = await embedCode(`${server.url}/${folder}`, choices);
  writePage(path.join(work, folder, 'page.html'), snippet);
  const page = await browser.newPage({ viewport: { width: 900, height: 600 } });
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(`${server.url}/${folder}/page.html`);
  return page;
}

function inPlayer(page, fn) {
  return page.evaluate(fn, undefined);
}

test('hostile texts from config.xml and the query are shown as text and run nothing', async () => {
  const requestsBefore = server.requests.length;
  const page = await open('hostile', ['--card', '--zhimo', '--title', HOSTILE_QUERY_TITLE]);
  await page.waitForFunction(() => {
    const root = document.querySelector('[data-kestrova-player]').shadowRoot;
    return root.querySelectorAll('.list button').length === 2 && root.querySelector('video').readyState >= 1;
  });
  await page.locator('[data-kestrova-player] .open-card').press('Enter');
  await page.waitForTimeout(300);

  assert.equal(await page.evaluate(() => window.__pwned), undefined);
  assert.equal(await playerText(page, '.bar .title'), HOSTILE_QUERY_TITLE);
  assert.equal(await playerText(page, '.cardline .name'), HOSTILE_COMPANY);
  assert.equal(await playerText(page, '.card .addr .value'), '<i>Harbour</i> "Road"');
  assert.equal(await playerText(page, '.card .qq'), null, 'a field the back end left out is not shown');
  assert.equal(await playerText(page, '.zhimo span'), '<script>window.__pwned=2</script>');
  const shown = await inPlayer(page, () => {
    const root = document.querySelector('[data-kestrova-player]').shadowRoot;
    return {
      captions: [...root.querySelectorAll('.list button span')].map((s) => s.textContent),
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

test('a missing config.xml or video gives the player\'s message', async () => {
  const cases = [
    { folder: 'no-config', message: '无法读取播放器配置（config.xml），请稍后再试。' },
    { folder: 'gone', message: '视频无法播放：Gone video' },
  ];
  for (const { folder, message } of cases) {
    const page = await open(folder, ['--autoplay']);
    await page.waitForFunction(() => {
      const box = document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('.message');
      return box && !box.hidden;
    });
    assert.equal(await playerText(page, '.message'), message, folder);
    await page.close();
  }
});

test('the floating window minimises, restores and closes from the keyboard', async () => {
  const page = await open('plain', ['--autoplay', '--width', '360', '--height', '280']);
  await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the video plays');
  assert.equal(await playerText(page, '.cardline'), null, 'no card unless asked for');

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
