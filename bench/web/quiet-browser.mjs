// Debian's headless Chromium driven through its DevTools protocol with no
// more than the page and runtime domains turned on. A browser driven by the
// test library has the network domain on for every page, and that domain
// keeps a decoded text copy of every response whose type is textual: our
// videos are served under their ".html" names as text/html, so each load
// would spend 10-25 ms of the page's main thread decoding the video as text,
// on both sides, which no visitor's browser does. The protocol runs over
// the pipe Chromium offers for it (fds 3 and 4, messages ending in a NUL).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export async function launchQuietBrowser() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-bench-chromium-'));
  const chromium = spawn(process.env.KESTROVA_CHROMIUM || '/usr/bin/chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--no-first-run',
    '--autoplay-policy=no-user-gesture-required', '--remote-debugging-pipe', `--user-data-dir=${profile}`,
    'about:blank'], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
  const [, , errors, toBrowser, fromBrowser] = chromium.stdio;
  let lastErrors = '';
  errors.on('data', (chunk) => { lastErrors = (lastErrors + chunk).slice(-2000); });
  const ended = new Promise((resolve) => chromium.once('exit', resolve));

  let lastId = 0;
  const waiting = new Map();
  const watchers = new Set();
  let unread = '';
  fromBrowser.setEncoding('utf8');
  fromBrowser.on('data', (chunk) => {
    const parts = (unread + chunk).split('\0');
    unread = parts.pop();
    for (const part of parts) {
      const message = JSON.parse(part);
      if (message.id !== undefined) {
        const { resolve, reject, method } = waiting.get(message.id);
        waiting.delete(message.id);
        if (message.error) reject(new Error(`${method}: ${message.error.message}`)); else resolve(message.result);
      } else {
        for (const watcher of watchers) watcher(message);
      }
    }
  });
  ended.then((code) => {
    for (const { reject, method } of waiting.values()) reject(new Error(`${method}: chromium ended (${code}): ${lastErrors}`));
    waiting.clear();
  });
  const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
    const id = ++lastId;
    waiting.set(id, { resolve, reject, method });
    toBrowser.write(`${JSON.stringify({ id, method, params, ...(sessionId ? { sessionId } : {}) })}\0`);
  });
  const event = (method, sessionId) => new Promise((resolve) => {
    const watcher = (message) => {
      if (message.method === method && message.sessionId === sessionId) {
        watchers.delete(watcher);
        resolve(message.params);
      }
    };
    watchers.add(watcher);
  });

  return {
    // Loads url in a fresh profile (cold caches) with initScript run before
    // the page's own scripts; returns the page, whose evaluate(expression)
    // gives an expression's value (awaited), and close().
    async open(url, initScript) {
      const { browserContextId } = await send('Target.createBrowserContext');
      const { targetId } = await send('Target.createTarget', { url: 'about:blank', browserContextId });
      const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
      await send('Page.enable', {}, sessionId);
      await send('Page.addScriptToEvaluateOnNewDocument', { source: initScript }, sessionId);
      const loaded = event('Page.loadEventFired', sessionId);
      const { errorText } = await send('Page.navigate', { url }, sessionId);
      if (errorText) throw new Error(`${url}: ${errorText}`);
      await loaded;
      return {
        async evaluate(expression) {
          const { result, exceptionDetails } = await send('Runtime.evaluate',
            { expression, awaitPromise: true, returnByValue: true }, sessionId);
          if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.text}`);
          return result.value;
        },
        close: () => send('Target.disposeBrowserContext', { browserContextId }),
      };
    },
    async close() {
      // Asked to close, the browser ends its helper processes and writes
      // its last files before it exits; a kill would leave them writing.
      const killer = setTimeout(() => chromium.kill(), 5000);
      await send('Browser.close').catch(() => {});
      await ended;
      clearTimeout(killer);
      // Its helper processes may still be writing their last files.
      fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
    },
  };
}
