// The page's own files, served from one directory: the build tree's
// site/page/, the installed share/kelvo/site/page/, or one given.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

namespace kelvo_site {

// Where the page is looked for, first first: beside the program (its
// directory's ../share/kelvo/site/page), /usr/share/kelvo/site/page, then the
// source tree's site/page.
[[nodiscard]] std::vector<std::string> PageDirCandidates();
// The first candidate that holds an index.html, or empty.
[[nodiscard]] std::string FindPageDir();

struct PageFile {
  QByteArray content_type;
  QByteArray body;
};

// The file `url_path` names under `dir` ("/" is index.html); none for a path
// that leaves the directory (.., a link out), is not a regular file, or is
// not there.
[[nodiscard]] std::optional<PageFile> ReadPageFile(const std::string& dir, const QByteArray& url_path);

// The MIME type of a file by its name's ending.
[[nodiscard]] QByteArray MimeTypeOf(const std::string& name);

}  // namespace kelvo_site
