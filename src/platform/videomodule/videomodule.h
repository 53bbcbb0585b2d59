#pragma once
// Between the program and its video module: the one part of it that links FFmpeg's libraries
// (and, through them, a hundred more), built as a module of its own and loaded only when a
// video cam first plays, so that a viewer of still cams neither loads nor maps any of them.
//
// The module's entry, lumora_video_create (CreateDecoder), makes a Decoder as VideoDecoder
// (videodecoder.h) describes it, for the interface version it was built with. Frames leave it
// as the decoder holds them (Picture, valid during the call only); the program copies them
// into memory of its own.
#include <QByteArray>
#include <QString>

#include <functional>

namespace video_module {

inline constexpr int InterfaceVersion = 2;
inline constexpr const char *CreateDecoderName = "lumora_video_create";

struct Picture
{
    enum class Layout { Halved, HalvedAcross, Full, Grey, HalvedInterleaved };
    // Matrix and range, as YuvPlanes::Matrix names them.
    enum class Matrix { Jpeg, Bt601, Bt709, Bt709Full, Bt2020 };
    int width = 0;
    int height = 0;
    Layout layout = Layout::Halved;
    Matrix matrix = Matrix::Bt601;
    // Brightness, then the colours (HalvedInterleaved: both in plane 1, as NV12).
    const unsigned char *data[3] = {};
    int stride[3] = {};
    qint64 presentationMs = 0;
    const char *codec = "";
};

struct Callbacks
{
    // Both from the decoder's thread.
    std::function<void(const Picture &picture)> frame;
    std::function<void(const QString &reason)> failed;
};

class Decoder
{
public:
    virtual ~Decoder() = default;
    virtual void feed(const QByteArray &bytes) = 0;
    virtual void startOver() = 0;
    virtual void setKeyFramesOnly(bool keyFramesOnly) = 0;
    virtual qint64 waitingBytes() const = 0;
};

// Where a decoder's bytes come from: those fed (an empty address), or an rtsp:// address the
// module opens itself, over TCP, failing when no byte comes for timeoutMs.
struct Source
{
    QByteArray address;
    int timeoutMs = 30000;
};

using CreateDecoder = Decoder *(*)(int interfaceVersion, const Callbacks &callbacks, int maxPerSecond,
                                   bool keyFramesOnly, const Source &source);

} // namespace video_module
