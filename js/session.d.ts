// Declarations of the calculator's npm package (session.js).

/** An evaluation error; the message is the text the console prints after "Error : ". */
export class CalculatorError extends Error {
  name: 'CalculatorError';
}

/** The digits and variables of a session; postMessage copies it whole. */
export interface Snapshot {
  digits: number;
  names: string[];
  /** The variables' values, in the order of `names`, with their exact bits. */
  values: Float64Array;
}

export interface SessionOptions {
  /** Significant digits of answer lines, as `digitLimits` allows; default `digitLimits.default`. */
  digits?: number;
  /** Starts the session with another session's digits and variables. */
  snapshot?: Snapshot;
}

export interface EvaluateOptions {
  /** Aborting it ends the evaluation; the promise rejects with the signal's reason. */
  signal?: AbortSignal;
}

/** One calculator session; a text is a string or its UTF-8 bytes. */
export class Session {
  private constructor();
  static create(options?: SessionOptions): Promise<Session>;
  /**
   * The value of the expression at the start of `text`; throws CalculatorError when it has none.
   */
  evaluate(text: string|Uint8Array): number;
  /**
   * The lines the console prints for `text` (report lines, then the answer line), joined by "\n".
   */
  answer(text: string|Uint8Array): string;
  /**
   * evaluate() in a worker thread, so that a long evaluation blocks nothing;
   * the session keeps its variables when `signal` aborts it.
   */
  evaluateAsync(text: string|Uint8Array, options?: EvaluateOptions): Promise<number>;
  /**
   * Assigns a variable as a top-level `set` does; RangeError for a name no expression could read.
   */
  set(name: string, value: number): void;
  /** The variable's value, undefined when the session has none of that name. */
  get(name: string): number|undefined;
  has(name: string): boolean;
  /** The variables in the order first assigned. */
  variables(): Map<string, number>;
  /**
   * Significant digits of answer lines, as `digitLimits` allows; RangeError otherwise.
   */
  digits: number;
  snapshot(): Snapshot;
  /** Releases the session; later calls throw, and a running evaluateAsync rejects. */
  close(): void;
}

/** `value` as the console writes it, with `digits` significant digits (as for Session.digits). */
export function formatNumber(value: number, digits?: number): string;

/** The built-in names, in the order the evaluator looks them up. */
export function builtinNames(): {constants: string[]; functions: string[]};

/**
 * The library's digit counts: `shortest` for the shortest form, 1 to `max`
 * significant digits otherwise, `default` until a session is told.
 */
export const digitLimits: Readonly<{shortest: number; max: number; default: number}>;
/** The library's version, "MAJOR.MINOR.PATCH". */
export const version: string;
/** The line a console writes once, before the first answer. */
export const prompt: string;
/** The line a console writes in place of an interrupted evaluation's answer. */
export const interruptedLine: string;
