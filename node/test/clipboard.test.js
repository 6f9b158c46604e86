'use strict';
// The package against the real exe under Wine. Started by the end-to-end
// suite (tests/e2e/test_node_caller.py), which gives the Wine environment and:
//   VANTLE_WINE    the Wine loader     VANTLE_EXE   the built exe
//   VANTLE_HELPER  clip_helper.exe     VANTLE_WORK  a folder for scratch files
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { test } = require('node:test');

const { copyFiles, cutFiles, readFiles, ClipboardError } = require('..');

const env = process.env;
const options = { exePath: env.VANTLE_EXE, launcher: [env.VANTLE_WINE] };
const windowsPath = (file) => `Z:${file.replaceAll('/', '\\')}`;

// A clip_helper command; its streams go nowhere, so no Wine service can hold a pipe.
const helper = (...args) => spawn(env.VANTLE_WINE, [env.VANTLE_HELPER, ...args], { stdio: 'ignore' });
const helperDone = (...args) => assert.equal(spawnSync(env.VANTLE_WINE, [env.VANTLE_HELPER, ...args], { stdio: 'ignore' }).status, 0);

// Holds the clipboard open from another process until release() is called.
async function holdClipboard() {
  const ready = path.join(env.VANTLE_WORK, 'node-hold.ready');
  const release = path.join(env.VANTLE_WORK, 'node-hold.release');
  for (const file of [ready, release]) fs.rmSync(file, { force: true });
  const holder = helper('hold', windowsPath(ready), windowsPath(release));
  while (!fs.existsSync(ready)) await new Promise((resolve) => setTimeout(resolve, 20));
  const ended = new Promise((resolve) => holder.on('exit', resolve));
  return async () => {
    fs.writeFileSync(release, '');
    await ended;
  };
}

test('copied and cut lists read back with their effect', async () => {
  const files = ['Z:\\tmp\\Фото 😀.png', 'C:\\a;;;b\\c d', 'D:\\文件'];
  await copyFiles(files, options);
  assert.deepEqual(await readFiles(options), { effect: 'copy', files });
  await cutFiles(files.slice(1), options);
  assert.deepEqual(await readFiles(options), { effect: 'move', files: files.slice(1) });
});

test('a clipboard without a file list reads as null', async () => {
  helperDone('put-text', 'only text');
  assert.equal(await readFiles(options), null);
});

test('a clipboard held for a while is ridden out', async () => {
  const release = await holdClipboard();
  setTimeout(release, 300);
  await copyFiles(['Z:\\after'], options);
  assert.deepEqual(await readFiles(options), { effect: 'copy', files: ['Z:\\after'] });
});

test('without retries a held clipboard is EBUSY', async () => {
  const release = await holdClipboard();
  try {
    const error = await cutFiles(['Z:\\x'], { ...options, retries: 0 }).then(() => null, (e) => e);
    assert.ok(error instanceof ClipboardError, String(error));
    assert.equal(error.code, 'EBUSY');
    assert.equal(error.status, 101);
    assert.equal(error.osError, 5);
    assert.match(error.report, /^thread 'main' panicked at .*src\/main:56:46$/);
  } finally {
    await release();
  }
});

test('bad input is a TypeError before anything runs', async () => {
  const missing = { ...options, exePath: '/nonexistent/vantle_native.exe' };
  for (const files of ['Z:\\a', [], [42], [''], ['a\nb'], ['a\r'], ['a\0'], ['\uD800']]) {
    await assert.rejects(copyFiles(files, missing), TypeError, JSON.stringify(files));
  }
  await assert.rejects(readFiles(missing), /vantle_native\.exe not found at \/nonexistent/);
  if (process.platform !== 'win32') {
    await assert.rejects(readFiles({ exePath: env.VANTLE_EXE }), /runs on Windows/);
  }
});
