#include "site/page_files.h"

#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <array>
#include <filesystem>

namespace kelvo_site {
namespace {

namespace fs = std::filesystem;
// The page's files are small; anything bigger is not one of them.
constexpr std::uintmax_t kMaxFileBytes = 16 * 1024 * 1024;

std::string ProgramDirectory() {
  std::array<char, 4096> path{};
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  return fs::path(std::string(path.data(), static_cast<std::size_t>(length))).parent_path().string();
}

}  // namespace

std::vector<std::string> PageDirCandidates() {
  std::vector<std::string> candidates;
  if (const std::string directory = ProgramDirectory(); !directory.empty())
    candidates.push_back(directory + "/../share/kelvo/site/page");
  candidates.emplace_back("/usr/share/kelvo/site/page");
  candidates.emplace_back(KVZ_PAGE_SOURCE_PATH);
  return candidates;
}

std::string FindPageDir() {
  for (const std::string& candidate : PageDirCandidates()) {
    std::error_code error;
    if (fs::is_regular_file(fs::path(candidate) / "index.html", error))
      return fs::path(candidate).lexically_normal().string();
  }
  return {};
}

QByteArray MimeTypeOf(const std::string& name) {
  static constexpr std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".json", "application/json"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},
      {".txt", "text/plain; charset=utf-8"},
      {".map", "application/json"},
      {".webmanifest", "application/manifest+json"},
  };
  for (const auto& [ending, type] : kTypes) {
    if (name.ends_with(ending)) return type;
  }
  return "application/octet-stream";
}

std::optional<PageFile> ReadPageFile(const std::string& dir, const QByteArray& url_path) {
  if (dir.empty() || !url_path.startsWith('/')) return std::nullopt;
  const QByteArray decoded = QByteArray::fromPercentEncoding(url_path);
  std::string relative = decoded.mid(1).toStdString();
  if (relative.empty() || relative.back() == '/') relative += "index.html";
  if (relative.find('\0') != std::string::npos || relative.find('\\') != std::string::npos)
    return std::nullopt;
  for (const auto& part : fs::path(relative)) {
    if (part == ".." || part == "." || part.empty()) return std::nullopt;
  }
  std::error_code error;
  const fs::path root = fs::canonical(dir, error);
  if (error) return std::nullopt;
  const fs::path file = fs::canonical(root / relative, error);
  if (error) return std::nullopt;
  // A link may not lead out of the page's directory.
  const auto [end, _] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
  if (end != root.end() || !fs::is_regular_file(file, error) || fs::file_size(file, error) > kMaxFileBytes)
    return std::nullopt;
  QFile in(QString::fromStdString(file.string()));
  if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
  return PageFile{MimeTypeOf(file.filename().string()), in.readAll()};
}

}  // namespace kelvo_site
