#include "platform/portal/portal_response.h"

#include <QDBusArgument>
#include <QEventLoop>
#include <QTimer>

namespace marrowdale {

PortalVerdict judgePortalResponse(const PortalResponse& response, const char* method) {
    PortalVerdict v;
    const std::string name = method;
    if (!response.callError.empty()) {
        v.status = ScreenCastStatus::kFailed;
        v.error = "the screen-cast portal refused " + name + ": " + response.callError;
        return v;
    }
    if (response.timedOut) {
        v.status = ScreenCastStatus::kFailed;
        v.error = "the screen-cast portal did not answer " + name + " in time";
        return v;
    }
    switch (response.code) {
        case 0:
            v.status = ScreenCastStatus::kOk;
            break;
        case 1:
            v.status = ScreenCastStatus::kRefused;
            v.error = "permission to record the screen was refused";
            break;
        default:
            v.status = ScreenCastStatus::kFailed;
            v.error = "the screen-cast portal could not " +
                      std::string(name == "Start" ? "start the cast" : "prepare the cast") + " (" +
                      name + " ended with code " + std::to_string(response.code) + ")";
            break;
    }
    return v;
}

namespace {

bool readPair(const QVariant& value, std::int32_t& a, std::int32_t& b) {
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::StructureType)
        return false;
    arg.beginStructure();
    int first = 0, second = 0;
    arg >> first >> second;
    arg.endStructure();
    a = first;
    b = second;
    return true;
}

}  // namespace

bool parsePortalStreams(const QVariant& value, std::vector<PortalStream>& streams) {
    streams.clear();
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return false;
    arg.beginArray();
    while (!arg.atEnd()) {
        PortalStream stream;
        QVariantMap properties;
        arg.beginStructure();
        arg >> stream.node >> properties;
        arg.endStructure();
        readPair(properties.value("position"), stream.x, stream.y);
        readPair(properties.value("size"), stream.width, stream.height);
        streams.push_back(stream);
    }
    arg.endArray();
    return true;
}

PortalResponse ResponseReceiver::wait(int timeoutMs) {
    if (!received_) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop_ = &loop;
        loop.exec();
        loop_ = nullptr;
    }
    if (!received_) {
        PortalResponse r;
        r.timedOut = true;
        return r;
    }
    return response_;
}

void ResponseReceiver::onResponse(uint code, const QVariantMap& results) {
    received_ = true;
    response_.code = code;
    response_.results = results;
    if (loop_ != nullptr)
        loop_->quit();
}

}  // namespace marrowdale
