// Global keys for tests: records the grabs, refuses the chords a test marks as held by another
// program, and delivers the presses a test makes. Its descriptor is a pipe the presses write to,
// so an owner that polls it behaves as with the real one.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "platform/global_keys.h"

namespace marrowdale {

class FakeGlobalKeys final : public GlobalKeys {
  public:
    FakeGlobalKeys() {
        if (pipe(pipe_) != 0)
            pipe_[0] = pipe_[1] = -1;
    }
    ~FakeGlobalKeys() override {
        for (const int fd : pipe_)
            if (fd >= 0)
                close(fd);
    }
    FakeGlobalKeys(const FakeGlobalKeys&) = delete;
    FakeGlobalKeys& operator=(const FakeGlobalKeys&) = delete;

    KeyGrabResult grab(int id, const KeyChord& chord) override {
        release(id);
        if (std::find(taken.begin(), taken.end(), chord) != taken.end())
            return KeyGrabResult::kTaken;
        if (chord.key.empty() || chord.key == "NoSuchKey")
            return KeyGrabResult::kUnknownKey;
        grabs[id] = chord;
        return KeyGrabResult::kGrabbed;
    }
    void release(int id) override { grabs.erase(id); }
    int fileDescriptor() const override { return pipe_[0]; }
    bool dispatchPending(const std::function<void(int id)>& pressed) override {
        char drained[64];
        while (!presses_.empty()) {
            const KeyChord chord = presses_.front();
            presses_.pop_front();
            if (pipe_[0] >= 0)
                (void)!read(pipe_[0], drained, 1);
            for (const auto& [id, grabbed] : grabs)
                if (grabbed == chord && pressed)
                    pressed(id);
        }
        return true;
    }

    // A press of `chord` anywhere on the desktop.
    void press(const KeyChord& chord) {
        presses_.push_back(chord);
        if (pipe_[1] >= 0)
            (void)!write(pipe_[1], "k", 1);
    }

    std::map<int, KeyChord> grabs;
    std::vector<KeyChord> taken;  // held by another program

  private:
    int pipe_[2] = {-1, -1};
    std::deque<KeyChord> presses_;
};

}  // namespace marrowdale
