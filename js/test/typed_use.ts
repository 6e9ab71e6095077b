// Compiled with tsc --strict against the package installed from its
// tarball, and run: the declarations must describe what session.js does,
// and resolve through package.json as a user's project sees them.
import {CalculatorError, formatNumber, Session, Snapshot, version} from 'calculator';

const session: Session = await Session.create({digits: 6});
session.set('r', 2);
const area: number = session.evaluate('pi*r^2');
const line: string = session.answer('r/0');
const stored: number|undefined = session.get('r');
const names: string[] = [...session.variables().keys()];
const snapshot: Snapshot = session.snapshot();
const copy = await Session.create({snapshot});
const later: number = await copy.evaluateAsync('r*5', {signal: new AbortController().signal});
let failure = '';
try {
  session.evaluate('1/0');
} catch (error) {
  failure = error instanceof CalculatorError ? error.message : 'another error';
}
// Calls the declarations must refuse (never run).
export function refused(): void {
  // @ts-expect-error: a text is a string or its bytes
  session.evaluate(12);
  // @ts-expect-error: sessions come from Session.create
  new Session();
  // @ts-expect-error: digits is a number
  session.digits = 'shortest';
}
session.close();
copy.close();

const got = [version, formatNumber(area, 3), line, stored, names.join(), later, failure];
const expected =
    [version, '12.6', 'Error : Can\'t divide by 0.', 2, 'r', 10, 'Can\'t divide by 0.'];
if (JSON.stringify(got) !== JSON.stringify(expected)) {
  throw new Error(
      `installed package: ${JSON.stringify(got)}, expected ${JSON.stringify(expected)}`);
}
console.log(`calculator ${version} installed from its tarball: answers as expected`);
