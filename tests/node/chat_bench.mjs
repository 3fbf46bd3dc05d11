// usage: node chat_bench.mjs <baseURL> <apiKey> <count> [message]
//
// The official client's chat round trip for the benchmarks: one untimed
// call to open the connection, then <count> calls of
// chat.completions.create({model: "gpt-3.5-turbo", messages: [{role: "user",
// content: message}]}) one after the other on the client's default
// keep-alive agent. The message defaults to 1 KiB of text (LOREM repeated
// and cut to 1024 characters).
//
// Prints one JSON line: {"calls", "median_ms", "min_ms", "max_ms",
// "times_ms": [each call], "answer_chars": length of the last answer}.
// A failed call ends the run with a line on standard error and exit status 1.
import { client, fail, median, ms, positional, watchdog } from './common.mjs';

const LOREM = 'Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor. ';
const [baseURL, apiKey, countText, message = LOREM.repeat(13).slice(0, 1024)] =
  positional('<baseURL> <apiKey> <count> [message]', 3);
const count = Number.parseInt(countText, 10);
watchdog(600);
const openai = client(baseURL, apiKey);
const request = { model: 'gpt-3.5-turbo', messages: [{ role: 'user', content: message }] };

let answer;
const times = [];
try {
  await openai.chat.completions.create(request);
  for (let index = 0; index < count; ++index) {
    const start = performance.now();
    answer = await openai.chat.completions.create(request);
    times.push(performance.now() - start);
  }
} catch (error) {
  fail(`call ${times.length + 1}`, error);
}
console.log(JSON.stringify({
  calls: count,
  median_ms: ms(median(times)),
  min_ms: ms(Math.min(...times)),
  max_ms: ms(Math.max(...times)),
  times_ms: times.map(ms),
  answer_chars: answer?.choices[0].message.content.length ?? 0,
}));
