// Debian's Chromium, headless, driven by playwright-core, and a few looks
// into the player's shadow root.
import { playwright } from './env.mjs';

export function launchBrowser() {
  return playwright().chromium.launch({
    executablePath: process.env.KESTROVA_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--autoplay-policy=no-user-gesture-required'],
  });
}

// What the (first) player's video element is doing.
export function videoState(page, index = 0) {
  return page.evaluate((index) => {
    const host = document.querySelectorAll('[data-kestrova-player]')[index];
    const video = host && host.shadowRoot.querySelector('video');
    if (!video) return null;
    return {
      src: video.currentSrc || video.getAttribute('src') || '',
      readyState: video.readyState,
      currentTime: video.currentTime,
      paused: video.paused,
      muted: video.muted,
      error: video.error ? video.error.code : 0,
    };
  }, index);
}

// Polls until test(state) holds; fails with the last state seen.
export async function waitForVideo(page, test, what, timeoutMs = 30000) {
  const deadline = Date.now() + timeoutMs;
  let state;
  while (Date.now() < deadline) {
    state = await videoState(page);
    if (state && test(state)) return state;
    await page.waitForTimeout(100);
  }
  throw new Error(`${what}: not reached in ${timeoutMs} ms; last state ${JSON.stringify(state)}`);
}

export function isPlaying(state, afterSeconds = 1) {
  return state.readyState >= 3 && state.currentTime > afterSeconds && !state.paused;
}

// The spread of the picture the video shows now, drawn into a canvas: a
// blank (all black or one flat colour) picture has none.
export function pictureSpread(page) {
  return page.evaluate(() => {
    const video = document.querySelector('[data-kestrova-player]').shadowRoot.querySelector('video');
    const canvas = document.createElement('canvas');
    canvas.width = video.videoWidth;
    canvas.height = video.videoHeight;
    const context = canvas.getContext('2d');
    context.drawImage(video, 0, 0);
    const { data } = context.getImageData(0, 0, canvas.width, canvas.height);
    let sum = 0, squares = 0;
    const n = data.length / 4;
    for (let i = 0; i < data.length; i += 4) {
      const luma = 0.299 * data[i] + 0.587 * data[i + 1] + 0.114 * data[i + 2];
      sum += luma;
      squares += luma * luma;
    }
    const mean = sum / n;
    return { width: canvas.width, height: canvas.height, deviation: Math.sqrt(squares / n - mean * mean) };
  });
}

// Text of the first element matching selector inside the player, or null.
export function playerText(page, selector) {
  return page.evaluate((selector) => {
    const host = document.querySelector('[data-kestrova-player]');
    const node = host && host.shadowRoot.querySelector(selector);
    return node && !node.closest('[hidden]') ? node.textContent : null;
  }, selector);
}

export function playerBox(page) {
  return page.evaluate(() => {
    const host = document.querySelector('[data-kestrova-player]');
    if (!host) return null;
    const r = host.getBoundingClientRect();
    return { left: r.left, top: r.top, right: r.right, bottom: r.bottom, width: r.width, height: r.height,
      position: getComputedStyle(host).position, viewWidth: innerWidth, viewHeight: innerHeight,
      parentId: host.parentElement && host.parentElement.id };
  });
}
