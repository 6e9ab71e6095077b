// Answers standard input with the WebAssembly module the way the console
// answers a pipe: the prompt line, then for every line its report lines and
// its answer line.
//
//   node answer_lines.js PAGE_FILES_DIR < lines.txt   (web/build's page-files)
'use strict';
const fs = require('fs');
const path = require('path');

const files = process.argv[2];
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
  const output = ['Please input expression.'];
  for (const line of splitLines(fs.readFileSync(0))) {
    output.push(...session.answer(line));
  }
  fs.writeSync(1, output.join('\n') + '\n');
});
