// The page's service worker: it keeps a copy of one build of the site so that
// the page plays with the server gone. Online, every file comes from the
// server, so a new build plays on the first visit after it is put up (and
// this worker is replaced by the new build's, whose build id differs);
// offline, the files come from the copy of the build this worker belongs to,
// all of one build. The world is not here: it stays in the page's storage,
// whichever build plays it. The build writes this file with its build id, a
// hash of the site's files.
"use strict";
const kBuild = "@TLVX_BUILD@";
const kFiles = ["./", "index.html", "tlvx.js", "tlvx.wasm", "manifest.webmanifest", "icon-192.png", "icon-512.png",
                "favicon.ico", "pako.min.js"];
// Copies of this site at another path of the same host are kept apart.
const kPrefix = "tlvx " + self.registration.scope + " ";
const kCache = kPrefix + kBuild;

self.addEventListener("install", (e) => {
  e.waitUntil(caches.open(kCache)
    .then((cache) => cache.addAll(kFiles.map((f) => new Request(f, { cache: "reload" }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener("activate", (e) => {
  e.waitUntil(caches.keys()
    .then((keys) => Promise.all(keys.filter((k) => k.startsWith(kPrefix) && k !== kCache).map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});

self.addEventListener("fetch", (e) => {
  const request = e.request;
  if (request.method !== "GET" || new URL(request.url).origin !== self.location.origin) return;
  e.respondWith(fetch(request).catch(async () => {
    const cache = await caches.open(kCache);
    const found = await cache.match(request, { ignoreSearch: true });
    return found || Response.error();
  }));
});
