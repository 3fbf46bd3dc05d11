// usage: node chat.mjs <baseURL> <apiKey> <message> [--stream]
//
// One chat completion with the official client, for comparing its reading
// of an answer with ours: chat.completions.create({model: "gpt-3.5-turbo",
// messages: [{role: "user", content: message}]}); with --stream, streamed
// with stream_options: {include_usage: true} and read to its end.
//
// Prints one JSON line: {"text": the content (the pieces joined),
// "finish_reason", "usage" (null when none came), "pieces": how many content
// pieces arrived (0 unstreamed)}. A failure, an error event inside the
// stream among them, ends the run with "chat.mjs: chat: <message>" on
// standard error and exit status 1.
import { client, fail, positional, watchdog } from './common.mjs';

const [baseURL, apiKey, message, mode] = positional('<baseURL> <apiKey> <message> [--stream]', 3);
watchdog(120);
const openai = client(baseURL, apiKey);
const request = { model: 'gpt-3.5-turbo', messages: [{ role: 'user', content: message }] };

const result = { text: '', finish_reason: null, usage: null, pieces: 0 };
try {
  if (mode === '--stream') {
    const stream = await openai.chat.completions.create({
      ...request, stream: true, stream_options: { include_usage: true },
    });
    for await (const chunk of stream) {
      const choice = chunk.choices[0];
      if (choice?.delta?.content) {
        result.text += choice.delta.content;
        ++result.pieces;
      }
      result.finish_reason = choice?.finish_reason ?? result.finish_reason;
      result.usage = chunk.usage ?? result.usage;
    }
  } else {
    const answer = await openai.chat.completions.create(request);
    result.text = answer.choices[0].message.content;
    result.finish_reason = answer.choices[0].finish_reason;
    result.usage = answer.usage ?? null;
  }
} catch (error) {
  fail('chat', error);
}
console.log(JSON.stringify(result));
