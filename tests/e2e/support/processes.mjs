// Child processes for a test: started in their own process group so that a
// stop reaches everything they started (the demo site's two servers), and
// stopped when the test ends, also when it fails.
import { execFile, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';

const running = new Set();

// Output goes to logFile, or is dropped; with readOutput the standard output
// stays readable as child.stdout.
export function start(command, args, { env = {}, logFile, readOutput = false } = {}) {
  const output = logFile ? fs.openSync(logFile, 'a') : 'ignore';
  const child = spawn(command, args, {
    env: { ...process.env, ...env },
    stdio: ['ignore', readOutput ? 'pipe' : output, output],
    detached: true,
  });
  running.add(child);
  child.exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
  child.exited.then(() => running.delete(child));
  return child;
}

export async function stop(child) {
  if (!running.has(child)) return;
  const signal = (name) => { try { process.kill(-child.pid, name); } catch { /* already gone */ } };
  signal('SIGTERM');
  const timer = setTimeout(() => signal('SIGKILL'), 5000);
  await child.exited;
  clearTimeout(timer);
}

export async function stopAll() {
  await Promise.all([...running].map(stop));
}

process.on('exit', () => {
  for (const child of running) {
    try { process.kill(-child.pid, 'SIGKILL'); } catch { /* already gone */ }
  }
});

// Runs a program to its end; rejects with its output (also as error.output)
// when it fails.
export function run(command, args, { env = {}, cwd } = {}) {
  return new Promise((resolve, reject) => {
    execFile(command, args, { env: { ...process.env, ...env }, cwd, maxBuffer: 64 << 20, timeout: 300000 },
      (error, stdout, stderr) => {
        if (error) {
          error.output = stdout + stderr;
          error.message = `${command} ${args.join(' ')} failed (${error.code ?? error.signal}):\n${stdout}${stderr}`;
          reject(error);
        } else {
          resolve({ stdout, stderr });
        }
      });
  });
}

export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

export async function waitForPort(port, what, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const open = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1');
      socket.once('connect', () => { socket.destroy(); resolve(true); });
      socket.once('error', () => resolve(false));
    });
    if (open) return;
    if (Date.now() > deadline) throw new Error(`${what} did not listen on port ${port}`);
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
}
