// The npm package's API under Node's test runner, against a package folder
// (web/build's, or one installed from the tarball):
//
//   node js/test/session.test.mjs PACKAGE_DIR
//
// Every console transcript line through evaluate() and formatNumber(): the
// value written with the transcript's digits, or the error's message, must
// be the transcript's answer line. answer() itself is compared with the
// transcripts by tests/web/answer_lines.js.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import test from 'node:test';
import {fileURLToPath, pathToFileURL} from 'node:url';

const packageDir = path.resolve(process.argv[2] ?? '');
const sessionURL = pathToFileURL(path.join(packageDir, 'session.js')).href;
const {Session, CalculatorError, formatNumber, version, builtinNames, digitLimits} =
    await import(sessionURL);
const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const LONG_LOOP = 'sigma(i,1,2000000000,i)';  // hours: only an abort ends it

// The transcripts' input lines with their answer lines, and the digits of
// the option transcripts ("--digits N", "-d N" or "--digits=N").
function transcripts() {
  const cases = [];
  for (const folder of ['transcripts', 'option_transcripts']) {
    const dir = path.join(root, 'tests/console', folder);
    for (const name of fs.readdirSync(dir).filter((file) => file.endsWith('.in')).sort()) {
      const base = path.join(dir, name.slice(0, -3));
      const args = fs.existsSync(`${base}.args`) ? fs.readFileSync(`${base}.args`, 'utf8') : '';
      const match = /(?:--digits[= \n]|-d\n)(\S+)/.exec(args);
      const digits = match === null ? 6 : match[1] === 'shortest' ? 0 : Number(match[1]);
      const input = fs.readFileSync(`${base}.in`);
      const lines = [];
      let start = 0;
      for (let i = 0; i <= input.length; ++i) {
        if (i === input.length ? i > start : input[i] === 0x0a) {
          const end = i > start && input[i - 1] === 0x0d ? i - 1 : i;
          lines.push(input.subarray(start, end));
          start = i + 1;
        }
      }
      const answers = fs.readFileSync(`${base}.out`, 'utf8')
                          .split('\n')
                          .filter((line) => /^(Result is |Error : )/.test(line));
      cases.push({name: `${folder}/${name}`, digits, lines, answers});
    }
  }
  return cases;
}

test('evaluate and formatNumber give every transcript answer', async () => {
  for (const {name, digits, lines, answers} of transcripts()) {
    assert.equal(lines.length, answers.length, `${name}: lines and answers`);
    const session = await Session.create({digits});
    lines.forEach((line, index) => {
      let got;
      try {
        got = `Result is ${formatNumber(session.evaluate(line), digits)}`;
      } catch (error) {
        assert.ok(error instanceof CalculatorError, `${name}: ${error.stack}`);
        got = `Error : ${error.message}`;
      }
      assert.equal(got, answers[index], `${name}, line ${index + 1}: ${line}`);
    });
    session.close();
  }
});

test('variables: set, get, has, order first assigned, one session each', async () => {
  const session = await Session.create();
  const other = await Session.create();
  session.evaluate('set(b, 2)');
  session.set('a', 1.5);
  session.set('b', 3);  // keeps its place
  assert.deepEqual([...session.variables()], [['b', 3], ['a', 1.5]]);
  assert.equal(session.get('a'), 1.5);
  assert.equal(session.evaluate('a*b'), 4.5);
  assert.ok(session.has('b'));
  assert.equal(session.get('c'), undefined);
  assert.equal(session.get('x'.repeat(300)), undefined);
  assert.ok(!other.has('a'));
  assert.throws(() => session.set('2x', 1), RangeError);
  assert.throws(() => session.set('', 1), RangeError);
  assert.throws(() => session.set('a', '1'), TypeError);
  assert.throws(() => session.get(1), TypeError);
  assert.equal(session.get('a'), 1.5);
});

test('digits: default 6, 0 to 17, anything else refused and the count kept', async () => {
  const session = await Session.create();
  assert.equal(session.digits, 6);
  assert.equal(session.answer('1/3'), 'Result is 0.333333');
  session.digits = 0;
  assert.equal(session.answer('1/3'), 'Result is 0.3333333333333333');
  for (const bad of [-1, 18, 2.5, NaN, '6']) {
    assert.throws(() => {
      session.digits = bad;
    }, RangeError, String(bad));
    assert.throws(() => formatNumber(1, bad), RangeError, String(bad));
  }
  assert.equal(session.digits, 0);
  await assert.rejects(Session.create({digits: 18}), RangeError);
  assert.equal((await Session.create({digits: 3})).answer('pi'), 'Result is 3.14');
  assert.equal(formatNumber(Math.PI), '3.14159');
  assert.throws(() => formatNumber('1'), TypeError);
});

// The limits come from the build, the answers and the refusal from the
// compiled library: they must agree.
test('digit limits: the library\'s default, maximum and refusal', async () => {
  const session = await Session.create();
  assert.equal(session.answer('1/3'), `Result is 0.${'3'.repeat(digitLimits.default)}`);
  session.digits = digitLimits.max;
  assert.equal(session.digits, digitLimits.max);
  const bad = digitLimits.max + 1;
  const refusal = `Digits must be from 1 to ${digitLimits.max}, or ${digitLimits.shortest} ` +
      `for the shortest. Not ${bad}.`;
  assert.throws(() => {
    session.digits = bad;
  }, {name: 'RangeError', message: refusal});
  assert.throws(() => formatNumber(1, bad), {name: 'RangeError', message: refusal});
});

test('texts: strings and UTF-8 bytes alike, non-ASCII and long ones too', async () => {
  const session = await Session.create();
  const texts = [
    '1+2', '1+2 \u00e9', '\u00e9+1', '2*3\u20ac', '7+\ud83d\ude00', '1+\ud800',
    `1${'+1'.repeat(150)}`, `${'1+'.repeat(200)}\u00e9`, `set(${'v'.repeat(249)}, 1)`,
    `set(${'v'.repeat(250)}, 1)`, '1\u00002',
    `2*${'3'.repeat(6e6)}`,  // past the module's first 16 MB: its memory grows
  ];
  for (const text of texts) {
    assert.equal(session.answer(text), session.answer(new TextEncoder().encode(text)), text);
  }
  assert.equal(session.evaluate('1+2'), 3);
  assert.throws(() => session.evaluate(12), TypeError);
  assert.throws(() => session.answer(null), TypeError);
});

test('answer gives the report lines of failed nested evaluations before the answer', async () => {
  const session = await Session.create();
  const lines = session.answer('sigma(i,1,2,1/0)+1').split('\n');
  assert.equal(lines.length, 5);
  assert.equal(lines[4], 'Result is 1');
  assert.equal(session.evaluate('sigma(i,1,2,1/0)+1'), 1);
});

test('snapshot carries digits and every bit of the values, a NaN\'s sign too', async () => {
  const session = await Session.create({digits: 17});
  session.evaluate('set(p, -log(-1))');
  session.evaluate('set(q, log(-1))');
  session.set('t', 0.1);
  const copy = await Session.create({snapshot: structuredClone(session.snapshot())});
  assert.equal(copy.digits, 17);
  for (const name of ['p', 'q', 't']) {
    assert.equal(copy.answer(name), session.answer(name), name);
  }
  assert.notEqual(copy.answer('p'), copy.answer('q'));
});

test('close: later calls throw, closing twice does not', async () => {
  const session = await Session.create();
  session.close();
  session.close();
  assert.throws(() => session.evaluate('1'), /closed/);
  assert.throws(() => session.get('a'), /closed/);
  assert.throws(() => new Session(), TypeError);
});

test('evaluateAsync: the same value, error and variables as evaluate', async () => {
  const session = await Session.create();
  session.set('r', 2);
  assert.equal(await session.evaluateAsync('set(s, r*3)+0.5'), 6.5);
  assert.equal(session.get('s'), 6);
  assert.equal(
      formatNumber(await session.evaluateAsync('log(-1)')),
      formatNumber(session.evaluate('log(-1)')));
  await assert.rejects(
      session.evaluateAsync('set(u, 1) + 1/0'),
      (error) => error instanceof CalculatorError && error.message === 'Can\'t divide by 0.');
  assert.equal(session.get('u'), 1);  // assigned before the error, as at the console
  await assert.rejects(session.evaluateAsync(5), TypeError);
  session.close();
});

test(
    'evaluateAsync: an abort ends a long evaluation; the variables stay as before it',
    {timeout: 20000}, async () => {
      const session = await Session.create();
      session.set('r', 2);
      const controller = new AbortController();
      const running = session.evaluateAsync(`set(z, 5)+${LONG_LOOP}`, {signal: controller.signal});
      // Busy meanwhile: reading is allowed, changing refused.
      assert.throws(() => session.evaluate('1'), /busy/);
      assert.throws(() => session.set('r', 3), /busy/);
      assert.throws(() => {
        session.digits = 3;
      }, /busy/);
      await assert.rejects(session.evaluateAsync('1'), /busy/);
      assert.equal(session.get('r'), 2);
      setTimeout(() => controller.abort(), 300);
      await assert.rejects(running, {name: 'AbortError'});
      assert.deepEqual([...session.variables()], [['r', 2]]);
      assert.equal(session.evaluate('r+1'), 3);
      assert.equal(await session.evaluateAsync('r*5'), 10);  // in a new worker

      const reason = new Error('given up');
      await assert.rejects(session.evaluateAsync('1', {signal: AbortSignal.abort(reason)}), reason);
      const closing = session.evaluateAsync(LONG_LOOP);
      setTimeout(() => session.close(), 300);
      await assert.rejects(closing, /closed/);
    });

test(
    'evaluateAsync from node -e with an ES module input, and the process then ends',
    {timeout: 60000}, () => {
      const script = `const {Session} = await import(${JSON.stringify(sessionURL)});
         const session = await Session.create();
         console.log(await session.evaluateAsync('6*7'));`;
      const child = spawnSync(
          process.execPath, ['--input-type=module', '-e', script],
          {encoding: 'utf8', timeout: 30000});
      assert.equal(child.stdout, '42\n', child.stderr);
      assert.equal(child.status, 0);
    });

test('version and built-in names come from the library', () => {
  const header = fs.readFileSync(path.join(root, 'cmake/CalculatorVersion.cmake'), 'utf8');
  assert.equal(version, /CALCULATOR_VERSION (\S+)\)/.exec(header)[1]);
  const {constants, functions} = builtinNames();
  assert.deepEqual(constants, ['pi', 'e']);
  assert.ok(functions.includes('sigma') && functions.includes('sin'), functions.join(' '));
});
