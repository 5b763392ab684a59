# Writes the web build's site beside tlvx.js and tlvx.wasm (cmake -P, from
# app/CMakeLists.txt): the page, its service worker, the web app manifest and
# the icons from share/web. The build id, a hash of every file of the site,
# goes into the page (window.tlvx.build) and the service worker, whose cache
# it names: a build that changes any file replaces the old one's cache.
#   cmake -DSRC=share/web -DSITE=build-web/site -P cmake/web_site.cmake
set(copied manifest.webmanifest icon-192.png icon-512.png favicon.ico)
set(hashes "")
foreach(f ${SITE}/tlvx.js ${SITE}/tlvx.wasm ${SITE}/pako.min.js ${SRC}/index.html ${SRC}/sw.js)
  file(SHA256 ${f} h)
  string(APPEND hashes ${h})
endforeach()
foreach(f ${copied})
  file(SHA256 ${SRC}/${f} h)
  string(APPEND hashes ${h})
  configure_file(${SRC}/${f} ${SITE}/${f} COPYONLY)
  file(TOUCH ${SITE}/${f})
endforeach()
string(SHA256 build "${hashes}")
string(SUBSTRING ${build} 0 16 build)
foreach(f index.html sw.js)
  file(READ ${SRC}/${f} text)
  string(REPLACE "@TLVX_BUILD@" ${build} text "${text}")
  file(WRITE ${SITE}/${f}.new "${text}")
  file(RENAME ${SITE}/${f}.new ${SITE}/${f})
endforeach()
file(WRITE ${SITE}/build-id "${build}\n")
