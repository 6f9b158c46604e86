#!/usr/bin/env node
// How an app uses the vantle-native package: copy files, read them back.
//
//   node clipboard_files.js PATH...   copies the paths, reads the clipboard
//                                     back and prints both as JSON
//
// On Windows and Linux the package runs its own program. To run the Windows
// exe through Wine instead, set VANTLE_WINE to a Wine loader (for example
// /usr/lib/wine/wine64).
'use strict';

const { copyFiles, readFiles } = require('vantle-native');

const options = process.env.VANTLE_WINE ? { launcher: [process.env.VANTLE_WINE] } : {};

async function main() {
  const paths = process.argv.slice(2);
  await copyFiles(paths, options);
  const read = await readFiles(options);
  console.log(JSON.stringify({ copied: paths, read }));
}

main().catch((error) => {
  console.error(error.message);
  process.exit(1);
});
