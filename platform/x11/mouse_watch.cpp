// The mouse watch on X11, served by the RECORD extension: the server copies every pointer
// button event it processes to our data connection, before and independently of the delivery
// to the window under the pointer, so nothing is taken away from that window.
//
// Two connections, as RECORD asks: a control connection that creates and ends the recording
// context, and a data connection that carries the recorded events and is used for nothing else.
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <poll.h>

#include <cstring>
#include <vector>

#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

struct DisplayCloser {
    void operator()(Display* display) const {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Button numbers of the core protocol and the message a press or a release of each gives.
std::uint32_t messageFor(int type, unsigned button) {
    const bool press = type == ButtonPress;
    switch (button) {
        case 1:
            return press ? kMouseMessageLeftDown : kMouseMessageLeftUp;
        case 2:
            return press ? kMouseMessageMiddleDown : kMouseMessageMiddleUp;
        case 3:
            return press ? kMouseMessageRightDown : kMouseMessageRightUp;
        case 4:
        case 5:
            return press ? kMouseMessageWheel : 0;
        case 6:
        case 7:
            return press ? kMouseMessageHorizontalWheel : 0;
        default:
            return 0;
    }
}

class X11RecordMouseWatch final : public MouseWatch {
  public:
    X11RecordMouseWatch(DisplayPtr control, DisplayPtr data, XRecordContext context)
        : control_(std::move(control)), data_(std::move(data)), context_(context) {}

    ~X11RecordMouseWatch() override {
        if (enabled_) {
            XRecordDisableContext(control_.get(), context_);
        }
        XRecordFreeContext(control_.get(), context_);
        XSync(control_.get(), False);
        // Closing the data connection reads what is still on its way; the callback only
        // appends to our queue, which is still alive here.
        data_.reset();
        control_.reset();
    }

    X11RecordMouseWatch(const X11RecordMouseWatch&) = delete;
    X11RecordMouseWatch& operator=(const X11RecordMouseWatch&) = delete;

    // Starts the recording and waits (at most `timeoutMs`) until the server confirms it, so
    // that every press after this returns is seen.
    bool enable(int timeoutMs, std::string* error) {
        if (!XRecordEnableContextAsync(data_.get(), context_, &X11RecordMouseWatch::intercept,
                                       reinterpret_cast<XPointer>(this))) {
            if (error)
                *error = "the recording context could not be enabled";
            return false;
        }
        enabled_ = true;
        XFlush(data_.get());
        int waited = 0;
        while (!started_ && !broken_ && waited < timeoutMs) {
            pollfd fd{ConnectionNumber(data_.get()), POLLIN, 0};
            if (poll(&fd, 1, 10) < 0) {
                break;
            }
            XRecordProcessReplies(data_.get());
            waited += 10;
        }
        if (!started_) {
            if (error)
                *error = "the server did not start recording";
            return false;
        }
        return true;
    }

    int fileDescriptor() const override { return ConnectionNumber(data_.get()); }

    bool dispatchPending(const Sink& sink) override {
        XRecordProcessReplies(data_.get());
        deliver(sink);
        return !broken_;
    }

    bool syncAndDispatch(const Sink& sink) override {
        // The server sends recorded data to all clients in the same flush as the events it
        // delivers; a round trip on the control connection makes sure that flush happened.
        XSync(control_.get(), False);
        return dispatchPending(sink);
    }

  private:
    static void intercept(XPointer closure, XRecordInterceptData* data) {
        auto* self = reinterpret_cast<X11RecordMouseWatch*>(closure);
        if (data == nullptr) {
            return;
        }
        switch (data->category) {
            case XRecordStartOfData:
                self->started_ = true;
                break;
            case XRecordEndOfData:
                self->broken_ = true;
                break;
            case XRecordFromServer:
                if (data->data != nullptr && data->data_len * 4 >= sizeof(xEvent)) {
                    xEvent event;
                    std::memcpy(&event, data->data, sizeof(event));
                    const int type = event.u.u.type & 0x7F;
                    if (type == ButtonPress || type == ButtonRelease) {
                        const std::uint32_t message = messageFor(type, event.u.u.detail);
                        if (message != 0) {
                            self->queue_.push_back(
                                {message,
                                 {event.u.keyButtonPointer.rootX, event.u.keyButtonPointer.rootY}});
                        }
                    }
                }
                break;
            default:
                break;
        }
        XRecordFreeData(data);
    }

    void deliver(const Sink& sink) {
        if (queue_.empty()) {
            return;
        }
        // The batch is taken out of the queue first, so the sink may run anything, even a
        // nested dispatch, without disturbing this loop.
        std::vector<MouseWatchEvent> batch;
        batch.swap(queue_);
        for (const MouseWatchEvent& event : batch) {
            sink(event);
        }
    }

    DisplayPtr control_;
    DisplayPtr data_;
    XRecordContext context_;
    bool enabled_ = false;
    bool started_ = false;
    bool broken_ = false;
    std::vector<MouseWatchEvent> queue_;
};

}  // namespace

std::unique_ptr<MouseWatch> openX11MouseWatch(std::string* error) {
    DisplayPtr control(XOpenDisplay(nullptr));
    DisplayPtr data(XOpenDisplay(nullptr));
    if (!control || !data) {
        if (error)
            *error = "cannot open the X display";
        return nullptr;
    }
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(control.get(), &major, &minor)) {
        if (error)
            *error = "the X server has no RECORD extension";
        return nullptr;
    }
    XRecordRange* range = XRecordAllocRange();
    if (range == nullptr) {
        if (error)
            *error = "out of memory";
        return nullptr;
    }
    range->device_events.first = ButtonPress;
    range->device_events.last = ButtonRelease;
    XRecordClientSpec clients = XRecordAllClients;
    const XRecordContext context = XRecordCreateContext(control.get(), 0, &clients, 1, &range, 1);
    XFree(range);
    if (context == 0) {
        if (error)
            *error = "the recording context could not be created";
        return nullptr;
    }
    // The data connection must find the context when it enables it.
    XSync(control.get(), False);

    auto watch =
        std::make_unique<X11RecordMouseWatch>(std::move(control), std::move(data), context);
    if (!watch->enable(2000, error)) {
        return nullptr;
    }
    return watch;
}

}  // namespace marrowdale
