// Answers standard input with the WebAssembly module the way the console
// answers a pipe: the prompt line, then for every line its report lines and
// its answer line. The program's digits option is taken as it writes it.
//
//   node answer_lines.js PAGE_FILES_DIR [--digits N|shortest] < lines.txt
//   (PAGE_FILES_DIR: web/build's page-files)
'use strict';
const fs = require('fs');
const path = require('path');

const [files, ...options] = process.argv.slice(2);

// The count the session is set to: -d N, --digits N or --digits=N, N from 1
// to 17 or "shortest" (0); null without the option.
function digitsOption(words) {
  for (let i = 0; i < words.length; ++i) {
    const match = /^--digits=(.*)$/.exec(words[i]);
    const value = match ? match[1] :
        words[i] === '--digits' || words[i] === '-d' ? words[++i] : undefined;
    if (value !== undefined) {
      return value === 'shortest' ? 0 : Number(value);
    }
  }
  return null;
}
const createCalculatorModule = require(path.resolve(files, 'calculator.js'));
const {openCalculatorSession} = require(path.resolve(files, 'session.js'));

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

const wasmBinary = fs.readFileSync(path.resolve(files, 'calculator.wasm'));
createCalculatorModule({wasmBinary}).ready.then((module) => {
  const session = openCalculatorSession(module);
  const digits = digitsOption(options);
  if (digits !== null && !session.setDigits(digits)) {
    throw new Error(`not a count of digits: ${options.join(' ')}`);
  }
  const output = [session.fixedLines().prompt];
  for (const line of splitLines(fs.readFileSync(0))) {
    output.push(...session.answer(line));
  }
  fs.writeSync(1, output.join('\n') + '\n');
});
