#!/usr/bin/env node
// Times the Node.js package (node/) under Wine and prints its figures as one
// JSON object. bench/bench.py runs it with the Wine environment, a window
// alive, and:
//   VANTLE_WINE  the Wine loader     VANTLE_EXE  the built exe
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const { performance } = require('node:perf_hooks');
const { copyFiles, readFiles, openSession } = require('../node');

const options = { exePath: process.env.VANTLE_EXE, launcher: [process.env.VANTLE_WINE] };
// Calls through the shared session and runs of the exe alternate in rounds,
// so that a slow spell of the machine weighs on both alike.
const ROUNDS = 5;
const SESSION_CALLS = 200;
const ONE_SHOT_RUNS = 10;
const CHANGES = 100;
// Between changes, so that the last one's notice is not taken for the next.
const CHANGE_GAP_MS = 20;
const LARGE_LIST = 100000;
const LARGE_RUNS = 5;
const MEMORY_CALLS = { first: 100, all: 10000 };

const name = (i) => `C:\\bench\\${String(i).padStart(6, '0')}\\${'n'.repeat(44)}`; // 60 units
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 === 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function timed(action) {
  const start = performance.now();
  await action();
  return performance.now() - start;
}

// One run of the exe for one call, as the package made them before it had a
// session: the list on standard input, the answer read to its end.
function runExe(args, input) {
  return new Promise((resolve, reject) => {
    const [loader] = options.launcher;
    const child = spawn(loader, [options.exePath, ...args], { stdio: ['pipe', 'pipe', 'ignore'] });
    child.stdout.resume();
    child.stdin.end(input);
    child.on('close', (status) => (status === 0 ? resolve() : reject(new Error(`${args[0]}: status ${status}`))));
  });
}

async function callsAgainstRuns() {
  const times = { sessionCopy: [], sessionRead: [], exeCopy: [], exeRead: [] };
  await copyFiles([name(0)], options); // the shared helper is started outside the figures
  for (let round = 0; round < ROUNDS; round += 1) {
    for (let i = 0; i < SESSION_CALLS; i += 1) times.sessionCopy.push(await timed(() => copyFiles([name(i)], options)));
    for (let i = 0; i < SESSION_CALLS; i += 1) times.sessionRead.push(await timed(() => readFiles(options)));
    for (let i = 0; i < ONE_SHOT_RUNS; i += 1) {
      times.exeCopy.push(await timed(() => runExe(['--copy_files_stdin'], `${name(i)}\n`)));
    }
    for (let i = 0; i < ONE_SHOT_RUNS; i += 1) times.exeRead.push(await timed(() => runExe(['--read_files_with_effect'])));
  }
  return Object.fromEntries(Object.entries(times).map(([key, values]) => [key, { runs: values.length, ms: median(values) }]));
}

// From another program's request to change the clipboard (another helper,
// a process of its own) to the 'change' event of a session that watches.
async function changeLatency() {
  const watcher = openSession(options);
  const other = openSession(options);
  let heard = () => {};
  watcher.on('change', () => heard(performance.now()));
  await Promise.all([watcher.readFiles(), other.readFiles()]);
  const latencies = [];
  for (let i = 0; i < CHANGES; i += 1) {
    const event = new Promise((resolve) => {
      heard = resolve;
    });
    const start = performance.now();
    await other.copyFiles([name(i)]);
    latencies.push((await event) - start);
    heard = () => {};
    await sleep(CHANGE_GAP_MS);
  }
  await Promise.all([watcher.close(), other.close()]);
  return { runs: CHANGES, ms: median(latencies) };
}

async function largeList() {
  const session = openSession(options);
  const files = Array.from({ length: LARGE_LIST }, (_, i) => name(i));
  await session.readFiles();
  const copies = [];
  const reads = [];
  for (let run = 0; run < LARGE_RUNS; run += 1) {
    copies.push(await timed(() => session.copyFiles(files)));
    reads.push(await timed(async () => {
      if ((await session.readFiles()).files.length !== LARGE_LIST) throw new Error('the list did not read back whole');
    }));
  }
  await session.close();
  return { paths: LARGE_LIST, runs: LARGE_RUNS, copyMs: median(copies), readMs: median(reads) };
}

// The helper's peak resident size as Linux counts it for its Wine process.
const peakKib = (pid) => Number(/^VmHWM:\s+(\d+) kB$/m.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);

// What the helper does, call after call, while its memory is watched. Reads
// find a list that another program (the shared helper) placed, except where
// the helper reads back its own: Wine keeps about 1 KiB for good each time a
// process reads clipboard data that it placed itself.
const MEMORY_MIXES = [
  ['copies of one path', (session, call) => session.copyFiles([name(call)])],
  ['reads of one name another program placed', (session) => session.readFiles()],
  ['a copy of one path, then a read of it, in turn',
    (session, call) => (call % 2 === 1 ? session.copyFiles([name(call)]) : session.readFiles())],
];

async function helperMemory() {
  const rows = [];
  for (const [title, call] of MEMORY_MIXES) {
    await copyFiles([name(0)], options);
    const session = openSession(options);
    const peaks = {};
    for (let calls = 1; calls <= MEMORY_CALLS.all; calls += 1) {
      await call(session, calls);
      if (calls === MEMORY_CALLS.first) peaks.first = peakKib(session.pid);
    }
    peaks.all = peakKib(session.pid);
    await session.close();
    rows.push({ title, calls: MEMORY_CALLS, peakKib: peaks });
  }
  return rows;
}

async function main() {
  const figures = { calls: await callsAgainstRuns() };
  figures.change = await changeLatency();
  figures.large = await largeList();
  figures.memory = await helperMemory();
  console.log(JSON.stringify(figures));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
