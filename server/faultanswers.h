// How the server misbehaves for tests: the /_control/ endpoints that switch fault rules on
// and read the request log, and the answers each fault mode gives.
//
// /_control/ exists only with --control, and then answers loopback clients only (403 for
// others): fault rules and other clients' request lines are nobody else's business.
#pragma once

#include "httpcore.h"

#include <optional>

// The answer to a /_control/ request, or none when the path is no control path or the
// endpoints are switched off (the request is then an ordinary one).
std::optional<Reply> controlAnswer(const Request &request);

// Whether a fault rule covers the request (its answer may then take long).
bool hasFault(const Request &request);

// The whole answer to an ordinary request, faults applied, logged. None when it was
// answered on the socket itself or dropped.
std::optional<Reply> answerRequest(const Request &request);
