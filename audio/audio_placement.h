// Where each captured packet goes in the sound file. The file's time runs on the recording's
// clock: frame f of the file is heard at zero + f / rate. A packet is placed by the time the
// endpoint stamped on its first frame (when the server delivered it), so that
// - a stretch in which nothing was delivered becomes silence of the same length,
// - sound from before zero is dropped, and nothing is written past the stop instant,
// - packets stamped a little earlier than the end of what was written (a burst of sound the
//   server rendered ahead, or fragments of one delivery) are laid end to end: nothing is dropped
//   and the file stays continuous,
// - a slow drift between the sound card's clock and the system clock (the written frame count
//   and the stamps drifting apart) is closed by repeating or dropping single frames, at most one
//   in every kDriftCorrectionSpanFrames, never by a jump. Only packets that arrive in step (each
//   stamp about one packet after the one before) steer it, so a burst does not.
// A packet without a stamp (time 0) follows the one before it.
//
// Pure arithmetic on frame counts; one instance per recording, used by the audio worker's
// thread only.
#pragma once

#include <cstdint>

namespace marrowdale {

// A gap between the stamps and the file above this becomes silence at once.
inline constexpr std::uint64_t kAudioGapThreshold100ns = 200'000;  // 20 ms
// Packets stamped up to this much before the file's end are brought back gradually; earlier
// stamps are taken for sound rendered ahead and laid end to end without correction.
inline constexpr std::uint64_t kAudioBurstThreshold100ns = 2'500'000;  // 250 ms
// Below this smoothed difference nothing is corrected.
inline constexpr std::uint64_t kAudioDriftDeadband100ns = 20'000;  // 2 ms
// Time constant of the smoothing of the difference between stamps and the file.
inline constexpr std::uint64_t kAudioDriftSmoothing100ns = 10'000'000;  // 1 s
// At most one frame repeated or dropped in this many (0.2 %: twice the drift of a poor card).
inline constexpr std::uint32_t kDriftCorrectionSpanFrames = 500;

// What to write for one packet, in frames: `silenceBefore` frames of silence, then the packet's
// frames [skipFront, skipFront + keep), then `repeatLast` copies of the last frame written.
struct PacketPlacement {
    std::uint64_t silenceBefore = 0;
    std::uint32_t skipFront = 0;
    std::uint32_t keep = 0;
    std::uint32_t repeatLast = 0;
};

class AudioPlacement {
  public:
    // `zero100ns`: the clock time of the file's first frame.
    AudioPlacement(std::uint32_t samplesPerSec, std::uint64_t zero100ns);

    // Places a packet of `frames` frames whose first frame was stamped `time100ns` (0: not
    // stamped) and counts what it returns as written.
    PacketPlacement place(std::uint64_t time100ns, std::uint32_t frames);

    // The file ends at `time100ns`: later packets are cut there. Before zero: an empty file.
    void setEnd(std::uint64_t time100ns);
    bool hasEnd() const { return hasEnd_; }
    // Frames of silence still missing before the end (0 without an end).
    std::uint64_t framesToEnd() const;
    // Counts `frames` of silence written at the end.
    void addTrailingSilence(std::uint64_t frames) {
        written_ += frames;
        silence_ += frames;
    }
    // Counts `frames` of silence written where the source had delivered nothing while time went
    // on (the file moves on without it); later packets are placed after it, and the drift is
    // measured afresh from them.
    void padSilence(std::uint64_t frames) {
        if (frames == 0)
            return;
        written_ += frames;
        silence_ += frames;
        started_ = true;
        smoothed_ = 0;
        lastStamp_ = 0;
    }

    std::uint64_t writtenFrames() const { return written_; }
    // The file frame at which a sound stamped `time100ns` is heard (negative before zero).
    std::int64_t frameAt(std::uint64_t time100ns) const;
    // The smoothed difference between the stamps and the file, in frames (positive: the stamps
    // are ahead of the file).
    double smoothedDifferenceFrames() const { return smoothed_; }
    // Totals since the start, for reports and tests.
    std::uint64_t silenceFrames() const { return silence_; }
    std::uint64_t droppedFrames() const { return dropped_; }
    std::uint64_t repeatedFrames() const { return repeated_; }

  private:
    std::int64_t framesFor(std::uint64_t duration100ns) const;
    void clipToEnd(PacketPlacement& p) const;
    bool steadyAfter(std::uint64_t time100ns) const;

    std::uint32_t rate_;
    std::uint64_t zero_;
    std::uint64_t written_ = 0;
    bool started_ = false;
    bool hasEnd_ = false;
    std::uint64_t endFrame_ = 0;
    double smoothed_ = 0;
    std::uint64_t lastStamp_ = 0;
    std::uint32_t lastFrames_ = 0;
    std::uint64_t silence_ = 0;
    std::uint64_t dropped_ = 0;
    std::uint64_t repeated_ = 0;
};

}  // namespace marrowdale
