'use strict';
// Lists of files on the clipboard of Windows and of Linux desktops, through
// the program the package carries for each (vantle_native.exe, vantle-native).
// The program runs as a helper that answers JSON-RPC requests on its standard
// input and output (--serve), so a call costs a line each way instead of a
// process start. Requests go to a helper one at a time: it answers in order anyway,
// and with one request out, a reply without an id (a line it could not take)
// still has its owner, and a call that waits behind another has certainly
// not run. The program opens the clipboard once per request and never waits; a
// clipboard held by another program is ridden out here, because only the
// caller knows how long it can wait.

const { spawn } = require('node:child_process');
const { EventEmitter } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');

// The program the package carries for each platform it runs on.
const PACKAGED_PROGRAMS = { win32: 'vantle_native.exe', linux: 'vantle-native' };
const SERVE = '--serve';
// Retries after a busy clipboard, their first delay and the longest one:
// 10, 20, 40, … 200 ms, about one second in all.
const DEFAULT_RETRIES = 8;
const FIRST_DELAY_MS = 10;
const LONGEST_DELAY_MS = 200;
const DEFAULT_TIMEOUT_MS = 30000;
// Node's timers fire at once for a delay of 2³¹ ms or more.
const TIMER_LIMIT_MS = 2 ** 31;
// The session's error code for a clipboard call that failed, and the
// system's code in it when another program holds the clipboard open.
const CLIPBOARD_FAILURE = 1;
const ACCESS_DENIED = 5;
// One request at a time: every reply belongs to the helper's one request.
const REQUEST_ID = 1;
// The session's answer to a read whose owner never rendered its list: the
// read's thread still holds the clipboard open, so the helper answers
// nothing more and exits.
const OWNER_HUNG_REPORT = "Clipboard error: the clipboard's owner did not render the list within 10 s";
// A helper whose input has ended answers what it read; one still on its
// request after this long is stuck, and is killed.
const FINISH_GRACE_MS = 1000;
// The longest a helper takes to exit on its own once its input has ended and
// it has answered: the Linux session hands the list it owns to a detached
// child (which has 15 s to take it) and then serves the pastes under way
// for up to 60 s, the exe's bound on a whole transfer. One still running
// after that is ended.
const HELPER_END_BOUND_MS = (15 + 60) * 1000;
// How long the streams may stay open after the helper has exited: under Wine
// a service that the helper started can inherit them.
const STREAM_GRACE_MS = 500;
// A helper that change listeners need is started again after it ended: first
// after this delay, doubled while starts keep failing, up to the longest.
const FIRST_RESTART_MS = 100;
const LONGEST_RESTART_MS = 5000;
// The helper's fatal report is a few lines, but Wine may add lines of its own
// for as long as the helper runs: the end of its standard error is kept.
const STDERR_KEPT = 64 * 1024;

/**
 * A call that the exe refused or could not finish. `code` says which:
 * undefined (the exe refused the request; `osError` is set when a clipboard
 * call failed), 'EBUSY', 'ETIMEDOUT' or 'ESESSIONLOST'.
 */
class ClipboardError extends Error {
  constructor(message, { code, status = null, osError, report = message, stderr = '' }) {
    super(message);
    this.name = 'ClipboardError';
    this.status = status;
    this.report = report;
    this.stderr = stderr;
    if (osError !== undefined) this.osError = osError;
    if (code !== undefined) this.code = code;
  }
}

// The session's error reply as an error of this package.
function refusal(error, busy) {
  return new ClipboardError(`vantle_native failed: ${error.message}`, {
    code: busy ? 'EBUSY' : undefined,
    osError: error.data?.osError,
    report: error.message,
  });
}

function timeoutError(call) {
  const message = `vantle_native did not answer within ${call.timeoutMs} ms`;
  return new ClipboardError(message, { code: 'ETIMEDOUT', stderr: call.helper?.stderr });
}

function lostError(helper) {
  const { exitCode: status, signalCode } = helper.child;
  const ended = status === null ? `was ended by ${signalCode}` : `exited with status ${status}`;
  const message = `vantle_native's session ${ended} before it answered`;
  const report = helper.stderr.split('\n')[0] || message;
  return new ClipboardError(message, { code: 'ESESSIONLOST', status, report, stderr: helper.stderr });
}

// No path holds a NUL, Windows names hold no line breaks either (Linux names
// may), and UTF-8 cannot carry a lone surrogate: such a path could only
// arrive as another name.
function checkPath(file, index, windowsNames) {
  if (typeof file !== 'string') throw new TypeError(`files[${index}] is not a string`);
  if (file.length === 0) throw new TypeError(`files[${index}] is empty`);
  if (file.includes('\0')) throw new TypeError(`files[${index}] holds a NUL`);
  if (windowsNames && /[\r\n]/.test(file)) throw new TypeError(`files[${index}] holds a line break`);
  if (/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/.test(file)) {
    throw new TypeError(`files[${index}] holds an unpaired surrogate`);
  }
}

// A copy of the list, taken when the call is made. Array.from turns a hole
// of a sparse array into undefined, which is refused: forEach would skip it.
function checkedFiles(files, { windows }) {
  if (!Array.isArray(files)) throw new TypeError('files must be an array of paths');
  if (files.length === 0) throw new TypeError('files must hold at least one path');
  const checked = Array.from(files);
  checked.forEach((file, index) => checkPath(file, index, windows));
  return checked;
}

// Each setting's bound: a number of tries or milliseconds from 0 up to it,
// so that NaN and Infinity mean neither endless retries nor an instant timeout.
const SETTING_LIMITS = { retries: Infinity, timeoutMs: TIMER_LIMIT_MS };

function checkedSetting(name, value) {
  if (typeof value !== 'number' || !(value >= 0 && value < SETTING_LIMITS[name])) {
    throw new RangeError(`${name} must be a finite number from 0, below ${SETTING_LIMITS[name]}`);
  }
  return value;
}

function callSettings(options, defaults) {
  const { retries = defaults.retries, timeoutMs = defaults.timeoutMs } = options ?? {};
  return { retries: checkedSetting('retries', retries), timeoutMs: checkedSetting('timeoutMs', timeoutMs) };
}

// The program that serves a session and the command that starts it: the
// package's own program for this platform, run directly, unless the caller
// names another; with a launcher (a Wine loader), the Windows exe through it.
function helperProgram(options) {
  const { launcher = [] } = options ?? {};
  if (!Array.isArray(launcher) || launcher.some((part) => typeof part !== 'string')) {
    throw new TypeError('launcher must be an array of strings');
  }
  const packaged = PACKAGED_PROGRAMS[launcher.length > 0 ? 'win32' : process.platform];
  const { exePath = packaged && path.join(__dirname, packaged) } = options ?? {};
  if (exePath === undefined) {
    throw new Error(`vantle-native has no program for ${process.platform}: it runs on Windows and Linux; `
      + 'elsewhere pass exePath, and a launcher to run it through');
  }
  if (typeof exePath !== 'string') throw new TypeError('exePath must be a string');
  const windows = launcher.length > 0 || process.platform === 'win32';
  if (launcher.length > 0) {
    return { exePath, launcher, windows, command: launcher[0], args: [...launcher.slice(1), exePath, SERVE] };
  }
  return { exePath, launcher, windows, command: exePath, args: [SERVE] };
}

// Calls onLine with each line of the stream, without its line feed. A long
// line comes in many chunks and is joined once.
function readLines(stream, onLine) {
  let pieces = [];
  stream.on('data', (chunk) => {
    let start = 0;
    for (let end = chunk.indexOf(0x0a); end !== -1; end = chunk.indexOf(0x0a, start)) {
      pieces.push(chunk.subarray(start, end));
      onLine(Buffer.concat(pieces).toString('utf8'));
      pieces = [];
      start = end + 1;
    }
    if (start < chunk.length) pieces.push(chunk.subarray(start));
  });
}

// One run of the exe with --serve. It keeps Node alive only when told to.
class Helper {
  constructor({ command, args }, onLine, onEnd) {
    this.request = null; // what it is answering: a Call, or a change of watch
    this.watching = false; // what it was last asked to do about changes
    this.stderr = '';
    // Elsewhere than on Windows the helper has a process group of its own: a
    // Ctrl-C meant for the app must not end it before it has handed over
    // the copy it serves. It still ends with its input, when Node ends.
    this.child = spawn(command, args, { windowsHide: true, detached: process.platform !== 'win32' });
    const { child } = this;
    this.finishTimers = null; // set once its input has ended
    let ended = false;
    const end = (error) => {
      if (ended) return;
      ended = true;
      this.finishTimers?.forEach(clearTimeout);
      onEnd(this, error);
    };
    // A helper that has ended closes the pipe; its end says what happened.
    child.stdin.on('error', () => {});
    readLines(child.stdout, (line) => onLine(this, line));
    child.stderr.setEncoding('utf8').on('data', (text) => {
      this.stderr = (this.stderr + text).slice(-STDERR_KEPT);
    });
    child.on('error', end);
    child.on('close', () => end(null));
    child.on('exit', () => {
      setTimeout(() => [child.stdout, child.stderr].forEach((stream) => stream.destroy()), STREAM_GRACE_MS).unref();
    });
  }

  send(message) {
    this.child.stdin.write(`${JSON.stringify(message)}\n`);
  }

  // Ends its input, so that it answers what it read and exits on its own,
  // after it has handed over the list it serves and finished the pastes
  // under way: a kill would cut them off. It keeps Node alive for a grace,
  // as close() or a timed-out call awaits it. Then one still on its request
  // is stuck, and killed: that answer is no longer taken, and the work must
  // not land after calls made later. One that has answered finishes without
  // keeping Node alive, up to the session's own bound.
  finish() {
    if (this.finishTimers) return;
    this.keepAlive(true);
    this.child.stdin.end();
    const kill = () => this.child.kill('SIGKILL');
    this.finishTimers = [
      setTimeout(() => (this.request ? kill() : this.keepAlive(false)), FINISH_GRACE_MS),
      setTimeout(kill, HELPER_END_BOUND_MS).unref(),
    ];
  }

  keepAlive(on) {
    const { child } = this;
    for (const handle of [child, child.stdin, child.stdout, child.stderr]) {
      // A closed stream would keep the request for when it connects again.
      if (!handle.destroyed) handle[on ? 'ref' : 'unref']();
    }
  }
}

// A call of the API: its request, its tries and its deadline.
class Call {
  constructor(method, params, { retries, timeoutMs }) {
    this.message = { jsonrpc: '2.0', id: REQUEST_ID, method, params };
    this.retries = retries;
    this.timeoutMs = timeoutMs;
    this.tries = 0;
    this.helper = null; // the helper working on it
    this.timedOut = false;
    this.done = new Promise((resolve, reject) => {
      this.resolve = resolve;
      this.reject = reject;
    });
  }

  // The wait before the next try after a busy clipboard, or null when the
  // tries are spent or the time is up.
  nextDelay() {
    if (this.tries >= this.retries || this.timedOut) return null;
    this.tries += 1;
    return Math.min(FIRST_DELAY_MS * 2 ** (this.tries - 1), LONGEST_DELAY_MS);
  }
}

// Busy is the Windows clipboard's refusal: on Linux, 5 is an I/O error.
const isBusy = (error, { windows }) => windows && error.code === CLIPBOARD_FAILURE && error.data?.osError === ACCESS_DENIED;

/**
 * A helper for a run of calls, started when first needed and again after it
 * ended. It keeps Node alive while a call is pending or a 'change' listener
 * is there, and watches the clipboard while a 'change' listener is there.
 */
class Session extends EventEmitter {
  #program;
  #defaults;
  #helper = null; // the helper that takes new requests
  #running = new Set(); // every helper not yet ended, finishing ones included
  #queue = []; // calls waiting for the helper, the oldest first
  #pending = 0; // calls made and not yet settled
  #closed = null; // close()'s promise, once it was asked
  #resolveClosed = null;
  #restartTimer = null;
  #restartDelay = FIRST_RESTART_MS;

  constructor(options) {
    super();
    this.#program = helperProgram(options);
    this.#defaults = callSettings(options, { retries: DEFAULT_RETRIES, timeoutMs: DEFAULT_TIMEOUT_MS });
    // 'newListener' comes before the listener is added: look once it is.
    const listenersMoved = (event) => {
      if (event === 'change') queueMicrotask(() => this.#send());
    };
    this.on('newListener', listenersMoved).on('removeListener', listenersMoved);
  }

  /** The process id of the helper that takes new calls, if one runs. */
  get pid() {
    return this.#helper?.child.pid;
  }

  async copyFiles(files, options) {
    await this.#call('copyFiles', { files: checkedFiles(files, this.#program) }, options);
  }

  async cutFiles(files, options) {
    await this.#call('cutFiles', { files: checkedFiles(files, this.#program) }, options);
  }

  async readFiles(options) {
    return this.#call('readFiles', {}, options);
  }

  /** Lets the calls already made finish, then ends the helper; resolves once every helper has exited. */
  close() {
    this.#closed ??= new Promise((resolve) => {
      this.#resolveClosed = resolve;
    });
    this.#closeWhenIdle();
    return this.#closed;
  }

  #call(method, params, options) {
    if (this.#closed) throw new Error('the session is closed');
    const call = new Call(method, params, callSettings(options, this.#defaults));
    call.timer = setTimeout(() => this.#timedOut(call), call.timeoutMs);
    this.#pending += 1;
    this.#queue.push(call);
    this.#send();
    call.behind = this.#helper?.request; // what the helper works on as the call is made
    return call.done;
  }

  #watchWanted() {
    return !this.#closed && this.listenerCount('change') > 0;
  }

  #keepAlive() {
    this.#helper?.keepAlive(this.#pending > 0 || this.#watchWanted());
  }

  // Gives the helper its next request when it is free: first what it should
  // do about changes, then the oldest call, once every call before it has
  // settled (a helper that timed out may still answer its call) and its
  // wait after a busy clipboard is over. Starts a helper for waiting calls
  // at once, and for change listeners unless a restart is already due.
  #send() {
    const watch = this.#watchWanted();
    if (!watch) this.#cancelRestart();
    const wanted = this.#queue.length > 0 || (watch && this.#restartTimer === null);
    if (this.#helper === null && wanted) this.#start();
    this.#keepAlive();
    const helper = this.#helper;
    if (helper === null || helper.request !== null) return;
    if (helper.watching !== watch) {
      helper.watching = watch;
      helper.request = { message: { jsonrpc: '2.0', id: REQUEST_ID, method: 'watch', params: { enabled: watch } } };
    } else if (!this.#callUnderWay() && this.#queue.length > 0 && !this.#queue[0].backoff) {
      helper.request = this.#queue.shift();
      helper.request.helper = helper;
    } else {
      return;
    }
    helper.send(helper.request.message);
  }

  // One call at a time, on whichever helper, so that calls take effect in order.
  #callUnderWay() {
    return [...this.#running].some((helper) => helper.request instanceof Call);
  }

  #start() {
    this.#cancelRestart();
    const { exePath } = this.#program;
    if (!fs.existsSync(exePath)) {
      this.#startFailed(new Error(`${path.basename(exePath)} not found at ${exePath}`));
      return;
    }
    this.#helper = new Helper(this.#program, (helper, line) => this.#received(helper, line),
      (helper, error) => this.#ended(helper, error));
    this.#running.add(this.#helper);
  }

  // The calls waiting would fail alike: they fail now.
  #startFailed(error) {
    for (const call of this.#queue.splice(0)) this.#settle(call, error);
    this.#notWatching(error);
  }

  // No helper watches for the listeners: they hear why if they listen for
  // 'error', and a helper is tried again later.
  #notWatching(error) {
    if (!this.#watchWanted()) return;
    if (this.listenerCount('error') > 0) this.emit('error', error);
    this.#restartLater();
  }

  #restartLater() {
    if (!this.#watchWanted() || this.#restartTimer !== null) return;
    this.#restartTimer = setTimeout(() => {
      this.#restartTimer = null;
      this.#send();
    }, this.#restartDelay);
    this.#restartDelay = Math.min(2 * this.#restartDelay, LONGEST_RESTART_MS);
  }

  #cancelRestart() {
    clearTimeout(this.#restartTimer);
    this.#restartTimer = null;
  }

  #received(helper, line) {
    let message;
    try {
      message = JSON.parse(line);
    } catch {
      // A helper that writes something else cannot be trusted with an answer.
      helper.child.kill('SIGKILL');
      return;
    }
    if (message.method === 'changed') {
      // The helper that takes new calls reports the changes: one that is
      // finishing may still be watching too, and would report them twice.
      const { sequence, hasFiles } = message.params;
      if (helper === this.#helper) this.emit('change', { sequence, hasFiles });
      return;
    }
    const { request } = helper;
    helper.request = null;
    if (request instanceof Call) {
      this.#answered(request, message);
      // The next call goes to a new helper, not to this one as it exits.
      if (message.error?.message === OWNER_HUNG_REPORT) return this.#retire(helper);
    } else if (message.error) {
      this.#notWatching(refusal(message.error, false));
      return this.#retire(helper);
    } else {
      this.#restartDelay = FIRST_RESTART_MS;
    }
    this.#send();
  }

  #answered(call, reply) {
    call.helper = null;
    if (!reply.error) return this.#settle(call, null, reply.result);
    const busy = isBusy(reply.error, this.#program);
    const delay = busy ? call.nextDelay() : null;
    if (delay === null) return this.#settle(call, refusal(reply.error, busy));
    // It waits at the head of the queue: a later call must not take effect first.
    this.#queue.unshift(call);
    call.backoff = setTimeout(() => {
      call.backoff = null;
      this.#send();
    }, delay);
  }

  // A call past its time: one that waits is dropped; the helper working on
  // one is replaced, and its answer, if it still comes, decides the call.
  // A call's time is its own: a helper working on another call within that
  // call's time is left alone.
  #timedOut(call) {
    call.timedOut = true;
    if (call.helper) return this.#retire(call.helper);
    const queued = this.#queue.indexOf(call);
    if (queued !== -1) this.#queue.splice(queued, 1);
    this.#settle(call, timeoutError(call));
    // A helper still on the change of watch it was on when this call was
    // made (a change that has no time of its own) has not answered it for
    // all of this call's time: it is stuck, and a new one takes the calls.
    const helper = this.#helper;
    const stuck = helper?.request && helper.request === call.behind && !(call.behind instanceof Call);
    if (stuck) this.#retire(helper);
    else this.#send();
  }

  #retire(helper) {
    if (helper === this.#helper) this.#helper = null;
    helper.finish();
    this.#send();
  }

  #ended(helper, error) {
    this.#running.delete(helper);
    const { request } = helper;
    helper.request = null;
    if (request instanceof Call) {
      this.#settle(request, error ?? (request.timedOut ? timeoutError(request) : lostError(helper)));
    }
    if (helper === this.#helper) {
      this.#helper = null;
      // The calls waiting have not run: a new helper takes them.
      if (error) this.#startFailed(error);
      else if (this.#queue.length === 0) this.#restartLater();
    }
    this.#send();
    this.#closeWhenIdle();
  }

  #settle(call, error, result) {
    clearTimeout(call.timer);
    clearTimeout(call.backoff);
    this.#pending -= 1;
    if (error) call.reject(error);
    else call.resolve(result);
    this.#keepAlive();
    this.#closeWhenIdle();
  }

  #closeWhenIdle() {
    if (!this.#closed || this.#pending > 0) return;
    this.#cancelRestart();
    if (this.#helper) this.#retire(this.#helper);
    if (this.#running.size === 0) this.#resolveClosed();
  }
}

/** A session of its own, for a run of calls and for change events; close() ends it. */
function openSession(options) {
  return new Session(options);
}

// The top-level functions share one session per exe and launcher; retries
// and timeoutMs stay with each call.
const sharedSessions = new Map();

function sharedSession(options) {
  const { exePath, launcher } = helperProgram(options);
  const key = JSON.stringify([exePath, launcher]);
  if (!sharedSessions.has(key)) sharedSessions.set(key, new Session({ exePath, launcher }));
  return sharedSessions.get(key);
}

async function copyFiles(files, options) {
  await sharedSession(options).copyFiles(files, options);
}

async function cutFiles(files, options) {
  await sharedSession(options).cutFiles(files, options);
}

async function readFiles(options) {
  return sharedSession(options).readFiles(options);
}

/** Calls listener with each change of the clipboard until the returned function is called. */
function onChange(listener, options) {
  if (typeof listener !== 'function') throw new TypeError('listener must be a function');
  const session = sharedSession(options);
  session.on('change', listener);
  return () => {
    session.off('change', listener);
  };
}

module.exports = { openSession, onChange, copyFiles, cutFiles, readFiles, ClipboardError };
