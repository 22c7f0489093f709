#include "platform/portal/screen_cast_portal.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QEventLoop>
#include <QTimer>
#include <QVariantMap>

#include <atomic>

#include "platform/portal/portal_response.h"

namespace marrowdale {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kDesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr std::uint32_t kSourceMonitor = 1;
constexpr std::uint32_t kCursorHidden = 1;
constexpr std::uint32_t kCursorEmbedded = 2;
constexpr std::uint32_t kPersistUntilRevoked = 2;
// Answers that need no person come at once; the dialog of Start waits for the user.
constexpr int kQuickAnswerMs = 30'000;
constexpr int kUserAnswerMs = 10 * 60'000;

// Qt D-Bus needs an application object; marrowdale-record has none of its own.
class ApplicationObject {
  public:
    ApplicationObject() {
        if (QCoreApplication::instance() == nullptr)
            app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }

  private:
    int argc_ = 1;
    char name_[18] = "marrowdale-record";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

class PortalSession {
  public:
    PortalSession(const PortalSession&) = delete;
    PortalSession& operator=(const PortalSession&) = delete;
    PortalSession()
        : bus_(QDBusConnection::connectToBus(
              QDBusConnection::SessionBus,
              QStringLiteral("marrowdale-screen-cast-%1").arg(nextConnection_.fetch_add(1)))) {}

    ~PortalSession() {
        if (!sessionPath_.isEmpty()) {
            QDBusMessage close =
                QDBusMessage::createMethodCall(kService, sessionPath_, kSession, "Close");
            bus_.call(close, QDBus::Block, kQuickAnswerMs);
        }
        const QString name = bus_.name();
        bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name);
    }

    void start(const std::string& restoreToken, ScreenCastStart& out) {
        if (!bus_.isConnected()) {
            out.status = ScreenCastStatus::kNoPortal;
            out.error = "no session bus: " + bus_.lastError().message().toStdString();
            return;
        }
        const QVariant version = property(QStringLiteral("version"));
        if (!version.isValid()) {
            out.status = ScreenCastStatus::kNoPortal;
            out.error = "the desktop offers no screen-cast portal (" + lastError_ + ")";
            return;
        }
        const std::uint32_t cursorModes = property(QStringLiteral("AvailableCursorModes")).toUInt();
        sender_ = bus_.baseService().mid(1).replace('.', '_');

        QVariantMap options;
        options["session_handle_token"] = token();
        PortalResponse created = request("CreateSession", {}, options, kQuickAnswerMs);
        if (!answered(created, "CreateSession", out))
            return;
        sessionPath_ = created.results.value("session_handle").toString();
        if (sessionPath_.isEmpty()) {
            fail(out, ScreenCastStatus::kFailed, "the portal made no session");
            return;
        }

        options.clear();
        options["types"] = QVariant::fromValue(kSourceMonitor);
        options["multiple"] = false;
        if ((cursorModes & kCursorHidden) != 0)
            options["cursor_mode"] = QVariant::fromValue(kCursorHidden);
        else if ((cursorModes & kCursorEmbedded) != 0)
            options["cursor_mode"] = QVariant::fromValue(kCursorEmbedded);
        if (version.toUInt() >= 4) {
            options["persist_mode"] = QVariant::fromValue(kPersistUntilRevoked);
            if (!restoreToken.empty())
                options["restore_token"] = QString::fromStdString(restoreToken);
        }
        PortalResponse selected =
            request("SelectSources", {QVariant::fromValue(QDBusObjectPath(sessionPath_))}, options,
                    kQuickAnswerMs);
        if (!answered(selected, "SelectSources", out))
            return;

        PortalResponse started =
            request("Start", {QVariant::fromValue(QDBusObjectPath(sessionPath_)), QString()}, {},
                    kUserAnswerMs);
        if (!answered(started, "Start", out))
            return;
        std::vector<PortalStream> streams;
        if (!parsePortalStreams(started.results.value("streams"), streams) || streams.empty()) {
            fail(out, ScreenCastStatus::kFailed, "the portal started no stream");
            return;
        }
        out.node = streams.front().node;
        out.x = streams.front().x;
        out.y = streams.front().y;
        out.width = streams.front().width;
        out.height = streams.front().height;
        out.restoreToken = started.results.value("restore_token").toString().toStdString();

        QDBusMessage open = QDBusMessage::createMethodCall(kService, kDesktopPath, kScreenCast,
                                                           "OpenPipeWireRemote");
        open << QVariant::fromValue(QDBusObjectPath(sessionPath_)) << QVariantMap();
        const QDBusMessage reply = bus_.call(open, QDBus::Block, kQuickAnswerMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            fail(out, ScreenCastStatus::kFailed,
                 "the portal gave no PipeWire connection: " + reply.errorMessage().toStdString());
            return;
        }
        const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().front());
        out.pipewireFd = fd.isValid() ? fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3) : -1;
        if (out.pipewireFd < 0) {
            fail(out, ScreenCastStatus::kFailed, "the portal gave no PipeWire connection");
            return;
        }
        out.status = ScreenCastStatus::kOk;
    }

  private:
    QVariant property(const QString& name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, kDesktopPath, QStringLiteral("org.freedesktop.DBus.Properties"), "Get");
        get << kScreenCast << name;
        const QDBusMessage reply = bus_.call(get, QDBus::Block, kQuickAnswerMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            lastError_ = reply.errorMessage().toStdString();
            return {};
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().front()).variant();
    }

    QString token() { return QStringLiteral("marrowdale%1").arg(++tokens_); }

    // Calls a method that answers through a Request object, and waits for its Response.
    PortalResponse request(const char* method, const QVariantList& arguments, QVariantMap options,
                           int timeoutMs) {
        const QString handle = token();
        options["handle_token"] = handle;
        const QString path =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender_, handle);
        ResponseReceiver receiver;
        // Listen before calling: the answer may come before the call returns.
        bus_.connect(kService, path, kRequest, "Response", &receiver,
                     SLOT(onResponse(uint, QVariantMap)));
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kDesktopPath, kScreenCast, method);
        QVariantList args = arguments;
        args << options;
        call.setArguments(args);
        const QDBusMessage reply = bus_.call(call, QDBus::Block, kQuickAnswerMs);
        PortalResponse response;
        if (reply.type() != QDBusMessage::ReplyMessage) {
            response.callError = reply.errorMessage().toStdString();
            if (response.callError.empty())
                response.callError = "no answer";
        } else {
            response = receiver.wait(timeoutMs);
        }
        bus_.disconnect(kService, path, kRequest, "Response", &receiver,
                        SLOT(onResponse(uint, QVariantMap)));
        return response;
    }

    static bool answered(const PortalResponse& response, const char* method, ScreenCastStart& out) {
        const PortalVerdict verdict = judgePortalResponse(response, method);
        out.status = verdict.status;
        out.error = verdict.error;
        return verdict.status == ScreenCastStatus::kOk;
    }

    static void fail(ScreenCastStart& out, ScreenCastStatus status, std::string error) {
        out.status = status;
        out.error = std::move(error);
    }

    static inline std::atomic<int> nextConnection_{0};
    QDBusConnection bus_;
    QString sender_;
    QString sessionPath_;
    std::string lastError_;
    int tokens_ = 0;
};

// The application object outlives the session's connection.
class PortalCast final : public ScreenCastPortal {
  public:
    ApplicationObject application;
    PortalSession session;
};

}  // namespace

std::unique_ptr<ScreenCastPortal> startScreenCast(const std::string& restoreToken,
                                                  ScreenCastStart& result) {
    result = ScreenCastStart{};
    auto cast = std::make_unique<PortalCast>();
    cast->session.start(restoreToken, result);
    if (result.status != ScreenCastStatus::kOk) {
        if (result.pipewireFd >= 0)
            ::close(result.pipewireFd);
        result.pipewireFd = -1;
        return nullptr;
    }
    return cast;
}

}  // namespace marrowdale
