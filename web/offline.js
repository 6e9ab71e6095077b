// Keeps one version of the page's files so that it opens without a network
// once it has been loaded. The build names every file but index.html and
// this one for its content, so such a name always means the same bytes:
// those files come from a cache first, this version's or the browser's own
// (a page still open with an earlier version finds its files there). The
// page itself always asks the network first, revalidated, and falls back to
// this version's copy only when the network fails; a new version thus
// arrives whole on the next visit.
'use strict';

const CACHE = 'calculator-@PAGE_VERSION@';
const PAGE = ['./', 'index.html'];
const CONTENT_NAMED = [
  'style.css', 'icon.svg', 'page.js', 'worker.js', 'session.js', 'calculator.js', 'calculator.wasm'
];
const CONTENT_NAME = /\/[a-z]+\.[0-9a-f]{10}\.[a-z]+$/;

self.addEventListener('install', (event) => {
  const requests = [
    ...PAGE.map((name) => new Request(name, {cache: 'no-cache'})), ...CONTENT_NAMED
  ];
  event.waitUntil(
      caches.open(CACHE).then((cache) => cache.addAll(requests)).then(() => self.skipWaiting()));
});

// Earlier versions' copies go.
self.addEventListener('activate', (event) => {
  const earlier = (key) => key.startsWith('calculator-') && key !== CACHE;
  event.waitUntil(caches.keys()
                      .then((keys) => keys.filter(earlier))
                      .then((keys) => Promise.all(keys.map((key) => caches.delete(key))))
                      .then(() => self.clients.claim()));
});

async function fromCacheElseNetwork(request) {
  return (await caches.match(request)) || fetch(request);
}

async function fromNetworkElseCache(request) {
  try {
    return await fetch(request, {cache: 'no-cache'});
  } catch (error) {
    const cache = await caches.open(CACHE);
    const cached = await cache.match(request, {ignoreSearch: true}) ||
        (request.mode === 'navigate' && await cache.match('index.html'));
    if (cached) {
      return cached;
    }
    throw error;
  }
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) {
    return;
  }
  event.respondWith(CONTENT_NAME.test(url.pathname) ? fromCacheElseNetwork(request) :
                                                      fromNetworkElseCache(request));
});
