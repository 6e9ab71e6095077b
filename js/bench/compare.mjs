// Times the calculator package's Session.evaluate against expr-eval's
// Parser.evaluate and mathjs's evaluate on the same lines, in one Node
// process: each round times every evaluator in turn on every line, and the
// medians of the rounds are compared. Each evaluator parses the text on
// every call, as it would a line a user typed.
//
//   js/bench/compare.sh [rounds]      (builds the package, installs the dev dependencies)
//   node js/bench/compare.mjs PACKAGE_DIR [rounds]
//
// Exits 1 when evaluate takes more than half of expr-eval's time on a line.
import {Parser} from 'expr-eval';
import {evaluate as mathjsEvaluate} from 'mathjs';
import path from 'node:path';
import {performance} from 'node:perf_hooks';
import {pathToFileURL} from 'node:url';

const [packageDir, roundsText = '15'] = process.argv.slice(2);
const {Session} = await import(pathToFileURL(path.resolve(packageDir, 'session.js')).href);
const rounds = Number(roundsText);
const TARGET = 0.5;   // of expr-eval's time
const CALLS = 20000;  // per line, evaluator and round

// Lines all three read alike.
// (The calculator's functions take the whole sum after them: a call comes last.)
const LINES = ['123+456*(78.901-23)', '2^10-3*(16-7)/(1+2)', '1.5*(2-0.25)+sqrt(16)'];

const session = await Session.create();
const evaluators = {
  calculator: (line) => session.evaluate(line),
  'expr-eval': (line) => Parser.evaluate(line),
  mathjs: (line) => mathjsEvaluate(line),
};

// Nanoseconds a call, over CALLS calls.
function time(evaluate, line) {
  let sink = 0;
  const start = performance.now();
  for (let i = 0; i < CALLS; ++i) {
    sink += evaluate(line);
  }
  const elapsed = performance.now() - start;
  if (Number.isNaN(sink)) {
    throw new Error(`no number from ${line}`);
  }
  return (elapsed * 1e6) / CALLS;
}

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

let met = true;
console.log(`Node ${process.version}, ${rounds} rounds of ${CALLS} calls; median ns a call`);
console.log(
    `${'line'.padEnd(28)}${Object.keys(evaluators).map((name) => name.padStart(12)).join('')}` +
    '  calculator/expr-eval  calculator/mathjs');
for (const line of LINES) {
  const values = Object.values(evaluators).map((evaluate) => evaluate(line));
  if (values.some((value) => Math.abs(value - values[0]) > 1e-12 * Math.abs(values[0]))) {
    throw new Error(`the evaluators disagree on ${line}: ${values.join(', ')}`);
  }
  const samples = Object.fromEntries(Object.keys(evaluators).map((name) => [name, []]));
  for (let round = 0; round < rounds; ++round) {
    for (const [name, evaluate] of Object.entries(evaluators)) {
      samples[name].push(time(evaluate, line));
    }
  }
  const ns =
      Object.fromEntries(Object.entries(samples).map(([name, list]) => [name, median(list)]));
  const versusExprEval = ns.calculator / ns['expr-eval'];
  met &&= versusExprEval <= TARGET;
  console.log(
      `${line.padEnd(28)}${Object.values(ns).map((n) => n.toFixed(0).padStart(12)).join('')}` +
      `${versusExprEval.toFixed(3).padStart(22)}${
          (ns.calculator / ns.mathjs).toFixed(3).padStart(19)}`);
}
console.log(
    met ? `target met: evaluate at most ${TARGET} of expr-eval's time on every line` :
          `target missed: evaluate over ${TARGET} of expr-eval's time`);
process.exit(met ? 0 : 1);
