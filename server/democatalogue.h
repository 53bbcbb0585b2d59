// The bundled demo cams and the documents built from them: catalogue lines and comment lines,
// both as Windows-1252 bytes with CR LF line ends, exactly as clients receive them.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

struct DemoCam {
    QString id;
    QString name;
    QString picturePath; // path plus query on this server, e.g. "/cams/1001.jpg", "/live/1037.mjpg"
    QString description; // "<br>" marks line breaks
    QString reserved;    // the unused fourth field; empty or filler
    int rating;          // 0..5
    int viewCount;
    QString addedBy;
    QSize size;
    bool transparent;    // PNG with alpha / GIF with a transparent index
    int commentCount;    // how many demo comments the cam gets
};

namespace democatalogue {

const std::vector<DemoCam> &cams();
const DemoCam *find(const QString &id);

// Characters outside Windows-1252 become '?', as an old single-byte site would store them.
QByteArray toWindows1252(const QString &text);

// commentsFor returns the comments document that /comments.php would serve for a cam,
// so the CommentCount field always agrees with what the client can fetch.
QByteArray catalogueDocument(const QString &baseUrl,
                             const std::function<QByteArray(const QString &camId)> &commentsFor);

// Empty for cams without comments and for unknown ids.
QByteArray commentsDocument(const QString &camId);

// Number of non-empty CR LF terminated lines.
int countLines(const QByteArray &document);

} // namespace democatalogue
