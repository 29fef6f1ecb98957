// A static web server on loopback that answers the way a default nginx does:
// types by extension from its stock table (".html" is text/html, whatever
// the file holds), byte ranges, Last-Modified with 304 for a copy still
// current, 404 for what is not there. Used where a test
// needs a server other than the demo site's, and by bench/web.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

const TYPES = {
  '.html': 'text/html', '.htm': 'text/html', '.js': 'application/javascript', '.css': 'text/css',
  '.xml': 'text/xml', '.jpg': 'image/jpeg', '.jpeg': 'image/jpeg', '.gif': 'image/gif', '.png': 'image/png',
  '.mp4': 'video/mp4',
};

// crossSite: addresses (a pattern) whose answers allow reading by pages of
// any site (Access-Control-Allow-Origin: *).
export function startStaticServer(root, { crossSite } = {}) {
  const requests = [];
  const answers = [];  // { url, status } for every answer
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    const writeHead = response.writeHead.bind(response);
    response.writeHead = (status, ...rest) => {
      answers.push({ url: request.url, status });
      return writeHead(status, ...rest);
    };
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, path.normalize(name));
    let stat;
    try {
      if (!file.startsWith(root + path.sep)) throw new Error('outside');
      stat = fs.statSync(file);
      if (!stat.isFile()) throw new Error('not a file');
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/html' });
      response.end('<h1>404 Not Found</h1>');
      return;
    }
    const headers = {
      'Content-Type': TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream',
      'Accept-Ranges': 'bytes',
      'Last-Modified': stat.mtime.toUTCString(),
    };
    if (crossSite && crossSite.test(name)) headers['Access-Control-Allow-Origin'] = '*';
    const since = Date.parse(request.headers['if-modified-since'] || '');
    if (since >= Math.floor(stat.mtimeMs / 1000) * 1000) {
      response.writeHead(304, { 'Last-Modified': headers['Last-Modified'] });
      response.end();
      return;
    }
    let start = 0, end = stat.size - 1, status = 200;
    const range = /^bytes=(\d*)-(\d*)$/.exec(request.headers.range || '');
    if (range && (range[1] || range[2])) {
      if (range[1]) {
        start = Number(range[1]);
        if (range[2]) end = Math.min(end, Number(range[2]));
      } else {
        start = Math.max(0, stat.size - Number(range[2]));
      }
      if (start > end) {
        response.writeHead(416, { 'Content-Range': `bytes */${stat.size}` });
        response.end();
        return;
      }
      status = 206;
      headers['Content-Range'] = `bytes ${start}-${end}/${stat.size}`;
    }
    headers['Content-Length'] = end - start + 1;
    response.writeHead(status, headers);
    if (request.method === 'HEAD' || stat.size === 0) {
      response.end();
      return;
    }
    fs.createReadStream(file, { start, end }).pipe(response);
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}`,
        requests,
        answers,
        close: () => new Promise((done) => { server.closeAllConnections(); server.close(done); }),
      });
    });
  });
}

// As a program of its own (bench/web, so that the measuring process's work
// does not slow the server down): node static-server.mjs ROOT prints its
// address and serves until it is stopped.
if (process.argv[1] && import.meta.url === `file://${path.resolve(process.argv[1])}`) {
  const { url } = await startStaticServer(path.resolve(process.argv[2]));
  console.log(url);
}
