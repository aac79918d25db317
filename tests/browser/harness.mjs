// What the browser tests share: their command line, and a velvox-host of
// their own on a free port of 127.0.0.1 with its console at hand.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

export const PASSWORD = 'demo';

// Reads "--name value" pairs from the command line into an object.
export function parseArgs(argv) {
  const args = { chromium: '/usr/bin/chromium' };
  for (let i = 0; i < argv.length; i += 2) {
    const key = argv[i].replace(/^--/, '').replace(/-(.)/g, (_, c) => c.toUpperCase());
    if (argv[i + 1] === undefined) throw new Error(`${argv[i]} needs a value`);
    args[key] = argv[i + 1];
  }
  for (const key of ['host', 'module', 'playlist', 'webRoot', 'artifacts']) {
    if (!args[key]) throw new Error(`missing --${key.replace(/[A-Z]/g, (c) => '-' + c.toLowerCase())}`);
  }
  return args;
}

// Returns the titles and lengths of an M3U playlist, in playlist order.
export function readPlaylist(file) {
  const entries = [];
  for (const line of fs.readFileSync(file, 'utf8').split(/\r?\n/)) {
    const m = /^#EXTINF:(-?\d+),(.*)$/.exec(line);
    if (m) entries.push({ seconds: Number(m[1]), title: m[2] });
  }
  return entries;
}

// Gives a TCP port on 127.0.0.1 that was free a moment ago.
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

// Resolves once something accepts connections on the port, or rejects after ms.
export async function waitForListener(port, ms) {
  const until = Date.now() + ms;
  while (Date.now() < until) {
    const open = await new Promise((resolve) => {
      // A whole request, so that the server has no empty connection to report.
      const socket = net.connect(port, '127.0.0.1', () => socket.end('GET /velvox.css HTTP/1.0\r\n\r\n'));
      socket.on('data', () => {});
      socket.once('close', (hadError) => resolve(!hadError));
      socket.once('error', () => {});
    });
    if (open) return;
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`nothing listens on port ${port} after ${ms} ms`);
}

// Starts velvox-host on a private copy of the module with its own plugin.ini;
// resolves with the running player once it has printed "ready".
export async function startPlayer(args, port) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'velvox-browser-'));
  const module = path.join(dir, path.basename(args.module));
  fs.copyFileSync(args.module, module);
  fs.writeFileSync(path.join(dir, 'plugin.ini'), [
    '[HTTP Request]', 'bDisabled=FALSE', `WebRoot=${path.resolve(args.webRoot)}`, `Port=${port}`,
    'Playlistfile=playlist.html', `AdminPassword=${PASSWORD}`, 'g_MaxRequestsPerIP=3',
    'g_MaxEntries=25', 'g_MaxQueueSize=50', '',
  ].join('\n'));

  const child = spawn(args.host, ['--plugin', module, '--clock', 'manual', args.playlist], {
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  const player = { child, dir, log: [], answers: [] };
  child.stderr.on('data', (d) => player.log.push(String(d)));
  const lines = readline.createInterface({ input: child.stdout });
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('velvox-host did not print "ready" in 20 s')), 20_000);
    child.once('exit', (code) => { clearTimeout(timer); reject(new Error(`velvox-host exited with ${code}`)); });
    lines.on('line', (line) => {
      player.log.push(line + '\n');
      if (line.trim() === 'ready') { clearTimeout(timer); resolve(); }
      if (/^(ok|error)\b/.test(line) && player.answers.length) player.answers.shift()(line);
    });
  });
  await waitForListener(port, 10_000);
  return player;
}

// Sends one console command to the player; resolves with its "ok"/"error" line.
export function playerCommand(player, command) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no answer to "${command}"`)), 10_000);
    player.answers.push((line) => { clearTimeout(timer); resolve(line); });
    player.child.stdin.write(command + '\n');
  });
}

// Asks the player to quit and waits for it; kills it when it does not go.
export async function stopPlayer(player) {
  if (!player) return;
  const { child } = player;
  if (child.exitCode === null && child.signalCode === null) {
    const gone = new Promise((resolve) => child.once('exit', resolve));
    child.stdin.end('quit\n');
    const timer = setTimeout(() => child.kill('SIGTERM'), 10_000);
    const hard = setTimeout(() => child.kill('SIGKILL'), 15_000);
    await gone;
    clearTimeout(timer);
    clearTimeout(hard);
  }
  fs.rmSync(player.dir, { recursive: true, force: true });
}

