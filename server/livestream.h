// Live pictures as a Motion-JPEG stream: an endless multipart/x-mixed-replace body whose
// parts are JPEG pictures of a cam, each one new.
//
// A Feed renders and encodes one cam at one size once per tick of --live-fps, whoever
// watches it: every connection to that cam and size shares its frames. A cam runs feeds of
// at most kSizesPerCam sizes at once; a viewer asking for yet another size shares the
// running one nearest to it and gets frames of that size, so any number of sizes asked
// costs no more than that many. A feed is started for its first subscriber and ends within
// a tick of its last one leaving, or when the server stops. A reader always takes the
// newest frame: one that falls behind skips frames, so the server never queues pictures
// for a slow client.
#pragma once

#include "httpcore.h"
#include "picturerenderer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace live {

inline constexpr char kBoundary[] = "lumoraframe";
inline constexpr int kSizesPerCam = 4;

// "multipart/x-mixed-replace;boundary=lumoraframe"
std::string contentType();
// A part as sent: the delimiter line, its fields and the blank line, then the picture and CR LF.
std::string partHead(size_t pictureBytes);
// The closing delimiter line, sent when the server stops.
std::string closingDelimiter();

struct Frame {
    std::uint64_t number = 0; // 1 for a feed's first frame, one more for each after
    std::shared_ptr<const std::string> jpeg;
};

// Told once when a frame newer than it asked for is out, or the feed has ended.
class FrameWaiter {
public:
    virtual ~FrameWaiter() = default;
    virtual void frameReady() = 0;
};

class Subscription;

class Feed {
public:
    explicit Feed(PictureRequest picture);

    // The newest frame if it is newer than `after`. Otherwise none, and `ended` says
    // whether the feed has ended; if not, with a waiter given, `beforeWaiting` runs (under
    // the feed's lock, so no frame can slip in between) and the waiter is told of the next
    // frame or of the end.
    std::optional<Frame> newerThan(std::uint64_t after, bool &ended, FrameWaiter *waiter = nullptr,
                                   const std::function<void()> &beforeWaiting = {});
    // Blocks until there is a frame newer than `after`; none once the feed has ended.
    std::optional<Frame> waitForNewer(std::uint64_t after);
    void forget(FrameWaiter *waiter);
    bool ended() const;

    // Ends the feed: readers get no more frames.
    void stop();

private:
    friend class Subscription;
    friend std::shared_ptr<Subscription> subscribe(const PictureRequest &picture);

    void run(); // the feed's own thread: renders on the clock until nobody watches
    void end();

    const PictureRequest m_picture;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Frame m_latest;
    bool m_ended = false;
    bool m_stopping = false;
    std::set<FrameWaiter *> m_waiters;
    std::atomic<int> m_subscribers {0}; // raised only under the registry's lock
};

// A viewer's hold on a feed; the feed runs as long as any subscription to it lives.
class Subscription {
public:
    explicit Subscription(std::shared_ptr<Feed> feed);
    ~Subscription();
    Subscription(const Subscription &) = delete;
    Subscription &operator=(const Subscription &) = delete;
    Feed &feed() const { return *m_feed; }

private:
    std::shared_ptr<Feed> m_feed;
};

// The running feed of this picture (cam id and size; the rest is how it is drawn),
// started when there is none.
std::shared_ptr<Subscription> subscribe(const PictureRequest &picture);

// The server is stopping: every feed ends at once and every waiting reader is woken.
void stopAll();

// The body of a well-behaved stream answer: frames as they come, whole parts only; when
// the feed ends, the closing delimiter and the end.
class StreamAnswer : public StreamBody, private FrameWaiter {
public:
    explicit StreamAnswer(std::shared_ptr<Subscription> subscription);
    ~StreamAnswer() override;
    std::int64_t read(char *buffer, size_t max, const Flow &flow) override;

private:
    void frameReady() override;

    std::shared_ptr<Subscription> m_subscription;
    std::uint64_t m_lastFrame = 0;
    std::string m_head;                        // of the part being sent
    std::shared_ptr<const std::string> m_jpeg; // of the part being sent
    size_t m_sent = 0;                         // of head, picture and CR LF together
    bool m_closing = false;
    const Flow *m_flow = nullptr; // the connection's, which outlives this body
};

} // namespace live
