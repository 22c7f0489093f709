#include "platform/loader/portal_loader.h"

#include <QSettings>
#include <QString>

#include "platform/picture_source.h"
#include "platform/pipewire/pipewire_picture_source.h"
#include "platform/portal/screen_cast_portal.h"

namespace marrowdale {

namespace {

// Settings key of the portal's restore token.
const char* const kRestoreTokenKey = "ScreenCast/RestoreToken";
// How long a new cast may take to deliver its first picture before the recording starts
// anyway (grabs fail, and are counted, until one has come).
constexpr int kFirstPictureMs = 2000;

std::string storedRestoreToken() {
    QSettings settings(QStringLiteral("Marrowdale"), QStringLiteral("Marrowdale"));
    return settings.value(kRestoreTokenKey).toString().toStdString();
}

void storeRestoreToken(const std::string& token) {
    QSettings settings(QStringLiteral("Marrowdale"), QStringLiteral("Marrowdale"));
    if (token.empty())
        settings.remove(kRestoreTokenKey);
    else
        settings.setValue(kRestoreTokenKey, QString::fromStdString(token));
}

ScreenSourceStatus sourceStatus(ScreenCastStatus status) {
    switch (status) {
        case ScreenCastStatus::kOk:
            return ScreenSourceStatus::kOk;
        case ScreenCastStatus::kNoPortal:
            return ScreenSourceStatus::kUnavailable;
        case ScreenCastStatus::kRefused:
            return ScreenSourceStatus::kRefused;
        case ScreenCastStatus::kFailed:
            break;
    }
    return ScreenSourceStatus::kFailed;
}

class PortalLoader final : public ScreenGrabberLoader {
  public:
    ScreenBackend backend() const override { return ScreenBackend::kPortal; }

    ScreenSourceResult prepare() override {
        if (source_ && !source_->lost())
            return {};
        source_.reset();
        cast_.reset();

        ScreenCastStart start;
        std::unique_ptr<ScreenCastPortal> cast = startScreenCast(storedRestoreToken(), start);
        if (!cast)
            return {sourceStatus(start.status), start.error};
        if (!start.restoreToken.empty())
            storeRestoreToken(start.restoreToken);

        std::string error;
        std::shared_ptr<PipeWirePictureSource> source =
            openPipeWirePictureSource({start.pipewireFd, start.node, start.x, start.y}, error);
        if (!source)
            return {ScreenSourceStatus::kFailed, error};
        if (!source->waitForPicture(kFirstPictureMs) && source->lost())
            return {ScreenSourceStatus::kFailed,
                    "the screen cast ended at once: " + source->lostReason()};
        cast_ = std::move(cast);
        source_ = std::move(source);
        return {};
    }

    std::unique_ptr<ScreenGrabber> createGrabber() override {
        if (!source_)
            return nullptr;
        return createPictureSourceGrabber(source_);
    }

    std::string lostMessage() const override {
        const std::string reason = source_ ? source_->lostReason() : std::string();
        return "the screen cast ended (" + (reason.empty() ? std::string("closed") : reason) +
               "); the recording was stopped";
    }

  private:
    // The cast's session is closed after its stream has gone.
    std::unique_ptr<ScreenCastPortal> cast_;
    std::shared_ptr<PipeWirePictureSource> source_;
};

}  // namespace

std::unique_ptr<ScreenGrabberLoader> createPortalLoader() {
    return std::make_unique<PortalLoader>();
}

}  // namespace marrowdale
