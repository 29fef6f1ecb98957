// The web player's playlist as visitors meet it: titles readable at every
// size the snippet allows, one tab stop with arrow keys inside, roles and
// names in the browser's accessibility tree, a 500-video list that loads
// only the thumbnails in sight, a placeholder for a missing thumbnail,
// config.xml revalidated instead of fetched anew, calm motion when asked
// for, and a small touch screen.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { isPlaying, launchBrowser, waitForVideo } from './support/browser.mjs';
import { configXml, inPlayer, makeMedia, siteFolder, SUBTITLE_SHOWN } from './support/player-site.mjs';
import { embedCode, writePage } from './support/site.mjs';
import { startStaticServer } from './support/static-server.mjs';

const LONG_TITLE = 'Long'.repeat(500);
const TITLES = ['Short', 'A title of thirty-five characters..', LONG_TITLE];
const BIG = 500;

let work, server, browser;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-player-list-'));
  await makeMedia(work);
  siteFolder(work, 'three', configXml(TITLES.map((title) => ({ filename: 'good.html', title, zhimo: `About ${title}` }))));
  siteFolder(work, 'missing-thumbnail', configXml([{ filename: 'good.html', title: 'Has one' },
    { filename: 'good.html', title: 'Has none', zoomimage: 'missing.jpg' }], { card: 'False', zhimo: 'False' }));
  // 500 videos, each thumbnail a file of its own, so that every load shows.
  const big = siteFolder(work, 'big', configXml(Array.from({ length: BIG }, (_, i) => ({ filename: 'good.html',
    title: `Video ${i + 1}`, zoomimage: `t${i + 1}.jpg` })), { card: 'False', zhimo: 'False' }));
  fs.unlinkSync(path.join(big, 'zoom'));
  fs.mkdirSync(path.join(big, 'zoom'));
  for (let i = 1; i <= BIG; i++) fs.linkSync(path.join(work, 'media', 'zoom', 'good.jpg'), path.join(big, 'zoom', `t${i}.jpg`));
  server = await startStaticServer(work);
  browser = await launchBrowser();
});

after(async () => {
  if (browser) await browser.close();
  if (server) await server.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

async function open(folder, choices, pageOptions = {}, context = browser) {
  const snippet = await embedCode(`${server.url}/${folder}`, choices);
  const name = `page-${choices.join('').replace(/\W/g, '')}.html`;
  writePage(path.join(work, folder, name), `<a href="#before">before</a>${snippet}<a href="#after">after</a>`);
  const page = context === browser ? await browser.newPage({ viewport: { width: 900, height: 600 }, ...pageOptions })
    : await context.newPage();
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(error.message));
  await page.goto(`${server.url}/${folder}/${name}`);
  await page.waitForFunction(() => document.querySelector('[data-kestrova-player]')?.shadowRoot.querySelector('.list'));
  return page;
}

// The list's place, and per item: its width, whether its thumbnail and
// caption are wholly in sight.
function listLayout(page) {
  return inPlayer(page, (root) => {
    const list = root.querySelector('.list');
    const items = [...list.querySelectorAll('li')].slice(0, 3);
    return {
      top: list.getBoundingClientRect().top,
      widths: items.map((li) => li.getBoundingClientRect().width),
      shown: items.map((li) => fullyShown(li.querySelector('.thumb')) && fullyShown(li.querySelector('.caption'))),
      captionHeight: list.querySelector('.caption').getBoundingClientRect().height,
      cardline: fullyShown(root.querySelector('.cardline')),
      zhimo: fullyShown(root.querySelector('.zhimo')),
    };
  });
}

test('titles stay readable at every size, long ones do not widen their items, and the list stays put', async () => {
  const sizes = [
    ['floating, default size', []],
    ['floating, smallest', ['--width', '160', '--height', '120']],
    ['fixed, smallest', ['--fixed', '--width', '160', '--height', '120']],
  ];
  for (const [what, choices] of sizes) {
    const page = await open('three', ['--card', '--zhimo', ...choices]);
    const before = await listLayout(page);
    await inPlayer(page, (root) => root.querySelector('video').play());
    await waitForVideo(page, (s) => isPlaying(s, 0.3), `${what}: plays`);
    const after = await listLayout(page);
    assert.equal(after.top, before.top, `${what}: the list does not move when playback starts`);
    assert.deepEqual(after.widths, [68, 68, 68], what);
    // At 160 px, two items are in sight before the list scrolls.
    assert.deepEqual(after.shown.slice(0, what.includes('smallest') ? 2 : 3), [true, true, true].slice(0, what.includes('smallest') ? 2 : 3), what);
    assert.ok(after.captionHeight >= 12, `${what}: caption ${after.captionHeight} px`);
    assert.deepEqual([after.cardline, after.zhimo], [true, true], `${what}: card line and subtitle in sight`);
    assert.deepEqual(page.errors, []);
    await page.close();
  }
});

// The browser's own accessibility tree, through the DevTools protocol.
async function accessibilityTree(page) {
  const session = await page.context().newCDPSession(page);
  const { nodes } = await session.send('Accessibility.getFullAXTree');
  const byId = new Map(nodes.map((n) => [n.nodeId, n]));
  const property = (n, name) => n.properties?.find((p) => p.name === name)?.value.value;
  return { nodes, byId, property, role: (n) => n.role?.value, name: (n) => n.name?.value };
}

test('roles and names: a list of items holding buttons, the card button says whether it is open', async () => {
  const page = await open('three', ['--card', '--zhimo']);
  const tree = await accessibilityTree(page);
  const list = tree.nodes.find((n) => tree.role(n) === 'list' && tree.name(n) === '视频列表');
  assert.ok(list, 'the playlist is a list named 视频列表');
  const items = list.childIds.map((id) => tree.byId.get(id)).filter((n) => !n.ignored);
  assert.deepEqual(items.map(tree.role), ['listitem', 'listitem', 'listitem']);
  const buttons = items.map((item) => item.childIds.map((id) => tree.byId.get(id)).find((n) => tree.role(n) === 'button'));
  assert.deepEqual(buttons.map(tree.name), TITLES, 'each item holds a button named with the whole title');
  const named = (name) => tree.nodes.find((n) => tree.role(n) === 'button' && tree.name(n) === name);
  assert.ok(named('最小化') && named('关闭'));
  assert.equal(tree.property(named('企业名片'), 'expanded'), false);
  await page.locator('[data-kestrova-player] .open-card').click();
  const opened = await accessibilityTree(page);
  assert.equal(opened.property(opened.nodes.find((n) => opened.role(n) === 'button' && opened.name(n) === '企业名片'),
    'expanded'), true);

  const sizes = await inPlayer(page, (root) => ['.minimise', '.close'].map((s) => {
    const r = root.querySelector(s).getBoundingClientRect();
    return r.width >= 24 && r.height >= 24;
  }));
  assert.deepEqual(sizes, [true, true], 'minimise and close are at least 24x24');
  await page.close();
});

// The controls the Tab key stops at, from the link before the player to the
// one after it.
async function tabStops(page) {
  await page.locator('a[href="#before"]').focus();
  const stops = [];
  for (let i = 0; i < 40; i++) {
    await page.keyboard.press('Tab');
    const where = await page.evaluate(() => {
      const inside = document.activeElement.shadowRoot?.activeElement;
      return inside ? `${inside.className}:${inside.getAttribute('aria-label') || ''}` : document.activeElement.getAttribute('href');
    });
    if (where === '#after') return stops;
    stops.push(where);
  }
  throw new Error(`the Tab key never left the player: ${stops.join(' ')}`);
}

test('500 videos: one tab stop for the list with arrow keys inside, thumbnails loaded as they come in sight',
  async () => {
    const before = server.answers.length;
    const page = await open('big', ['--fixed']);
    await page.waitForLoadState('load');
    await page.waitForFunction(() => document.querySelector('[data-kestrova-player]').shadowRoot
      .querySelector('.list img').naturalWidth > 0);
    await page.waitForTimeout(500);
    const thumbnails = () => server.answers.slice(before).filter((a) => a.url.startsWith('/big/zoom/')).length;
    const loaded = thumbnails();
    assert.ok(loaded < 60, `${loaded} thumbnails loaded with the page`);

    const stops = await tabStops(page);
    assert.deepEqual(stops.filter((s) => s.startsWith('item')), ['item:Video 1'], stops.join(' '));
    await page.locator('a[href="#before"]').focus();
    while (!(await page.evaluate(() => document.activeElement.shadowRoot?.activeElement?.className === 'item'))) {
      await page.keyboard.press('Tab');
    }
    const focused = () => page.evaluate(() => document.activeElement.shadowRoot.activeElement.getAttribute('aria-label'));
    await page.keyboard.press('ArrowRight');
    await page.keyboard.press('ArrowRight');
    assert.equal(await focused(), 'Video 3');
    await page.keyboard.press('End');
    assert.equal(await focused(), `Video ${BIG}`);
    const last = await inPlayer(page, async (root) => {
      const img = root.querySelector('.list li:last-child img');
      for (let i = 0; i < 100 && !(img.complete && img.naturalWidth > 0); i++) await new Promise((r) => setTimeout(r, 50));
      return { width: img.naturalWidth, shown: fullyShown(img) };
    });
    assert.deepEqual(last, { width: 120, shown: true }, 'the last thumbnail loads once the list shows it');
    await page.keyboard.press('Home');
    await page.keyboard.press('Enter');
    await waitForVideo(page, (s) => isPlaying(s, 0.2), 'Enter plays the focused video');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

// The list as the player comes up, from its first layout on: its height at
// every change and, when its first item came, whether the video had shown
// its first picture (watched from the moment the video exists).
const LIST_WATCH = `(() => {
  window.__list = { heights: [], picture: false, itemsAfterPicture: null };
  const create = Document.prototype.createElement;
  Document.prototype.createElement = function (name, ...rest) {
    const node = create.call(this, name, ...rest);
    if (node instanceof HTMLVideoElement) node.requestVideoFrameCallback(() => { window.__list.picture = true; });
    return node;
  };
  const attach = Element.prototype.attachShadow;
  Element.prototype.attachShadow = function (init) {
    const root = attach.call(this, init);
    new MutationObserver(() => {
      const list = root.querySelector('.list');
      if (list && !list.watched) {
        list.watched = true;
        new ResizeObserver(() => window.__list.heights.push(list.getBoundingClientRect().height)).observe(list);
      }
      if (list && list.querySelector('li') && window.__list.itemsAfterPicture === null) {
        window.__list.itemsAfterPicture = window.__list.picture;
      }
    }).observe(root, { childList: true, subtree: true });
    return root;
  };
})();`;

test('a video that starts by itself: the playlist items follow its first picture, and the list keeps its height',
  async () => {
    for (const [folder, choices] of [['three', []], ['big', ['--fixed']]]) {
      const snippet = await embedCode(`${server.url}/${folder}`, ['--autoplay', ...choices]);
      writePage(path.join(work, folder, 'starts.html'), snippet);
      const page = await browser.newPage({ viewport: { width: 900, height: 600 } });
      await page.addInitScript(LIST_WATCH);
      await page.goto(`${server.url}/${folder}/starts.html`);
      await waitForVideo(page, (s) => isPlaying(s, 0.2), `${folder}: plays`);
      await page.waitForFunction(() => window.__list.itemsAfterPicture !== null);
      // One more rendering step, so that a change of height the items caused is seen.
      await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
      const seen = await page.evaluate(() => window.__list);
      assert.equal(seen.itemsAfterPicture, true, `${folder}: the items came after the first picture`);
      assert.ok(seen.heights.length > 0 && seen.heights.every((h) => h === seen.heights[0]),
        `${folder}: the list's heights ${seen.heights.join(', ')}`);
      await page.close();
    }
  });

test('a missing thumbnail shows a neutral placeholder, not a broken picture', async () => {
  const page = await open('missing-thumbnail', []);
  await page.waitForFunction(() => [...document.querySelector('[data-kestrova-player]').shadowRoot
    .querySelectorAll('.list img')].every((img) => img.getAttribute('src') && img.complete));
  const thumbs = await inPlayer(page, (root) => [...root.querySelectorAll('.thumb')].map((thumb) => {
    const img = thumb.querySelector('img');
    return { box: fullyShown(thumb), picture: img.naturalWidth > 0, visible: getComputedStyle(img).display !== 'none' };
  }));
  assert.deepEqual(thumbs, [{ box: true, picture: true, visible: true }, { box: true, picture: false, visible: false }]);
  await page.close();
});

test('config.xml is asked for at its plain address and revalidated: an unchanged list costs a 304', async () => {
  const context = await browser.newContext();
  const before = server.answers.length;
  for (let i = 0; i < 2; i++) await (await open('three', [], {}, context)).close();
  const asked = server.answers.slice(before).filter((a) => a.url.startsWith('/three/config.xml'));
  assert.deepEqual(asked, [{ url: '/three/config.xml', status: 200 }, { url: '/three/config.xml', status: 304 }]);
  await context.close();
});

test('the scrolling subtitle is in sight, holds still on hover and focus, and does not move for reduced motion',
  async () => {
    const moves = async (page) => {
      const at = () => inPlayer(page, (root) => root.querySelector('.zhimo span').getBoundingClientRect().left);
      // A paused animation may settle by a pixel as the compositor hands its
      // time over; a moving one goes at least 60 px a second.
      await page.waitForTimeout(100);
      const x0 = await at();
      await page.waitForTimeout(400);
      return Math.abs((await at()) - x0) > 3;
    };
    let page = await open('three', ['--zhimo']);
    await page.waitForFunction(`(${SUBTITLE_SHOWN})(document.querySelector('[data-kestrova-player]').shadowRoot)`);
    assert.equal(await moves(page), true, 'it scrolls');
    await page.locator('[data-kestrova-player] .zhimo').hover();
    assert.equal(await moves(page), false, 'a pointer over it holds it still');
    await page.mouse.move(0, 0);
    assert.equal(await moves(page), true);
    await page.locator('[data-kestrova-player] .zhimo').focus();
    assert.equal(await moves(page), false, 'focus holds it still');
    await page.close();

    page = await open('three', ['--zhimo'], { reducedMotion: 'reduce' });
    await page.waitForFunction(`(${SUBTITLE_SHOWN})(document.querySelector('[data-kestrova-player]').shadowRoot)`);
    assert.equal(await moves(page), false, 'still for a visitor who asked for reduced motion');
    assert.equal(await inPlayer(page, (root) => root.querySelector('.zhimo').title), `About ${TITLES[0]}`);
    await page.close();
  });

test('on a 375x667 touch screen the player fits, its titles are readable and a tap plays a video', async () => {
  const context = await browser.newContext({ viewport: { width: 375, height: 667 }, hasTouch: true, isMobile: true });
  const page = await open('three', ['--card', '--zhimo'], {}, context);
  const layout = await listLayout(page);
  const fits = await inPlayer(page, (root) => fullyShown(root.querySelector('.kv')));
  assert.equal(fits, true, 'the whole player is on the screen');
  assert.deepEqual(layout.shown, [true, true, true]);
  await page.locator('[data-kestrova-player] .list li:nth-child(2) button').tap();
  await waitForVideo(page, (s) => isPlaying(s, 0.2), 'the tapped video plays');
  assert.equal(await inPlayer(page, (root) => root.querySelector('[aria-current="true"]').getAttribute('aria-label')),
    TITLES[1]);
  await context.close();
});
