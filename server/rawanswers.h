// Answers written straight onto a connection, for the fault modes no well-behaved HTTP
// library would send: a body cut short or trickled, a body without end, a header section of
// any size, an ETag with a bare CR, a body cut by a reset, a live stream that breaks its own
// format, a playlist without end. Each blocks its thread until done, the client goes, the
// server stops or the client takes nothing for the stall limit; the caller then closes.
#pragma once

#include "faults.h"
#include "httpcore.h"
#include "livestream.h"

namespace raw {

bool clientHasGone(int fd);
// The client gets no answer at all: a reset rather than an orderly close.
void dropConnection(int fd);
// The reply as the fault (truncate, slow, endless, long-header, bad-etag, reset-after) has it.
void sendFaulty(int fd, const Reply &reply, const FaultMode &fault);
// The playlist without a Content-Length, then segment lines without end, as fast as the
// client takes them.
void sendEndlessPlaylist(int fd, const Reply &reply);
// The feed's live stream as a live-* fault has it; frames are taken as the feed makes
// them, the newest whenever the client is ready for one.
void sendLiveFaulty(int fd, live::Feed &feed, const FaultMode &fault);

} // namespace raw
