#include "platform/videodecoder.h"

#include "platform/videomodule/videomodule.h"

#include <libyuv/convert.h>
#include <libyuv/planar_functions.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <mutex>

namespace {

YuvPlanes::Colour colourOf(video_module::Picture::Layout layout)
{
    using Layout = video_module::Picture::Layout;
    switch (layout) {
    case Layout::Halved:
    case Layout::HalvedInterleaved:
        return YuvPlanes::Colour::Halved;
    case Layout::HalvedAcross:
        return YuvPlanes::Colour::HalvedAcross;
    case Layout::Full:
        return YuvPlanes::Colour::Full;
    case Layout::Grey:
        return YuvPlanes::Colour::Grey;
    }
    return YuvPlanes::Colour::Halved;
}

// The module names the matrices as the planes do, in the same order.
YuvPlanes::Matrix matrixOf(video_module::Picture::Matrix matrix)
{
    using Matrix = video_module::Picture::Matrix;
    static_assert(int(Matrix::Jpeg) == int(YuvPlanes::Matrix::Jpeg) && int(Matrix::Bt601) == int(YuvPlanes::Matrix::Bt601)
                  && int(Matrix::Bt709) == int(YuvPlanes::Matrix::Bt709)
                  && int(Matrix::Bt709Full) == int(YuvPlanes::Matrix::Bt709Full)
                  && int(Matrix::Bt2020) == int(YuvPlanes::Matrix::Bt2020));
    return static_cast<YuvPlanes::Matrix>(matrix);
}

// The decoder's picture copied into planes of the program's own memory; null when memory is
// short.
YuvPlanes planesOf(const video_module::Picture &picture)
{
    YuvPlanes planes;
    planes.size = QSize(picture.width, picture.height);
    planes.colour = colourOf(picture.layout);
    planes.matrix = matrixOf(picture.matrix);
    planes.memory = planesMemory(planes.size, planes.colour);
    if (planes.isNull())
        return {};
    uchar *to[3] = {planes.plane(0), nullptr, nullptr};
    for (int p = 1; p < planes.planeCount(); ++p)
        to[p] = planes.plane(p);
    if (picture.layout == video_module::Picture::Layout::HalvedInterleaved) {
        libyuv::NV12ToI420(picture.data[0], picture.stride[0], picture.data[1], picture.stride[1], to[0],
                           planes.stride(0), to[1], planes.stride(1), to[2], planes.stride(2), picture.width,
                           picture.height);
        return planes;
    }
    for (int p = 0; p < planes.planeCount(); ++p) {
        const QSize size = planes.planeSize(p);
        libyuv::CopyPlane(picture.data[p], picture.stride[p], to[p], planes.stride(p), size.width(), size.height());
    }
    return planes;
}

video_module::CreateDecoder loadedModule()
{
    static std::once_flag once;
    static video_module::CreateDecoder create = nullptr;
    std::call_once(once, [] {
        const QString path = VideoDecoder::modulePath();
        if (path.isEmpty())
            return;
        // Kept loaded for the rest of the run: decoders come and go.
        auto *library = new QLibrary(path);
        create = reinterpret_cast<video_module::CreateDecoder>(library->resolve(video_module::CreateDecoderName));
    });
    return create;
}

} // namespace

QString VideoDecoder::modulePath()
{
    // Installed, where the program's private libraries go beside its folder; else where the
    // build tree made it.
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(LUMORA_VIDEO_MODULE_INSTALLED));
    for (const QString &path : {installed, QStringLiteral(LUMORA_VIDEO_MODULE_BUILT)})
        if (QFileInfo(path).isFile())
            return QFileInfo(path).absoluteFilePath();
    return QString();
}

VideoDecoder::VideoDecoder(Callbacks callbacks, int maxPerSecond, bool keyFramesOnly, const QString &address,
                           int timeoutMs)
    : m_callbacks(std::move(callbacks))
{
    const video_module::CreateDecoder create = loadedModule();
    if (!create) {
        m_callbacks.failed(QStringLiteral("Video cannot be played here"));
        return;
    }
    video_module::Callbacks calls;
    calls.frame = [this](const video_module::Picture &picture) {
        YuvPlanes planes = planesOf(picture);
        if (!planes.isNull())
            m_callbacks.frame(VideoFrame{std::move(planes), picture.presentationMs, QString::fromLatin1(picture.codec)});
    };
    calls.failed = [this](const QString &reason) { m_callbacks.failed(reason); };
    const video_module::Source source{address.toUtf8(), timeoutMs};
    m_decoder.reset(create(video_module::InterfaceVersion, calls, maxPerSecond, keyFramesOnly, source));
    if (!m_decoder)
        m_callbacks.failed(QStringLiteral("Video cannot be played here"));
}

VideoDecoder::~VideoDecoder() = default;

void VideoDecoder::feed(const QByteArray &bytes)
{
    if (m_decoder)
        m_decoder->feed(bytes);
}

void VideoDecoder::startOver()
{
    if (m_decoder)
        m_decoder->startOver();
}

void VideoDecoder::setKeyFramesOnly(bool keyFramesOnly)
{
    if (m_decoder)
        m_decoder->setKeyFramesOnly(keyFramesOnly);
}

qint64 VideoDecoder::waitingBytes() const
{
    return m_decoder ? m_decoder->waitingBytes() : 0;
}
