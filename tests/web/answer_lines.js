// Answers standard input with the npm package (the WebAssembly module and
// the session code the page uses) the way the console answers a pipe: the
// prompt line, then for every line its report lines and its answer line.
// The program's digits option is taken as it writes it.
//
//   node answer_lines.js PACKAGE_DIR [--digits N|shortest] < lines.txt
//   (PACKAGE_DIR: web/build's package, or the package installed from its tarball)
'use strict';
const fs = require('fs');
const path = require('path');
const url = require('url');

const [packageDir, ...options] = process.argv.slice(2);

// The count the session is set to: -d N, --digits N or --digits=N, N from 1
// to 17 or "shortest" (0); null without the option.
function digitsOption(words) {
  for (let i = 0; i < words.length; ++i) {
    const match = /^--digits=(.*)$/.exec(words[i]);
    const value = match                              ? match[1] :
        words[i] === '--digits' || words[i] === '-d' ? words[++i] :
                                                       undefined;
    if (value !== undefined) {
      return value === 'shortest' ? 0 : Number(value);
    }
  }
  return null;
}

// Lines as the console reads them: CR LF counts as LF, and a last line
// without LF counts when it is not empty.
function splitLines(input) {
  const lines = [];
  let start = 0;
  for (let i = 0; i < input.length; ++i) {
    if (input[i] === 0x0a) {
      const end = i > start && input[i - 1] === 0x0d ? i - 1 : i;
      lines.push(input.subarray(start, end));
      start = i + 1;
    }
  }
  if (start < input.length) {
    lines.push(input.subarray(start));
  }
  return lines;
}

async function main() {
  const sessionURL = url.pathToFileURL(path.resolve(packageDir, 'session.js')).href;
  const {Session, prompt} = await import(sessionURL);
  const digits = digitsOption(options);
  const session = await Session.create(digits === null ? {} : {digits});
  const output = [prompt];
  for (const line of splitLines(fs.readFileSync(0))) {
    output.push(session.answer(line));
  }
  fs.writeSync(1, output.join('\n') + '\n');
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
