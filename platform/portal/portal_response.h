// The answers of the screen-cast portal: a Request object's Response signal, what it means for
// the cast, and the streams that Start reports.
#pragma once

#include <QObject>
#include <QVariant>
#include <QVariantMap>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/portal/screen_cast_status.h"

class QEventLoop;

namespace marrowdale {

struct PortalResponse {
    std::string callError;   // the method call itself failed (D-Bus error text)
    bool timedOut = false;   // no Response came in time
    std::uint32_t code = 2;  // 0 success, 1 cancelled by the user, 2 ended otherwise
    QVariantMap results;
};

struct PortalVerdict {
    ScreenCastStatus status = ScreenCastStatus::kFailed;
    std::string error;
};

// What a response to `method` means for the cast, with the text shown for a failure.
PortalVerdict judgePortalResponse(const PortalResponse& response, const char* method);

struct PortalStream {
    std::uint32_t node = 0;
    std::int32_t x = 0, y = 0;
    std::int32_t width = 0, height = 0;
};

// The "streams" result of Start, a(ua{sv}). False when it has another shape.
bool parsePortalStreams(const QVariant& value, std::vector<PortalStream>& streams);

// Receives one Response signal and waits for it in a local event loop.
class ResponseReceiver : public QObject {
    Q_OBJECT
  public:
    PortalResponse wait(int timeoutMs);

  public slots:
    void onResponse(uint code, const QVariantMap& results);

  private:
    bool received_ = false;
    PortalResponse response_;
    QEventLoop* loop_ = nullptr;
};

}  // namespace marrowdale
