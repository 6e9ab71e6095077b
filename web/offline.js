// Keeps the page's files so that it opens without a network once it has
// been loaded. Requests for them are answered from the cache; the network
// refreshes the cache whenever it answers.
'use strict';

const CACHE = 'calculator-page';
const FILES = [
  './', 'index.html', 'style.css', 'page.js', 'worker.js', 'session.js', 'calculator.js',
  'calculator.wasm'
];

self.addEventListener('install', (event) => {
  event.waitUntil(
      caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(self.clients.claim());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) {
    return;
  }
  event.respondWith(caches.open(CACHE).then(async (cache) => {
    const cached = await cache.match(request, {ignoreSearch: true});
    const fresh = fetch(request).then((response) => {
      if (response.ok) {
        cache.put(request, response.clone());
      }
      return response;
    });
    if (cached) {
      fresh.catch(() => {});
      return cached;
    }
    return fresh;
  }));
});
