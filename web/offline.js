// Keeps the page's files so that it opens without a network once it has
// been loaded. Every request goes to the network first, so that a new
// version is never mixed with an old one; only when the network fails does
// the cached copy answer.
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

async function fromNetworkElseCache(request) {
  const cache = await caches.open(CACHE);
  try {
    const response = await fetch(request);
    if (response.ok) {
      await cache.put(request, response.clone());
    }
    return response;
  } catch (error) {
    const cached = await cache.match(request, {ignoreSearch: true});
    if (cached) {
      return cached;
    }
    throw error;
  }
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method === 'GET' && new URL(request.url).origin === self.location.origin) {
    event.respondWith(fromNetworkElseCache(request));
  }
});
