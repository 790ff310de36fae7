// Starts the built `tavobook serve` on a free port with a fresh store, and a
// headless Debian Chromium driven by playwright-core; stops both afterwards.
import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { chromium } from 'playwright-core';

const here = new URL('.', import.meta.url).pathname;
export const binaryDir = process.env.TB_BINARY_DIR ?? resolve(here, '../../build');
export const screenshotDir = join(binaryDir, 'e2e-screenshots');
export const adminPassword = 'root1234';

export async function startSite() {
  const dir = mkdtempSync(join(tmpdir(), 'tavobook-e2e-'));
  // The stories post more in a minute than one visitor's share.
  writeFileSync(join(dir, 'serve.toml'), '[server]\nmax_posts_per_minute = 1000\n');
  const server = spawn(
    join(binaryDir, 'tavobook'),
    ['serve', '--listen', '127.0.0.1:0', '--db', join(dir, 'e2e.db'),
     '--config', join(dir, 'serve.toml'),
     '--admin-password', adminPassword, '--threads', '2'],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  server.stderr.on('data', (d) => { log += d; });
  const url = await new Promise((ok, fail) => {
    let out = '';
    server.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/listening on (http:\/\/\S+\/)/);
      if (m) ok(m[1]);
    });
    server.on('exit', (code) => fail(new Error(`server exited ${code}: ${log}`)));
  });
  const browser = await chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
  mkdirSync(screenshotDir, { recursive: true });
  return {
    // A fresh browser context: its own cookies, so its own session;
    // `options` as Playwright's (a viewport, say).
    async newPage(options = {}) {
      const context = await browser.newContext({ baseURL: url, ...options });
      const page = await context.newPage();
      page.on('dialog', (dialog) => dialog.accept());
      return page;
    },
    async stop() {
      await browser.close();
      server.kill('SIGTERM');
      await new Promise((ok) => server.on('exit', ok));
      rmSync(dir, { recursive: true, force: true });
    },
  };
}

export async function screenshot(page, name) {
  await page.screenshot({ path: join(screenshotDir, `${name}.png`), fullPage: true });
}
