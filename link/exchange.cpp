#include "link/exchange.h"

namespace kelvo_link {

Exchange::Exchange(QByteArray request, int timeout_ms, int retries, QObject* parent)
    : QObject(parent), request_(std::move(request)), timeout_ms_(timeout_ms), retries_(retries) {}

void Exchange::Finish(ExchangeResult result, const QString& reason) {
  if (finished_) return;
  finished_ = true;
  result_ = result;
  reason_ = reason;
  emit finished();
}

}  // namespace kelvo_link
