// Paints a cam's current picture: a scene fixed per cam id plus its name and the time of day.
// Safe to call from many threads at once; the per-cam backgrounds are cached under a mutex.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTime>

class QImage;

enum class PictureFormat { Jpeg, Png, Gif };

struct PictureRequest {
    QString camId;       // seeds the scene, so the same cam always looks alike
    QString caption;     // drawn on the picture (the cam's name)
    QSize size;
    bool transparentCorner = false; // PNG alpha / GIF transparent index
    QTime time;          // drawn as HH:MM:SS; changes every second
    int frame = -1;      // a live stream's frame number: drawn after the time, which then
                         // shows milliseconds, so every frame differs from the one before
};

class PictureRenderer {
public:
    QImage render(const PictureRequest &request);
    // Encoded file bytes in the given format (JPEG quality 85).
    QByteArray renderEncoded(const PictureRequest &request, PictureFormat format);

    static const char *contentType(PictureFormat format);
};
