// What the Node driver scripts share: their arguments, a watchdog, one way
// to fail, and the official client made the same way for each.
import OpenAI from 'openai';

// The script's name, for messages.
const script = process.argv[1].split('/').pop();

// Ends the run with one clear line on standard error and exit status 1.
export function fail(what, error) {
  const status = error?.status ? ` (HTTP ${error.status})` : '';
  const cause = error?.cause ? ` [${error.cause.code ?? error.cause.message}]` : '';
  console.error(`${script}: ${what}: ${error?.message ?? error}${status}${cause}`);
  process.exit(1);
}

// The positional arguments, or the usage line and exit status 2.
export function positional(usage, required) {
  const args = process.argv.slice(2);
  if (args.length < required || args.includes('--help')) {
    console.error(`usage: ${script} ${usage}`);
    process.exit(2);
  }
  return args;
}

// Ends a run that takes longer than aSeconds (exit status 3), so a stalled
// server never hangs the caller.
export function watchdog(seconds) {
  setTimeout(() => {
    console.error(`${script}: no end after ${seconds} s`);
    process.exit(3);
  }, seconds * 1000).unref();
}

// The official client with its defaults (its keep-alive agent), except that
// a failure is reported at once instead of retried.
export function client(baseURL, apiKey) {
  return new OpenAI({ baseURL, apiKey, maxRetries: 0, timeout: 60_000 });
}

export function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = Math.floor(sorted.length / 2);
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// Milliseconds with three decimals.
export const ms = (value) => Math.round(value * 1000) / 1000;
