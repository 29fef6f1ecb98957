// Hand-made site folders for the web player's own tests: config.xml written
// from a list of videos, the player files from web/template as scripts/stage
// ships them, and the shared clip and thumbnail made once per test file.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import { sourceDir, templateDir } from './env.mjs';
import { makeClip } from './media.mjs';
import { run } from './processes.mjs';

const escapeXml = (text) => String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
  .replace(/"/g, '&quot;');

// items: { filename, title, zhimo, zoomimage (default good.jpg) }; the flags
// are config.xml's own ("True"/"False").
export function configXml(items, { company = 'Acme', addr = '', card = 'True', zhimo = 'True', autoplay = 'False',
  round = 'False', logo = 'False' } = {}) {
  const rows = items.map((item, i) => `<item duration="4" filename="${escapeXml(item.filename)}" ` +
    `zoomimage="${escapeXml(item.zoomimage ?? 'good.jpg')}" id="${i + 1}" sort="${i + 1}" ` +
    `title="${escapeXml(item.title)}" zhimo="${escapeXml(item.zhimo || '')}"/>`).join('');
  return '<?xml version="1.0" encoding="utf-8"?><root><productinfo><id>1</id><account>acme</account>' +
    `<producttype>SETUP</producttype></productinfo><videosetting><companyname>${escapeXml(company)}</companyname>` +
    `<addr>${escapeXml(addr)}</addr><tel>021-5555</tel><fax></fax><qq>error</qq><skype></skype><msn></msn>` +
    `<email></email><chkDisplayEntCard>${card}</chkDisplayEntCard><chkDisplayZhimo>${zhimo}</chkDisplayZhimo>` +
    `<chkAutoPlay>${autoplay}</chkAutoPlay><chkAutocre>${round}</chkAutocre><chkDisplayLogo>${logo}</chkDisplayLogo>` +
    `</videosetting><videofilelist>${rows}</videofilelist></root>`;
}

// work/media holds one good video (good.html, with sound) and thumbnail
// (good.jpg) that every site folder links to.
export async function makeMedia(work) {
  fs.mkdirSync(path.join(work, 'media', 'video'), { recursive: true });
  fs.mkdirSync(path.join(work, 'media', 'zoom'));
  await makeClip(path.join(work, 'media', 'video', 'good.html'));
  await run('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'testsrc2=size=120x90', '-frames:v', '1',
    path.join(work, 'media', 'zoom', 'good.jpg')]);
}

// index.js (or another version of it) as a site serves it.
export function servedPlayer(source = path.join(templateDir, 'index.js')) {
  return execFileSync(path.join(sourceDir, 'scripts', 'strip-js-comments'), [source]);
}

// One site folder: the player, its preview page, a logo, the shared video
// and thumbnail folders, and config.xml when given (a text, written as is).
export function siteFolder(work, name, config) {
  const folder = path.join(work, name);
  fs.mkdirSync(path.join(folder, 'model'), { recursive: true });
  fs.writeFileSync(path.join(folder, 'index.js'), servedPlayer());
  fs.copyFileSync(path.join(templateDir, 'preview.html'), path.join(folder, 'preview.html'));
  fs.copyFileSync(path.join(templateDir, 'model', 'logo.gif'), path.join(folder, 'model', 'logo.gif'));
  fs.symlinkSync(path.join(work, 'media', 'video'), path.join(folder, 'video'));
  fs.symlinkSync(path.join(work, 'media', 'zoom'), path.join(folder, 'zoom'));
  if (config !== undefined) fs.writeFileSync(path.join(folder, 'config.xml'), config);
  return folder;
}

// Runs fn(root, arg) in the page with the player's shadow root; fn may use
// fullyShown(node) (below).
export function inPlayer(page, fn, arg) {
  return page.evaluate(`(() => { const fullyShown = ${FULLY_SHOWN};
    return (${fn})(document.querySelector('[data-kestrova-player]').shadowRoot, ${JSON.stringify(arg)}); })()`);
}

// Whether the element's box is wholly inside every box that clips it (up
// through the player's host) and inside the window.
export const FULLY_SHOWN = `(node) => {
  const box = node.getBoundingClientRect();
  if (!(box.width > 0 && box.height > 0)) return false;
  const inside = (r) => box.top >= r.top - 0.5 && box.bottom <= r.bottom + 0.5 && box.left >= r.left - 0.5
    && box.right <= r.right + 0.5;
  for (let n = node.parentNode; n; n = n.parentNode || n.host) {
    if (n.nodeType !== 1) continue;
    const style = getComputedStyle(n);
    if (style.overflowX === 'visible' && style.overflowY === 'visible') continue;
    const r = n.getBoundingClientRect();
    // The inner area, without borders and scroll bars.
    const inner = { top: r.top + n.clientTop, left: r.left + n.clientLeft,
      bottom: r.top + n.clientTop + n.clientHeight, right: r.left + n.clientLeft + n.clientWidth };
    if (!inside(inner)) return false;
  }
  return inside({ top: 0, left: 0, bottom: innerHeight, right: innerWidth });
}`;

// Whether some of the scrolling subtitle's text stands inside its strip.
export const SUBTITLE_SHOWN = `(root) => {
  const strip = root.querySelector('.zhimo'), text = strip && strip.querySelector('span');
  if (!text || strip.closest('[hidden]')) return false;
  const range = document.createRange();
  range.selectNodeContents(text);
  const r = range.getBoundingClientRect(), b = strip.getBoundingClientRect();
  return r.width > 0 && b.height > 0 && r.left < b.right - 4 && r.right > b.left + 4;
}`;
