// The company's side of the journey, with the real programs: kestrova-service
// on a fresh SQLite file, the demo site (FTP + HTTP on loopback, as
// scripts/run starts it), a data folder laid out by scripts/stage, and the
// publishing steps of kestrova-cli and scripts/publish-videos.
import fs from 'node:fs';
import path from 'node:path';

import { binDir, buildDir, sourceDir } from './env.mjs';
import { freePort, run, start, waitForPort } from './processes.mjs';

const service = path.join(binDir, 'kestrova-service');
const cliProgram = path.join(binDir, 'kestrova-cli');

export function cli(args, env = {}) {
  return run(cliProgram, args, { env });
}

// fields: add-company's "--name value" pairs (account, password, name, ...).
export async function startService(dir, fields) {
  const db = `sqlite:${path.join(dir, 'service.db')}`;
  const words = Object.entries(fields).flatMap(([name, value]) => [`--${name}`, String(value)]);
  await run(service, ['add-company', '--db', db, ...words]);
  const port = await freePort();
  const child = start(service, ['serve', '--listen', `127.0.0.1:${port}`, '--db', db],
    { logFile: path.join(dir, 'service.log') });
  await waitForPort(port, 'kestrova-service');
  return { url: `http://127.0.0.1:${port}`, child };
}

// scripts/demo-site: its FTP account is demo/demo, its web root the FTP root.
export async function startDemoSite(root) {
  const ftpPort = await freePort();
  const httpPort = await freePort();
  const child = start(path.join(sourceDir, 'scripts', 'demo-site'), [root], {
    env: { KESTROVA_DEMO_FTP_PORT: String(ftpPort), KESTROVA_DEMO_HTTP_PORT: String(httpPort) },
  });
  await waitForPort(ftpPort, 'the demo FTP server');
  await waitForPort(httpPort, 'the demo web server');
  return { root, ftpPort, url: `http://127.0.0.1:${httpPort}`, child };
}

// The tool's runnable folder; returns its data folder (from web/template).
export async function stageDataFolder(stage, serviceUrl) {
  await run(path.join(sourceDir, 'scripts', 'stage'), [buildDir, stage, serviceUrl], { cwd: sourceDir });
  return path.join(stage, 'data');
}

export function publishVideos({ serviceUrl, account, password, data, files }) {
  return run(path.join(sourceDir, 'scripts', 'publish-videos'),
    ['--service', serviceUrl, '--account', account, '--data', data, ...files],
    { env: { KESTROVA_PASSWORD: password, KESTROVA_CLI: cliProgram } });
}

export function writeConfig({ serviceUrl, account, password, data }) {
  return cli(['config', '--service', serviceUrl, '--account', account, '--data', data],
    { KESTROVA_PASSWORD: password });
}

export function uploadToDemoSite(data, site) {
  return cli(['upload', '--host', '127.0.0.1', '--port', String(site.ftpPort), '--user', 'demo', '--root', '/',
    '--data', data], { KESTROVA_FTP_PASSWORD: 'demo' });
}

// What createScript makes for these choices (see `kestrova-cli embed`).
export async function embedCode(domain, choices = []) {
  return (await cli(['embed', '--domain', domain, ...choices])).stdout.trim();
}

// A page of the company's own site with the snippet pasted in a slot; style:
// more of the page's own rules.
export function writePage(file, snippet, style = '') {
  fs.writeFileSync(file, `<!DOCTYPE html>
<html lang="zh-CN"><head><meta charset="utf-8"><title>Company page</title>
<style>body { margin: 0; font: 14px sans-serif } div, button { color: red; display: block } ${style}</style></head>
<body><h1>Our company</h1><p>Some text before the player.</p>
<div id="slot">${snippet}</div>
<p>Some text after the player.</p></body></html>
`);
}
