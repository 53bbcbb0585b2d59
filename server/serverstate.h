// What the running server shares between its threads: the options, the fault rules, the
// request log, the renderer and the catalogue cache. Set up by main before the first request.
#pragma once

#include "cataloguecache.h"
#include "faults.h"
#include "options.h"
#include "picturerenderer.h"
#include "requestlog.h"

#include <atomic>
#include <memory>

struct ServerState {
    Options options;
    int boundPort = 0;
    std::atomic<bool> stopping {false};
    FaultTable faults;
    PictureRenderer renderer;
    std::unique_ptr<CatalogueCache> catalogueCache;
    RequestLog log;
};

ServerState &serverState();
