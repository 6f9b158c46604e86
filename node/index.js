'use strict';
// Lists of files on the Windows clipboard, through vantle_native.exe: one
// run of the exe per call, the list on its standard input, its report parsed
// into an error. The exe itself opens the clipboard once and never waits; a
// clipboard held by another program is ridden out here, because only the
// caller knows how long it can wait.

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const DEFAULT_EXE = path.join(__dirname, 'vantle_native.exe');
// Retries after a busy clipboard, their first delay and the longest one:
// 10, 20, 40, … 200 ms, about one second in all.
const DEFAULT_RETRIES = 8;
const FIRST_DELAY_MS = 10;
const LONGEST_DELAY_MS = 200;
const DEFAULT_TIMEOUT_MS = 30000;
const EXIT_FATAL = 101;
const ACCESS_DENIED = 5;
const EFFECTS = new Set(['copy', 'move', 'link']);
const NO_FILE_LIST = 'none';

class ClipboardError extends Error {
  constructor(status, stderr) {
    const report = stderr.split('\n')[0];
    super(`vantle_native failed (status ${status}): ${report}`);
    this.name = 'ClipboardError';
    this.status = status;
    this.report = report;
    this.stderr = stderr;
    const osError = /\(os error (-?\d+)\)/.exec(report);
    if (osError) this.osError = Number(osError[1]);
  }
}

function checkFiles(files) {
  if (!Array.isArray(files)) throw new TypeError('files must be an array of paths');
  if (files.length === 0) throw new TypeError('files must hold at least one path');
  files.forEach((file, index) => {
    if (typeof file !== 'string') throw new TypeError(`files[${index}] is not a string`);
    if (file.length === 0) throw new TypeError(`files[${index}] is empty`);
    if (/[\r\n\0]/.test(file)) throw new TypeError(`files[${index}] holds a line break or NUL`);
    // UTF-8 cannot carry a lone surrogate: it would arrive as another name.
    if (/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/.test(file)) {
      throw new TypeError(`files[${index}] holds an unpaired surrogate`);
    }
  });
}

function settings(options = {}) {
  const exePath = options.exePath ?? DEFAULT_EXE;
  const launcher = options.launcher ?? [];
  if (!Array.isArray(launcher) || launcher.some((part) => typeof part !== 'string')) {
    throw new TypeError('launcher must be an array of strings');
  }
  if (launcher.length === 0 && process.platform !== 'win32') {
    throw new Error('vantle_native.exe runs on Windows; elsewhere pass a launcher, for example ["wine"]');
  }
  return {
    exePath,
    launcher,
    retries: options.retries ?? DEFAULT_RETRIES,
    timeoutMs: options.timeoutMs ?? DEFAULT_TIMEOUT_MS,
  };
}

// How long the streams may stay open after the exe has ended. Under Wine a
// service that the run started can inherit the pipes and hold them open.
const STREAM_GRACE_MS = 500;

// One run of the exe: its standard output on success, else a rejection.
function runOnce({ exePath, launcher, timeoutMs }, args, input) {
  return new Promise((resolve, reject) => {
    const [command, ...prefix] = launcher.length > 0 ? launcher : [exePath];
    const commandArgs = launcher.length > 0 ? [...prefix, exePath, ...args] : args;
    const child = spawn(command, commandArgs, { windowsHide: true, stdio: ['pipe', 'pipe', 'pipe'] });
    const stdout = [];
    const stderr = [];
    let status = null;
    let timedOut = false;
    const timer = setTimeout(() => {
      timedOut = true;
      child.kill('SIGKILL');
    }, timeoutMs);
    let grace = null;
    const settle = () => {
      clearTimeout(timer);
      clearTimeout(grace);
      if (timedOut) {
        const error = new Error(`vantle_native did not finish within ${timeoutMs} ms`);
        error.code = 'ETIMEDOUT';
        reject(error);
      } else if (status === 0) {
        resolve(Buffer.concat(stdout).toString('utf8'));
      } else {
        reject(new ClipboardError(status, Buffer.concat(stderr).toString('utf8')));
      }
    };
    child.stdout.on('data', (chunk) => stdout.push(chunk));
    child.stderr.on('data', (chunk) => stderr.push(chunk));
    // A child that ends before it has read its input closes the pipe; its
    // status tells what happened.
    child.stdin.on('error', () => {});
    child.stdin.end(input);
    child.on('error', (error) => {
      clearTimeout(timer);
      reject(new Error(`cannot start ${command}: ${error.message}`));
    });
    child.on('exit', (code) => {
      status = code;
      grace = setTimeout(() => {
        child.stdout.destroy();
        child.stderr.destroy();
        settle();
      }, STREAM_GRACE_MS);
    });
    child.on('close', settle);
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const isBusy = (error) => error instanceof ClipboardError && error.status === EXIT_FATAL && error.osError === ACCESS_DENIED;

async function run(options, args, input = '') {
  const setup = settings(options);
  if (!fs.existsSync(setup.exePath)) throw new Error(`vantle_native.exe not found at ${setup.exePath}`);
  for (let attempt = 0; ; attempt += 1) {
    try {
      return await runOnce(setup, args, input);
    } catch (error) {
      if (!isBusy(error)) throw error;
      if (attempt >= setup.retries) {
        error.code = 'EBUSY';
        throw error;
      }
      await sleep(Math.min(FIRST_DELAY_MS * 2 ** attempt, LONGEST_DELAY_MS));
    }
  }
}

const asInput = (files) => files.map((file) => `${file}\n`).join('');

async function copyFiles(files, options) {
  checkFiles(files);
  await run(options, ['--copy_files_stdin'], asInput(files));
}

async function cutFiles(files, options) {
  checkFiles(files);
  await run(options, ['--cut_files_stdin'], asInput(files));
}

async function readFiles(options) {
  const lines = (await run(options, ['--read_files_with_effect'])).split('\n');
  lines.pop(); // every line ends with a line feed
  const [effect, ...files] = lines;
  if (effect === NO_FILE_LIST) return null;
  if (!EFFECTS.has(effect)) throw new Error(`unexpected output from vantle_native: ${JSON.stringify(effect)}`);
  return { effect, files };
}

module.exports = { copyFiles, cutFiles, readFiles, ClipboardError };
