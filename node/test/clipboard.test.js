'use strict';
// The package against the real program, on Wine, an X11 display or Wayland.
// Started by the end-to-end suites (tests/e2e/test_node_caller.py under Wine,
// tests/e2e_linux/test_node_package.py on X11, e2e_wayland/ on sway), which
// give the display and:
//   VANTLE_PACKAGE the package to test (by default this folder's)
//   VANTLE_WINE    the Wine loader     VANTLE_EXE   the built exe
//   VANTLE_HELPER  clip_helper.exe     VANTLE_WORK  a folder for scratch files
// Without VANTLE_WINE the package runs its own Linux program, as an app has
// it, and xclip (wl-copy) stands for the desktop's other programs.
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');
const { test } = require('node:test');

const env = process.env;
const PACKAGE = env.VANTLE_PACKAGE ?? path.join(__dirname, '..');
const { copyFiles, cutFiles, readFiles, openSession, onChange, ClipboardError } = require(PACKAGE);

const wine = env.VANTLE_WINE !== undefined;
const options = wine ? { exePath: env.VANTLE_EXE, launcher: [env.VANTLE_WINE] } : {};
// An absolute path of the platform's own form.
const at = (name) => (wine ? `Z:\\tmp\\${name}` : `/tmp/${name}`);
const windowsPath = (file) => `Z:${file.replaceAll('/', '\\')}`;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
// Waits for what other processes do, with a wide bound; a failure says what it saw.
async function until(done, what, ms = 30000) {
  for (const start = Date.now(); !done(); await sleep(20)) if (Date.now() - start >= ms) assert.fail(`${what()} after ${ms} ms`);
}

// A clip_helper command; its streams go nowhere, so no Wine service can hold a pipe.
const helper = (...args) => spawn(env.VANTLE_WINE, [env.VANTLE_HELPER, ...args], { stdio: 'ignore' });

// Another program puts text on the clipboard: xclip on X11, wl-copy on a
// Wayland session (no DISPLAY). Each serves it from the process it leaves in
// the background, after it has exited itself.
const [putText, getText] = env.DISPLAY === undefined ? [['wl-copy'], ['wl-paste', '-n']]
  : [['xclip', '-selection', 'clipboard', '-i'], ['xclip', '-selection', 'clipboard', '-o']];
async function otherProgramCopies(text) {
  const done = wine ? spawnSync(env.VANTLE_WINE, [env.VANTLE_HELPER, 'put-text', text], { stdio: 'ignore' })
    : spawnSync(putText[0], putText.slice(1), { input: text, stdio: ['pipe', 'ignore', 'ignore'] });
  assert.equal(done.status, 0);
  const served = () => spawnSync(getText[0], getText.slice(1), { encoding: 'utf8' }).stdout;
  await until(() => wine || served() === text, () => `${putText[0]} took ${JSON.stringify(text)}, the clipboard holds ${JSON.stringify(served())}`);
}

// Holds the clipboard open from another process until release() is called;
// with 'hung-owner', owns it with a list it never renders.
async function holdClipboard(how = 'hold') {
  const ready = path.join(env.VANTLE_WORK, 'node-hold.ready');
  const release = path.join(env.VANTLE_WORK, 'node-hold.release');
  for (const file of [ready, release]) fs.rmSync(file, { force: true });
  const holder = helper(how, windowsPath(ready), windowsPath(release));
  await until(() => fs.existsSync(ready), () => `clip_helper ${how} did not start`);
  const ended = new Promise((resolve) => holder.on('exit', resolve));
  return async () => {
    fs.writeFileSync(release, '');
    await ended;
  };
}

// A process is gone once it has exited, whether or not its parent reaped it.
function gone(pid) {
  try {
    return fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1][0] === 'Z';
  } catch {
    return true;
  }
}

const childrenOf = (pid) => fs.readdirSync('/proc').filter((entry) => /^\d+$/.test(entry) && !gone(entry)
  && fs.readFileSync(`/proc/${entry}/stat`, 'utf8').split(') ')[1].split(' ')[1] === String(pid)).map(Number);

// Other programs change the clipboard until the listener has heard one.
async function changeUntilHeard(changes) {
  for (let tries = 0; changes.length === 0; tries += 1) {
    assert.ok(tries < 30, 'no change was reported');
    await otherProgramCopies(`change ${tries}`);
    await sleep(300);
  }
}

test('copied and cut lists read back with their effect, through the shared session and an own one', async (t) => {
  const session = openSession(options);
  t.after(() => session.close());
  const withBom = wine ? '\uFEFFD:\\文件 with a leading BOM' : at('\uFEFF文件 after a BOM');
  const files = [at('Фото 😀.png'), at('a;;;b c d'), withBom, at('x'), ...(wine ? [] : [at('two\nlines')])];
  for (const [route, api, callOptions] of [['shared', { copyFiles, cutFiles, readFiles }, options], ['own', session]]) {
    await api.copyFiles(files, callOptions);
    const copied = await api.readFiles(callOptions);
    assert.deepEqual(copied, { effect: 'copy', files, sequence: copied.sequence }, route);
    await api.cutFiles(files.slice(1), callOptions);
    const cut = await api.readFiles(callOptions);
    assert.deepEqual(cut, { effect: 'move', files: files.slice(1), sequence: cut.sequence }, route);
    assert.ok(cut.sequence > copied.sequence, route);
  }
  await otherProgramCopies('only text');
  assert.equal(await readFiles(options), null);
});

test('a busy clipboard is ridden out in the order of the calls, or EBUSY once the retries are spent', {
  skip: !wine && 'no program can hold the X11 clipboard closed to others',
}, async () => {
  await readFiles(options); // the helper has started: the first call meets the held clipboard at once
  const held = await holdClipboard();
  const first = copyFiles([at('first')], { ...options, retries: 100 });
  // A call sent while the first waits to try again would be refused at the
  // held clipboard and spend its few retries; the wait only gives it time to.
  const second = copyFiles([at('second')], { ...options, retries: 3 });
  await sleep(1000);
  await Promise.all([first, second, held()]);
  assert.deepEqual((await readFiles(options)).files, [at('second')]);

  const release = await holdClipboard();
  try {
    const error = await cutFiles([at('x')], { ...options, retries: 0 }).then(() => null, (e) => e);
    assert.ok(error instanceof ClipboardError, String(error));
    assert.deepEqual({ ...error }, { name: 'ClipboardError', code: 'EBUSY', status: null, osError: 5, report: error.report, stderr: '' });
    assert.match(error.report, /^Clipboard error: .+ \(os error 5\)$/);
  } finally {
    await release();
  }
});

test('after a read that a hung owner never rendered, the next call goes to a new helper', {
  skip: !wine && 'only the Windows clipboard renders on demand',
}, async () => {
  const hung = "Clipboard error: the clipboard's owner did not render the list within 10 s";
  // Wine's desktop now and then replaces such an owner's list soon after it
  // came: then the first read gets that instead, and the owner is set up again.
  for (let attempt = 1; ; attempt += 1) {
    const release = await holdClipboard('hung-owner');
    const session = openSession({ ...options, retries: 1000 });
    try {
      const first = await session.readFiles().then((list) => list, (e) => e);
      if (first?.report !== hung && attempt < 3) continue;
      assert.equal(first?.report, hung, String(first));
      // Made at once: the helper that answered is on its way out.
      const next = await session.readFiles().then((list) => list, (e) => e);
      assert.equal(next?.report, hung, String(next));
      return;
    } finally {
      await release();
      await session.close();
    }
  }
});

test('bad input is a TypeError or RangeError before anything runs', async () => {
  const missing = { ...options, exePath: '/nonexistent/vantle_native.exe' };
  const holes = ['Z:\\a', , 'Z:\\b'];
  // Line breaks are no Windows names; on Linux they are names like others.
  const lineBreaks = wine ? [['a\nb'], ['a\r']] : [];
  for (const files of ['Z:\\a', [], [42], [''], ...lineBreaks, ['a\0'], ['\uD800'], ['\uDC00x'], holes, new Array(1)]) {
    await assert.rejects(copyFiles(files, missing), TypeError, JSON.stringify(files));
  }
  const settings = [['retries', -1], ['retries', NaN], ['retries', Infinity], ['retries', '3'],
    ['timeoutMs', -1], ['timeoutMs', NaN], ['timeoutMs', Infinity], ['timeoutMs', 2 ** 31], ['timeoutMs', null]];
  for (const [name, value] of settings) {
    await assert.rejects(readFiles({ ...missing, [name]: value }), RangeError, `${name} ${value}`);
    assert.throws(() => openSession({ ...missing, [name]: value }), RangeError, `${name} ${value}`);
  }
  await assert.rejects(readFiles(missing), /vantle_native\.exe not found at \/nonexistent/);
  const elsewhere = script(`Object.defineProperty(process, 'platform', { value: 'darwin' });
    v.readFiles().catch((error) => console.log(error.message));`);
  assert.match(await elsewhere.next(), /^vantle-native has no program for darwin: it runs on Windows and Linux/);
});

test('change events: another program\'s changes and our own, while a listener is there', async (t) => {
  const session = openSession(options);
  t.after(() => session.close());
  const changes = [];
  const listener = (change) => changes.push(change);
  session.on('change', listener);
  await session.readFiles(); // answered after the watch was turned on
  await otherProgramCopies('from another program');
  // A list that an earlier test handed over may still come first.
  await until(() => changes.some((change) => !change.hasFiles), () => `no text change in ${JSON.stringify(changes)}`);
  await session.copyFiles([at('ours')]);
  const { sequence } = await session.readFiles();
  await until(() => changes.some((change) => change.sequence === sequence), () => `no ${sequence} in ${JSON.stringify(changes)}`);
  assert.deepEqual(changes.find((change) => change.sequence === sequence), { sequence, hasFiles: true });
  assert.equal(new Set(changes.map((change) => change.sequence)).size, changes.length);

  const shared = [];
  const stop = onChange((change) => shared.push(change), options);
  await readFiles(options);
  await copyFiles([at('shared')], options);
  const read = await readFiles(options);
  await until(() => shared.length > 0, () => `read ${JSON.stringify(read)}, heard no change`);
  stop();
  assert.deepEqual(shared, [{ sequence: read.sequence, hasFiles: true }]);
});

test('the helper: lost, timed out, closed', async (t) => {
  await t.test('a helper that dies fails its call with ESESSIONLOST; the next call and the listeners go on', async () => {
    const session = openSession(options);
    const changes = [];
    session.on('change', (change) => changes.push(change));
    await session.readFiles();
    const first = session.pid;
    process.kill(first, 'SIGSTOP'); // so that it cannot answer before it dies
    const lost = session.copyFiles([at('lost')]);
    process.kill(first, 'SIGKILL');
    await assert.rejects(lost, { name: 'ClipboardError', code: 'ESESSIONLOST', status: null });
    await session.copyFiles([at('after the loss')]);
    assert.notEqual(session.pid, first);

    process.kill(session.pid, 'SIGKILL');
    changes.length = 0;
    await changeUntilHeard(changes);
    await session.close();
  });

  await t.test('a call past its time is ETIMEDOUT and its helper replaced; one whose work is done is not', async () => {
    const session = openSession(options);
    await session.readFiles();
    const stopped = session.pid;
    process.kill(stopped, 'SIGSTOP'); // it answers when told to, as after a slow owner
    const slow = session.copyFiles([at('slow')], { timeoutMs: 60000 });
    await assert.rejects(session.readFiles({ timeoutMs: 100 }), { name: 'ClipboardError', code: 'ETIMEDOUT' });
    process.kill(stopped, 'SIGCONT');
    await slow;
    assert.equal(session.pid, stopped, 'a call that timed out waiting replaced the helper of the call before it');
    process.kill(stopped, 'SIGSTOP');
    await assert.rejects(session.readFiles({ timeoutMs: 100 }), { name: 'ClipboardError', code: 'ETIMEDOUT' });
    assert.ok(gone(stopped));

    await session.readFiles();
    const before = session.pid;
    const files = Array.from({ length: 20000 }, (_, i) => at(`in time ${i}`));
    await session.copyFiles(files, { timeoutMs: 0 });
    assert.deepEqual((await session.readFiles()).files, files);
    assert.notEqual(session.pid, before, 'the helper was not replaced');
    await session.close();
  });

  await t.test('a helper stuck on a change of watch is replaced when a call waiting behind it times out', async () => {
    const session = openSession(options);
    await session.readFiles();
    const stuck = session.pid;
    process.kill(stuck, 'SIGSTOP');
    session.on('change', () => {});
    await assert.rejects(session.readFiles({ timeoutMs: 300 }), { code: 'ETIMEDOUT' });
    await session.readFiles();
    assert.notEqual(session.pid, stuck);
    await session.close();
    assert.ok(gone(stuck));
  });

  await t.test('close() answers the calls already made, ends the helper, and refuses later calls', async () => {
    const session = openSession(options);
    await session.readFiles();
    const { pid } = session;
    const made = session.copyFiles([at('before close')]);
    await session.close();
    await made;
    assert.ok(gone(pid));
    await assert.rejects(session.readFiles(), /closed/);
    assert.deepEqual((await readFiles(options)).files, [at('before close')]);
  });
});

// Runs a script that has the package as `v` and the options as `o`; gives
// its process, its lines of output as they come, and its exit: the time
// and status, or a failure if it has not exited within `ms`.
function script(body) {
  const prelude = `const v = require(${JSON.stringify(PACKAGE)}); const o = ${JSON.stringify(options)};\n`;
  const child = spawn(process.execPath, ['-e', prelude + body], { stdio: ['ignore', 'pipe', 'inherit'] });
  const lines = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve({ code, at: Date.now() })));
  const exit = (ms) => Promise.race([exited, new Promise((resolve) => setTimeout(resolve, ms).unref()).then(() => {
    child.kill('SIGKILL');
    assert.fail(`the script was still running after ${ms} ms`);
  })]);
  return { child, next: async () => (await lines.next()).value, exit };
}

test('Node is kept alive by pending calls and listeners only', async (t) => {
  await t.test('a script that awaits a call exits after its last line', async () => {
    const run = script(`v.copyFiles([${JSON.stringify(at('last'))}], o).then(() => console.log('last line'));`);
    assert.equal(await run.next(), 'last line');
    assert.equal((await run.exit(10000)).code, 0);
  });

  await t.test('a subscriber is kept alive until it unsubscribes', async () => {
    const run = script(`const stop = v.onChange((change) => { console.log(JSON.stringify(change)); stop(); }, o);
      v.readFiles(o).then(() => console.log('watching'));`);
    assert.equal(await run.next(), 'watching');
    await otherProgramCopies('for the subscriber');
    assert.equal(JSON.parse(await run.next()).hasFiles, false);
    assert.equal((await run.exit(10000)).code, 0);
  });

  await t.test('killed outright, Node leaves nothing behind: its helper ends', async () => {
    const run = script(`const s = v.openSession(o); s.on('change', () => {}); s.readFiles().then(() => console.log('ready'));`);
    assert.equal(await run.next(), 'ready');
    const helpers = childrenOf(run.child.pid);
    assert.equal(helpers.length, 1);
    run.child.kill('SIGKILL');
    const { at } = await run.exit(10000);
    await until(() => helpers.every(gone), () => `the helper ${helpers} outlived Node by ${Date.now() - at} ms`, 10000);
  });
});
