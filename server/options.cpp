#include "options.h"

#include "export.h"
#include "faults.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

const char kFaultModes[] =
    "\n"
    "Fault modes (PATH is exact, a prefix ending in '*', or '*'):\n"
    "  delay:MS            answer after MS milliseconds\n"
    "  stall               hold the request without answering\n"
    "  empty               answer with an empty body\n"
    "  truncate:N          close the connection after N body bytes\n"
    "  reset               drop the connection without an answer\n"
    "  reset-after:N       the answer without Content-Length, reset after N body\n"
    "                      bytes\n"
    "  status:CODE         an HTML error page with this status\n"
    "  html                a web page instead of the document\n"
    "  bytes:N             N bytes of filler\n"
    "  redirect:URL        a 302 to URL; {base} is this server's address\n"
    "  redirect-loop       a 302 to the address asked for\n"
    "  redirect-chain:N[:BASE]\n"
    "                      N 302 hops (?_hop=1..N), then the document; with BASE\n"
    "                      each hop goes there unless it came from there, then back\n"
    "  slow:RATE           the body at RATE bytes per second\n"
    "  endless             a chunked body without end, as fast as it is taken\n"
    "  long-header:BYTES[:RATE]\n"
    "                      a header section BYTES long, mostly one line, at RATE\n"
    "                      bytes per second or at full speed; then the document\n"
    "  bad-etag:N          the document with an ETag N bytes long, or with a bare\n"
    "                      CR inside for 0\n"
    "  not-modified        a 304 whatever the request asked\n"
    "  gzip-bomb:N         a small gzip body (Content-Encoding: gzip) that inflates\n"
    "                      to N zero bytes, whatever the request asked\n"
    "  unasked:MS          the document, and MS milliseconds later a second answer\n"
    "                      nobody asked for on the same connection, kept open\n"
    "  short-length:N      the document with a Content-Length N bytes short of the\n"
    "                      body, which is sent whole; the connection is kept open\n"
    "\n"
    "Fault modes for live streams (/live/ID.mjpg; elsewhere the usual answer):\n"
    "  live-no-boundary    the stream's Content-Type names no boundary\n"
    "  live-big-part:N     after the first frame, a part of N bytes (up to 64 MiB),\n"
    "                      then frames go on\n"
    "  live-endless-part   after the first frame, a part without Content-Length\n"
    "                      whose body never ends\n"
    "  live-stall-part     after the first frame, half a part, then nothing until\n"
    "                      --stall-max\n"
    "  live-trickle-part   after the first frame, a part whose bytes come four a\n"
    "                      second, never completing it\n"
    "  live-garbage        after the first frame, lines of garbage before the next\n"
    "                      delimiter, then frames go on\n"
    "  live-close:N        close the connection after N frames, without a closing\n"
    "                      delimiter\n"
    "  live-lf             lines end in LF alone, delimiter lines lack the leading\n"
    "                      \"--\", parts have no Content-Length\n"
    "\n"
    "Fault modes for HLS streams (/hls/...; elsewhere the usual answer):\n"
    "  hls-stalled-playlist\n"
    "                      media playlists stop advancing: they list the segments\n"
    "                      of the moment the rule was set\n"
    "  hls-missing-segment segments answer 404, playlists go on\n"
    "  hls-truncated-segment\n"
    "                      a segment's connection closes after half its bytes\n"
    "  hls-endless-playlist\n"
    "                      a playlist without Content-Length whose segment lines\n"
    "                      never end, as fast as they are taken\n"
    "  hls-garbage-playlist\n"
    "                      bytes that are no playlist (no #EXTM3U first)\n";

bool fail(const char *what)
{
    std::fprintf(stderr, "lumora-camserver: %s\n", what);
    return false;
}

bool readWhole(const QString &path, std::string &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "lumora-camserver: cannot read %s\n", qPrintable(path));
        return false;
    }
    contents = file.readAll().toStdString();
    if (contents.empty()) {
        std::fprintf(stderr, "lumora-camserver: %s is empty\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

bool parseOptions(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a cam catalogue, comments and live pictures over HTTP."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Listen port; 0 picks a free one."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption bind(QStringLiteral("bind"), QStringLiteral("Address to listen on."), QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption catalogueOpt(QStringLiteral("catalogue"), QStringLiteral("Serve this file as /camlist.php; {base} becomes http://HOST:PORT."), QStringLiteral("FILE"));
    const QCommandLineOption base(QStringLiteral("base"),
                                  QStringLiteral("The address {base} becomes in every answer; without it, a well-formed Host header or the bound address."),
                                  QStringLiteral("URL"));
    const QCommandLineOption comments(QStringLiteral("comments"), QStringLiteral("Folder with ID.txt comment documents."), QStringLiteral("DIR"));
    const QCommandLineOption pictures(QStringLiteral("pictures"), QStringLiteral("Folder serving every path not otherwise routed."), QStringLiteral("DIR"));
    const QCommandLineOption log(QStringLiteral("log"), QStringLiteral("Print one line per request to stdout."));
    const QCommandLineOption noConditional(QStringLiteral("no-conditional"),
                                           QStringLiteral("Send pictures without ETag and Last-Modified and never answer 304."));
    const QCommandLineOption control(QStringLiteral("control"),
                                     QStringLiteral("Answer /_control/ (faults, request log) to loopback clients."));
    const QCommandLineOption maxPerAddress(QStringLiteral("max-per-address"),
                                           QStringLiteral("Connections open at once from one client address."),
                                           QStringLiteral("N"), QStringLiteral("32"));
    const QCommandLineOption fault(QStringLiteral("fault"), QStringLiteral("PATH=MODE misbehaviour rule; repeatable."), QStringLiteral("RULE"));
    const QCommandLineOption liveFps(QStringLiteral("live-fps"),
                                     QStringLiteral("Frames per second of the live streams (/live/ID.mjpg), 1 to 60."),
                                     QStringLiteral("F"), QStringLiteral("10"));
    const QCommandLineOption sceneTime(QStringLiteral("scene-time"),
                                       QStringLiteral("Paint every picture at this time of day (HH:MM:SS) instead of the clock's, so "
                                                      "its scene stays the same; live frames still count up."),
                                       QStringLiteral("TIME"));
    const QCommandLineOption stallMax(QStringLiteral("stall-max"), QStringLiteral("Longest hold of a stalled request, seconds."), QStringLiteral("S"), QStringLiteral("300"));
    const QCommandLineOption exportDir(QStringLiteral("export"),
                                       QStringLiteral("Write the catalogue, comments and local pictures as static files into DIR (new or empty), then exit."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption exportBase(QStringLiteral("export-base"),
                                        QStringLiteral("With --export: the address the folder will be served at; {base} becomes URL."),
                                        QStringLiteral("URL"));
    const QCommandLineOption auth(QStringLiteral("auth"),
                                  QStringLiteral("Pictures ask for these credentials: basic:USER:PASS, digest:USER:PASS (MD5) "
                                                 "or digest-sha256:USER:PASS; the catalogue and comments stay open."),
                                  QStringLiteral("SCHEME:USER:PASS"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
                                     QStringLiteral("Serve HTTPS with this PEM certificate (with --tls-key); {base} becomes https://HOST:PORT."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"), QStringLiteral("The PEM private key of --tls-cert."), QStringLiteral("FILE"));
    parser.addOptions({port, bind, catalogueOpt, base, comments, pictures, log, noConditional, control, maxPerAddress,
                       fault, stallMax, liveFps, sceneTime, exportDir, exportBase, auth, tlsCert, tlsKey});
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "lumora-camserver: %s\n", qPrintable(parser.errorText()));
        return false;
    }
    // addHelpOption() also accepts --help-all, meant to add Qt's own options; this server
    // takes none of them (it always draws offscreen), so both print the same text.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        std::fputs(kFaultModes, stdout);
        std::exit(0);
    }

    bool ok = false;
    options.port = parser.value(port).toInt(&ok);
    if (!ok || options.port < 0 || options.port > 65535)
        return fail("bad --port");
    options.stallMaxSeconds = parser.value(stallMax).toInt(&ok);
    if (!ok || options.stallMaxSeconds < 0)
        return fail("bad --stall-max");
    options.liveFps = parser.value(liveFps).toInt(&ok);
    if (!ok || options.liveFps < 1 || options.liveFps > limits::kLiveFpsMax)
        return fail("--live-fps takes 1 to 60");
    if (parser.isSet(sceneTime)) {
        options.sceneTime = QTime::fromString(parser.value(sceneTime), QStringLiteral("HH:mm:ss"));
        if (!options.sceneTime.isValid())
            return fail("--scene-time takes a time of day as HH:MM:SS");
    }
    options.maxPerAddress = parser.value(maxPerAddress).toInt(&ok);
    if (!ok || options.maxPerAddress < 1 || options.maxPerAddress > limits::kMaxConnections)
        return fail("bad --max-per-address");
    if (parser.isSet(base)) {
        const auto normalised = exporter::normalisedBase(parser.value(base));
        if (!normalised)
            return fail("--base must be an http or https address such as http://cams.example.org");
        options.base = normalised->toStdString();
    }
    options.bind = parser.value(bind);
    options.catalogueFile = parser.value(catalogueOpt);
    options.commentsDir = parser.value(comments);
    options.picturesDir = parser.value(pictures);
    options.log = parser.isSet(log);
    options.conditional = !parser.isSet(noConditional);
    options.control = parser.isSet(control);
    options.exportDir = parser.value(exportDir);
    options.exportBase = parser.value(exportBase);
    if (parser.isSet(exportDir) != parser.isSet(exportBase))
        return fail("--export and --export-base go together");
    if (!options.catalogueFile.isEmpty() && !QFileInfo(options.catalogueFile).isReadable()) {
        std::fprintf(stderr, "lumora-camserver: cannot read %s\n", qPrintable(options.catalogueFile));
        return false;
    }
    if (parser.isSet(auth)) {
        const auto parsed = credentials::parse(parser.value(auth).toStdString());
        if (!parsed)
            return fail("--auth takes basic:USER:PASS, digest:USER:PASS or digest-sha256:USER:PASS");
        options.credentials = *parsed;
    }
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey))
        return fail("--tls-cert and --tls-key go together");
    if (parser.isSet(tlsCert)
        && (!readWhole(parser.value(tlsCert), options.tlsCertificate) || !readWhole(parser.value(tlsKey), options.tlsKey)))
        return false;
    for (const QString &text : parser.values(fault)) {
        const auto rule = faults::parseRule(text.toStdString());
        if (!rule) {
            std::fprintf(stderr, "lumora-camserver: bad --fault %s\n", qPrintable(text));
            return false;
        }
        if (options.tls() && faults::writesOnSocket(rule->mode)) {
            std::fprintf(stderr, "lumora-camserver: --fault %s writes raw bytes and cannot be served over TLS\n", qPrintable(text));
            return false;
        }
        options.faultRules.push_back(text.toStdString());
    }
    return true;
}
