// The publishing steps from a terminal against the real kestrova-service:
// what goes wrong is said clearly and leaves nothing behind.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { templateDir } from './support/env.mjs';
import { makeClip } from './support/media.mjs';
import { stopAll } from './support/processes.mjs';
import { cli, publishVideos, startService, writeConfig } from './support/site.mjs';

let work, serviceUrl, data;
const login = () => ({ serviceUrl, account: 'acme', password: 'secret', data });

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrova-publishing-'));
  ({ url: serviceUrl } = await startService(work, { account: 'acme', password: 'secret', name: 'Acme' }));
  data = path.join(work, 'data');
  fs.mkdirSync(data);
  fs.copyFileSync(path.join(templateDir, 'config.xml'), path.join(data, 'config.xml'));
});

after(async () => {
  await stopAll();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

const failure = (promise) => promise.then((result) => assert.fail(`expected a failure: ${JSON.stringify(result)}`),
  (error) => error.output);
const files = (folder) => (fs.existsSync(folder) ? fs.readdirSync(folder).sort() : []);

test('a batch with a broken file publishes the good one and leaves nothing of the broken one', async () => {
  await makeClip(path.join(work, 'Good Clip.mov'), { seconds: 2 });
  fs.writeFileSync(path.join(work, 'broken.mp4'), 'not a video');
  const message = await failure(publishVideos({ ...login(),
    files: [path.join(work, 'broken.mp4'), path.join(work, 'Good Clip.mov')] }));
  assert.match(message, /broken\.mp4/, 'the failed file is named in what the command says');

  const videos = files(path.join(data, 'video'));
  assert.equal(videos.length, 1);
  assert.match(videos[0], /^[A-Za-z0-9]{16}\.html$/);
  assert.deepEqual(files(path.join(data, 'zoom')), [videos[0].replace('.html', '.jpg')]);

  await writeConfig(login());
  const config = fs.readFileSync(path.join(data, 'config.xml'), 'utf8');
  assert.match(config, new RegExp(`<item duration="2" filename="${videos[0]}" zoomimage="[^"]+" id="\\d+" sort="1" ` +
    'title="Good Clip" zhimo="Good Clip"/>'));
  assert.match(config, /<companyname>Acme<\/companyname>/);
});

test('refusals and bad input give a clear message and change nothing', async () => {
  const before = fs.readFileSync(path.join(data, 'config.xml'), 'utf8');
  const cases = [
    [() => writeConfig({ ...login(), password: 'wrong' }), /后台服务拒绝账号“acme”登录/],
    [() => writeConfig({ ...login(), serviceUrl: 'http://127.0.0.1:9' }), /无法连接后台服务 http:\/\/127\.0\.0\.1:9\/service：/],
    [() => writeConfig({ ...login(), data: path.join(work, 'nowhere') }), /config\.xml/],
    [() => cli(['register', '--service', serviceUrl, '--account', 'acme', path.join(work, 'video', 'missing.html')],
      { KESTROVA_PASSWORD: 'secret' }), /文件不存在：.*missing\.html/],
    [() => cli(['register', '--service', serviceUrl, '--account', 'acme', path.join(work, 'broken.mp4')],
      { KESTROVA_PASSWORD: 'secret' }), /broken\.mp4/],
    [() => cli(['embed', '--domain', 'http://example.com', '--titlebg', 'red']), /--titlebg 应为六位十六进制数（RRGGBB），而不是“red”/],
  ];
  for (const [attempt, expected] of cases) assert.match(await failure(attempt()), expected);
  assert.equal(fs.readFileSync(path.join(data, 'config.xml'), 'utf8'), before);
  await writeConfig(login());
  assert.equal(fs.readFileSync(path.join(data, 'config.xml'), 'utf8'), before, 'still one video in the catalogue');
});
