// usage: node wire_calls.mjs <baseURL> <apiKey>
//
// Makes every call that the official OpenAI Node client (npm "openai",
// pinned in package.json) still offers for the endpoints the library
// covers, one after the other, against <baseURL> (the service's base URL
// with "/v1", e.g. http://127.0.0.1:8080/v1). The arguments are fixed, so
// our side can make the same calls and compare what reaches the server:
//
//   call                            method and path                 arguments
//   models.list                     GET    /models
//   models.retrieve                 GET    /models/gpt-3.5-turbo
//   models.del                      DELETE /models/curie:ft-qtx-2023-03-01-12-00-00
//   completions.create              POST   /completions             model "text-davinci-003", prompt "Say this is a test"
//   chat.completions.create         POST   /chat/completions        model "gpt-3.5-turbo", one user message MESSAGE
//   chat.completions.create stream  POST   /chat/completions        the same with stream: true,
//                                                                   stream_options: {include_usage: true}
//   images.generate                 POST   /images/generations      prompt "A cute baby sea otter"
//   images.edit                     POST   /images/edits            image files/image.png, prompt "A cute baby sea otter wearing a beret"
//   images.createVariation          POST   /images/variations       image files/image.png
//   embeddings.create               POST   /embeddings              model "text-embedding-ada-002",
//                                                                   input "The food was delicious and the waiter..."
//                                                                   (the client adds encoding_format "base64"
//                                                                   and decodes the answer to numbers)
//   audio.transcriptions.create     POST   /audio/transcriptions    file files/audio.wav, model "whisper-1"
//   audio.translations.create       POST   /audio/translations      file files/audio.wav, model "whisper-1"
//   files.create                    POST   /files                   file files/training.jsonl, purpose "fine-tune"
//   files.list                      GET    /files
//   files.retrieve                  GET    /files/<id of the upload>
//   files.content                   GET    /files/<id>/content      (checks the bytes against the file)
//   files.del                       DELETE /files/<id>
//   moderations.create              POST   /moderations             input "I want to kill them."
//
// MESSAGE is "Grüße aus Köln 😀\nZweite Zeile mit \"Anführungszeichen\"": a
// line break, quotes and characters of two, three and four UTF-8 bytes.
// The client has no calls left for edits and fine-tunes.
//
// Prints one JSON line: {"calls": [names in order], "chat": answer text,
// "stream": the streamed pieces joined, "stream_usage": the usage chunk,
// "file_id": the upload's id, "embedding": the first vector}. A failed call
// ends the run with "wire_calls.mjs: <call>: <error>" on standard error and
// exit status 1; a run that does not end in 120 s with exit status 3.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { client, fail, positional, watchdog } from './common.mjs';

export const MESSAGE = 'Grüße aus Köln 😀\nZweite Zeile mit "Anführungszeichen"';
const files = path.join(path.dirname(fileURLToPath(import.meta.url)), 'files');
const file = (name) => fs.createReadStream(path.join(files, name));

const [baseURL, apiKey] = positional('<baseURL> <apiKey>', 2);
watchdog(120);
const openai = client(baseURL, apiKey);
const result = { calls: [] };

async function call(name, run) {
  try {
    const answer = await run();
    result.calls.push(name);
    return answer;
  } catch (error) {
    fail(name, error);
  }
}

await call('models.list', async () => (await openai.models.list()).data);
await call('models.retrieve', () => openai.models.retrieve('gpt-3.5-turbo'));
await call('models.del', () => openai.models.del('curie:ft-qtx-2023-03-01-12-00-00'));
await call('completions.create', () =>
  openai.completions.create({ model: 'text-davinci-003', prompt: 'Say this is a test' }));
const chat = await call('chat.completions.create', () =>
  openai.chat.completions.create({ model: 'gpt-3.5-turbo', messages: [{ role: 'user', content: MESSAGE }] }));
result.chat = chat.choices[0].message.content;
await call('chat.completions.create stream', async () => {
  const stream = await openai.chat.completions.create({
    model: 'gpt-3.5-turbo',
    messages: [{ role: 'user', content: MESSAGE }],
    stream: true,
    stream_options: { include_usage: true },
  });
  result.stream = '';
  for await (const chunk of stream) {
    result.stream += chunk.choices[0]?.delta?.content ?? '';
    if (chunk.usage) result.stream_usage = chunk.usage;
  }
});
await call('images.generate', () => openai.images.generate({ prompt: 'A cute baby sea otter' }));
await call('images.edit', () =>
  openai.images.edit({ image: file('image.png'), prompt: 'A cute baby sea otter wearing a beret' }));
await call('images.createVariation', () => openai.images.createVariation({ image: file('image.png') }));
const embeddings = await call('embeddings.create', () =>
  openai.embeddings.create({ model: 'text-embedding-ada-002', input: 'The food was delicious and the waiter...' }));
result.embedding = Array.from(embeddings.data[0].embedding);
await call('audio.transcriptions.create', () =>
  openai.audio.transcriptions.create({ file: file('audio.wav'), model: 'whisper-1' }));
await call('audio.translations.create', () =>
  openai.audio.translations.create({ file: file('audio.wav'), model: 'whisper-1' }));
const uploaded = await call('files.create', () =>
  openai.files.create({ file: file('training.jsonl'), purpose: 'fine-tune' }));
result.file_id = uploaded.id;
await call('files.list', async () => (await openai.files.list()).data);
await call('files.retrieve', () => openai.files.retrieve(uploaded.id));
await call('files.content', async () => {
  const content = Buffer.from(await (await openai.files.content(uploaded.id)).arrayBuffer());
  if (!content.equals(fs.readFileSync(path.join(files, 'training.jsonl')))) {
    throw new Error(`the content differs from the uploaded file: ${JSON.stringify(content.toString())}`);
  }
});
await call('files.del', () => openai.files.del(uploaded.id));
await call('moderations.create', () => openai.moderations.create({ input: 'I want to kill them.' }));

console.log(JSON.stringify(result));
