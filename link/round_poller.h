// Polls units in rounds over one link: each address once a round, in order,
// one exchange at a time. Rounds start one interval apart, start to start;
// one that overruns makes the next start the moment it ends, never two at
// once. Requests asked between rounds go out after the exchange in flight and
// before the round's next request. Every program that polls uses this one.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/link_client.h"

namespace kelvo_link {

struct RoundSettings {
  std::vector<int> addresses;  // in the order they are polled
  int interval_ms = 1000;      // from the start of one round to the start of the next
  RequestOptions request;      // each request's timeout and retries
  std::int64_t rounds = 0;     // rounds to run; 0: until stopped
  // The request for an address, made the moment it is sent; empty: the status
  // request with the host time.
  std::function<QByteArray(int address)> make_request;
};

class RoundPoller : public QObject {
  Q_OBJECT

 public:
  // Polls over `link`, which must outlive it and which it never opens or closes.
  RoundPoller(LinkClient& link, RoundSettings settings, QObject* parent = nullptr);
  ~RoundPoller() override;

  // The first round starts at once (requests wait while the link opens).
  void Start();
  // No more rounds; what is out reports nothing. Closing the link under the
  // rounds stops them too.
  void Stop();
  [[nodiscard]] bool running() const { return running_; }
  [[nodiscard]] const RoundSettings& settings() const { return settings_; }
  // Rounds started so far.
  [[nodiscard]] std::int64_t round() const { return round_; }

  // A request of the caller's between rounds. Its reply is the caller's: it
  // reports through its own finished(), and the caller deletes it.
  Exchange* Ask(const QByteArray& request, RequestOptions options);

 signals:
  // A round's request was handed to the link.
  void requestSent(int address);
  // A round's request finished: with a valid answer, or without one (the
  // exchange says why: NoAnswer or LinkDown). A request cut short by Stop
  // reports neither. The exchange is deleted later.
  void answered(int address, const kelvo_link::Exchange& exchange);
  void missed(int address, const kelvo_link::Exchange& exchange);
  // The round's last request finished.
  void roundEnded(std::int64_t round);
  // The last of `rounds` ended.
  void finished();

 private:
  void RoundDue();
  void StartRound();
  void SendNext();
  void Finished(Exchange* exchange, int address, std::uint64_t run);

  LinkClient& link_;
  RoundSettings settings_;
  QTimer round_timer_;
  std::int64_t round_ = 0;
  std::size_t next_ = 0;    // this round's next address; addresses.size() once all are out
  bool in_flight_ = false;  // a round's request is out
  bool due_ = false;        // the next round came while this one was still going
  bool running_ = false;
  std::uint64_t run_ = 0;  // bumped by Stop, so that replies of an earlier run are ignored
};

}  // namespace kelvo_link
