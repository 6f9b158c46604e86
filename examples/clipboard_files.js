#!/usr/bin/env node
// How an app calls vantle_native.exe: one run per request, arguments passed as
// an array (no shell), standard output decoded as UTF-8 lines, exit status 101
// meaning failure with the reason on standard error.
//
//   node clipboard_files.js PATH...   copies the paths, reads the clipboard
//                                     back and prints both lists as JSON
//
// On Windows it runs the exe directly. Elsewhere set VANTLE_WINE to the Wine
// loader (for example /usr/lib/wine/wine64) to run it through Wine.
'use strict';

const { execFile } = require('node:child_process');
const path = require('node:path');

const exe = process.env.VANTLE_EXE || path.join(__dirname, '..', 'build', 'windows', 'vantle_native.exe');

function run(args) {
  const [command, commandArgs] = process.env.VANTLE_WINE
    ? [process.env.VANTLE_WINE, [exe, ...args]]
    : [exe, args];
  return new Promise((resolve, reject) => {
    execFile(command, commandArgs, { encoding: 'buffer', windowsHide: true }, (error, stdout, stderr) => {
      if (error) {
        const reason = stderr.toString('utf8').split('\n')[0];
        reject(new Error(`vantle_native failed (status ${error.code}): ${reason}`));
      } else {
        resolve(stdout);
      }
    });
  });
}

// Puts the files on the clipboard so that a paste in the file manager copies them.
async function copyFiles(paths) {
  await run(['--copy_files', paths.join(';;;')]);
}

// The files on the clipboard, in order.
async function readFiles() {
  const lines = (await run(['--read_files'])).toString('utf8').split('\n');
  lines.pop(); // every path ends with a line feed, so the last piece is empty
  return lines;
}

async function main() {
  const paths = process.argv.slice(2);
  await copyFiles(paths);
  const read = await readFiles();
  console.log(JSON.stringify({ copied: paths, read }));
}

main().catch((error) => {
  console.error(error.message);
  process.exit(1);
});
