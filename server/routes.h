// The documents this server answers: the catalogue (/camlist.php), comments (/comments.php),
// rendered demo pictures (/cam.php?id=, /cams/ID.EXT), live streams of them (/live/ID.mjpg,
// see livestream.h; /hls/ID/index.m3u8, see hlsstream.h) and files from --pictures.
//
// "{base}" in the catalogue is --base when given, else the request's Host header when it is
// a well-formed host[:port], else the bound address: a client can never put other text into
// the addresses others are sent to. ?size=WxH is cut to limits::kLargestWidth x kLargestHeight.
#pragma once

#include "httpcore.h"
#include "livestream.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <string>

std::string scheme();              // "https://" when serving TLS, else "http://"
std::string boundBase();           // http(s)://ADDR:PORT of the listening socket
std::string baseUrl(const Request &request);
bool isWellFormedHost(const std::string &host);

QByteArray commentsFor(const QString &camId);
// The answer as such. With mayEncode, the catalogue and comments come gzip-compressed
// (Content-Encoding: gzip) when the request's Accept-Encoding allows it, and say
// "Vary: Accept-Encoding" either way; pictures and files always come as they are. Fault
// modes that send a document in their own way ask for it without.
Reply route(const Request &request, bool mayEncode = false);
// The feed a request for a live stream watches (/live/ID.mjpg with ID a demo cam, ?size=WxH
// as for pictures); none for any other request. Holding it keeps the feed running.
std::shared_ptr<live::Subscription> liveSubscription(const Request &request);
// Whether the request is for a live stream, whose answer has no end.
bool servesStream(const Request &request);
// What an /hls/ request asks for: a demo cam's master playlist, one of its variants' media
// playlists or a segment of one; None for every other request.
enum class HlsDocument { None, MasterPlaylist, MediaPlaylist, Segment };
HlsDocument hlsDocument(const Request &request);
// A media playlist's answer as it was at that moment.
Reply hlsMediaPlaylistAt(std::chrono::system_clock::time_point moment);
// Whether --auth covers the request: everything but the catalogue, comments and control.
bool needsCredentials(const Request &request);
// Whether the request's answer is a picture drawn for it (CPU work), not a document or file.
bool drawsPicture(const Request &request);

// Gives a full picture answer its validators, and turns it into a 304 when the request's
// conditions find it unchanged.
void answerConditionally(const Request &request, Reply &reply);

// Logs "METHOD target status" (validators and the Authorization scheme appended); control
// requests are printed but not kept.
void recordRequest(const Request &request, int status, bool control);
