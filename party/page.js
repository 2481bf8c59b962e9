// The phone page: a guest's name, the search, the queue and the host's controls, all through the
// party's JSON interface. Every text from the party goes in with textContent, never as markup.
'use strict';

let token = '';
let lastQueue = '';
let shownQueue = null;
let searchTimer = 0;
let searchSeq = 0;

const $ = (id) => document.getElementById(id);

function say(text) {
  $('message').textContent = text;
}

function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

function button(text, label, action, quiet) {
  const b = el('button', quiet ? 'quiet' : '', text);
  b.type = 'button';
  if (label) b.setAttribute('aria-label', label);
  b.addEventListener('click', action);
  return b;
}

async function startSession() {
  const r = await fetch('/api/session', { credentials: 'same-origin' });
  const j = await r.json();
  token = j.token || '';
}

// Sends a change; answers the reply's JSON, or null after saying why it was refused.
async function post(path, body, again) {
  try {
    const r = await fetch(path, {
      method: 'POST',
      credentials: 'same-origin',
      headers: { 'Content-Type': 'application/json', 'X-Token': token },
      body: JSON.stringify(body),
    });
    const j = await r.json();
    if (r.ok) return j;
    // A party restarted since the page was opened knows no session: start one and try once more.
    if (r.status === 403 && !again && /session|token/.test(j.error || '')) {
      await startSession();
      return post(path, body, true);
    }
    say(j.error || 'That did not work.');
  } catch (e) {
    say('The party cannot be reached just now.');
  }
  return null;
}

function minutes(seconds) {
  if (seconds < 60) return 'next';
  const m = Math.round(seconds / 60);
  return 'in about ' + m + (m === 1 ? ' minute' : ' minutes');
}

function hostPin() {
  return $('pin').value.trim();
}

function describe(song) {
  return song.title + (song.artist ? ' by ' + song.artist : '');
}

function showResults(songs) {
  const list = $('results');
  list.replaceChildren();
  for (const s of songs) {
    const li = el('li');
    li.appendChild(el('span', 'title', s.title));
    li.appendChild(el('span', 'detail', (s.artist || '') + (s.kind ? ' \u00b7 ' + s.kind : '')));
    li.appendChild(button('Queue', 'Queue ' + describe(s), () => queueSong(s)));
    list.appendChild(li);
  }
  if (songs.length === 0 && $('search').value.trim() !== '') say('No song found.');
}

async function search() {
  const q = $('search').value.trim();
  const seq = ++searchSeq;
  if (q === '') {
    $('results').replaceChildren();
    return;
  }
  try {
    const r = await fetch('/api/songs?q=' + encodeURIComponent(q), { credentials: 'same-origin' });
    const j = await r.json();
    if (seq !== searchSeq) return;  // a later search has been typed since
    if (!r.ok) { say(j.error || 'The search did not work.'); return; }
    say('');
    showResults(j);
  } catch (e) {
    say('The party cannot be reached just now.');
  }
}

async function queueSong(song) {
  const singer = $('name').value.trim();
  if (singer === '') {
    say('Enter your name first.');
    $('name').focus();
    return;
  }
  const j = await post('/api/queue', { song: song.id, singer: singer });
  if (j) {
    say('Queued: ' + describe(song) + '.');
    refresh();
  }
}

async function change(entry, key, tempo) {
  const body = { entry: entry.entry, key: key, tempo: tempo };
  if (!entry.mine) body.pin = hostPin();
  if (await post('/api/change', body)) refresh();
}

async function removeEntry(entry) {
  const body = { entry: entry.entry };
  if (!entry.mine) body.pin = hostPin();
  if (await post('/api/remove', body)) {
    say('Removed: ' + describe(entry) + '.');
    refresh();
  }
}

async function moveUp(entry, position) {
  if (await post('/api/move', { entry: entry.entry, position: position, pin: hostPin() })) refresh();
}

function queueItem(e, index) {
  const li = el('li', e.mine ? 'mine' : '');
  li.appendChild(el('span', 'title', describe(e)));
  let detail = 'Sung by ' + e.singer + ', ' + minutes(e.wait);
  if (e.key !== 0) detail += ', key ' + (e.key > 0 ? '+' : '') + e.key;
  if (e.tempo !== 100) detail += ', tempo ' + e.tempo + ' %';
  li.appendChild(el('span', 'detail', detail));
  const host = hostPin() !== '';
  if (e.mine || host) {
    const who = describe(e);
    li.appendChild(button('Key \u2212', 'Lower the key of ' + who, () => change(e, Math.max(-6, e.key - 1), e.tempo), true));
    li.appendChild(button('Key +', 'Raise the key of ' + who, () => change(e, Math.min(6, e.key + 1), e.tempo), true));
    li.appendChild(button('Slower', 'Slower: ' + who, () => change(e, e.key, Math.max(75, e.tempo - 5)), true));
    li.appendChild(button('Faster', 'Faster: ' + who, () => change(e, e.key, Math.min(125, e.tempo + 5)), true));
    li.appendChild(button('Remove', 'Remove ' + who, () => removeEntry(e)));
  }
  if (host && index > 0) li.appendChild(button('Move up', 'Move up ' + describe(e), () => moveUp(e, index), true));
  return li;
}

function showQueue(j) {
  const playing = $('playing');
  playing.replaceChildren();
  if (j.playing) {
    const p = el('p');
    p.appendChild(el('span', 'title', describe(j.playing)));
    p.appendChild(el('span', 'detail', 'Sung by ' + j.playing.singer));
    playing.appendChild(p);
  } else {
    playing.appendChild(el('p', '', 'Nothing right now.'));
  }
  const list = $('queue');
  list.replaceChildren();
  j.queue.forEach((e, i) => list.appendChild(queueItem(e, i)));
  $('empty').hidden = j.queue.length !== 0;
}

async function refresh() {
  try {
    const r = await fetch('/api/queue', { credentials: 'same-origin' });
    const text = await r.text();
    // Unchanged answers leave the page alone, so a screen reader hears only what changed.
    if (r.ok && text !== lastQueue) {
      lastQueue = text;
      shownQueue = JSON.parse(text);
      showQueue(shownQueue);
    }
  } catch (e) {
    // The next poll tries again; the page keeps what it showed.
  }
}

async function poll() {
  await refresh();
  setTimeout(poll, 1500);
}

async function host(path, done) {
  if (hostPin() === '') {
    say('Enter the host\'s PIN first.');
    $('pin').focus();
    return;
  }
  if (await post(path, { pin: hostPin() })) {
    say(done);
    refresh();
  }
}

async function start() {
  $('name').value = localStorage.getItem('singer') || '';
  $('name').addEventListener('change', () => localStorage.setItem('singer', $('name').value.trim()));
  $('name').addEventListener('input', () => localStorage.setItem('singer', $('name').value.trim()));
  // Searching waits for a pause in typing: at most a few requests a second, well under the limit.
  $('search').addEventListener('input', () => {
    clearTimeout(searchTimer);
    searchTimer = setTimeout(search, 300);
  });
  // The host's buttons on every song come and go with the PIN, from the queue already shown.
  $('pin').addEventListener('input', () => { if (shownQueue) showQueue(shownQueue); });
  $('skip').addEventListener('click', () => host('/api/skip', 'Skipped.'));
  $('pause').addEventListener('click', () => host('/api/pause', 'Paused.'));
  $('resume').addEventListener('click', () => host('/api/resume', 'Playing again.'));
  $('clear').addEventListener('click', () => {
    if (confirm('Remove every song from the queue?')) host('/api/clear', 'The queue is empty.');
  });
  try {
    await startSession();
  } catch (e) {
    say('The party cannot be reached just now.');
  }
  poll();
}

start();
