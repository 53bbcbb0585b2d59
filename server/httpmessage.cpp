#include "httpcore.h"

#include <strings.h>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string &text, bool plusIsSpace)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(char(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(plusIsSpace && c == '+' ? ' ' : c);
    }
    return out;
}

std::string lookup(const HeaderList &list, const char *name, bool caseless)
{
    for (const auto &[key, value] : list)
        if (caseless ? strcasecmp(key.c_str(), name) == 0 : key == name)
            return value;
    return {};
}

} // namespace

std::string Request::header(const char *name) const { return lookup(headers, name, true); }

bool Request::hasHeader(const char *name) const
{
    for (const auto &h : headers)
        if (strcasecmp(h.first.c_str(), name) == 0)
            return true;
    return false;
}

std::string Request::param(const char *name) const { return lookup(query, name, false); }

void splitTarget(const std::string &target, std::string &path, HeaderList &query)
{
    const size_t mark = target.find('?');
    path = percentDecoded(target.substr(0, mark), false);
    query.clear();
    if (mark == std::string::npos)
        return;
    const std::string raw = target.substr(mark + 1);
    size_t from = 0;
    while (from <= raw.size()) {
        const size_t to = std::min(raw.find('&', from), raw.size());
        const std::string part = raw.substr(from, to - from);
        if (!part.empty()) {
            const size_t equals = part.find('=');
            query.emplace_back(percentDecoded(part.substr(0, equals), true),
                               equals == std::string::npos ? std::string() : percentDecoded(part.substr(equals + 1), true));
        }
        from = to + 1;
    }
}

const char *reasonPhrase(int code)
{
    switch (code) {
    case 200: return "OK";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return code >= 500 ? "Server Error" : code >= 400 ? "Client Error" : "Status";
    }
}

Reply htmlPage(int status, const std::string &title, const std::string &text)
{
    Reply r;
    r.status = status;
    r.contentType = "text/html; charset=utf-8";
    r.body = "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head>\n<body><h1>" + title +
             "</h1>\n<p>" + text + "</p></body></html>\n";
    return r;
}

Reply notFound() { return htmlPage(404, "404 Not Found", "No such document on this server."); }

Reply bytesReply(const QByteArray &bytes, const char *type)
{
    Reply r;
    r.contentType = type;
    r.body.assign(bytes.constData(), size_t(bytes.size()));
    return r;
}
