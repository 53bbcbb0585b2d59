#include "livestream.h"

#include "serverstate.h"

#include <QHash>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <thread>
#include <vector>

namespace live {
namespace {

using Clock = std::chrono::steady_clock;

struct FeedKey {
    QString camId;
    int width, height;
    bool operator<(const FeedKey &o) const
    {
        return std::tie(camId, width, height) < std::tie(o.camId, o.width, o.height);
    }
};

std::mutex g_registryMutex;
std::map<FeedKey, std::shared_ptr<Feed>> g_feeds;
bool g_stopped = false; // under g_registryMutex

FeedKey keyOf(const PictureRequest &picture)
{
    return {picture.camId, picture.size.width(), picture.size.height()};
}

// How far apart two sizes look: the ratios of their widths and of their heights, taken
// alike whichever is larger. Their sum weighs area and aspect both (log w + log h is the
// area, log w - log h the aspect), so a 640x480 viewer goes to 800x600 before 640x360.
double sizeDistance(const FeedKey &a, const FeedKey &b)
{
    return std::abs(std::log(double(a.width) / b.width)) + std::abs(std::log(double(a.height) / b.height));
}

// Under g_registryMutex: the cam's feed of that size; else, when the cam runs as many
// sizes as it may, the one nearest to it; else none.
std::map<FeedKey, std::shared_ptr<Feed>>::iterator feedFor(const FeedKey &key)
{
    const auto exact = g_feeds.find(key);
    if (exact != g_feeds.end())
        return exact;
    auto nearest = g_feeds.end();
    int running = 0;
    const auto cams = g_feeds.lower_bound(FeedKey {key.camId, INT_MIN, INT_MIN});
    for (auto it = cams; it != g_feeds.end() && it->first.camId == key.camId; ++it) {
        ++running;
        if (nearest == g_feeds.end() || sizeDistance(key, it->first) < sizeDistance(key, nearest->first))
            nearest = it;
    }
    return running >= kSizesPerCam ? nearest : g_feeds.end();
}

} // namespace

std::string contentType() { return std::string("multipart/x-mixed-replace;boundary=") + kBoundary; }

std::string partHead(size_t pictureBytes)
{
    return std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(pictureBytes)
        + "\r\n\r\n";
}

std::string closingDelimiter() { return std::string("--") + kBoundary + "--\r\n"; }

Feed::Feed(PictureRequest picture) : m_picture(std::move(picture)) {}

std::optional<Frame> Feed::newerThan(std::uint64_t after, bool &ended, FrameWaiter *waiter,
                                     const std::function<void()> &beforeWaiting)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ended = m_ended;
    if (m_latest.number > after && !m_ended)
        return m_latest;
    if (waiter && !m_ended) {
        if (beforeWaiting)
            beforeWaiting();
        m_waiters.insert(waiter);
    }
    return std::nullopt;
}

std::optional<Frame> Feed::waitForNewer(std::uint64_t after)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_latest.number > after || m_ended; });
    if (m_latest.number > after && !m_ended)
        return m_latest;
    return std::nullopt;
}

void Feed::forget(FrameWaiter *waiter)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_waiters.erase(waiter);
}

bool Feed::ended() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended;
}

void Feed::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
}

void Feed::end()
{
    std::set<FrameWaiter *> waiters;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        waiters.swap(m_waiters);
    }
    m_changed.notify_all();
    for (FrameWaiter *waiter : waiters)
        waiter->frameReady();
}

void Feed::run()
{
    const auto period = std::chrono::microseconds(1000000 / std::max(1, serverState().options.liveFps));
    auto due = Clock::now();
    for (std::uint64_t number = 1;; ++number) {
        PictureRequest picture = m_picture;
        picture.time = serverState().options.timeOfDay();
        picture.frame = int(number % 1000000000);
        const QByteArray encoded = serverState().renderer.renderEncoded(picture, PictureFormat::Jpeg);
        std::set<FrameWaiter *> waiters;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_latest = Frame {number, std::make_shared<const std::string>(encoded.constData(), size_t(encoded.size()))};
            waiters.swap(m_waiters);
        }
        m_changed.notify_all();
        for (FrameWaiter *waiter : waiters)
            waiter->frameReady();

        // Paced by the clock; a tick missed because rendering took longer is dropped, not
        // made up for with a burst.
        due += period;
        const auto now = Clock::now();
        if (due < now)
            due = now;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_changed.wait_until(lock, due, [this] { return m_stopping; }))
                break;
        }
        std::lock_guard<std::mutex> lock(g_registryMutex);
        if (m_subscribers == 0) {
            const auto it = g_feeds.find(keyOf(m_picture));
            if (it != g_feeds.end() && it->second.get() == this)
                g_feeds.erase(it);
            break;
        }
    }
    end();
}

Subscription::Subscription(std::shared_ptr<Feed> feed) : m_feed(std::move(feed)) {}

Subscription::~Subscription() { --m_feed->m_subscribers; }

std::shared_ptr<Subscription> subscribe(const PictureRequest &picture)
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    // A feed leaves the registry in the same hold of its lock that finds it unwatched, so
    // every feed found here is still running.
    auto found = feedFor(keyOf(picture));
    if (found == g_feeds.end()) {
        auto feed = std::make_shared<Feed>(picture);
        if (g_stopped)
            feed->stop(); // it ends after one frame: a server stopping starts nothing new
        std::thread([feed] { feed->run(); }).detach();
        found = g_feeds.emplace(keyOf(picture), std::move(feed)).first;
    }
    ++found->second->m_subscribers;
    return std::make_shared<Subscription>(found->second);
}

void stopAll()
{
    std::lock_guard<std::mutex> lock(g_registryMutex);
    g_stopped = true;
    for (auto &[key, feed] : g_feeds)
        feed->stop();
}

StreamAnswer::StreamAnswer(std::shared_ptr<Subscription> subscription) : m_subscription(std::move(subscription)) {}

StreamAnswer::~StreamAnswer() { m_subscription->feed().forget(this); }

void StreamAnswer::frameReady()
{
    if (m_flow)
        m_flow->resume();
}

std::int64_t StreamAnswer::read(char *buffer, size_t max, const Flow &flow)
{
    const size_t pictureBytes = m_jpeg ? m_jpeg->size() : 0;
    const size_t total = m_head.size() + pictureBytes + (m_jpeg ? 2 : 0);
    if (m_sent == total) {
        if (m_closing)
            return -1;
        m_flow = &flow;
        bool ended = false;
        const std::optional<Frame> frame = m_subscription->feed().newerThan(m_lastFrame, ended, this, flow.pause);
        if (!frame) {
            if (!ended)
                return 0; // paused until the next frame
            m_head = closingDelimiter();
            m_jpeg.reset();
            m_closing = true;
        } else {
            m_lastFrame = frame->number;
            m_jpeg = frame->jpeg;
            m_head = partHead(m_jpeg->size());
        }
        m_sent = 0;
        return read(buffer, max, flow);
    }
    // Copies from the part's three pieces, wherever the last call stopped.
    size_t copied = 0;
    const auto piece = [&](const char *data, size_t size, size_t start) {
        if (m_sent >= start + size || copied == max)
            return;
        const size_t from = m_sent - start;
        const size_t n = std::min(size - from, max - copied);
        std::memcpy(buffer + copied, data + from, n);
        copied += n;
        m_sent += n;
    };
    piece(m_head.data(), m_head.size(), 0);
    if (m_jpeg) {
        piece(m_jpeg->data(), m_jpeg->size(), m_head.size());
        piece("\r\n", 2, m_head.size() + m_jpeg->size());
    }
    return std::int64_t(copied);
}

} // namespace live
