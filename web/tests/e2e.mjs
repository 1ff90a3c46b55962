// End-to-end tests of the web page in Debian's headless Chromium, driven by
// playwright-core. Each test does what a person does on the page and checks
// both what the page then shows and what the database holds.
//
//   node web/tests/e2e.mjs [path/to/lxmdataflow]
//
// A fresh demo account and a `serve` with a token are started in a
// temporary folder; screenshots go to build/web-artifacts/ (LXM_WEB_ARTIFACTS).
import { chromium } from 'playwright-core';
import { execFileSync, spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const cli = path.resolve(process.argv[2] || process.env.LXM_CLI || path.join(root, 'build/lxmdataflow'));
const artifacts = path.resolve(process.env.LXM_WEB_ARTIFACTS || path.join(root, 'build/web-artifacts'));
const kUser = 16394;
const kToken = 'e2e-token-1234';

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'lxm-web-'));
const db = path.join(work, 'account.db');
fs.mkdirSync(artifacts, { recursive: true });

// ---- the database, read and written beside the page ----

function sql(query) {
  const out = execFileSync('sqlite3', ['-json', db, query], { encoding: 'utf8' });
  return out.trim() ? JSON.parse(out) : [];
}

// `lxmdataflow call` in-process on the same file, as another client would.
function call(language, progId, method, ...args) {
  return execFileSync(cli, ['call', '--db', db, '--user', String(kUser), '--lang', language, '--json',
                            progId, method, ...args.map((a) => (typeof a === 'string' ? a : JSON.stringify(a)))],
                      { encoding: 'utf8' });
}

// ---- the server ----

// A `serve` of the account with `args`; it is stopped at the end.
const servers = [];
function startServer(args) {
  const server = spawn(cli, ['serve', '--db', db, '--port', '0', ...args], { stdio: ['ignore', 'pipe', 'inherit'] });
  servers.push(server);
  return new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error(`serve printed no address: ${seen}`)), 15000);
    server.stdout.on('data', (chunk) => {
      seen += chunk;
      const match = /serving (http:\/\/[^\s]+)/.exec(seen);
      if (match) {
        clearTimeout(timer);
        resolve({ server, url: match[1] });
      }
    });
    server.on('exit', (code) => reject(new Error(`serve exited with ${code}: ${seen}`)));
  });
}

// A second server of the same account with a token map: `tokens` are
// [{token, user, role}], written to its configuration file by digest.
async function serveWithTokens(tokens, args = []) {
  const entries = tokens.map(({ token, user, role }) =>
    `[[access_token]]\nsha256 = "${crypto.createHash('sha256').update(token).digest('hex')}"\n` +
    `user_id = ${user}\nrole = "${role}"\n`);
  const config = path.join(work, `tokens-${servers.length}.toml`);
  fs.writeFileSync(config, entries.join('\n'));
  return (await startServer(['--config', config, ...args])).url;
}

// ---- a small runner: every test runs, failures are listed at the end ----

const tests = [];
const test = (name, body) => tests.push({ name, body });

function check(condition, message) {
  if (!condition) throw new Error(message);
}

function equal(actual, expected, what) {
  const a = JSON.stringify(actual);
  const e = JSON.stringify(expected);
  if (a !== e) throw new Error(`${what}: expected ${e}, got ${a}`);
}

// Waits until `probe` returns a truthy value (or throws after `ms`).
async function until(probe, what, ms = 8000) {
  const end = Date.now() + ms;
  let last;
  for (;;) {
    try {
      last = await probe();
      if (last) return last;
    } catch (e) {
      last = e.message;
    }
    if (Date.now() > end) throw new Error(`timed out waiting for ${what} (last: ${JSON.stringify(last)})`);
    await new Promise((r) => setTimeout(r, 100));
  }
}

// ---- page helpers ----

const row = (page, key) => page.locator(`#tree .node[data-key="${key}"]`);
const label = (page, key) => row(page, key).locator('.label');

async function expand(page, key) {
  const item = page.locator(`#tree li[data-key="${key}"]`);
  if ((await item.getAttribute('aria-expanded')) !== 'true') await row(page, key).locator('.twisty').click();
  await until(async () => (await item.getAttribute('aria-expanded')) === 'true', `${key} to open`);
}

async function openPath(page, ...keys) {
  for (const key of keys) await expand(page, key);
}

async function shot(page, name) {
  await page.screenshot({ path: path.join(artifacts, `${name}.png`), fullPage: false });
}

async function errorText(page) {
  return (await page.locator('#error').isVisible()) ? page.locator('#error').innerText() : '';
}

// Pushes the page to check the stamps now (as its timer or focus would).
async function revalidate(page) {
  await page.locator('#refresh').click();
}


// ---- the tests ----

const { defineTests } = await import('./scenarios.mjs');
defineTests({ test, check, equal, until, sql, call, row, label, expand, openPath, shot, errorText,
              revalidate, serveWithTokens, kUser, kToken });

let browser;
let failed = 0;
try {
  execFileSync(cli, ['init', '--db', db, '--demo'], { stdio: 'ignore' });
  fs.writeFileSync(path.join(work, 'token'), `${kToken}\n`);
  const started = await startServer(['--example-user', String(kUser), '--token', path.join(work, 'token')]);
  browser = await chromium.launch({
    executablePath: process.env.LXM_CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run'],
  });
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.setDefaultTimeout(8000);
  page.on('console', (message) => {
    // The browser logs every HTTP error reply itself; the page's own faults
    // are what counts here.
    if (message.type() === 'error' && !message.text().startsWith('Failed to load resource')) {
      problems.push(`console: ${message.text()}`);
    }
  });
  page.on('dialog', (dialog) => dialog.accept(page.dialogAnswer ?? undefined));
  const env = { page, context, browser, url: started.url, problems };
  for (const { name, body } of tests) {
    const began = Date.now();
    try {
      await body(env);
      const error = await errorText(page);
      if (error) throw new Error(`the page shows an error: ${error}`);
      if (problems.length) throw new Error(problems.splice(0).join('; '));
      console.log(`ok    ${name} (${Date.now() - began} ms)`);
    } catch (error) {
      failed++;
      console.log(`FAIL  ${name}: ${error.message.split('\n')[0]}`);
      await shot(page, `failed-${name.replace(/[^a-z0-9]+/gi, '-')}`).catch(() => {});
      problems.splice(0);
    }
  }
} catch (error) {
  failed++;
  console.log(`FAIL  set-up: ${error.message}`);
} finally {
  if (browser) await browser.close();
  for (const server of servers) server.kill('SIGTERM');
  fs.rmSync(work, { recursive: true, force: true });
}
console.log(`${tests.length - failed} of ${tests.length} passed; screenshots in ${artifacts}`);
process.exit(failed ? 1 : 0);
