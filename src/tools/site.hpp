#pragma once
// `tlvx-tool site`: a static web site that plays one world. It is the web
// build's site (the page and the program) with the world beside it as one
// archive; the page opens that world on a player's first visit instead of
// the demo world and keeps its players' progress apart from any other world
// served from the same host.
#include <cstdint>
#include <string>
#include <vector>

namespace tlvx::tools {

// What the web build's page holds in place of a published world's facts;
// the site names the world there (`<meta name="tlvx-world" content="ARCHIVE"
// data-name="NAME" data-bytes="SIZE">`), and the page reads it.
inline constexpr const char* kSitePageMarker = "<meta name=\"tlvx-world\" content=\"\">";
// The page of a site, and the archive of its world beside it.
inline constexpr const char* kSitePage = "index.html";
inline constexpr const char* kSiteWorldArchive = "world.tar";
// The most files, and the largest file, a web build's site may bring.
inline constexpr size_t kSiteMaxFiles = 256;
inline constexpr size_t kSiteMaxFileBytes = size_t{64} << 20;

// The web build's site this tool was built beside (build-web/site of its
// source tree); --from names another.
std::string default_site_dir();

struct SiteOptions {
    std::string world;  // the world's folder
    std::string out;    // the site's folder: new, or empty, or any with `force`
    std::string from;   // the web build's site
    bool force = false;
};

struct SiteResult {
    std::string name;                    // the world's name, as its page shows it
    std::vector<std::string> published;  // the world's files in the archive
    std::vector<std::string> left_out;   // other files of the world's folder, not part of it
    int64_t archive_bytes = 0;
    size_t site_files = 0;  // files written into `out`, the archive among them
};

// Checks the world as `info` does (refused with its problems), and as the
// page checks a world it opens, then writes the site into `out` through one
// set of staged files. Throws ToolError for anything the user must fix,
// before anything is written.
SiteResult write_site(const SiteOptions& opt);

// `text` for an attribute value of a page: &, <, >, " and control characters
// as character references.
std::string html_attribute(const std::string& text);

}  // namespace tlvx::tools
