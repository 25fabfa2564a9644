#include "framework/resources.h"

#include <QFile>
#include <algorithm>

#include "framework/dib_reader.h"

namespace fw {
namespace {

const ResourceSet* g_resources = nullptr;

QByteArray ReadResource(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

void UseResources(const ResourceSet* resources) noexcept {
  g_resources = resources;
}

const DialogTemplate* FindDialogTemplate(int id) noexcept {
  if (!g_resources) return nullptr;
  const auto& dialogs = g_resources->dialogs;
  const auto it = std::find_if(dialogs.begin(), dialogs.end(), [id](const auto& d) { return d.id == id; });
  return it == dialogs.end() ? nullptr : &*it;
}

QString LoadString(unsigned id) {
  if (!g_resources) return {};
  for (const auto& s : g_resources->strings) {
    if (s.id == id) return QString::fromUtf16(s.text.data(), static_cast<qsizetype>(s.text.size()));
  }
  return {};
}

QIcon LoadIcon(int id) {
  return ReadIconFile(ReadResource(QStringLiteral(":/res/icon/%1.ico").arg(id)));
}

QPixmap LoadBitmap(int id) {
  return QPixmap::fromImage(ReadBitmapFile(ReadResource(QStringLiteral(":/res/bitmap/%1.bmp").arg(id))));
}

}  // namespace fw
