// usage: node stream_bench.mjs <baseURL> <apiKey> <count> [message]
//
// The official client's streamed answers for the benchmarks: one untimed
// stream to open the connection, then <count> calls of
// chat.completions.create({model: "gpt-3.5-turbo", messages: [{role: "user",
// content: message}], stream: true}), each read to its end, one after the
// other on the client's default keep-alive agent. The message defaults to
// "token" 1997 times (blank-separated), which the test service answers in
// 2000 pieces ("You said: " and the message).
//
// Prints one JSON line: {"streams", "median_first_piece_ms",
// "median_total_ms", "first_piece_ms": [each stream's time to its first
// content piece], "total_ms": [each stream's time to its end], "pieces":
// content pieces of the last stream, "answer_chars"}. A failed stream ends
// the run with a line on standard error and exit status 1.
import { client, fail, median, ms, positional, watchdog } from './common.mjs';

const [baseURL, apiKey, countText, message = Array(1997).fill('token').join(' ')] =
  positional('<baseURL> <apiKey> <count> [message]', 3);
const count = Number.parseInt(countText, 10);
watchdog(600);
const openai = client(baseURL, apiKey);
const request = { model: 'gpt-3.5-turbo', messages: [{ role: 'user', content: message }], stream: true };

// Reads one stream; its times from the call on.
async function streamOnce() {
  const start = performance.now();
  let first;
  let pieces = 0;
  let text = '';
  for await (const chunk of await openai.chat.completions.create(request)) {
    const piece = chunk.choices[0]?.delta?.content;
    if (!piece) continue;
    first ??= performance.now() - start;
    ++pieces;
    text += piece;
  }
  return { first, total: performance.now() - start, pieces, text };
}

const firsts = [];
const totals = [];
let last;
try {
  await streamOnce();
  for (let index = 0; index < count; ++index) {
    last = await streamOnce();
    firsts.push(last.first);
    totals.push(last.total);
  }
} catch (error) {
  fail(`stream ${firsts.length + 1}`, error);
}
console.log(JSON.stringify({
  streams: count,
  median_first_piece_ms: ms(median(firsts)),
  median_total_ms: ms(median(totals)),
  first_piece_ms: firsts.map(ms),
  total_ms: totals.map(ms),
  pieces: last?.pieces ?? 0,
  answer_chars: last?.text.length ?? 0,
}));
